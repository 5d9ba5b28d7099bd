// Starting the real ymsvr for end-to-end tests and talking to it over
// loopback with the client role of the message passing service.
//
//   YmTempDir data;                        // fresh folder, removed at scope end
//   data.write("druskvers", "1.0\n");      // files below it, folders made
//   YmTempDir root;
//   root.mkdir("usr/tmp");                 // a platform root for YM_ROOT
//   YmServer srv;
//   ASSERT_TRUE(srv.start({"FULSEARCH=" + data.path(), "YM_ROOT=" + root.path(),
//                          "FULPATH"}))    // "NAME=value" sets, "NAME" unsets
//       << srv.log();                      // the server's stdout and stderr
//   YmClient c;
//   ASSERT_TRUE(c.connect(srv));           // also finds its connection process
//   ASSERT_TRUE(c.send(201, 0, payload));  // payload bytes sent as they are
//   YmFrame f;
//   ASSERT_TRUE(c.recv(&f));               // waits at most 10 s
//
// Exit statuses of connection processes: the listener ignores SIGCHLD, so
// their statuses are lost while it lives. srv.adopt() ends the listener; its
// connection processes then become children of the test process (which the
// fixture makes a child subreaper), and srv.waitConnection(c.pid(), &st)
// reads the status.
//
// srv.stop() (also run by the destructor) ends, by pid, the connection
// processes and the listener it started, and reaps them. srv.connectionPids()
// lists the listener's children, zombies included, for leftover checks.
//
// Every wait is bounded; nothing is timed.
#ifndef YM_SERVER_FIXTURE_H
#define YM_SERVER_FIXTURE_H

#include <sys/types.h>

#include <string>
#include <vector>

#include "mps.h"

struct YmFrame {
    int type = 0;
    int flag = 0;
    std::string payload;  // exactly Length bytes
};

// The 12-byte big-endian header (with the given Length, which need not match
// the payload) followed by the payload.
std::string ymFrameBytes(int type, int flag, int length, const std::string& payload);

// A TCP socket listening on 127.0.0.1 at a port the system picked (*port),
// or -1.
int ymListenLoopback(int* port);

// A TCP port on which nothing listened a moment ago.
int ymFreeLoopbackPort();

// Children of a process (from /proc), zombies included.
std::vector<pid_t> ymChildrenOf(pid_t parent);

// The state letter of a process ('R', 'S', 'Z', ...), or 0 if it is gone.
char ymProcState(pid_t pid);

class YmTempDir {
  public:
    YmTempDir();
    ~YmTempDir();
    YmTempDir(const YmTempDir&) = delete;
    YmTempDir& operator=(const YmTempDir&) = delete;

    const std::string& path() const { return _path; }
    std::string file(const std::string& rel) const { return _path + "/" + rel; }
    void mkdir(const std::string& rel) const;
    void write(const std::string& rel, const std::string& content) const;
    bool exists(const std::string& rel) const;
    std::string read(const std::string& rel) const;  // "" if missing

  private:
    std::string _path;
};

class YmServer {
  public:
    YmServer();
    ~YmServer();
    YmServer(const YmServer&) = delete;
    YmServer& operator=(const YmServer&) = delete;

    // Starts ymsvr -p <free port> <args> with the test's environment changed
    // by env, and waits until it listens. False if it exits first (see
    // log()). A port taken in between is retried with another one.
    bool start(const std::vector<std::string>& env, const std::vector<std::string>& args = {});
    // Runs ymsvr with exactly args (no -p added) and returns its exit status,
    // or -1 if it had to be killed after timeoutMs.
    int runToExit(const std::vector<std::string>& env, const std::vector<std::string>& args,
                  int timeoutMs = 10000);

    int port() const { return _port; }
    pid_t pid() const { return _pid; }
    std::string log() const;

    std::vector<pid_t> connectionPids() const;
    // Waits until the listener has no children left; false on timeout.
    bool waitNoConnections(int timeoutMs = 10000) const;
    // Waits for the listener's exit; false on timeout.
    bool waitExit(int* status, int timeoutMs = 10000);
    // Ends the listener so its connection processes become ours.
    void adopt();
    // Waits for an adopted connection process; false on timeout.
    bool waitConnection(pid_t pid, int* status, int timeoutMs = 10000);
    void stop();

    // For YmClient: remembers a connection process to end at stop().
    void track(pid_t conn) { _conns.push_back(conn); }

  private:
    pid_t spawn(const std::vector<std::string>& env, const std::vector<std::string>& args);
    pid_t _pid = -1;
    int _port = 0;
    std::string _logPath;
    std::vector<pid_t> _conns;
    std::vector<pid_t> _adopted;
};

class YmClient {
  public:
    YmClient() = default;
    ~YmClient();
    YmClient(const YmClient&) = delete;
    YmClient& operator=(const YmClient&) = delete;

    // Connects to the server and waits until its connection process exists.
    bool connect(YmServer& srv);
    pid_t pid() const { return _pid; }
    int fd() { return _mps.GetSock(); }
    MPS& mps() { return _mps; }

    bool send(int type, int flag, const std::string& payload);
    bool sendRaw(const std::string& bytes);
    // Waits at most timeoutMs for a frame; false on timeout or failure.
    bool recv(YmFrame* f, int timeoutMs = 10000);
    // True once the server has closed the connection within timeoutMs (end
    // of file, or a reset when it left our bytes unread), with no frame
    // before it.
    bool waitClosed(int timeoutMs = 10000);
    void close();

  private:
    MPS _mps;
    pid_t _pid = -1;
};

#endif
