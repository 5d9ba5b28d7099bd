// End-to-end tests of the server's spine: the real ymsvr on a loopback port,
// spoken to through the client role of the message passing service. Echo of
// unhandled types, quit, signals, the lock-info answer, refused frames,
// several clients, leftovers, and the command line.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "YmInitMsg.h"
#include "YmLimits.h"
#include "YmMsgTypes.h"
#include "YmServerFixture.h"
#include "YmTestDatabase.h"

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
    static std::string login(const std::string& user) {
        YmInitReqMsg req;
        req.setUsr(user.c_str());
        req.setGroup("staff");
        req.prepareForSend();
        return std::string(reinterpret_cast<const char*>(req._buf.data), req._buf.slength);
    }

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
    YmInitReqMsg req;
    req.setUsr("jo");
    req.prepareForSend();
    ASSERT_TRUE(c.send(YmMsgType::InitReq, 0, std::string(reinterpret_cast<char*>(req._buf.data), req._buf.slength)));
    YmFrame f;
    ASSERT_TRUE(c.recv(&f));
    YmInitResultMsg res;
    res.readIn(f.payload.data(), int(f.payload.size()));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(res._dataVers.data)), "from option ");
}

}  // namespace
