// Exact reads and writes: every byte through a socket, a pipe and a file,
// with signals cutting the calls short, end of file, and a closed peer.
#include "YmIo.h"

#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

std::atomic<int> gSignals{0};
void count(int) { gSignals++; }

std::string pattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; i++) s[i] = char(i * 7 + i / 251);
    return s;
}

// No SA_RESTART: each signal makes a blocked call return early.
struct Interrupting {
    struct sigaction old;
    Interrupting() {
        struct sigaction sa;
        memset(&sa, 0, sizeof sa);
        sa.sa_handler = count;
        sigaction(SIGUSR2, &sa, &old);
    }
    ~Interrupting() { sigaction(SIGUSR2, &old, nullptr); }
};

TEST(YmIo, EveryByteThroughSocketAndPipeDespiteSignals) {
    Interrupting in;
    for (bool socket : {true, false}) {
        SCOPED_TRACE(socket ? "socket" : "pipe");
        int fds[2];
        ASSERT_EQ(socket ? socketpair(AF_UNIX, SOCK_STREAM, 0, fds) : pipe(fds), 0);
        const std::string data = pattern(4 << 20);  // far more than the buffers hold
        gSignals = 0;
        std::atomic<bool> done{false};
        std::thread w([&] {
            EXPECT_EQ(ymWriteAll(fds[1], data.data(), data.size()), 0);
            done = true;
            close(fds[1]);
        });
        std::string got(data.size() + 10, '\0');
        size_t at = 0;
        // Small reads with a signal to the blocked writer between them.
        while (at < got.size()) {
            if (!done) pthread_kill(w.native_handle(), SIGUSR2);
            long r = ymReadAll(fds[0], &got[at], 100000);
            ASSERT_GE(r, 0);
            at += size_t(r);
            if (r < 100000) break;  // end of file
        }
        w.join();
        EXPECT_EQ(at, data.size());
        EXPECT_TRUE(got.compare(0, data.size(), data) == 0);
        EXPECT_GT(gSignals.load(), 0);
        close(fds[0]);
    }
}

TEST(YmIo, FileEndOfFileAndClosedPeer) {
    char path[] = "/tmp/ymio.XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    unlink(path);
    const std::string data = pattern(70000);
    ASSERT_EQ(ymWriteAll(fd, data.data(), data.size()), 0);
    ASSERT_EQ(lseek(fd, 0, SEEK_SET), 0);
    std::string got(data.size() * 2, '\0');
    EXPECT_EQ(ymReadAll(fd, &got[0], got.size()), long(data.size()));  // short only at the end
    EXPECT_EQ(got.substr(0, data.size()), data);
    EXPECT_EQ(ymReadAll(fd, &got[0], 10), 0);
    close(fd);

    char c;
    EXPECT_EQ(ymReadAll(fd, &c, 1), -1);  // a closed descriptor
    EXPECT_EQ(errno, EBADF);

    // A socket whose peer is gone: EPIPE, and the process lives on.
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    close(fds[1]);
    errno = 0;
    EXPECT_EQ(ymWriteAll(fds[0], "abc", 3), -1);
    EXPECT_EQ(errno, EPIPE);
    close(fds[0]);
}

}  // namespace
