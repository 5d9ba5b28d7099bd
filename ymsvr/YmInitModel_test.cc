// The login service end to end: real configuration files in temporary data
// directories, the real server, and init results checked field by field (and
// once byte for byte). Also the lock-owner exchange between two processes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "YmInitModel.h"
#include "YmInitMsg.h"
#include "YmLockInfo.h"
#include "YmMsgTypes.h"
#include "YmPlatform.h"
#include "YmServer.h"
#include "YmServerFixture.h"
#include "YmTestDatabase.h"
#include "YmTestLogin.h"

namespace {

std::string str(const YmStr& s) { return std::string(reinterpret_cast<const char*>(s.data), s.slength - 1); }

std::string caps(const YmInitResultMsg& r) {
    std::string out;
    for (YmBool b : r._bCaps) out += char('0' + b);
    return out;
}

std::vector<std::string> trees(const YmInitResultMsg& r) {
    std::vector<std::string> out;
    for (unsigned int i = 0; i < r._treeBuff.length(); i++) out.push_back(str(r._treeBuff[i]));
    return out;
}

// Writes a configuration file, or removes it when content is null.
void put(const YmTempDir& dir, const char* name, const char* content) {
    if (content)
        dir.write(name, content);
    else
        unlink(dir.file(name).c_str());
}

// Logs in over a fresh connection; returns the raw 205 payload.
std::string login(YmServer& srv, const char* usr, const char* group = nullptr, const char* gid = nullptr) {
    YmClient c;
    if (!c.connect(srv)) return "<no connection>";
    c.send(YmMsgType::InitReq, 0, ymLoginRequest(usr, group, gid));
    YmFrame f;
    if (!c.recv(&f) || f.type != YmMsgType::InitResult || f.flag != 0) return "<no 205>";
    c.send(YmMsgType::Quit, 0, "");
    return f.payload;
}

YmInitResultMsg decode(const std::string& payload) {
    YmInitResultMsg r;
    r.readIn(payload.data(), int(payload.size()));
    return r;
}

std::string help(YmServer& srv) {
    YmClient c;
    if (!c.connect(srv)) return "<no connection>";
    c.send(YmMsgType::HelpReq, 0, "");
    YmFrame f;
    if (!c.recv(&f) || f.type != YmMsgType::HelpText) return "<no 602>";
    return f.payload;
}

class Login : public ::testing::Test {
  protected:
    // The server starts only with a database to serve.
    void SetUp() override {
        ASSERT_TRUE(ymAddTinyDatabase(d1));
        ASSERT_TRUE(ymAddTinyDatabase(d2));
    }
    void start(const std::string& fulsearch) {
        ASSERT_TRUE(srv.start({"FULSEARCH=" + fulsearch, "FULPATH", "YM_ROOT=" + root.path()})) << srv.log();
    }
    YmTempDir d1, d2, root;
    YmServer srv;
};

TEST_F(Login, ResultIsExactByteForByte) {
    d1.write("druskvers", "Release 4.2\nsecond line\n");
    d1.write("druskadmin", "# users\nstaff: :0:0:0:0:0:0:0\njo:secret,hidden:1:0:1:0:1:0:1:editA\nzed: :0\n");
    d1.write("druskdiradmin", "cmdA\n# not this\n\ncmdB\n");
    d1.write("drusktree",
             "0|Root|a|b|rootdb\n1|Docs|a|b|docs\n2|Manuals\n\n# comment\n1|secret|a|b\n2|under secret\n1|Public\n");
    d1.write("rootdb.cfg", "");
    d1.write("docs.cfg", "");
    start(d1.path());
    std::string want = "0\fRelease 4.2 \feditA\f:cmdA:cmdB\f1010101\f"
                       "0|Root|a|b|rootdb\n1|Docs|a|b|docs\n2|Manuals\n1|Public\n\f";
    want += '\0';
    EXPECT_EQ(login(srv, "jo", "staff"), want);
    // No help file: the empty text, its NUL alone.
    EXPECT_EQ(help(srv), std::string(1, '\0'));
}

TEST_F(Login, GroupAndUserLinesAndLocalOverrides) {
    d1.write("drusktree", "0|R|x|y\n");
    start(d1.path());
    struct Case {
        const char* name;
        const char* admin;
        const char* local;  // null: no .local file
        const char* usr;
        const char* group;
        const char* gid;
        const char* caps;
        const char* editSrc;
    } cases[] = {
        {"no line: defaults", "other: :0:0:0:0:0:0:0\n", nullptr, "jo", "staff", "", "1111100", ""},
        {"group, then the user wins", "staff: :0:0:0:0:0:0:0:grp\njo: :1:1:1:1:1:1:1:usr\n", nullptr, "jo",
         "staff", "", "1111111", "usr"},
        {"user first: later group line unread", "jo: :0:0:0:0:0:0:0:usr\nstaff: :1:1:1:1:1:1:1:grp\n", nullptr,
         "jo", "staff", "", "0000000", "usr"},
        {"group id matches", "42: :0:0:1:1:1:1:1\n", nullptr, "jo", "", "42", "0011111", ""},
        {"later group line overrides", "staff: :0:0:0:0:0:0:0\nstaff: :1\n", nullptr, "jo", "staff", "", "1000000",
         ""},
        {".local overrides", "jo: :0:0:0:0:0:0:0:main\n", "jo: :1:0:0:0:0:0:0:loc\n", "jo", "", "", "1000000",
         "loc"},
        {".local without a match", "jo: :0:0:0:0:0:0:0:main\n", "ann: :1:1:1:1:1:1:1\n", "jo", "", "", "0000000",
         "main"},
        {"flags 0:1:x", "jo: :0:1:x\n", nullptr, "jo", "", "", "0101100", ""},
        {"big numbers are true", "jo: :99999999999999999999:-1:0\n", nullptr, "jo", "", "", "1101100", ""},
        {"one-character user matches nothing", "j: :0:0:0:0:0:0:0\n", nullptr, "j", "", "", "1111100", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        d1.write("druskadmin", c.admin);
        put(d1, "druskadmin.local", c.local);
        YmInitResultMsg r = decode(login(srv, c.usr, c.group, c.gid));
        EXPECT_EQ(caps(r), c.caps);
        EXPECT_EQ(str(r._editSrc), c.editSrc);
        EXPECT_EQ(r._errCode, 0);
    }
}

TEST_F(Login, TreeFilteringAndRoots) {
    start(d1.path());
    struct Case {
        const char* name;
        const char* admin;
        const char* tree;   // null: no tree file
        const char* local;  // null: no .local file
        std::vector<std::string> want;
        int err;
    } cases[] = {
        {"exclusion hides a subtree", "jo:B, Z; Q:1\n", "0|R|x|y\n1|A|x|y\n2|a\n1|B|x|y\n2|b\n3|bb\n1|C\n", nullptr,
         {"0|R|x|y\n1|A|x|y\n2|a\n1|C\n"}, 0},
        {"exclusions add up over lines", "staff:A\njo:C\n", "0|R|x|y\n1|A|x|y\n1|B|x|y\n1|C|x|y\n", nullptr,
         {"0|R|x|y\n1|B|x|y\n"}, 0},
        {"a last-field name keeps its newline", "jo:C\n", "0|R|x|y\n1|C\n", nullptr, {"0|R|x|y\n1|C\n"}, 0},
        {"database without .cfg is hidden", "", "0|R|x|y\n1|D|x|y|nodb\n2|d\n1|E|x|y|db\n2|e\n", nullptr,
         {"0|R|x|y\n1|E|x|y|db\n2|e\n"}, 0},
        {"root repeated in .local", "", "0|A|x|y\n1|a1\n0|B|x|y\n1|b1\n", "0|A|x|y\n1|a2\n",
         {"0|A|x|y\n1|a1\n1|a2\n", "0|B|x|y\n1|b1\n"}, 0},
        {"newest root repeated is kept", "", "0|A|x|y\n1|a1\n0|A|x|y\n1|a2\n", nullptr,
         {"0|A|x|y\n1|a1\n0|A|x|y\n1|a2\n"}, 0},
        {"three roots", "", "0|A|x|y\n0|B|x|y\n1|b\n0|C|x|y\n1|c\n", nullptr,
         {"0|A|x|y\n", "0|B|x|y\n1|b\n", "0|C|x|y\n1|c\n"}, 0},
        {"no tree file", "", nullptr, nullptr, {}, 4003},
        {"first root hidden", "jo:A\n", "0|A|x|y\n1|a\n0|B|x|y\n1|b\n", nullptr, {"0|B|x|y\n1|b\n"}, 4003},
    };
    d1.write("db.cfg", "");
    d1.write("druskvers", "v9\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        d1.write("druskadmin", c.admin);
        put(d1, "drusktree", c.tree);
        put(d1, "drusktree.local", c.local);
        YmInitResultMsg r = decode(login(srv, "jo", "staff"));
        EXPECT_EQ(trees(r), c.want);
        EXPECT_EQ(r._errCode, c.err);
        EXPECT_EQ(str(r._dataVers), "v9 ");  // the rest of the result is still sent
    }
}

TEST_F(Login, TwoDataDirectoriesInOrder) {
    d1.write("druskvers", "first\n");
    d1.write("druskdiradmin", "one\n");
    d1.write("drusktree", "0|A|x|y\n1|from d1|x|y|db\n");
    d1.write("db.cfg", "");
    d1.write("druskhelp", "help one\n");
    d1.write("druskadmin", "jo: :0:0:0:0:0:0:0:first\n");
    d2.write("druskvers", "second\n");
    d2.write("druskdiradmin", "two\n");
    // The same database name, but no .cfg in this directory: hidden here.
    d2.write("drusktree", "0|A|x|y\n1|d2 has no db|x|y|db\n1|from d2\n0|B|x|y\n");
    d2.write("druskadmin.local", "jo: :1:0:0:0:0:0:0\n");
    d2.write("druskhelp", "help two\n");
    start(d1.path() + ":" + d2.path());
    YmInitResultMsg r = decode(login(srv, "jo"));
    EXPECT_EQ(str(r._dataVers), "second ");
    EXPECT_EQ(str(r._dirCmdSrc), ":two");
    EXPECT_EQ(caps(r), "1000000");
    EXPECT_EQ(str(r._editSrc), "first");
    // A is still the newest root when d2's tree starts, so its line is kept
    // a second time.
    EXPECT_EQ(trees(r),
              (std::vector<std::string>{"0|A|x|y\n1|from d1|x|y|db\n0|A|x|y\n1|from d2\n", "0|B|x|y\n"}));
    EXPECT_EQ(help(srv), std::string("help one\n") + '\0');  // first directory only
}

TEST_F(Login, DirectoryListFromEitherVariable) {
    d1.write("druskvers", "one\n");
    d2.write("druskvers", "two\n");
    struct Case {
        const char* name;
        std::vector<std::string> env;
        const char* version;
    } cases[] = {
        {"separators of every kind", {"FULSEARCH=;," + d2.path() + " :" + d1.path() + "/", "FULPATH"}, "one "},
        {"FULPATH when FULSEARCH is empty", {"FULSEARCH=", "FULPATH=" + d2.path()}, "two "},
        {"FULSEARCH before FULPATH", {"FULSEARCH=" + d1.path(), "FULPATH=" + d2.path()}, "one "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        YmServer s;
        ASSERT_TRUE(s.start(c.env)) << s.log();
        EXPECT_EQ(str(decode(login(s, "jo"))._dataVers), c.version);
    }
}

TEST_F(Login, HelpText) {
    d1.write("druskhelp", "# not shown\nLine one\n\n  indented\n");
    d1.write("druskhelp.local", "local line\n#no\n");
    start(d1.path());
    EXPECT_EQ(help(srv), std::string("Line one\n  indented\nlocal line\n") + '\0');

    // Separators around a directory that holds a database and nothing
    // else: no help file, so the empty help text; no tree, so error 4003.
    YmTempDir bare;
    ASSERT_TRUE(ymAddTinyDatabase(bare));
    YmServer empty;
    ASSERT_TRUE(empty.start({"FULSEARCH=:;, " + bare.path() + " ,", "FULPATH"})) << empty.log();
    EXPECT_EQ(help(empty), std::string(1, '\0'));
    EXPECT_EQ(decode(login(empty, "jo"))._errCode, 4003);
}

TEST_F(Login, LongLinesAreCutSafely) {
    std::string user(4000, 'u');
    d1.write("druskadmin", user + ":" + std::string(2000, 'x') + ":0:0:0:0:0:0:0:" + std::string(3000, 'e') + "\n");
    d1.write("drusktree", "0|" + std::string(5000, 'n') + "|x|y\n");
    start(d1.path());
    // The version is the first 510 characters of its line, newline included.
    struct Case {
        std::string file, version;
    } cases[] = {
        {std::string(3000, 'v') + "\n", std::string(510, 'v')},
        {std::string(510, 'v') + "\n", std::string(510, 'v')},
        {std::string(509, 'v') + "\n", std::string(509, 'v') + " "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.size());
        d1.write("druskvers", c.file);
        YmInitResultMsg r = decode(login(srv, user.c_str()));
        EXPECT_EQ(str(r._dataVers), c.version);
        EXPECT_EQ(caps(r), "0000000");
        EXPECT_EQ(str(r._editSrc), std::string(3000, 'e'));
        ASSERT_EQ(r._treeBuff.length(), 1u);
    }
}

// A NUL byte in a configuration file ends its text there: nothing after it
// reaches the answers, which clients read as C strings.
TEST_F(Login, NulBytesEndAFilesText) {
    using namespace std::string_literals;
    d1.write("druskvers", "v1\0hidden\n"s);
    d1.write("druskadmin", "jo: :0:0:0\0:0:0\njo: :0:0:0:0:0:0:0\n"s);
    d1.write("druskdiradmin", "cmdA\0cmdB\n"s);
    d1.write("drusktree", "0|R|x|y\n1|A\0|x|y\n1|B\n"s);
    d1.write("druskhelp", "help\n\0more help\n"s);
    start(d1.path());
    std::string payload = login(srv, "jo");
    EXPECT_EQ(payload.find('\0'), payload.size() - 1) << payload;
    EXPECT_EQ(payload, "0\fv1\f \f:cmdA\f0001100\f0|R|x|y\n1|A\n\f"s + '\0');
    EXPECT_EQ(help(srv), "help\n"s + '\0');
}

// ---- the lock-owner exchange ----

// A process that holds an exclusive lock on path and answers SIGUSR2 the way
// a connection process does, as the given user. With a sharer, it forks
// after locking: the child inherits the locked file, so holds the same lock,
// and answers as "sharer". The pids come back through the pipe.
struct Holder {
    pid_t taker = -1, sharer = -1;
};

Holder startHolder(const std::string& path, const std::string& user, bool posixLock, bool withSharer) {
    Holder h;
    int p[2];
    if (pipe(p) < 0) return h;
    pid_t pid = fork();
    if (pid == 0) {
        close(p[0]);
        theInitModel = new YmInitModel;
        ymLockInfoInit();
        ymLockInfoSetUser(user.data(), user.size());
        signal(SIGUSR2, infoOutCB);
        int fd = open(path.c_str(), O_RDWR);
        int locked;
        if (posixLock) {
            struct flock fl = {};
            fl.l_type = F_WRLCK;
            fl.l_whence = SEEK_SET;
            locked = fcntl(fd, F_SETLK, &fl);
        } else {
            locked = flock(fd, LOCK_EX | LOCK_NB);
        }
        pid_t sharer = 0;
        if (locked == 0 && withSharer) {
            sharer = fork();
            if (sharer == 0) {
                ymLockInfoSetUser("sharer", 6);
                for (;;) pause();
            }
        }
        pid_t pids[2] = {locked == 0 ? getpid() : -1, sharer};
        if (write(p[1], pids, sizeof pids) != ssize_t(sizeof pids)) _exit(2);
        for (;;) pause();
    }
    close(p[1]);
    pid_t pids[2] = {-1, -1};
    bool ok = read(p[0], pids, sizeof pids) == ssize_t(sizeof pids);
    close(p[0]);
    if (!ok || pids[0] < 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        return h;
    }
    h.taker = pid;
    h.sharer = pids[1];
    return h;
}

void endProcess(pid_t pid) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

class LockOwner : public ::testing::Test {
  protected:
    void SetUp() override {
        // A holder's sharer outlives the holder: it then comes to us.
        prctl(PR_SET_CHILD_SUBREAPER, 1);
        root.mkdir("usr/tmp");
        root.mkdir("bin");
        ASSERT_EQ(symlink("/bin/kill", root.file("bin/kill").c_str()), 0);
        setenv("YM_ROOT", root.path().c_str(), 1);
        ymPlatformReset();
        docs.write("doc.txt", "text\n");
    }
    void TearDown() override {
        unsetenv("YM_ROOT");
        ymPlatformReset();
    }
    YmTempDir root, docs;
};

TEST_F(LockOwner, AskerLearnsTheHoldersUserName) {
    struct Case {
        const char* name;
        std::string user;
        bool posix;
    } cases[] = {
        {"flock holder", "editor one", false},
        {"record-lock holder", "rec", true},
        {"name with shell text", "$(touch x) `y` 'q\"", false},
        {"long name is cut", std::string(300, 'n'), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        pid_t holder = startHolder(docs.file("doc.txt"), c.user, c.posix, false).taker;
        ASSERT_GT(holder, 0);

        int fd = open(docs.file("doc.txt").c_str(), O_RDWR);
        if (!c.posix) {
            EXPECT_NE(flock(fd, LOCK_EX | LOCK_NB), 0);  // it is held elsewhere
        }
        EXPECT_EQ(YmInitModel::lockHolder(fd), holder);
        char* who = YmInitModel::getLockInfo(fd);
        ASSERT_NE(who, nullptr);
        // At most 119 characters, newline included.
        std::string want = (c.user + "\n").substr(0, 119);
        EXPECT_EQ(std::string(who), want);
        close(fd);
        endProcess(holder);
        EXPECT_FALSE(root.exists("x"));
    }
}

TEST_F(LockOwner, NobodyHoldsTheLock) {
    int fd = open(docs.file("doc.txt").c_str(), O_RDWR);
    root.write("usr/tmp/.drusk_flock_info", "stale\n");
    EXPECT_EQ(YmInitModel::lockHolder(fd), -1);
    EXPECT_EQ(YmInitModel::getLockInfo(fd), nullptr);
    close(fd);
}

TEST_F(LockOwner, SharedFlockAfterForkIsAnsweredByItsTaker) {
    // The holder forks after locking: its child shares the lock, but the
    // taker is the one asked.
    Holder h = startHolder(docs.file("doc.txt"), "taker", false, true);
    ASSERT_GT(h.taker, 0);
    ASSERT_GT(h.sharer, 0);
    int fd = open(docs.file("doc.txt").c_str(), O_RDWR);
    EXPECT_EQ(YmInitModel::lockHolder(fd), h.taker);
    char* who = YmInitModel::getLockInfo(fd);
    ASSERT_NE(who, nullptr);
    EXPECT_STREQ(who, "taker\n");

    // With the taker gone the sharer still holds the lock, but it did not
    // take it and is not asked: no answer rather than a wrong one.
    endProcess(h.taker);
    EXPECT_NE(flock(fd, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(YmInitModel::lockHolder(fd), -1);
    EXPECT_EQ(YmInitModel::getLockInfo(fd), nullptr);
    close(fd);
    endProcess(h.sharer);
}

}  // namespace
