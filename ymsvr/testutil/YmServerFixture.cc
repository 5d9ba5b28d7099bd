// The end-to-end test fixture; see YmServerFixture.h.
#include "YmServerFixture.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <ftw.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

extern char** environ;

namespace {

const int kStepMs = 10;
const int kStartMs = 10000;

void napMs(int ms) { usleep(useconds_t(ms) * 1000); }

std::string be32(uint32_t v) {
    uint32_t n = htonl(v);
    return std::string(reinterpret_cast<const char*>(&n), 4);
}

bool listening(int port) {
    FILE* f = fopen("/proc/net/tcp", "re");
    if (!f) return false;
    char line[512];
    bool found = false;
    while (!found && fgets(line, sizeof line, f)) {
        unsigned int localPort = 0, state = 0;
        // "sl: local_ip:port remote_ip:port state ...", in hex; the title
        // line does not parse.
        if (sscanf(line, " %*d: %*x:%x %*x:%*x %x", &localPort, &state) == 2)
            found = int(localPort) == port && state == 0x0A;
    }
    fclose(f);
    return found;
}

int removeEntry(const char* path, const struct stat*, int, struct FTW*) {
    ::remove(path);
    return 0;
}

void mkdirs(const std::string& path) {
    for (size_t i = 1; i <= path.size(); i++)
        if (i == path.size() || path[i] == '/') ::mkdir(path.substr(0, i).c_str(), 0777);
}

}  // namespace

std::string ymFrameBytes(int type, int flag, int length, const std::string& payload) {
    return be32(uint32_t(type)) + be32(uint32_t(flag)) + be32(uint32_t(length)) + payload;
}

int ymListenLoopback(int* port) {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0) return -1;
    struct sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t l = sizeof a;
    if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(s, 5) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&a), &l) != 0) {
        ::close(s);
        return -1;
    }
    *port = ntohs(a.sin_port);
    return s;
}

int ymFreeLoopbackPort() {
    int port = -1;
    int s = ymListenLoopback(&port);
    if (s >= 0) ::close(s);
    return port;
}

namespace {

// The state letter and parent of a process from /proc/PID/stat; false when
// the process is gone (it may vanish while we read).
bool procStat(pid_t pid, char* state, int* ppid) {
    char path[64], buf[512];
    snprintf(path, sizeof path, "/proc/%d/stat", int(pid));
    FILE* f = fopen(path, "re");
    if (!f) return false;
    size_t n = fread(buf, 1, sizeof buf - 1, f);
    fclose(f);
    buf[n] = '\0';
    const char* close = strrchr(buf, ')');  // the name may hold spaces and ')'
    return close && sscanf(close + 1, " %c %d", state, ppid) == 2;
}

}  // namespace

std::vector<pid_t> ymChildrenOf(pid_t parent) {
    std::vector<pid_t> out;
    DIR* d = opendir("/proc");
    if (!d) return out;
    while (struct dirent* e = readdir(d)) {
        char* end;
        long pid = strtol(e->d_name, &end, 10);
        if (*end || pid <= 0) continue;
        char state;
        int ppid;
        if (procStat(pid_t(pid), &state, &ppid) && ppid == parent) out.push_back(pid_t(pid));
    }
    closedir(d);
    return out;
}

char ymProcState(pid_t pid) {
    char state;
    int ppid;
    return procStat(pid, &state, &ppid) ? state : 0;
}

// ---- YmTempDir ----

YmTempDir::YmTempDir() {
    char tmpl[] = "/tmp/ymtest.XXXXXX";
    if (mkdtemp(tmpl)) _path = tmpl;
}

YmTempDir::~YmTempDir() {
    if (!_path.empty()) nftw(_path.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

void YmTempDir::mkdir(const std::string& rel) const { mkdirs(file(rel)); }

void YmTempDir::write(const std::string& rel, const std::string& content) const {
    std::string full = file(rel);
    mkdirs(full.substr(0, full.rfind('/')));
    std::ofstream out(full, std::ios::binary | std::ios::trunc);
    out << content;
}

bool YmTempDir::exists(const std::string& rel) const { return access(file(rel).c_str(), F_OK) == 0; }

std::string YmTempDir::read(const std::string& rel) const {
    std::ifstream in(file(rel), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// ---- YmServer ----

YmServer::YmServer() {
    // Orphaned connection processes come to us, not to init, so their exit
    // statuses can be read and nothing is left unreaped.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    char tmpl[] = "/tmp/ymsvr-log.XXXXXX";
    int fd = mkstemp(tmpl);
    if (fd >= 0) {
        ::close(fd);
        _logPath = tmpl;
    }
}

YmServer::~YmServer() {
    stop();
    if (!_logPath.empty()) unlink(_logPath.c_str());
}

std::string YmServer::log() const {
    std::ifstream in(_logPath, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

pid_t YmServer::spawn(const std::vector<std::string>& env, const std::vector<std::string>& args) {
    const char* binDir = getenv("YM_BIN_DIR");
    std::string bin = std::string(binDir ? binDir : ".") + "/ymsvr";

    std::vector<std::string> envs;
    for (char** e = environ; *e; e++) envs.push_back(*e);
    for (const std::string& change : env) {
        std::string name = change.substr(0, change.find('='));
        for (size_t i = 0; i < envs.size();) {
            if (envs[i].compare(0, name.size() + 1, name + "=") == 0)
                envs.erase(envs.begin() + long(i));
            else
                i++;
        }
        if (change.find('=') != std::string::npos) envs.push_back(change);
    }
    std::vector<char*> envp, argv;
    for (std::string& e : envs) envp.push_back(&e[0]);
    envp.push_back(nullptr);
    std::vector<std::string> argStore = args;
    argStore.insert(argStore.begin(), bin);
    for (std::string& a : argStore) argv.push_back(&a[0]);
    argv.push_back(nullptr);

    int logFd = open(_logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(logFd, 1);
        dup2(logFd, 2);
        int devnull = open("/dev/null", O_RDONLY);
        dup2(devnull, 0);
        execve(bin.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    ::close(logFd);
    return pid;
}

bool YmServer::start(const std::vector<std::string>& env, const std::vector<std::string>& args) {
    for (int attempt = 0; attempt < 5; attempt++) {
        _port = ymFreeLoopbackPort();
        std::vector<std::string> full = {"-p", std::to_string(_port)};
        full.insert(full.end(), args.begin(), args.end());
        _pid = spawn(env, full);
        if (_pid < 0) return false;
        for (int waited = 0; waited < kStartMs; waited += kStepMs) {
            int st;
            if (waitpid(_pid, &st, WNOHANG) == _pid) {
                _pid = -1;
                // Somebody took the port between our probe and the bind.
                if (WIFEXITED(st) && WEXITSTATUS(st) == 255 && log().find("bind") != std::string::npos) break;
                return false;
            }
            if (listening(_port)) return true;
            napMs(kStepMs);
        }
        if (_pid > 0) {  // never listened
            stop();
            return false;
        }
    }
    return false;
}

int YmServer::runToExit(const std::vector<std::string>& env, const std::vector<std::string>& args, int timeoutMs) {
    pid_t pid = spawn(env, args);
    for (int waited = 0; waited < timeoutMs; waited += kStepMs) {
        int st;
        if (waitpid(pid, &st, WNOHANG) == pid) return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
        napMs(kStepMs);
    }
    for (pid_t c : ymChildrenOf(pid)) kill(c, SIGKILL);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

std::vector<pid_t> YmServer::connectionPids() const {
    if (_pid <= 0) return {};
    return ymChildrenOf(_pid);
}

bool YmServer::waitNoConnections(int timeoutMs) const {
    for (int waited = 0; waited < timeoutMs; waited += kStepMs) {
        if (connectionPids().empty()) return true;
        napMs(kStepMs);
    }
    return false;
}

bool YmServer::waitExit(int* status, int timeoutMs) {
    if (_pid <= 0) return false;
    for (int waited = 0; waited < timeoutMs; waited += kStepMs) {
        if (waitpid(_pid, status, WNOHANG) == _pid) {
            _pid = -1;
            return true;
        }
        napMs(kStepMs);
    }
    return false;
}

void YmServer::adopt() {
    if (_pid <= 0) return;
    for (pid_t c : connectionPids()) _adopted.push_back(c);
    kill(_pid, SIGKILL);
    waitpid(_pid, nullptr, 0);
    _pid = -1;
}

bool YmServer::waitConnection(pid_t pid, int* status, int timeoutMs) {
    for (int waited = 0; waited < timeoutMs; waited += kStepMs) {
        if (waitpid(pid, status, WNOHANG) == pid) return true;
        napMs(kStepMs);
    }
    return false;
}

void YmServer::stop() {
    std::vector<pid_t> conns = connectionPids();
    conns.insert(conns.end(), _conns.begin(), _conns.end());
    conns.insert(conns.end(), _adopted.begin(), _adopted.end());
    if (_pid > 0) {
        kill(_pid, SIGKILL);
        waitpid(_pid, nullptr, 0);
        _pid = -1;
    }
    // With the listener gone its connection processes are ours; end only
    // those (a pid reaped earlier may belong to somebody else by now).
    std::vector<pid_t> mine = ymChildrenOf(getpid());
    for (pid_t c : conns) {
        bool ours = false;
        for (pid_t m : mine) ours = ours || m == c;
        if (!ours) continue;
        kill(c, SIGKILL);
        waitpid(c, nullptr, 0);
    }
    _conns.clear();
    _adopted.clear();
}

// ---- YmClient ----

YmClient::~YmClient() { close(); }

bool YmClient::connect(YmServer& srv) {
    std::vector<pid_t> before = srv.connectionPids();
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    struct sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(uint16_t(srv.port()));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) < 0) {
        ::close(fd);
        return false;
    }
    // A frame that never completes must not hang the test.
    struct timeval tv = {10, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    _mps.Init(srv.port(), const_cast<char*>("127.0.0.1"));
    _mps._msg.Attach(fd);

    for (int waited = 0; waited < kStartMs; waited += kStepMs) {
        for (pid_t p : srv.connectionPids()) {
            bool old = false;
            for (pid_t b : before) old = old || b == p;
            if (!old) {
                _pid = p;
                srv.track(p);
                return true;
            }
        }
        napMs(kStepMs);
    }
    return false;
}

bool YmClient::send(int type, int flag, const std::string& payload) {
    return _mps.Send(type, flag, const_cast<char*>(payload.data()), int(payload.size()), nullptr, nullptr) >= 0;
}

bool YmClient::sendRaw(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t w = ::send(fd(), bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (w <= 0) return false;
        done += size_t(w);
    }
    return true;
}

bool YmClient::recv(YmFrame* f, int timeoutMs) {
    struct pollfd p = {fd(), POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0) return false;
    char* data = nullptr;
    int n = _mps.Recv(&data);
    if (n < 0) return false;
    f->type = _mps.GetType();
    f->flag = _mps.GetFlag();
    f->payload.assign(data, size_t(n));
    free(data);
    return true;
}

bool YmClient::waitClosed(int timeoutMs) {
    struct pollfd p = {fd(), POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0) return false;
    char c;
    // A peer that closes with our bytes still unread in its buffer resets
    // the connection instead of ending it.
    ssize_t r = ::recv(fd(), &c, 1, MSG_PEEK | MSG_DONTWAIT);
    return r == 0 || (r < 0 && errno == ECONNRESET);
}

void YmClient::close() {
    if (_mps._msg._socket >= 0) ::close(_mps._msg._socket);
    _mps._msg._socket = -1;
    _mps._msg._connected = 0;
}
