// The editing service end to end: the real server with three real
// databases (kb, news, ro) and clients on separate connections, so that a
// lock taken by one connection process is seen, and its owner named, by
// another. The field-update tool of the test's platform root records its
// arguments and then runs the real tool, whose new value a search finds.
// Also the save's write path in-process, where a write can be made to fail.
#include "YmDocEditMgr.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "YmDocMsg.h"
#include "YmInitMsg.h"
#include "YmMsgTypes.h"
#include "YmPlatform.h"
#include "YmServerFixture.h"
#include "YmSrchMsg.h"
#include "YmTestDatabase.h"
#include "YmTestLogin.h"
#include "YmTestRoot.h"

namespace {

using Errs = std::vector<int>;
using Args = std::vector<std::string>;

std::string bytes(const YmStr& s) {
    return std::string(reinterpret_cast<const char*>(s.data), s.slength - 1);
}

class Edit : public ::testing::Test {
  protected:
    void SetUp() override {
        ymMirrorRoot(root.path());
        std::string real = ymBuildRoot() + "/d/druskII/bin/dms/dmFieldUpd";
        ymPutTool(root.path(), "d/druskII/bin/dms/dmFieldUpd",
                  "#!/bin/sh\n{ for a in \"$@\"; do printf '%s\\n' \"$a\"; done; echo --; } >> " +
                      ymShellQuote(toolLog()) + "\nexec " + ymShellQuote(real) + " \"$@\"\n");
        setenv("YM_ROOT", root.path().c_str(), 1);

        data.write("druskvers", "edit 1\n");
        data.write("drusktree", "0|Knowledge|x|y|kb\n");
        data.write("kb.docs/a.txt", "The quokka lives here.\n");
        data.write("kb.docs/b.txt", "The wombat digs.\n");
        data.write("news.docs/n.txt", "Daily quokka news.\n");
        data.write("ro.docs/r.txt", "A quokka to read only.\n");
        data.write("secret.txt", "Not a document.\n");
        outside.write("o.txt", "Outside.\n");
        symlink(outside.file("o.txt").c_str(), data.file("kb.docs/out.txt").c_str());
        symlink(outside.file("missing.txt").c_str(), data.file("kb.docs/dangling.txt").c_str());
        for (const char* db : {"kb", "news", "ro"}) {
            std::string log;
            ASSERT_TRUE(
                ymIndexDatabase(data.path(), db, data.file(std::string(db) + ".docs"), &log))
                << log;
        }
        ASSERT_TRUE(srv.start({"FULSEARCH=" + data.path(), "FULPATH", "YM_ROOT=" + root.path(),
                               "CANARY=" + canary()}))
            << srv.log();
    }

    std::string toolLog() const { return tmp.file("tool.log"); }
    std::string canary() const { return tmp.file("canary"); }
    std::string doc(const std::string& rel) const { return data.file(rel); }

    // The tool's runs so far, each its argument list.
    std::vector<Args> toolRuns() const {
        std::vector<Args> runs(1);
        std::string text = ymReadFile(toolLog());
        size_t p = 0;
        while (p < text.size()) {
            size_t nl = text.find('\n', p);
            std::string line = text.substr(p, nl - p);
            p = nl == std::string::npos ? text.size() : nl + 1;
            if (line == "--")
                runs.emplace_back();
            else
                runs.back().push_back(line);
        }
        runs.pop_back();
        return runs;
    }

    // Waits (bounded) until the tool has run n times in all.
    std::vector<Args> waitToolRuns(size_t n) const {
        for (int i = 0; i < 2000 && toolRuns().size() < n; i++) usleep(10000);
        return toolRuns();
    }

    void connect(YmClient& c, const std::string& user) {
        ASSERT_TRUE(c.connect(srv));
        ASSERT_TRUE(ymLogin(c, user));
    }

    // 416; the descriptor number of the 417, or -100 when none came.
    int lock(YmClient& c, const std::string& path, bool withNul = true) {
        c.send(YmMsgType::DocLock, 0, withNul ? path + '\0' : path);
        YmFrame f;
        if (!c.recv(&f) || f.type != YmMsgType::DocLockAnswer || f.flag != 0 ||
            f.payload.size() != 4) {
            ADD_FAILURE() << "no 417 for " << path << " (type " << f.type << ")";
            return -100;
        }
        const unsigned char* b = reinterpret_cast<const unsigned char*>(f.payload.data());
        return int(unsigned(b[0]) << 24 | unsigned(b[1]) << 16 | unsigned(b[2]) << 8 | b[3]);
    }

    // 420; the text of the 421.
    std::string who(YmClient& c, const std::string& path) {
        c.send(YmMsgType::DocLockWho, 0, path + '\0');
        YmFrame f;
        if (!c.recv(&f) || f.type != YmMsgType::DocLockOwner || f.flag != 0) {
            ADD_FAILURE() << "no 421 for " << path << " (type " << f.type << ")";
            return "<none>";
        }
        return f.payload;
    }

    void unlock(YmClient& c, int fd) { c.send(YmMsgType::DocUnlock, fd, ""); }

    static std::string editPayload(const std::string& fname, const std::string& src,
                                   const std::string& editSrc, int code, const std::string& text) {
        YmDocEditMsg m;
        m.setDocBuff(text.data(), unsigned(text.size()));
        m.setFname(fname.c_str());
        m.setSrc(src.c_str());
        m.setEditSrc(editSrc.c_str());
        m.setCode(code);
        m.prepareForSend();
        return bytes(m._docBuffer);
    }

    // The 415 codes that came before the frame of type end.
    Errs errorsUntil(YmClient& c, int end) {
        Errs errs;
        YmFrame f;
        while (c.recv(&f)) {
            if (f.type != YmMsgType::EditError) {
                EXPECT_EQ(f.type, end);
                EXPECT_EQ(f.flag, 0);
                return errs;
            }
            errs.push_back(YmDocEditErrMsg::readIn(f.payload.data(), unsigned(f.payload.size())));
        }
        ADD_FAILURE() << "no answer " << end;
        return errs;
    }

    // 413; the errors before its 422.
    Errs save(YmClient& c, const std::string& fname, const std::string& editSrc, int code,
              const std::string& text, const std::string& src = "") {
        c.send(YmMsgType::DocSave, 0, editPayload(fname, src, editSrc, code, text));
        return errorsUntil(c, YmMsgType::DocSaveDone);
    }

    // 414 has no answer when it works: a help request after it shows that
    // nothing else came.
    Errs mark(YmClient& c, const std::string& fname, const std::string& src,
              const std::string& editSrc, int code) {
        c.send(YmMsgType::DocMark, 0, editPayload(fname, src, editSrc, code, ""));
        c.send(YmMsgType::HelpReq, 0, "");
        return errorsUntil(c, YmMsgType::HelpText);
    }

    // The kb documents whose security value (field 112) is value.
    std::vector<std::string> withSecurity(YmClient& c, int value) {
        YmSrchReqMsg req;
        req.setSrchDBs("kb");
        req.setQuery(("112\n" + std::to_string(value) + "\n").c_str());
        req.prepareForSend();
        c.send(YmMsgType::SrchReq, 0,
               std::string(reinterpret_cast<const char*>(req._buf.data), req._buf.slength));
        YmFrame f;
        std::vector<std::string> out;
        if (!c.recv(&f, 60000) || f.type != YmMsgType::SrchResult) {
            ADD_FAILURE() << "no 304";
            return out;
        }
        YmSrchResultMsg res;
        res.readIn(f.payload.data(), unsigned(f.payload.size()), 0);
        for (unsigned int i = 0; i < res._hits; i++) out.push_back(res.get(int(i)));
        return out;
    }

    YmTempDir root, data, outside, tmp;
    YmServer srv;
};

TEST_F(Edit, LockOwnerBetweenTwoConnections) {
    YmClient a, b;
    connect(a, "alice");
    connect(b, "bob");
    std::string path = doc("kb.docs/a.txt");

    int fd = lock(a, path);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(lock(b, path), -1);
    EXPECT_EQ(who(b, path), "alice\n");

    // Numbers that were never handed out close nothing: not the connection,
    // not the lock.
    for (int n = -1; n < fd + 8; n++)
        if (n != fd) unlock(a, n);
    EXPECT_EQ(lock(b, path), -1);
    EXPECT_EQ(lock(a, path), -1);  // a second lock of one file, even by its holder

    unlock(a, fd);
    int fdb = lock(b, path);
    EXPECT_GE(fdb, 0);
    EXPECT_EQ(who(a, path), "bob\n");
    EXPECT_EQ(who(b, path), "bob\n");  // the holder asking about its own lock

    // A probe of a file nobody holds answers nothing and leaves it free.
    EXPECT_EQ(who(a, doc("kb.docs/b.txt")), "");
    EXPECT_GE(lock(b, doc("kb.docs/b.txt")), 0);
}

TEST_F(Edit, OnlyDocumentsOfKnownDatabasesAreLocked) {
    YmClient a;
    connect(a, "alice");
    struct Case {
        const char* name;
        std::string path;
    } cases[] = {
        {"outside every folder", outside.file("o.txt")},
        {"out of the folder with ..", doc("kb.docs/../secret.txt")},
        {"link leading outside", doc("kb.docs/out.txt")},
        {"link leading nowhere", doc("kb.docs/dangling.txt")},
        {"missing file", doc("kb.docs/none.txt")},
        {"the folder itself", doc("kb.docs")},
        {"empty", ""},
        {"shell text", "$(touch${IFS}$CANARY)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(lock(a, c.path), -1);
        EXPECT_EQ(who(a, c.path), "");
    }
    // A path without its NUL is taken as it is, never read past.
    int fd = lock(a, doc("kb.docs/a.txt"), false);
    EXPECT_GE(fd, 0);
    EXPECT_NE(access(canary().c_str(), F_OK), 0);
}

TEST_F(Edit, SavesWriteOnlyEditableDocuments) {
    YmClient a;
    connect(a, "alice");
    struct Case {
        const char* name;
        std::string fname;
        const char* editSrc;
        int code;
        const char* text;
        Errs errs;
        std::string file;  // the file to look at afterwards
        std::string want;  // its contents then ("" = must not exist)
    } cases[] = {
        {"below no database path",
         outside.file("o.txt"),
         "kb",
         3,
         "X\n",
         {2012},
         outside.file("o.txt"),
         "Outside.\n"},
        {"out of the folder with ..",
         doc("kb.docs/../secret.txt"),
         "kb",
         3,
         "X\n",
         {2012},
         doc("secret.txt"),
         "Not a document.\n"},
        {"link leading outside",
         doc("kb.docs/out.txt"),
         "kb",
         3,
         "X\n",
         {2012},
         outside.file("o.txt"),
         "Outside.\n"},
        {"link leading nowhere",
         doc("kb.docs/dangling.txt"),
         "kb",
         3,
         "X\n",
         {2012},
         outside.file("missing.txt"),
         ""},
        {"source news",
         doc("news.docs/n.txt"),
         "kb,news",
         3,
         "X\n",
         {2012},
         doc("news.docs/n.txt"),
         "Daily quokka news.\n"},
        {"source not the user's",
         doc("ro.docs/r.txt"),
         "kb;news",
         3,
         "X\n",
         {2012},
         doc("ro.docs/r.txt"),
         "A quokka to read only.\n"},
        {"no editable sources",
         doc("kb.docs/a.txt"),
         "",
         -1,
         "X\n",
         {2012},
         doc("kb.docs/a.txt"),
         "The quokka lives here.\n"},
        {"empty text",
         doc("kb.docs/a.txt"),
         "kb",
         -1,
         "",
         {2015},
         doc("kb.docs/a.txt"),
         "The quokka lives here.\n"},
        {"code -1",
         doc("kb.docs/a.txt"),
         "ro: kb",
         -1,
         "Edited.\n",
         {},
         doc("kb.docs/a.txt"),
         "Edited.\n"},
        {"new file",
         doc("kb.docs/new.txt"),
         "kb",
         5,
         "Brand new.\n",
         {},
         doc("kb.docs/new.txt"),
         "Brand new.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(save(a, c.fname, c.editSrc, c.code, c.text), c.errs);
        if (c.want.empty())
            EXPECT_NE(access(c.file.c_str(), F_OK), 0);
        else
            EXPECT_EQ(ymReadFile(c.file), c.want);
    }
    EXPECT_EQ(ymListDir(data.file("kb.docs")),
              (std::vector<std::string>{"a.txt", "b.txt", "dangling.txt", "new.txt", "out.txt"}));

    // None of them ran the field-update tool: the first run is this mark's.
    EXPECT_EQ(mark(a, doc("kb.docs/a.txt"), "kb", "kb", 4), Errs{});
    EXPECT_EQ(
        waitToolRuns(1),
        (std::vector<Args>{{"-c", "kb", "-d", doc("kb.docs/a.txt"), "-f", "FTSECURE", "-v", "4"}}));
}

TEST_F(Edit, SaveSetsTheSecurityValueAndKeepsLockAndPermissions) {
    YmClient a, b;
    connect(a, "alice");
    connect(b, "bob");
    std::string path = doc("kb.docs/b.txt");
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);

    int fd = lock(a, path);
    ASSERT_GE(fd, 0);
    // Not over another client's lock.
    EXPECT_EQ(save(b, path, "kb", -1, "Bob's text.\n"), Errs{2014});
    EXPECT_EQ(save(a, path, "kb", 7, "The wombat digs deeper.\n"), Errs{});
    EXPECT_EQ(ymReadFile(path), "The wombat digs deeper.\n");
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    // The lock went over to the new file: still a's alone.
    EXPECT_EQ(lock(b, path), -1);
    unlock(a, fd);
    EXPECT_GE(lock(b, path), 0);

    EXPECT_EQ(waitToolRuns(1),
              (std::vector<Args>{{"-c", "kb", "-d", path, "-f", "FTSECURE", "-v", "7"}}));
    std::vector<std::string> hits;
    for (int i = 0; i < 300 && hits.size() != 1; i++) {
        hits = withSecurity(a, 7);
        if (hits.size() != 1) usleep(100000);
    }
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_NE(hits[0].find("b.txt"), std::string::npos) << hits[0];
}

TEST_F(Edit, SecurityValueOnlyForEditableSourcesAndHostileValuesRunNothing) {
    YmClient a;
    connect(a, "alice");
    EXPECT_EQ(mark(a, doc("kb.docs/a.txt"), "kb", "ro", 1), Errs{2012});
    EXPECT_EQ(mark(a, doc("kb.docs/a.txt"), "news", "kb,news", 1), Errs{2012});
    EXPECT_EQ(mark(a, doc("kb.docs/a.txt"), "", "kb", 1), Errs{2012});

    // Hostile texts reach the tool as one argument each.
    std::string src = "$(touch${IFS}$CANARY)`touch${IFS}$CANARY`";
    std::string fname = doc("kb.docs/a.txt") + "'; touch \"$CANARY\"; echo '";
    EXPECT_EQ(mark(a, fname, src, "kb " + src, 2), Errs{});
    std::string odd = "q'$(touch${IFS}$CANARY)\".txt";
    data.write("kb.docs/" + odd, "An odd name.\n");
    EXPECT_EQ(save(a, doc("kb.docs/" + odd), "kb", 3, "Odd.\n"), Errs{});
    EXPECT_EQ(ymReadFile(doc("kb.docs/" + odd)), "Odd.\n");

    EXPECT_EQ(waitToolRuns(2),
              (std::vector<Args>{
                  {"-c", src, "-d", fname, "-f", "FTSECURE", "-v", "2"},
                  {"-c", "kb", "-d", doc("kb.docs/" + odd), "-f", "FTSECURE", "-v", "3"}}));
    EXPECT_NE(access(canary().c_str(), F_OK), 0);
}

// ---- the save's write path, in-process ----

class WriteFile : public ::testing::Test {
  protected:
    std::string path() const { return dir.file("doc.txt"); }
    void setText(const std::string& text) {
        mgr._editMsg.setDocBuff(text.data(), unsigned(text.size()));
    }
    YmTempDir dir;
    YmDocEditMgr mgr;
};

TEST_F(WriteFile, AFailedWriteLeavesTheOldText) {
    dir.write("doc.txt", "The old text.\n");
    setText(std::string(256 * 1024, 'x') + "\n");
    // Files may grow to 4 KiB only: the write fails part way.
    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    void (*prev)(int) = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    YmBool existing = mgr.writeFile(path().c_str());
    YmBool created = mgr.writeFile(dir.file("new.txt").c_str());
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, prev);

    EXPECT_FALSE(existing);
    EXPECT_FALSE(created);
    EXPECT_EQ(dir.read("doc.txt"), "The old text.\n");
    // Neither the temporary file nor the half-made new one is left.
    EXPECT_EQ(ymListDir(dir.path()), std::vector<std::string>{"doc.txt"});

    setText("The new text.\n");
    EXPECT_TRUE(mgr.writeFile(path().c_str()));
    EXPECT_EQ(dir.read("doc.txt"), "The new text.\n");
    EXPECT_EQ(ymListDir(dir.path()), std::vector<std::string>{"doc.txt"});
}

TEST(EditSources, Items) {
    YmDocEditMgr mgr;
    struct Case {
        const char* editSrc;
        const char* src;
        bool want;
    } cases[] = {
        {"kb", "kb", true},        {"a:b;c,d e", "c", true}, {"::kb;;", "kb", true},
        {"kbx", "kb", false},      {"kb", "k", false},       {"", "kb", false},
        {"kb", "", false},         {"kb", nullptr, false},   {"news,kb", "news", false},
        {"parts", "parts", false}, {"doc", "doc", false},    {"pv calla callh", "callh", false},
    };
    for (const Case& c : cases) {
        mgr._editMsg.setEditSrc(c.editSrc);
        EXPECT_EQ(bool(mgr.bEditSrc(c.src)), c.want)
            << c.editSrc << " / " << (c.src ? c.src : "null");
    }
}

}  // namespace
