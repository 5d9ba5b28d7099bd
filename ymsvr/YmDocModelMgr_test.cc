// The document service end to end: a database indexed with ftindex from real
// documents of every text type, the real server on a loopback port with a
// platform root of the test's own, and a client that searches, views each
// hit and checks that the marks line points at the searched word in the text
// it got; then print, copy, mail and fax with their effects in the root's
// spool folders, the failures, file lists and the display cancel.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "YmDocMsg.h"
#include "YmInitMsg.h"
#include "YmMsgTypes.h"
#include "YmServerFixture.h"
#include "YmSrchMsg.h"
#include "YmTestDatabase.h"
#include "YmTestLogin.h"
#include "YmTestRoot.h"

namespace {

std::string str(const YmStr& s) {
    return std::string(reinterpret_cast<const char*>(s.data), s.slength - 1);
}

std::string lower(std::string s) {
    for (char& c : s) c = char(tolower(static_cast<unsigned char>(c)));
    return s;
}

// A document's bytes as a result carries them (the reader adds a NUL).
std::string docText(const YmDocResultMsg& r) {
    std::string d = str(r._docBuffer);
    if (!d.empty() && d.back() == '\0') d.pop_back();
    return d;
}

struct Mark {
    int line, offset, length;
};

std::vector<Mark> marksOf(const std::string& markLine) {
    std::vector<Mark> out;
    size_t p = 0;
    while (p < markLine.size()) {
        size_t tab = markLine.find('\t', p);
        if (tab == std::string::npos) tab = markLine.size();
        Mark m;
        if (sscanf(markLine.substr(p, tab - p).c_str(), "%d;%d;%d", &m.line, &m.offset,
                   &m.length) == 3)
            out.push_back(m);
        p = tab + 1;
    }
    return out;
}

const std::string kMan =
    ".TH FROB 1\n.SH NAME\nfrob \\- twiddle knobs\n.SH DESCRIPTION\n.B frob\n"
    "turns every knob.\n.PP\nThe quokka smiles.\n";
const std::string kTroff =
    ".ce\nQuarterly Report\n.sp\n.ft B\nRevenue\n.ft R\nrose.\nA quokka was seen.\n";
const std::string kMm = ".H 1 \"Plans\"\n.P\nThe plans are bold.\nOne quokka, two Quokka.\n";
const std::string kPlain = "Plain words.\n\n   The quokka\tlives here; quokka again.\n";

class DocService : public ::testing::Test {
  protected:
    void SetUp() override {
        ymMirrorRoot(root.path());
        // ftindex formats with the same root as the server.
        setenv("YM_ROOT", root.path().c_str(), 1);
        data.write("druskvers", "docs 1\n");
        data.write("drusktree", "0|Knowledge|x|y|kb\n");
        data.write("kb.docs/plain.txt", kPlain);
        data.write("kb.docs/frob.1", kMan);
        data.write("kb.docs/report.tr", kTroff);
        data.write("kb.docs/plans.mm", kMm);
        data.write("kb.docs/packed.src", "A packed quokka.\n");
        data.write("kb.docs/comp.src", "A compressed quokka.\n");
        data.write("kb.docs/ps.txt", "%!PS-Adobe-3.0\n% quokka\nshowpage\n");
        std::string d = data.file("kb.docs/");
        ASSERT_EQ(system(("gzip -c " + d + "packed.src > " + d + "packed.z && gzip -c " + d +
                          "comp.src > " + d + "comp.Z && rm " + d + "packed.src " + d + "comp.src")
                             .c_str()),
                  0);
        std::string log;
        ASSERT_TRUE(ymIndexDatabase(data.path(), "kb", data.file("kb.docs"), &log)) << log;
        outside.write("secret.txt", "The quokka secret.\n");
        symlink(outside.file("secret.txt").c_str(), data.file("kb.docs/link.txt").c_str());
        ASSERT_TRUE(srv.start({"FULSEARCH=" + data.path(), "FULPATH", "YM_ROOT=" + root.path(),
                               "TMPDIR=" + tmp.path()}))
            << srv.log();
    }
    void TearDown() override {
        srv.stop();
        // Temporary files are removed after every step, failed ones too.
        EXPECT_TRUE(ymListDir(tmp.path()).empty());
    }

    void login(YmClient& c, const std::string& user) { ASSERT_TRUE(ymLogin(c, user)); }

    void search(YmClient& c, const std::string& word, YmSrchResultMsg* res) {
        YmSrchReqMsg req;
        req.setSrchDBs("kb");
        req.setQuery(("0\n" + word + "\n").c_str());
        req.prepareForSend();
        ASSERT_TRUE(
            c.send(YmMsgType::SrchReq, 0,
                   std::string(reinterpret_cast<const char*>(req._buf.data), req._buf.slength)));
        YmFrame f;
        ASSERT_TRUE(c.recv(&f, 60000));
        ASSERT_EQ(f.type, YmMsgType::SrchResult);
        res->readIn(f.payload.data(), unsigned(f.payload.size()), 0);
        ASSERT_EQ(res->_errCode, 0);
    }

    // Logs user in and returns the header of the one hit of word.
    void onlyHit(YmClient& c, const std::string& user, const std::string& word, std::string* hdr) {
        login(c, user);
        YmSrchResultMsg hits;
        search(c, word, &hits);
        ASSERT_EQ(hits._hits, 1u);
        *hdr = hits.get(0);
    }

    // Sends a 405: with hdr true, text is a header text; else a file name
    // of the given type.
    void act(YmClient& c, int action, const std::string& text, bool hdr,
             const std::string& arg = "", int type = 1, int index = 0,
             const std::string& flist = "") {
        YmDocActionMsg m;
        m.setAction(action);
        if (hdr)
            m.setHdr(text.c_str());
        else {
            m.setFname(text.c_str());
            m.setType(type);
        }
        m.setActionStr(arg.c_str());
        m.setFlist(flist.c_str());
        m.setIndex(index);
        m.setClient("ws1.dept.example.com:0");
        m.prepareForSend();
        ASSERT_TRUE(
            c.send(YmMsgType::DocAction, action,
                   std::string(reinterpret_cast<const char*>(m._buf.data), m._buf.slength)));
    }

    // Reads one answer into *r; the frame's type and flag into *f.
    void answer(YmClient& c, YmFrame* f, YmDocResultMsg* r) {
        ASSERT_TRUE(c.recv(f, 60000));
        r->readIn(f->payload.data(), unsigned(f->payload.size()));
    }

    // A view by file name that must come back as 407: proves that nothing
    // was sent for the requests before it.
    void expectNextIsView(YmClient& c) {
        act(c, YM_DOC_VIEW, doc("plain.txt"), false, "", 1, 99);
        YmFrame f;
        YmDocResultMsg r;
        answer(c, &f, &r);
        EXPECT_EQ(f.type, YmMsgType::DocResult);
        EXPECT_EQ(r._index, 99);
    }

    std::string doc(const std::string& name) { return data.file("kb.docs/" + name); }

    YmTempDir root, data, tmp, outside;
    YmServer srv;
};

TEST_F(DocService, EveryHitIsShownWithItsMarksOnTheSearchedWord) {
    YmClient c;
    ASSERT_TRUE(c.connect(srv));
    login(c, "alice");
    YmSrchResultMsg hits;
    search(c, "quokka", &hits);
    // plain, man, troff, mm, packed, compressed, PostScript text; the
    // document behind the link outside the folder is not indexed.
    ASSERT_EQ(hits._hits, 7u);
    std::map<int, int> typesSeen;
    for (unsigned int i = 0; i < hits._hits; i++) {
        std::string hdr = hits.get(int(i));
        SCOPED_TRACE(hdr);
        act(c, YM_DOC_VIEW, hdr, true, "", 0, int(i));
        YmFrame f;
        YmDocResultMsg r;
        answer(c, &f, &r);
        ASSERT_EQ(f.type, YmMsgType::DocResult);
        EXPECT_EQ(r._index, int(i));
        ASSERT_TRUE(r._bHdr);
        int type = r._hdr->_type;
        typesSeen[type]++;
        std::string text = docText(r);
        if (type == 1 && text.compare(0, 2, "%!") == 0) {
            // PostScript: the flag says so (the header keeps its type 1).
            EXPECT_EQ(f.flag, 7);
        } else {
            EXPECT_EQ(f.flag, type);
        }
        EXPECT_EQ(text.find(".TH"), std::string::npos);
        EXPECT_EQ(text.find('\b'), std::string::npos);
        std::vector<Mark> marks = marksOf(str(r._hdr->_markLine));
        ASSERT_FALSE(marks.empty()) << str(r._hdr->_markLine);
        for (const Mark& m : marks) {
            ASSERT_LE(size_t(m.offset + m.length), text.size());
            EXPECT_EQ(lower(text.substr(size_t(m.offset), size_t(m.length))), "quokka") << text;
            EXPECT_EQ(std::count(text.begin(), text.begin() + m.offset, '\n'), m.line);
        }
        // The header came back whole, with the type and file of the request.
        EXPECT_NE(str(r._hdr->_fname).find("kb.docs/"), std::string::npos);
        EXPECT_EQ(str(r._hdr->_code).compare(0, 3, "kb "), 0);
    }
    EXPECT_EQ(typesSeen, (std::map<int, int>{{1, 2}, {3, 1}, {4, 1}, {5, 1}, {8, 1}, {9, 1}}));
}

TEST_F(DocService, ViewByFileNameAndWhatIsAnsweredAsMissing) {
    YmClient c;
    ASSERT_TRUE(c.connect(srv));
    act(c, YM_DOC_VIEW, doc("ps.txt"), false, "", 1, 5);
    YmFrame f;
    YmDocResultMsg r;
    answer(c, &f, &r);
    EXPECT_EQ(f.type, YmMsgType::DocResult);
    EXPECT_EQ(f.flag, 7);
    EXPECT_FALSE(r._bHdr);
    EXPECT_EQ(str(r._fname), doc("ps.txt"));
    EXPECT_EQ(r._index, 5);

    mkdir(data.file("kb.docs/sub").c_str(), 0755);
    struct Case {
        const char* name;
        std::string file;
        int type;
    } cases[] = {
        {"missing file", doc("missing.txt"), 1},
        {"type without a model", doc("plain.txt"), 12},
        {"media type, no model yet", doc("plain.txt"), 11},
        {"type out of range", doc("plain.txt"), 22},
        {"settings folder, not a document", data.file("druskvers"), 1},
        {"dot-dot out of the folder", data.file("kb.docs/sub/../../druskvers"), 1},
        {"link to a file outside", doc("link.txt"), 1},
        {"system file", "/etc/passwd", 1},
        {"the folder itself", data.file("kb.docs"), 1},
        {"relative name", "kb.docs/plain.txt", 1},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        act(c, YM_DOC_VIEW, k.file, false, "", k.type, 3);
        YmDocResultMsg e;
        answer(c, &f, &e);
        EXPECT_EQ(f.type, YmMsgType::DocError);
        EXPECT_EQ(f.flag, k.type);
        EXPECT_EQ(e._errCode, 1);
        EXPECT_EQ(str(e._fname), k.file);
        EXPECT_EQ(e._index, 3);
    }
    // Copy, print, mail and fax of a file outside: refused the same way.
    for (int a : {YM_DOC_PRINT, YM_DOC_COPY, YM_DOC_FAX, YM_DOC_MAIL}) {
        act(c, a, "/etc/passwd", false, a == YM_DOC_COPY ? outside.file("stolen") : "x\n555-0100");
        YmDocResultMsg e;
        answer(c, &f, &e);
        EXPECT_EQ(f.type, YmMsgType::DocError);
        EXPECT_EQ(e._errCode, 1);
    }
    EXPECT_TRUE(ymListDir(root.file("var/spool/lp")).empty());
    EXPECT_TRUE(ymListDir(root.file("var/mail")).empty());
    EXPECT_TRUE(ymListDir(root.file("var/spool/fax")).empty());
}

TEST_F(DocService, PrintCopyMailAndFaxLeaveTheirEffects) {
    YmClient c;
    ASSERT_TRUE(c.connect(srv));
    // The user name is the print job's title: it reaches the spooler whole.
    const std::string user = "al'ice;$(touch pwned)`id`";
    std::string hdr;
    ASSERT_NO_FATAL_FAILURE(onlyHit(c, user, "twiddle", &hdr));

    act(c, YM_DOC_PRINT, hdr, true, "localhost\nlaser");
    act(c, YM_DOC_COPY, hdr, true, outside.file("copy of frob.1"));
    act(c, YM_DOC_MAIL, hdr, true, "bob\ncarol@example.org\nFor you");
    expectNextIsView(c);  // success has no answer

    ASSERT_EQ(ymListDir(root.file("var/spool/lp")), std::vector<std::string>{"laser-1"});
    std::string control = ymReadFile(root.file("var/spool/lp/laser-1/control"));
    EXPECT_NE(control.find("title=" + user + "\n"), std::string::npos) << control;
    EXPECT_NE(control.find("host=localhost\n"), std::string::npos);
    EXPECT_NE(ymReadFile(root.file("var/spool/lp/laser-1/data.1")).find("frob - twiddle knobs"),
              std::string::npos);
    EXPECT_EQ(ymReadFile(outside.file("copy of frob.1")), kMan);
    std::string mail = ymReadFile(root.file("var/mail/msg.1"));
    EXPECT_EQ(mail.find("X-Envelope-From: carol@example.org\nX-Envelope-To: bob@"), 0u) << mail;
    EXPECT_NE(mail.find("Comments: For you\n\n"), std::string::npos);
    EXPECT_NE(mail.find("frob - twiddle knobs"), std::string::npos);

    act(c, YM_DOC_FAX, hdr, true,
        "Bob\n555-0100\nAcme\nTown\n555-0101\nSee below\n \nAlice\nalice\nws1.example.com");
    YmFrame f;
    YmDocResultMsg r;
    answer(c, &f, &r);
    EXPECT_EQ(f.type, YmMsgType::DocError);
    EXPECT_EQ(r._errCode, 2);
    EXPECT_EQ(str(r._attrib), "request id is 1 (group id 1) for host localhost (2 files)\n\n");
    EXPECT_EQ(ymReadFile(root.file("var/spool/fax/1/2")).find("FAX-TEXT 1\n.TH FROB 1"), 0u);

    // An unknown printer: the stored file goes to the default printer.
    act(c, YM_DOC_PRINT, hdr, true, "\n");
    act(c, YM_DOC_PRINT, hdr, true, "localhost\nnosuchprinter");
    expectNextIsView(c);
    ASSERT_EQ(ymListDir(root.file("var/spool/lp")),
              (std::vector<std::string>{"laser-1", "lp-2", "lp-3"}));
    EXPECT_EQ(ymReadFile(root.file("var/spool/lp/lp-3/data.1")), kMan);

    // Spooler, mail, copy, fax and formatter that fail: 408 with code 1.
    ymPutTool(root.path(), "usr/bin/lp", "#!/bin/sh\ncat >/dev/null\nexit 1\n");
    ymPutTool(root.path(), "usr/lib/sendmail", "#!/bin/sh\ncat >/dev/null\nexit 75\n");
    ymPutTool(root.path(), "usr/bin/nroff",
              "#!/bin/sh\ncat >/dev/null\necho half a page\nexit 2\n");
    struct Case {
        const char* name;
        int action;
        std::string arg;
    } fails[] = {
        {"print", YM_DOC_PRINT, "localhost\nlaser"},
        {"mail", YM_DOC_MAIL, "bob\ncarol"},
        {"copy into no folder", YM_DOC_COPY, data.file("no/such/folder/x")},
        {"fax with a number the service refuses", YM_DOC_FAX, "Bob\nnot a number"},
        {"view through a failing formatter", YM_DOC_VIEW, ""},
    };
    for (const Case& k : fails) {
        SCOPED_TRACE(k.name);
        act(c, k.action, hdr, true, k.arg);
        YmDocResultMsg e;
        answer(c, &f, &e);
        EXPECT_EQ(f.type, YmMsgType::DocError);
        EXPECT_EQ(f.flag, 4);
        EXPECT_EQ(e._errCode, 1);
    }
    EXPECT_EQ(access(data.file("pwned").c_str(), F_OK), -1);
    EXPECT_EQ(ymListDir(root.file("var/mail")).size(), 1u);
}

TEST_F(DocService, AFileListAnswersOnlyItsFailures) {
    YmClient c;
    ASSERT_TRUE(c.connect(srv));
    std::string list =
        doc("plain.txt") + ";1\n" + doc("missing.txt") + ";4\n" + doc("frob.1") + ";4\n";
    act(c, YM_DOC_PRINT, "", false, "\n", 1, 7, list);
    YmFrame f;
    YmDocResultMsg r;
    answer(c, &f, &r);
    EXPECT_EQ(f.type, YmMsgType::DocError);
    EXPECT_EQ(f.flag, 4);
    EXPECT_EQ(r._errCode, 1);
    EXPECT_EQ(str(r._fname), doc("missing.txt"));
    expectNextIsView(c);  // exactly one answer for the list
    EXPECT_EQ(ymListDir(root.file("var/spool/lp")), (std::vector<std::string>{"lp-1", "lp-2"}));

    // A view of a list reads each document and sends nothing.
    act(c, YM_DOC_VIEW, "", false, "", 1, 0, doc("plain.txt") + ";1\n" + doc("frob.1") + ";4\n");
    expectNextIsView(c);
}

TEST_F(DocService, CopyReplacesNeitherDocumentsNorTheServersFiles) {
    YmClient c;
    ASSERT_TRUE(c.connect(srv));
    std::string hdr;
    ASSERT_NO_FATAL_FAILURE(onlyHit(c, "guest", "twiddle", &hdr));
    symlink(data.file("drusktree").c_str(), outside.file("tree link").c_str());
    const std::string tree = ymReadFile(data.file("drusktree"));
    const std::vector<std::string> files = ymListDir(data.path());
    struct Case {
        const char* name;
        std::string target;
    } refused[] = {
        {"another document", doc("plain.txt")},
        {"a new name among the documents", doc("new.1")},
        {"the users and trees", data.file("drusktree")},
        {"an index file", data.file("kb.cfg")},
        {"the data directory as the folder", data.path()},
        {"the document folder as the folder", data.file("kb.docs")},
        {"a link to the tree", outside.file("tree link")},
        {"a way back in through ..",
         outside.path() + "/../" + data.path().substr(data.path().rfind('/') + 1) + "/x"},
        {"a relative name", "frob.1"},
    };
    for (const Case& k : refused) {
        SCOPED_TRACE(k.name);
        act(c, YM_DOC_COPY, hdr, true, k.target);
        YmFrame f;
        YmDocResultMsg e;
        answer(c, &f, &e);
        EXPECT_EQ(f.type, YmMsgType::DocError);
        EXPECT_EQ(e._errCode, 1);
    }
    EXPECT_EQ(ymReadFile(doc("plain.txt")), kPlain);
    EXPECT_EQ(ymReadFile(data.file("drusktree")), tree);
    EXPECT_EQ(ymListDir(data.path()), files);
    EXPECT_FALSE(data.exists("kb.docs/new.1"));
    // Outside them, into a folder: the document's own name.
    act(c, YM_DOC_COPY, hdr, true, outside.path());
    expectNextIsView(c);
    EXPECT_EQ(ymReadFile(outside.file("frob.1")), kMan);
}

TEST_F(DocService, FaxTakesTheExtensionFromTheNameAskedFor) {
    // The catalogue knows report.ps; the stored file behind it has no
    // extension, and PostScript goes to the fax service as it is.
    const std::string ps = "%!PS-Adobe-3.0\n/quokka show\nshowpage\n";
    data.write("kb.docs/blob", ps);
    ASSERT_EQ(symlink("blob", doc("report.ps").c_str()), 0);
    YmClient c;
    ASSERT_TRUE(c.connect(srv));
    act(c, YM_DOC_FAX, doc("report.ps"), false, "Bob\n555-0100", 1);
    YmFrame f;
    YmDocResultMsg r;
    answer(c, &f, &r);
    EXPECT_EQ(f.type, YmMsgType::DocError);
    EXPECT_EQ(r._errCode, 2);
    EXPECT_EQ(ymReadFile(root.file("var/spool/fax/1/2")), ps);
}

bool gone(pid_t p) {
    char st = ymProcState(p);
    return st == 0 || st == 'Z';
}

TEST_F(DocService, ASignalDuringASlowViewLeavesNoFileAndNoPipeline) {
    // SIGTERM ends the process at once; a hangup may wait until the view is
    // out (the formatter is then let go). Either way the formatter's
    // pipeline must not outlive the process, nor its temporary file.
    for (int sig : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(strsignal(sig));
        YmTempDir sync;
        ymPutTool(root.path(), "usr/bin/nroff",
                  "#!/bin/sh\necho $$ $PPID > " + sync.file("pids") + "\nmv " + sync.file("pids") +
                      " " + sync.file("started") + "\ni=0\nwhile [ ! -e " + sync.file("go") +
                      " ] && [ $i -lt 1200 ]; do sleep 0.05; i=$((i+1)); done\nexec " +
                      ymBuildRoot() + "/usr/bin/nroff \"$@\"\n");
        YmClient c;
        ASSERT_TRUE(c.connect(srv));
        act(c, YM_DOC_VIEW, doc("frob.1"), false, "", 4, 1);
        for (int i = 0; i < 1200 && !sync.exists("started"); i++) usleep(50000);
        ASSERT_TRUE(sync.exists("started"));
        pid_t nroff = 0, shell = 0;
        ASSERT_EQ(sscanf(sync.read("started").c_str(), "%d %d", &nroff, &shell), 2);
        ASSERT_EQ(ymListDir(tmp.path()).size(), 1u);  // the formatter's output

        ASSERT_EQ(kill(c.pid(), sig), 0);
        if (sig != SIGTERM) sync.write("go", "");
        for (int i = 0; i < 1200 && !gone(c.pid()); i++) usleep(10000);
        ASSERT_TRUE(gone(c.pid()));
        for (int i = 0; i < 1200 && !(gone(nroff) && gone(shell)); i++) usleep(10000);
        EXPECT_TRUE(gone(nroff));
        EXPECT_TRUE(gone(shell));
        EXPECT_TRUE(ymListDir(tmp.path()).empty());
        sync.write("go", "");
    }
}

TEST_F(DocService, ACancelDuringASlowViewMarksTheAnswer) {
    // An nroff that announces itself and waits for the test's go-ahead.
    YmTempDir sync;
    ymPutTool(root.path(), "usr/bin/nroff",
              "#!/bin/sh\n: > " + sync.file("started") + "\ni=0\nwhile [ ! -e " + sync.file("go") +
                  " ] && [ $i -lt 1200 ]; do sleep 0.05; i=$((i+1)); done\nexec " + ymBuildRoot() +
                  "/usr/bin/nroff \"$@\"\n");
    YmClient c;
    ASSERT_TRUE(c.connect(srv));
    act(c, YM_DOC_VIEW, doc("frob.1"), false, "", 4, 1);
    for (int i = 0; i < 1200 && !sync.exists("started"); i++) usleep(50000);
    ASSERT_TRUE(sync.exists("started"));
    ASSERT_TRUE(c.send(YmMsgType::DisplayCancel, 0, ""));
    // The cancel has been taken once the connection process ignores SIGIO.
    bool ignored = false;
    for (int i = 0; i < 1200 && !ignored; i++) {
        std::string st = ymReadFile("/proc/" + std::to_string(c.pid()) + "/status");
        size_t p = st.find("SigIgn:\t");
        ignored = p != std::string::npos &&
                  (std::stoull(st.substr(p + 8, 16), nullptr, 16) >> (SIGIO - 1) & 1);
        if (!ignored) usleep(10000);
    }
    EXPECT_TRUE(ignored);
    sync.write("go", "");
    YmFrame f;
    YmDocResultMsg r;
    answer(c, &f, &r);
    EXPECT_EQ(f.type, YmMsgType::DocResult);
    EXPECT_EQ(f.flag, -1);
    EXPECT_NE(docText(r).find("twiddle knobs"), std::string::npos);
    // The 701 itself gets no answer, and the next view is not cancelled.
    act(c, YM_DOC_VIEW, doc("frob.1"), false, "", 4, 2);
    answer(c, &f, &r);
    EXPECT_EQ(f.type, YmMsgType::DocResult);
    EXPECT_EQ(f.flag, 4);
    EXPECT_EQ(r._index, 2);
}

}  // namespace
