// The client's connection to a server: the message service in its client
// role, the login (user, group, group id) and one request-and-answer helper.
// Every command of the client program runs on one logged-in session.
#ifndef YM_CLI_SESSION_H
#define YM_CLI_SESSION_H

#include <string>
#include <vector>

#include "YmInitMsg.h"

struct YmCliAnswer {
    int type = 0;
    int flag = 0;
    std::string payload;  // exactly the frame's Length bytes
};

class YmCliSession {
  public:
    YmCliSession();
    ~YmCliSession();
    YmCliSession(const YmCliSession&) = delete;
    YmCliSession& operator=(const YmCliSession&) = delete;

    std::string _host = "localhost";
    int _port = 6004;
    std::string _user;     // default: the caller's login name
    std::string _group;    // default: the caller's group name
    std::string _groupId;  // default: the caller's group id

    // Connects and logs in. False, with the reason in *why, when the server
    // cannot be reached or does not answer the login. A login answered with
    // an error code still counts as a session (see loginError()).
    bool open(std::string* why);
    // The login's error code (0: none) and its meaning in words.
    int loginError() const { return _login._errCode; }
    static std::string loginErrorText(int code);
    // The names of the databases in the trees the login returned, in order,
    // each once (the last field of a tree line).
    std::vector<std::string> treeDatabases() const;
    // The sources this user may edit, as the login returned them.
    std::string editSources() const {
        return std::string(reinterpret_cast<const char*>(_login._editSrc.data),
                           _login._editSrc.slength - 1);
    }

    // Sends one frame and waits for the answer. False, with *why, when the
    // connection fails.
    bool request(int type, int flag, const std::string& payload, YmCliAnswer* out,
                 std::string* why);
    // The two halves of request, for callers that do something in between.
    bool sendOnly(int type, int flag, const std::string& payload, std::string* why);
    bool receive(YmCliAnswer* out, std::string* why);
    // receive, during which an interrupt (SIGINT) sends the server a
    // header-only frame of cancelType, once; a second interrupt ends the
    // program. Call it only once the request is out, so that the cancel
    // frame cannot land inside the request.
    bool receiveCancellable(int cancelType, YmCliAnswer* out, std::string* why);

    // The connected socket, or -1.
    int socket() const;
    // Says goodbye (message 101) if connected.
    void close();

  private:
    std::string failure(const char* what) const;
    YmInitResultMsg _login;
    bool _open = false;
};

// Reads a decimal number of at most max (no sign, nothing after it).
bool ymCliNumber(const char* s, unsigned long max, unsigned long* v);
// The same for the argument of option -opt; a refusal is reported as
// "drusk: -opt wants <what>, not <arg>".
bool ymCliNumberOption(char opt, const char* arg, const char* what, unsigned long max,
                       unsigned long* v);
// Appends the comma-separated names of list to out, empty ones left out.
void ymCliSplitList(const char* list, std::vector<std::string>* out);

#endif
