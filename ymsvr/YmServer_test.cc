// End-to-end tests of the server's spine: the real ymsvr on a loopback port,
// spoken to through the client role of the message passing service. Echo of
// unhandled types, quit, signals, the lock-info answer, refused frames,
// several clients, leftovers, and the command line.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "YmInitMsg.h"
#include "YmLimits.h"
#include "YmMsgTypes.h"
#include "YmServerFixture.h"
#include "YmTestDatabase.h"
#include "YmTestLogin.h"

namespace {

class Spine : public ::testing::Test {
  protected:
    void SetUp() override {
        data.write("druskvers", "spine 1\n");
        data.write("drusktree", "0|Root|x|y\n");
        root.mkdir("usr/tmp");
        ASSERT_TRUE(ymAddTinyDatabase(data));
        ASSERT_TRUE(srv.start(env())) << srv.log();
    }
    std::vector<std::string> env() const {
        return {"FULSEARCH=" + data.path(), "FULPATH", "YM_ROOT=" + root.path()};
    }
    // One unhandled frame goes out and must come back as it was.
    static void expectEcho(YmClient& c, int type, int flag, const std::string& payload) {
        ASSERT_TRUE(c.send(type, flag, payload));
        YmFrame f;
        ASSERT_TRUE(c.recv(&f));
        EXPECT_EQ(f.type, type);
        EXPECT_EQ(f.flag, flag);
        EXPECT_EQ(f.payload, payload);
    }
    static std::string login(const std::string& user) { return ymLoginRequest(user.c_str()); }

    YmTempDir data, root;
    YmServer srv;
};

TEST_F(Spine, UnhandledTypesComeBackUnchanged) {
    YmClient c;
    ASSERT_TRUE(c.connect(srv));
    struct Case {
        const char* name;
        int type, flag;
        std::string payload;
    } cases[] = {
        {"unknown type", 999, 7, "abc"},
        {"zero-length payload", 999, 0, ""},
        {"binary payload, negative flag", 12345, -3, std::string("\0\xff\f\n", 4)},
        {"larger than one read piece", 998, 1, std::string(70000, 'z')},
        {"server-bound result type", YmMsgType::InitResult, 0, "x"},
        {"type 0 with a flag", 0, 1, "p"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        expectEcho(c, k.type, k.flag, k.payload);
    }

    // State messages of the client side have no handler either.
    unsigned char state[YM_INIT_STATE_SIZE];
    ASSERT_EQ(YmInitStateMsg::encode(3, "pref", state), 0);
    expectEcho(c, YmMsgType::SetInit, 0, std::string(reinterpret_cast<char*>(state), sizeof state));

    // A header that arrives one byte at a time, then two frames in one write.
    std::string one = ymFrameBytes(777, 2, 3, "xyz");
    for (char ch : one) ASSERT_TRUE(c.sendRaw(std::string(1, ch)));
    YmFrame f;
    ASSERT_TRUE(c.recv(&f));
    EXPECT_EQ(f.type, 777);
    EXPECT_EQ(f.payload, "xyz");
    ASSERT_TRUE(c.sendRaw(ymFrameBytes(701000, 0, 1, "a") + ymFrameBytes(701001, 0, 0, "")));
    ASSERT_TRUE(c.recv(&f));
    EXPECT_EQ(f.type, 701000);
    ASSERT_TRUE(c.recv(&f));
    EXPECT_EQ(f.type, 701001);
    EXPECT_EQ(f.payload, "");
}

TEST_F(Spine, QuitClosesOnlyItsConnectionAndLeavesNoZombies) {
    YmClient a, b;
    ASSERT_TRUE(a.connect(srv));
    ASSERT_TRUE(b.connect(srv));
    EXPECT_NE(a.pid(), b.pid());  // one process per client

    // Interleaved requests of two clients are served independently.
    ASSERT_TRUE(a.send(999, 1, "from a"));
    ASSERT_TRUE(b.send(999, 2, "from b"));
    YmFrame fa, fb;
    ASSERT_TRUE(b.recv(&fb));
    ASSERT_TRUE(a.recv(&fa));
    EXPECT_EQ(fa.payload, "from a");
    EXPECT_EQ(fb.payload, "from b");

    ASSERT_TRUE(a.send(YmMsgType::Quit, 0, "ignored"));
    EXPECT_TRUE(a.waitClosed());
    expectEcho(b, 999, 0, "still here");
    YmClient c;
    ASSERT_TRUE(c.connect(srv));
    expectEcho(c, 999, 0, "new client");

    b.close();  // end of file without quit ends that process too
    ASSERT_TRUE(c.send(YmMsgType::Quit, 0, ""));
    EXPECT_TRUE(c.waitClosed());
    // Ended processes are reaped by the system: none is left, not even as
    // a zombie.
    EXPECT_TRUE(srv.waitNoConnections());
    EXPECT_EQ(ymProcState(srv.pid()), 'S');
}

TEST_F(Spine, ExitStatusesOfConnectionProcesses) {
    YmClient quit, sigint, eof;
    ASSERT_TRUE(quit.connect(srv));
    ASSERT_TRUE(sigint.connect(srv));
    ASSERT_TRUE(eof.connect(srv));
    srv.adopt();  // their statuses are now ours to read

    int st = 0;
    ASSERT_TRUE(quit.send(YmMsgType::Quit, 0, ""));
    ASSERT_TRUE(srv.waitConnection(quit.pid(), &st));
    EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << st;

    ASSERT_EQ(kill(sigint.pid(), SIGINT), 0);
    YmFrame f;
    ASSERT_TRUE(sigint.recv(&f));
    EXPECT_EQ(f.type, YmMsgType::ServerDown);
    EXPECT_EQ(f.flag, 0);
    EXPECT_EQ(f.payload, "");
    ASSERT_TRUE(srv.waitConnection(sigint.pid(), &st));
    EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 1) << st;

    eof.close();
    ASSERT_TRUE(srv.waitConnection(eof.pid(), &st));
    EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 255) << st;
}

// A kill signal while an answer is being written waits for the answer to be
// out: the client gets the whole frame, then 102, then the end.
TEST_F(Spine, KillDuringALongAnswerFollowsIt) {
    YmClient c;
    ASSERT_TRUE(c.connect(srv));
    srv.adopt();
    // Far more than the socket buffers hold, so the echo blocks until read.
    const std::string big(20 << 20, 'e');
    ASSERT_TRUE(c.send(999, 5, big));
    struct pollfd p = {c.fd(), POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 10000), 1);  // the echo has begun
    ASSERT_EQ(kill(c.pid(), SIGINT), 0);

    YmFrame f;
    ASSERT_TRUE(c.recv(&f));
    EXPECT_EQ(f.type, 999);
    EXPECT_EQ(f.flag, 5);
    EXPECT_TRUE(f.payload == big) << "echo of " << f.payload.size() << " bytes altered";
    ASSERT_TRUE(c.recv(&f));
    EXPECT_EQ(f.type, YmMsgType::ServerDown);
    EXPECT_EQ(f.payload, "");
    EXPECT_TRUE(c.waitClosed());
    int st = 0;
    ASSERT_TRUE(srv.waitConnection(c.pid(), &st));
    EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 1) << st;
}

// SIGINT at random moments while a client streams frames and reads the
// echoes: every connection process ends with status 1 (none hangs), and what
// the client receives is a beginning of the echoes in order followed by one
// 102: the notice never lands inside another frame. The stream may be cut
// short, since a process that ends with frames of ours unread resets the
// connection, and the reset drops what it had not sent yet.
TEST_F(Spine, KillAtRandomMomentsNeverHangsOrSplitsAFrame) {
    const int kRounds = 50;
    std::vector<YmClient> clients(kRounds);
    for (YmClient& c : clients) ASSERT_TRUE(c.connect(srv));
    srv.adopt();
    auto payloadOf = [](int round, int i) {
        // From a few bytes to far more than one write moves at once.
        return std::to_string(round) + ":" + std::to_string(i) +
               std::string(size_t((round * 7919 + i * 104729) % 150000), 'p');
    };
    auto echoOf = [&](int round, int i) {
        std::string p = payloadOf(round, i);
        return ymFrameBytes(999, round, int(p.size()), p);
    };
    const std::string notice = ymFrameBytes(YmMsgType::ServerDown, 0, 0, "");
    std::mt19937 rng(12345);
    for (int round = 0; round < kRounds; round++) {
        SCOPED_TRACE(round);
        YmClient& c = clients[size_t(round)];
        const size_t killAt = rng() % (2 << 20);  // bytes of echo received
        std::atomic<bool> stop{false};
        std::thread writer([&] {
            for (int i = 0; !stop; i++)
                if (!c.sendRaw(echoOf(round, i))) break;
        });
        std::string got;
        bool killed = false;
        char buf[65536];
        for (;;) {
            if (!killed && got.size() >= killAt) {
                ASSERT_EQ(kill(c.pid(), SIGINT), 0);
                killed = true;
            }
            struct pollfd p = {c.fd(), POLLIN, 0};
            ASSERT_EQ(poll(&p, 1, 10000), 1) << "no end after SIGINT";
            ssize_t r = ::recv(c.fd(), buf, sizeof buf, 0);
            if (r <= 0) {
                ASSERT_TRUE(r == 0 || errno == ECONNRESET) << strerror(errno);
                break;
            }
            got.append(buf, size_t(r));
        }
        stop = true;
        writer.join();

        size_t at = 0;
        int echoes = 0;
        while (at < got.size()) {
            const std::string rest = got.substr(at, 200000);
            const std::string echo = echoOf(round, echoes);
            if (rest.compare(0, echo.size(), echo) == 0) {
                at += echo.size();
                echoes++;
            } else if (rest.compare(0, notice.size(), notice) == 0) {
                at += notice.size();
                EXPECT_EQ(at, got.size()) << "bytes after 102";
                break;
            } else {
                // The cut end: a beginning of the next echo or of the notice.
                EXPECT_TRUE(echo.compare(0, rest.size(), rest) == 0 || notice.compare(0, rest.size(), rest) == 0)
                    << "not the stream of frames after " << echoes << " echoes";
                break;
            }
        }
        int st = 0;
        ASSERT_TRUE(srv.waitConnection(c.pid(), &st)) << "connection process hangs";
        EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 1) << st;
    }
}

// Running out of descriptors makes accept fail for a while; the listener
// reports it, waits and accepts again once there is room.
TEST_F(Spine, ListenerSurvivesRunningOutOfDescriptors) {
    // The listener listens before it has built its models: once it has
    // served a client, it is in its loop and needs no more descriptors.
    {
        YmClient first;
        ASSERT_TRUE(first.connect(srv));
        expectEcho(first, 999, 0, "ready");
    }
    // The lowest free descriptor number of the listener: with the limit
    // there, accept has nowhere to put the new connection.
    int lowest = 0;
    while (access(("/proc/" + std::to_string(srv.pid()) + "/fd/" + std::to_string(lowest)).c_str(), F_OK) == 0)
        lowest++;
    struct rlimit old, tight;
    ASSERT_EQ(prlimit(srv.pid(), RLIMIT_NOFILE, nullptr, &old), 0);
    tight = old;
    tight.rlim_cur = rlim_t(lowest);
    ASSERT_EQ(prlimit(srv.pid(), RLIMIT_NOFILE, &tight, nullptr), 0);

    YmClient c;
    bool connected = false;
    std::thread t([&] { connected = c.connect(srv); });
    bool reported = false;
    for (int i = 0; i < 1000 && !reported; i++) {
        reported = srv.log().find("accept: Too many open files") != std::string::npos;
        if (!reported) usleep(10000);
    }
    EXPECT_TRUE(reported) << srv.log();
    char state = ymProcState(srv.pid());
    EXPECT_TRUE(state == 'S' || state == 'R') << state;
    ASSERT_EQ(prlimit(srv.pid(), RLIMIT_NOFILE, &old, nullptr), 0);
    t.join();
    ASSERT_TRUE(connected);
    expectEcho(c, 999, 0, "served after all");
    YmClient later;
    ASSERT_TRUE(later.connect(srv));
    expectEcho(later, 999, 0, "and after that");
}

TEST_F(Spine, SigintEndsTheListenerWithStatusOne) {
    ASSERT_EQ(kill(srv.pid(), SIGINT), 0);
    int st = 0;
    ASSERT_TRUE(srv.waitExit(&st));
    EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 1) << st;
}

TEST_F(Spine, RefusedFramesEndOnlyTheirOwnConnection) {
    struct Case {
        const char* name;
        std::string bytes;
        bool halfClose;  // shut our sending side after the bytes
    } cases[] = {
        {"negative length", ymFrameBytes(999, 0, -1, ""), false},
        {"2 GiB length", ymFrameBytes(999, 0, int(0x80000000u), "abc"), false},
        {"just under 2 GiB", ymFrameBytes(999, 0, 0x7fffffff, "abc"), false},
        {"above the frame limit", ymFrameBytes(999, 0, YM_MAX_FRAME_LENGTH + 1, ""), false},
        {"truncated payload", ymFrameBytes(999, 0, 10, "abcd"), true},
        {"truncated header", std::string("\0\0\x03", 3), true},
        {"type and flag 0", ymFrameBytes(0, 0, 0, ""), false},
    };
    YmClient bystander;
    ASSERT_TRUE(bystander.connect(srv));
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        YmClient c;
        ASSERT_TRUE(c.connect(srv));
        ASSERT_TRUE(c.sendRaw(k.bytes));
        if (k.halfClose) shutdown(c.fd(), SHUT_WR);
        EXPECT_TRUE(c.waitClosed());
        expectEcho(bystander, 999, 0, k.name);
    }
    YmClient late;
    ASSERT_TRUE(late.connect(srv));
    expectEcho(late, 999, 0, "listener unaffected");

    // The refused connections end with 255: neither 1 (new connection) nor
    // 4 (interrupted), which would keep the process receiving.
    std::vector<YmClient> conns(3);
    for (YmClient& c : conns) ASSERT_TRUE(c.connect(srv));
    srv.adopt();
    ASSERT_TRUE(conns[0].sendRaw(ymFrameBytes(999, 0, -5, "")));
    ASSERT_TRUE(conns[1].sendRaw(ymFrameBytes(0, 0, 4, "abcd")));
    ASSERT_TRUE(conns[2].sendRaw(ymFrameBytes(999, 0, 8, "ab")));
    shutdown(conns[2].fd(), SHUT_WR);
    for (YmClient& c : conns) {
        int st = 0;
        ASSERT_TRUE(srv.waitConnection(c.pid(), &st));
        EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 255) << st;
    }
}

TEST_F(Spine, Sigusr2WritesTheUserAsPlainTextAndTheConnectionGoesOn) {
    const std::string marker = root.file("ran");
    const std::string names[] = {
        "$(touch " + marker + ")",
        "`touch " + marker + "`",
        "it's \"quoted\"; touch " + marker,
        "back\\slash $HOME",
        std::string(5000, 'L'),  // far longer than any fixed buffer
    };
    const std::string info = "usr/tmp/.drusk_flock_info";
    for (const std::string& name : names) {
        SCOPED_TRACE(name.substr(0, 40));
        YmClient c;
        ASSERT_TRUE(c.connect(srv));
        ASSERT_TRUE(c.send(YmMsgType::InitReq, 0, login(name)));
        YmFrame f;
        ASSERT_TRUE(c.recv(&f));
        ASSERT_EQ(f.type, YmMsgType::InitResult);

        // The process is blocked reading its next header; half of it is
        // already there when the signal comes.
        root.write(info, "stale\n");
        std::string frame = ymFrameBytes(999, 4, 2, "ok");
        ASSERT_TRUE(c.sendRaw(frame.substr(0, 5)));
        ASSERT_EQ(kill(c.pid(), SIGUSR2), 0);
        for (int i = 0; i < 1000 && root.read(info) != name + "\n"; i++) usleep(10000);
        EXPECT_EQ(root.read(info), name + "\n");
        ASSERT_TRUE(c.sendRaw(frame.substr(5)));
        ASSERT_TRUE(c.recv(&f));
        EXPECT_EQ(f.type, 999);
        EXPECT_EQ(f.flag, 4);
        EXPECT_EQ(f.payload, "ok");
        EXPECT_FALSE(root.exists("ran"));
    }
}

TEST(ServerCommandLine, RefusalsAndExitStatuses) {
    YmTempDir data;
    data.write("druskvers", "v\n");
    ASSERT_TRUE(ymAddTinyDatabase(data));
    YmServer probe;
    const std::string fs = "FULSEARCH=" + data.path();
    struct Case {
        const char* name;
        std::vector<std::string> env, args;
        int status;
        const char* text;
    } cases[] = {
        {"no data directories", {"FULSEARCH", "FULPATH"}, {"-p", "1"},
         1, "ymsvr: No \"FULSEARCH\" environment variable is set. Exiting...\n\nusage: ymsvr [ -p port ] [ -f FULSEARCH ]\n"},
        {"empty -f does not count", {"FULSEARCH", "FULPATH"}, {"-f", ""}, 1, "No \"FULSEARCH\""},
        {"unknown option", {fs}, {"-x"}, 1, "usage: ymsvr [ -p port ] [ -f FULSEARCH ]"},
        {"port out of range", {fs}, {"-p", "70000"}, 1, "usage:"},
        {"negative port", {fs}, {"-p", "-5"}, 1, "usage:"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        EXPECT_EQ(probe.runToExit(k.env, k.args), k.status);
        EXPECT_NE(probe.log().find(k.text), std::string::npos) << probe.log();
    }

    // A port that is taken: bind fails and the server exits 255.
    YmServer first;
    ASSERT_TRUE(first.start({fs})) << first.log();
    EXPECT_EQ(probe.runToExit({fs}, {"-p", std::to_string(first.port())}), 255);
    EXPECT_NE(probe.log().find("bind"), std::string::npos) << probe.log();
}

TEST(ServerCommandLine, DashFOverridesTheEnvironmentWhateverItsLength) {
    YmTempDir a, b;
    a.write("druskvers", "from env\n");
    // A data directory path far longer than any fixed buffer.
    std::string deep = std::string(120, 'd') + "/" + std::string(120, 'e') + "/" + std::string(120, 'f');
    b.write(deep + "/druskvers", "from option\n");
    b.write("docs/a.txt", "one document\n");
    ASSERT_TRUE(ymIndexDatabase(b.file(deep), "tiny", b.file("docs")));
    YmServer srv;
    ASSERT_TRUE(srv.start({"FULSEARCH=" + a.path()}, {"-f", b.file(deep)})) << srv.log();
    YmClient c;
    ASSERT_TRUE(c.connect(srv));
    std::string answer;
    ASSERT_TRUE(ymLogin(c, "jo", nullptr, &answer));
    YmInitResultMsg res;
    res.readIn(answer.data(), int(answer.size()));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(res._dataVers.data)), "from option ");
}

}  // namespace
