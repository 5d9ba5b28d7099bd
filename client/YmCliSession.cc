// The client's session; see YmCliSession.h.
#include "YmCliSession.h"

#include <arpa/inet.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "YmMsgTypes.h"
#include "mps.h"

namespace {

// The socket and frame type of the cancel an interrupt sends.
volatile sig_atomic_t gCancelSock = -1;
volatile sig_atomic_t gCancelType = 0;

void sendCancel(int) {
    // One header-only frame, written in one piece.
    unsigned char frame[12] = {0};
    uint32_t type = htonl(uint32_t(gCancelType));
    memcpy(frame, &type, 4);
    if (gCancelSock >= 0) (void)send(gCancelSock, frame, sizeof frame, MSG_NOSIGNAL);
    signal(SIGINT, SIG_DFL);
}

}  // namespace

YmCliSession::YmCliSession() {
    const char* u = getenv("USER");
    if (struct passwd* pw = getpwuid(getuid())) _user = pw->pw_name;
    if (_user.empty() && u) _user = u;
    gid_t gid = getgid();
    if (struct group* gr = getgrgid(gid)) _group = gr->gr_name;
    _groupId = std::to_string(long(gid));
}

YmCliSession::~YmCliSession() { close(); }

std::string YmCliSession::failure(const char* what) const {
    int err = theMPS ? theMPS->Errno() : 0;
    std::string s = std::string(what) + " " + _host + ":" + std::to_string(_port);
    if (err > 0 && err != MPS_NEWCONN && err != MPS_EINTR && err != MPS_NOINIT)
        s += ": " + std::string(strerror(err));
    return s;
}

bool YmCliSession::open(std::string* why) {
    if (!theMPS) theMPS = new MPS;
    theMPS->Init(_port, const_cast<char*>(_host.c_str()));
    YmInitReqMsg req;
    char* result = nullptr;
    int n = req.send(_user.c_str(), _group.c_str(), _groupId.c_str(), &result);
    if (n < 0) {
        *why = failure("cannot reach the server at");
        free(result);
        return false;
    }
    _open = true;
    int type = theMPS->GetType();
    if (type != YmMsgType::InitResult) {
        free(result);
        *why = "the server answered the login with message type " + std::to_string(type);
        return false;
    }
    _login.readIn(result, n);
    free(result);
    return true;
}

std::string YmCliSession::loginErrorText(int code) {
    switch (code) {
        case 0:
            return "no error";
        case 4003:
            return "no directory tree is set up for this user";
        default:
            return "login error " + std::to_string(code);
    }
}

std::vector<std::string> YmCliSession::treeDatabases() const {
    std::vector<std::string> out;
    for (unsigned int t = 0; t < _login._treeBuff.length(); t++) {
        std::string tree(reinterpret_cast<const char*>(_login._treeBuff[t].data));
        size_t at = 0;
        while (at < tree.size()) {
            size_t lf = tree.find('\n', at);
            if (lf == std::string::npos) lf = tree.size();
            std::string line = tree.substr(at, lf - at);
            at = lf + 1;
            // level|name|x|y|database
            int bars = 0;
            size_t p = 0;
            for (; p < line.size() && bars < 4; p++)
                if (line[p] == '|') bars++;
            if (bars < 4) continue;
            std::string db = line.substr(p);
            if (!db.empty() && db.find('|') == std::string::npos) {
                bool seen = false;
                for (const std::string& d : out) seen = seen || d == db;
                if (!seen) out.push_back(db);
            }
        }
    }
    return out;
}

bool YmCliSession::sendOnly(int type, int flag, const std::string& payload, std::string* why) {
    if (!theMPS || theMPS->Send(type, flag, const_cast<char*>(payload.data()), int(payload.size()),
                                nullptr, nullptr) < 0) {
        *why = failure("lost the connection to");
        return false;
    }
    return true;
}

bool YmCliSession::receive(YmCliAnswer* out, std::string* why) {
    char* data = nullptr;
    int n;
    // A signal (the user's interrupt) may cut the wait short; the frame is
    // read whole afterwards.
    do {
        n = theMPS ? theMPS->Recv(&data) : -1;
    } while (n < 0 && theMPS && theMPS->Errno() == MPS_EINTR);
    if (n < 0) {
        *why = failure("lost the connection to");
        return false;
    }
    out->type = theMPS->GetType();
    out->flag = theMPS->GetFlag();
    out->payload.assign(data, size_t(n));
    free(data);
    return true;
}

bool YmCliSession::receiveCancellable(int cancelType, YmCliAnswer* out, std::string* why) {
    gCancelType = cancelType;
    gCancelSock = socket();
    struct sigaction sa, old;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = sendCancel;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, &old);
    bool got = receive(out, why);
    sigaction(SIGINT, &old, nullptr);
    gCancelSock = -1;
    return got;
}

bool YmCliSession::request(int type, int flag, const std::string& payload, YmCliAnswer* out,
                           std::string* why) {
    return sendOnly(type, flag, payload, why) && receive(out, why);
}

int YmCliSession::socket() const { return theMPS && _open ? theMPS->GetSock() : -1; }

void YmCliSession::close() {
    if (_open && theMPS) theMPS->Send(YmMsgType::Quit, 0, nullptr, nullptr);
    _open = false;
}

bool ymCliNumber(const char* s, unsigned long max, unsigned long* v) {
    char* end = nullptr;
    errno = 0;
    unsigned long n = strtoul(s, &end, 10);
    if (!*s || *end || errno || s[0] == '-' || n > max) return false;
    *v = n;
    return true;
}

bool ymCliNumberOption(char opt, const char* arg, const char* what, unsigned long max,
                       unsigned long* v) {
    if (ymCliNumber(arg, max, v)) return true;
    fprintf(stderr, "drusk: -%c wants %s, not %s\n", opt, what, arg);
    return false;
}

void ymCliSplitList(const char* list, std::vector<std::string>* out) {
    std::string l = list;
    size_t at = 0;
    while (at <= l.size()) {
        size_t comma = l.find(',', at);
        if (comma == std::string::npos) comma = l.size();
        if (comma > at) out->push_back(l.substr(at, comma - at));
        at = comma + 1;
    }
}
