// Framing over real sockets: round trips, the exact bytes on the wire,
// refused and truncated frames, signals in the middle of a frame, and the
// client role's connect on first send.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "mps.h"

namespace {

struct Pair {
    int fds[2];
    Pair() { EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0); }
    ~Pair() {
        close(fds[0]);
        if (fds[1] >= 0) close(fds[1]);
    }
    void closePeer() {
        close(fds[1]);
        fds[1] = -1;
    }
};

std::string be32(uint32_t v) {
    uint32_t n = htonl(v);
    return std::string(reinterpret_cast<const char*>(&n), 4);
}

std::string frame(int type, int flag, int len, const std::string& payload) {
    return be32(uint32_t(type)) + be32(uint32_t(flag)) + be32(uint32_t(len)) + payload;
}

void writeAll(int fd, const std::string& s) {
    size_t done = 0;
    while (done < s.size()) {
        ssize_t w = write(fd, s.data() + done, s.size() - done);
        ASSERT_GT(w, 0);
        done += size_t(w);
    }
}

std::string readN(int fd, size_t n) {
    std::string out(n, '\0');
    size_t got = 0;
    while (got < n) {
        ssize_t r = read(fd, &out[got], n - got);
        if (r <= 0) break;
        got += size_t(r);
    }
    out.resize(got);
    return out;
}

TEST(Msg, RoundTripsAndWireBytes) {
    struct Case {
        const char* name;
        int type, flag;
        std::string payload;
    } cases[] = {
        {"empty payload", 999, 0, ""},
        {"text with NUL", 201, 0, std::string("jo\fstaff\f \f\0", 12)},
        {"negative fields", -5, -1, "x"},
        {"many read pieces", 407, 7, std::string(100003, 'q')},
    };
    for (const Case& c : cases) {
        Pair p;
        Msg tx, rx;
        tx.Attach(p.fds[1]);
        rx.Attach(p.fds[0]);
        std::thread w([&] {
            EXPECT_EQ(tx.Send(c.type, c.flag, const_cast<char*>(c.payload.data()), int(c.payload.size()), nullptr),
                      int(c.payload.size()))
                << c.name;
        });
        char* data = nullptr;
        EXPECT_EQ(rx.Recv(&data), int(c.payload.size())) << c.name;
        w.join();
        ASSERT_NE(data, nullptr) << c.name;
        EXPECT_EQ(std::string(data, c.payload.size()), c.payload) << c.name;
        EXPECT_EQ(data[c.payload.size()], '\0') << c.name;  // guard byte behind the payload
        EXPECT_EQ(rx.GetType(), c.type);
        EXPECT_EQ(rx.GetFlag(), c.flag);
        EXPECT_EQ(rx.GetLength(), int(c.payload.size()));
        free(data);
        p.fds[1] = -1;  // owned by tx now, closed by the pair's peer below
        close(tx.GetSock());
    }

    // Most significant byte first, whatever the host.
    Pair p;
    Msg tx;
    tx.Attach(p.fds[1]);
    char ab[] = "ab";
    EXPECT_EQ(tx.Send(0x01020304, -2, ab, 2, nullptr), 2);
    EXPECT_EQ(readN(p.fds[0], 14), std::string("\x01\x02\x03\x04\xff\xff\xff\xfe\0\0\0\x02" "ab", 14));
}

TEST(Msg, RefusedAndTruncatedFramesAreDropped) {
    struct Case {
        const char* name;
        std::string bytes;
        int err;
    } cases[] = {
        {"type and flag 0", frame(0, 0, 3, "abc"), EPROTO},
        {"negative length", frame(1, 0, -1, ""), EMSGSIZE},
        {"2 GiB length", frame(1, 0, int(0x7fffffff), ""), EMSGSIZE},
        {"one above the limit", frame(1, 0, YM_MAX_FRAME_LENGTH + 1, "abc"), EMSGSIZE},
        {"end of file in header", std::string("\0\0\0\x01\0", 5), ECONNRESET},
        {"end of file in payload", frame(1, 0, 10, "abcd"), ECONNRESET},
        {"nothing at all", "", ECONNRESET},
    };
    for (const Case& c : cases) {
        Pair p;
        Msg rx;
        rx.Attach(p.fds[0]);
        writeAll(p.fds[1], c.bytes);
        p.closePeer();
        char* data = reinterpret_cast<char*>(&rx);  // must be cleared
        EXPECT_EQ(rx.Recv(&data), -1) << c.name;
        EXPECT_EQ(data, nullptr) << c.name;
        EXPECT_EQ(rx.Errno(), c.err) << c.name;
        // Never the codes a server loop takes as "go on receiving".
        EXPECT_NE(rx.Errno(), MPS_NEWCONN);
        EXPECT_NE(rx.Errno(), MPS_EINTR);
    }
}

// The server-down notice: a bare header at a frame boundary; nothing once a
// frame was cut, nothing without a connection, and no endless wait on a
// peer that reads nothing.
TEST(Msg, NoticeOnlyBetweenWholeFrames) {
    Pair p;
    Msg tx;
    EXPECT_EQ(tx.SendNotice(102, 0), -1);  // not connected
    tx.Attach(p.fds[1]);
    p.fds[1] = -1;  // tx's now
    EXPECT_EQ(tx.SendNotice(102, 0), 0);
    EXPECT_EQ(readN(p.fds[0], 12), frame(102, 0, 0, ""));

    // A peer that reads nothing: the buffers fill, the notice gives up.
    char junk[4096] = {};
    while (send(tx.GetSock(), junk, sizeof junk, MSG_DONTWAIT) > 0) {
    }
    EXPECT_EQ(tx.SendNotice(102, 0), -1);

    // A frame that could not be written leaves the stream broken.
    int c[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, c), 0);
    Msg cut;
    cut.Attach(c[0]);
    close(c[1]);
    std::string big(1 << 20, 'b');
    EXPECT_EQ(cut.Send(999, 0, &big[0], int(big.size()), nullptr), -1);
    EXPECT_EQ(cut.SendNotice(102, 0), -1);
    close(c[0]);
    close(tx.GetSock());
}

std::atomic<int> gSignals{0};
void countSignal(int) { gSignals++; }

TEST(Msg, SignalsBetweenPiecesDoNotSplitAFrame) {
    // No SA_RESTART: every signal makes the blocked read fail with EINTR.
    struct sigaction sa, old;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = countSignal;
    sigaction(SIGUSR2, &sa, &old);

    Pair p;
    Msg rx;
    rx.Attach(p.fds[0]);
    pthread_t reader = pthread_self();
    std::atomic<bool> done{false};
    std::string bytes = frame(999, 3, 5, "hello") + frame(998, 0, 0, "");
    std::thread w([&] {
        for (char ch : bytes) {
            usleep(2000);
            if (!done) pthread_kill(reader, SIGUSR2);
            usleep(2000);
            ASSERT_EQ(write(p.fds[1], &ch, 1), 1);
        }
    });
    char* data = nullptr;
    EXPECT_EQ(rx.Recv(&data), 5);
    EXPECT_EQ(std::string(data), "hello");
    EXPECT_EQ(rx.GetType(), 999);
    EXPECT_EQ(rx.GetFlag(), 3);
    free(data);
    EXPECT_EQ(rx.Recv(&data), 0);
    EXPECT_EQ(rx.GetType(), 998);
    done = true;
    w.join();
    free(data);
    EXPECT_GT(gSignals.load(), 0);
    sigaction(SIGUSR2, &old, nullptr);
}

int listenLoopback(int* port) {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    struct sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(uint16_t(*port));
    if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) < 0 || listen(s, 5) < 0) {
        close(s);
        return -1;
    }
    socklen_t l = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &l);
    *port = ntohs(a.sin_port);
    return s;
}

TEST(Msg, ClientConnectsOnFirstSendAndRetriesOnAFreshSocket) {
    int port = 0;
    int probe = listenLoopback(&port);
    ASSERT_GE(probe, 0);
    close(probe);  // nothing listens on port now

    MPS client;
    client.Init(port, const_cast<char*>("localhost"));
    EXPECT_EQ(client.Connected(), 0);
    // Sockets are told apart by their inode: a descriptor number may be
    // reused for the new one.
    auto inode = [](int fd) {
        struct stat st;
        return fstat(fd, &st) == 0 ? st.st_ino : ino_t(0);
    };
    const int firstFd = client.GetSock();
    const ino_t first = inode(firstFd);
    ASSERT_NE(first, ino_t(0));
    int rlen = 9;
    EXPECT_EQ(client.Send(101, nullptr, &rlen), -1);
    EXPECT_EQ(client.Errno(), ECONNREFUSED);
    EXPECT_EQ(rlen, 0);
    // The failed socket is closed and a new one, with its options, is ready.
    const ino_t second = inode(client.GetSock());
    EXPECT_NE(second, ino_t(0));
    EXPECT_NE(second, first);
    if (firstFd != client.GetSock()) {
        EXPECT_EQ(fcntl(firstFd, F_GETFD), -1);
    }
    int nodelay = 0;
    socklen_t optLen = sizeof nodelay;
    ASSERT_EQ(getsockopt(client.GetSock(), IPPROTO_TCP, TCP_NODELAY, &nodelay, &optLen), 0);
    EXPECT_EQ(nodelay, 1);

    int ls = listenLoopback(&port);
    ASSERT_GE(ls, 0);
    // Now the send connects and waits for exactly one frame back.
    std::thread srv([&] {
        int c = accept(ls, nullptr, nullptr);
        std::string got = readN(c, 12 + 3);
        EXPECT_EQ(got, frame(201, 0, 3, std::string("a\f\0", 3)));
        writeAll(c, frame(205, 0, 2, "ok"));
        close(c);
    });
    char req[] = "a\f";
    char* res = nullptr;
    EXPECT_EQ(client.Send(201, req, 3, &res, &rlen), 2);
    EXPECT_EQ(rlen, 2);
    ASSERT_NE(res, nullptr);
    EXPECT_EQ(std::string(res), "ok");
    EXPECT_EQ(client.GetType(), 205);
    EXPECT_EQ(client.Connected(), 1);
    free(res);
    srv.join();
    close(ls);
    close(client.GetSock());
}

}  // namespace
