// portseek against real sockets that the test opens on loopback, on every
// IPv4 address and on IPv6, and its usage errors.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Result {
    int status = -1;
    std::string out, err;
};

std::string portseekPath() {
    const char* dir = std::getenv("YM_BIN_DIR");
    return std::string(dir ? dir : ".") + "/portseek";
}

std::string readAll(int fd) {
    std::string s;
    char buf[512];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR)) {
        if (n > 0) s.append(buf, n);
    }
    close(fd);
    return s;
}

// Runs portseek with the arguments; its outputs are a few bytes, so reading
// one pipe after the other cannot block the child.
Result runPortseek(const std::vector<std::string>& args) {
    Result r;
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) return r;
    std::string path = portseekPath();
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        dup2(err[1], 2);
        close(out[0]), close(out[1]), close(err[0]), close(err[1]);
        std::vector<char*> argv{const_cast<char*>(path.c_str())};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(path.c_str(), argv.data());
        _exit(127);
    }
    close(out[1]), close(err[1]);
    r.out = readAll(out[0]);
    r.err = readAll(err[0]);
    int st = 0;
    if (pid > 0 && waitpid(pid, &st, 0) == pid && WIFEXITED(st)) r.status = WEXITSTATUS(st);
    return r;
}

// A TCP socket bound to addr:port, listening if asked; -1 if the port is not
// free there. No address reuse, like the server.
int bindTcp(int family, const char* addr, int port, bool listening) {
    int s = socket(family, SOCK_STREAM, 0);
    if (s < 0) return -1;
    int ok;
    if (family == AF_INET6) {
        int one = 1;
        setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
        sockaddr_in6 a{};
        a.sin6_family = AF_INET6;
        a.sin6_port = htons(port);
        inet_pton(AF_INET6, addr, &a.sin6_addr);
        ok = bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    } else {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        inet_pton(AF_INET, addr, &a.sin_addr);
        ok = bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    if (ok != 0 || (listening && listen(s, 5) != 0)) {
        close(s);
        return -1;
    }
    return s;
}

bool canBindEveryAddress(int port) {
    int s = bindTcp(AF_INET, "0.0.0.0", port, false);
    if (s < 0) return false;
    close(s);
    return true;
}

std::string line(int port) { return std::to_string(port) + "\n"; }

// Listeners at S-1 (every address), S (127.0.0.1 only), S+1 (every address)
// and S+2 (IPv6, else 127.0.0.1 again); S+3 free.
class PortseekListeners : public ::testing::Test {
protected:
    void SetUp() override {
        int probe = bindTcp(AF_INET6, "::1", 0, false);
        bool ipv6 = probe >= 0;
        if (ipv6) close(probe);
        srand(getpid());
        for (int attempt = 0; attempt < 200 && socks.empty(); ++attempt) {
            start = 20000 + rand() % 20000;
            bool runFree = true;
            for (int p = start - 1; p <= start + 3 && runFree; ++p) runFree = canBindEveryAddress(p);
            if (!runFree) continue;
            socks = {bindTcp(AF_INET, "0.0.0.0", start - 1, true),
                     bindTcp(AF_INET, "127.0.0.1", start, true),
                     bindTcp(AF_INET, "0.0.0.0", start + 1, true),
                     ipv6 ? bindTcp(AF_INET6, "::", start + 2, true)
                          : bindTcp(AF_INET, "127.0.0.1", start + 2, true)};
            // Someone took a port meanwhile: try another run.
            if (std::find(socks.begin(), socks.end(), -1) != socks.end()) closeAll();
        }
        ASSERT_FALSE(socks.empty()) << "no free run of five ports found";
    }
    void TearDown() override { closeAll(); }
    void closeAll() {
        for (int s : socks) {
            if (s >= 0) close(s);
        }
        socks.clear();
    }

    int start = 0;
    std::vector<int> socks;
};

TEST_F(PortseekListeners, SkipsEveryListenerAtOrAboveTheStart) {
    const struct {
        int start, expected;
    } cases[] = {
        {start, start + 3},      // the start and the next two taken
        {start - 1, start + 3},  // with a wildcard listener at the start itself
        {start + 2, start + 3},  // an IPv6 (or one-address) listener counts
        {start + 3, start + 3},  // nothing at or above: the start itself
    };
    for (const auto& c : cases) {
        Result r = runPortseek({std::to_string(c.start)});
        EXPECT_EQ(r.out, line(c.expected)) << "start " << c.start << ": " << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 1);
    }
    // The printed port is one a server binding every address can take.
    int s = bindTcp(AF_INET, "0.0.0.0", start + 3, true);
    EXPECT_GE(s, 0) << "bind on every address failed: " << strerror(errno);
    if (s >= 0) close(s);
}

// The server binds without address reuse, so the TIME_WAIT entry a closed
// connection leaves behind blocks its port as surely as a listener.
TEST_F(PortseekListeners, SkipsAPortHeldByAClosedConnection) {
    int port = start + 3;
    int l = bindTcp(AF_INET, "127.0.0.1", port, true);
    ASSERT_GE(l, 0);
    int c = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
    ASSERT_EQ(connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    int accepted = accept(l, nullptr, nullptr);
    ASSERT_GE(accepted, 0);
    close(accepted);  // the side closing first holds TIME_WAIT on the port
    close(l);
    char b;
    ASSERT_EQ(read(c, &b, 1), 0);  // the peer's close has arrived
    close(c);
    if (canBindEveryAddress(port)) GTEST_SKIP() << "this kernel lets a bind pass TIME_WAIT";

    Result r = runPortseek({std::to_string(start)});
    EXPECT_EQ(r.out, line(start + 4)) << r.err;
}

TEST(Portseek, UsageErrors) {
    const std::vector<std::vector<std::string>> cases = {
        {}, {"6004", "6005"}, {"abc"}, {"0"}, {"70000"}, {"-5"}};
    for (const auto& args : cases) {
        Result r = runPortseek(args);
        EXPECT_EQ(r.status, 1) << args.size();
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "-1 : usage : " + portseekPath() + " startPortNum\n");
    }
}

}  // namespace
