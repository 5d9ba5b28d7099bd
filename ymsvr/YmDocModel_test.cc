// Tests of the document models: the conversion of search-side marks, reading
// through the real formatters of the platform root, and the actions with the
// root's spooler, remote shell, mail and fax stand-ins, whose effects are
// checked in the root's spool folders. Each test has a root of its own, so
// that a tool can be replaced by one that fails.
#include "YmDocModel.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "YmInitModel.h"
#include "YmPlatform.h"
#include "YmServer.h"
#include "YmServerFixture.h"
#include "YmTestRoot.h"

namespace {

std::string str(const YmStr& s) {
    return std::string(reinterpret_cast<const char*>(s.data), s.slength - 1);
}

class Models : public ::testing::Test {
  protected:
    void SetUp() override {
        ymMirrorRoot(root.path());
        setenv("YM_ROOT", root.path().c_str(), 1);
        setenv("TMPDIR", tmp.path().c_str(), 1);
        ymPlatformReset();
        init._localUsr = "alice";
        init._server = "ymhost.dept.example.com";
        theInitModel = &init;
    }
    void TearDown() override {
        theInitModel = nullptr;
        unsetenv("TMPDIR");
        // Every model removes its temporary files, also after a failure.
        EXPECT_TRUE(ymListDir(tmp.path()).empty());
    }
    // A document in the document folder.
    std::string doc(const std::string& name, const std::string& content) {
        docs.write(name, content);
        return docs.file(name);
    }
    template <class M>
    std::unique_ptr<M> model(const std::string& path, int type, const char* marks = nullptr) {
        std::unique_ptr<M> m(new M);
        m->init(path.c_str(), type, marks, nullptr);
        return m;
    }
    std::vector<std::string> jobs() { return ymListDir(root.file("var/spool/lp")); }
    std::string job(const std::string& id, const std::string& f) {
        return ymReadFile(root.file("var/spool/lp/" + id + "/" + f));
    }

    YmTempDir root, docs, tmp;
    YmInitModel init;
};

TEST(Marks, SearchSideMarksBecomeTheMarksLine) {
    struct Case {
        const char* name;
        std::string text, marks, expected;
    } cases[] = {
        {"hit on the second line", "ab\n  cd", "0;2;2\t", "1;5;2\t"},
        {"first visible character", "  word rest", "0;0;4\t", "0;2;4\t"},
        {"several hits in order", "one two\nthree four\n", "0;3;3\t0;6;5\t0;11;4\t",
         "0;4;3\t1;8;5\t1;14;4\t"},
        {"no marks from the search side", "abc", "0;0;0\t", "0;0;0\t"},
        {"items out of order give one mark", "abcdefgh", "0;5;1\t0;2;1\t", "0;5;1\t"},
        {"the same start twice gives the mark twice", "abcdef", "0;2;1\t0;2;1\t", "0;2;1\t0;2;1\t"},
        {"a start past the end gives nothing", "abc", "0;9;2\t", ""},
        {"first item with a leading 1 is invalid", "abcdef", "1;2;1\t", "1;2;1\t"},
        {"an invalid later item ends the conversion", "abcdef", "0;1;1\t0;2;0\t0;3;1\t", "0;1;1\t"},
        {"missing length", "abcdef", "0;2\t", "0;2\t"},
    };
    YmTempDir d;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        d.write("t", c.text);
        YmTextModel m;
        m.init(d.file("t").c_str(), 1, c.marks.c_str(), nullptr);
        ASSERT_TRUE(m.openDoc());
        EXPECT_EQ(str(m._marks), c.expected);
        EXPECT_EQ(str(m._docBuffer), c.text);
        EXPECT_EQ(m._docLen, c.text.size());
    }
}

TEST(Reading, EdgesOfTheStoredFile) {
    YmTempDir d;
    d.write("one", "x");
    d.write("empty", "");
    d.write("blanks", "a\n\n\n\nb\n\n\nc\n\n");
    YmTextModel m;
    m.init(d.file("one").c_str(), 1, nullptr, nullptr);
    ASSERT_TRUE(m.openDoc());
    EXPECT_EQ(m.docBuffer(), nullptr);  // one byte is no document to show
    m.init(d.file("empty").c_str(), 1, nullptr, nullptr);
    EXPECT_FALSE(m.openDoc());
    m.init(d.file("missing").c_str(), 1, nullptr, nullptr);
    EXPECT_FALSE(m.openDoc());
    m.init(d.path().c_str(), 1, nullptr, nullptr);
    EXPECT_FALSE(m.openDoc());  // a folder
    m.init(d.file("blanks").c_str(), 1, nullptr, nullptr);
    ASSERT_TRUE(m.openDoc());
    m.rmBlanks();
    EXPECT_STREQ(m.docBuffer(), "a\n\nb\n\nc\n\n");
}

TEST_F(Models, EachTextModelShowsItsFormattedText) {
    const std::string man =
        ".TH FROB 1\n.SH NAME\nfrob \\- twiddle the knobs\n.SH DESCRIPTION\n"
        ".B frob\nturns every knob.\n";
    const std::string troff = ".ce\nQuarterly Report\n.sp\n.ft B\nRevenue\n.ft R\nrose sharply.\n";
    const std::string mm = ".H 1 \"Plans\"\n.P\nThe plans are bold.\n";
    const std::string plain = "Plain words, kept as they are.\n";
    docs.write("pack.src", "packed text here\n");
    docs.write("comp.src", "compressed text here\n");
    ASSERT_EQ(
        system(("gzip -c " + docs.file("pack.src") + " > " + docs.file("doc.z") +
                " && compress -c " + docs.file("comp.src") + " > " + docs.file("doc.Z") +
                " 2>/dev/null || gzip -c " + docs.file("comp.src") + " > " + docs.file("doc.Z"))
                   .c_str()),
        0);
    struct Case {
        const char* name;
        std::unique_ptr<YmDocModel> m;
        std::string path;
        int type;
        std::vector<std::string> shown, hidden;
    } cases[] = {
        {"text", std::unique_ptr<YmDocModel>(new YmTextModel), doc("p.txt", plain), 1, {plain}, {}},
        {"man",
         std::unique_ptr<YmDocModel>(new YmManModel),
         doc("frob.1", man),
         4,
         {"NAME", "frob - twiddle the knobs", "turns every knob."},
         {".TH", ".SH", "\b"}},
        {"troff",
         std::unique_ptr<YmDocModel>(new YmTroffModel),
         doc("r.tr", troff),
         3,
         {"Quarterly Report", "Revenue rose sharply."},
         {".ce", ".ft"}},
        {"mm",
         std::unique_ptr<YmDocModel>(new YmMmModel),
         doc("p.mm", mm),
         5,
         {"Plans", "The plans are bold."},
         {".H", ".P"}},
        {"packed",
         std::unique_ptr<YmDocModel>(new YmPcatModel),
         docs.file("doc.z"),
         8,
         {"packed text here"},
         {}},
        {"compressed",
         std::unique_ptr<YmDocModel>(new YmZcatModel),
         docs.file("doc.Z"),
         9,
         {"compressed text here"},
         {}},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.m->init(c.path.c_str(), c.type, nullptr, nullptr);
        ASSERT_TRUE(c.m->openDoc());
        std::string text = str(c.m->_docBuffer);
        EXPECT_EQ(text.size(), c.m->_docLen);
        for (const std::string& s : c.shown)
            EXPECT_NE(text.find(s), std::string::npos) << s << " in:\n" << text;
        for (const std::string& s : c.hidden)
            EXPECT_EQ(text.find(s), std::string::npos) << s << " in:\n" << text;
    }
}

TEST_F(Models, AFailingFormatterIsAFailure) {
    std::string page = doc("x.1", ".TH X 1\n.SH NAME\nx \\- y\n");
    // A formatter that fails in the middle of the pipeline, after some
    // output, and one that fails at its end.
    for (const char* rel : {"usr/bin/nroff", "usr/bin/col"}) {
        SCOPED_TRACE(rel);
        YmTempDir r;
        ymMirrorRoot(r.path());
        ymPutTool(r.path(), rel, "#!/bin/sh\ncat >/dev/null\necho partial output\nexit 3\n");
        setenv("YM_ROOT", r.path().c_str(), 1);
        ymPlatformReset();
        auto m = model<YmManModel>(page, 4);
        EXPECT_FALSE(m->openDoc());
    }
    setenv("YM_ROOT", root.path().c_str(), 1);
    ymPlatformReset();
    EXPECT_TRUE(model<YmManModel>(page, 4)->openDoc());
}

TEST_F(Models, PrintSpoolsTheTextWithPrinterTitleAndHost) {
    std::string page = doc("frob.1", ".TH FROB 1\n.SH NAME\nfrob \\- knobs\n");
    auto m = model<YmManModel>(page, 4);
    ASSERT_TRUE(m->print("\nlaser"));  // no host: the printer line is not read
    ASSERT_TRUE(m->print("localhost\nlaser"));
    ASSERT_TRUE(m->print("localhost\nlp"));  // two characters: not passed
    ASSERT_EQ(jobs(), (std::vector<std::string>{"laser-2", "lp-1", "lp-3"}));
    EXPECT_NE(job("lp-1", "control").find("title=alice\n"), std::string::npos);
    EXPECT_NE(job("lp-1", "control").find("host=\n"), std::string::npos);
    EXPECT_NE(job("laser-2", "control").find("host=localhost\n"), std::string::npos);
    EXPECT_NE(job("laser-2", "control").find("title=alice\n"), std::string::npos);
    EXPECT_NE(job("lp-3", "control").find("host=localhost\n"), std::string::npos);
    // The formatted text went to the printer.
    EXPECT_NE(job("laser-2", "data.1").find("frob - knobs"), std::string::npos);
    // The remote host runs its own spooler: the literal path, read twice.
    std::string remote = m->printCmd("localhost", "laser", "alice");
    EXPECT_NE(remote.find(" " + ymShellQuote(ymShellQuote("/usr/bin/lp")) + " "), std::string::npos)
        << remote;
    EXPECT_EQ(remote.find(root.path() + "/usr/bin/lp"), std::string::npos) << remote;
}

TEST_F(Models, PrintFallsBackToTheStoredFileOnTheDefaultPrinter) {
    std::string page = doc("frob.1", ".TH FROB 1\n.SH NAME\nfrob \\- knobs\n");
    auto m = model<YmManModel>(page, 4);
    // An unknown printer, an unknown host, a host that is no host name.
    for (const char* dest : {"localhost\nnoprinter", "nosuchhost.invalid\nlaser", "-l\nlaser"})
        ASSERT_TRUE(m->print(dest));
    ASSERT_EQ(jobs(), (std::vector<std::string>{"lp-1", "lp-2", "lp-3"}));
    for (const std::string& j : jobs()) {
        EXPECT_EQ(job(j, "data.1"), ymReadFile(page));  // unformatted
        EXPECT_NE(job(j, "control").find("title=\n"), std::string::npos);
    }
    // A spooler that fails every job: the print fails.
    ymPutTool(root.path(), "usr/bin/lp",
              "#!/bin/sh\ncat >/dev/null\necho 'lp: scheduler not responding' >&2\nexit 1\n");
    EXPECT_FALSE(m->print("localhost\nlaser"));
    EXPECT_FALSE(m->print("\n"));
}

TEST_F(Models, ClientValuesNeverRunAsCommands) {
    // The commands run in the current folder: a trick that worked would
    // leave the file "pwned" there.
    YmTempDir work;
    char oldCwd[4096];
    ASSERT_NE(getcwd(oldCwd, sizeof oldCwd), nullptr);
    ASSERT_EQ(chdir(work.path().c_str()), 0);
    const std::string mark = "pwned";
    std::string p = doc("plain.txt", "some text\n");
    const std::string tricks[] = {
        "x';touch " + mark + ";'",
        "x\";touch " + mark + ";\"",
        "x;touch " + mark,
        "x$(touch " + mark + ")",
        "x`touch " + mark + "`",
        "x|touch " + mark,
        "x&&touch " + mark,
        "x\ntouch " + mark,
        "x'\\''$(touch " + mark + ")",
        "-x$(touch${IFS}" + mark + ")",
    };
    for (const std::string& t : tricks) {
        SCOPED_TRACE(t);
        auto m = model<YmTextModel>(p, 1);
        init._localUsr = t.c_str();
        m->print(("\n" + t).c_str());
        m->print(("localhost\n" + t).c_str());
        m->print((t + "\nlaser").c_str());
        m->copy((docs.path() + "/copy " + t).c_str());
        m->copy(t.c_str());
        m->email((t + "\n" + t + "\n" + t).c_str());
        m->email(("bob@example.com\n" + t + "\n" + t).c_str());
        m->fax((t + "\n555-" + t + "\n" + t + "\n" + t + "\n" + t + "\n" + t + "\n" + t + "\n" + t +
                "\n" + t + "\n" + t)
                   .c_str());
        EXPECT_NE(access(mark.c_str(), F_OK), 0);
        // The title reached the spooler whole, as one value.
        bool found = false;
        for (const std::string& j : jobs())
            if (job(j, "control").find("title=" + t.substr(0, t.find('\n'))) != std::string::npos)
                found = true;
        EXPECT_TRUE(found || t.find('\n') != std::string::npos);
        // A copy target that holds the tricks is taken as a plain name.
        EXPECT_EQ(ymReadFile(docs.path() + "/copy " + t), "some text\n");
    }
    ASSERT_EQ(chdir(oldCwd), 0);
    init._localUsr = "alice";
}

TEST_F(Models, CopyTakesTheTargetAsOneName) {
    std::string p = doc("plain.txt", "copied\n");
    auto m = model<YmTextModel>(p, 1);
    std::string target = docs.path() + "/it's a \"copy\"";
    EXPECT_TRUE(m->copy(target.c_str()));
    EXPECT_EQ(ymReadFile(target), "copied\n");
    EXPECT_FALSE(m->copy("-r"));  // relative, and would be an option of cp
    EXPECT_FALSE(m->copy(""));
    EXPECT_FALSE(m->copy((docs.path() + "/no/such/folder/x").c_str()));
    EXPECT_FALSE(m->copy(("/" + std::string(5000, 'a')).c_str()));
}

TEST_F(Models, CopyNeverWritesIntoADataDirectoryOrThroughALink) {
    YmTempDir data, out;
    data.write("druskadmin", "staff: :1:1:1:1:1:1:1\n");
    data.mkdir("sub");
    init.parsePath(data.path().c_str());
    std::string p = doc("plain.txt", "copied\n");
    symlink(data.file("druskadmin").c_str(), out.file("link").c_str());
    symlink(data.path().c_str(), out.file("dirlink").c_str());
    auto m = model<YmTextModel>(p, 1);
    struct Case {
        const char* name;
        std::string target;
    } refused[] = {
        {"a file of the data directory", data.file("druskadmin")},
        {"a new file there", data.file("new")},
        {"a folder below it", data.file("sub/x")},
        {"the data directory as the target folder", data.path()},
        {"a way round through ..", out.path() + "/../" + data.path().substr(data.path().rfind('/') + 1) + "/x"},
        {"a link to a file there", out.file("link")},
        {"a link to the folder", out.file("dirlink")},
        {"a name below a linked folder", out.file("dirlink/x")},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(m->copy(c.target.c_str()));
    }
    EXPECT_EQ(ymReadFile(data.file("druskadmin")), "staff: :1:1:1:1:1:1:1\n");
    EXPECT_EQ(ymListDir(data.path()), (std::vector<std::string>{"druskadmin", "sub"}));
    EXPECT_TRUE(ymListDir(data.file("sub")).empty());
    // Elsewhere, a folder as the target takes the document's name.
    EXPECT_TRUE(m->copy(out.path().c_str()));
    EXPECT_EQ(out.read("plain.txt"), "copied\n");
}

TEST_F(Models, MailCarriesHeadersABlankLineAndTheText) {
    std::string page = doc("frob.1", ".TH FROB 1\n.SH NAME\nfrob \\- knobs\n");
    auto m = model<YmManModel>(page, 4);
    ASSERT_TRUE(m->email("bob\ncarol\nHave a look"));
    ASSERT_TRUE(m->email("bob@other.org\n\n"));  // no sender: the logged-in user
    auto box = ymListDir(root.file("var/mail"));
    ASSERT_EQ(box, (std::vector<std::string>{"msg.1", "msg.2"}));
    std::string one = ymReadFile(root.file("var/mail/msg.1"));
    const std::string head =
        "X-Envelope-From: carol@example.com\nX-Envelope-To: bob@example.com\n"
        "Subject: DruskIII Document\nFrom: carol@example.com\nReply-To: carol@example.com\n"
        "Comments: Have a look\n\n";
    EXPECT_EQ(one.substr(0, head.size()), head);
    EXPECT_NE(one.find("frob - knobs", head.size()), std::string::npos);
    std::string two = ymReadFile(root.file("var/mail/msg.2"));
    EXPECT_EQ(two.find("X-Envelope-From: alice@example.com\nX-Envelope-To: bob@other.org\n"), 0u);
    EXPECT_EQ(two.find("Comments:"), std::string::npos);

    EXPECT_FALSE(m->email("\ncarol"));  // no recipient
    EXPECT_FALSE(m->email("-oQ/tmp/x\ncarol"));
    EXPECT_FALSE(m->email("bob smith\ncarol"));
    ymPutTool(root.path(), "usr/lib/sendmail", "#!/bin/sh\ncat >/dev/null\nexit 75\n");
    EXPECT_FALSE(m->email("bob\ncarol"));
    EXPECT_EQ(ymListDir(root.file("var/mail")).size(), 2u);
}

TEST(Mail, DomainAndAddresses) {
    struct Case {
        const char* host;
        const char* domain;
    } domains[] = {{"a.b.c.d", "c.d"}, {"x.y", "x.y"}, {"host", ""}, {"", ""}, {".y", ""}};
    for (const Case& c : domains) EXPECT_EQ(YmDocModel::mailDomain(c.host), c.domain) << c.host;
    EXPECT_EQ(YmDocModel::mailAddress("bob", "c.d"), "bob@c.d");
    EXPECT_EQ(YmDocModel::mailAddress("bob", ""), std::string("bob@") + YM_DEFAULT_MAIL_DOMAIN);
    EXPECT_EQ(YmDocModel::mailAddress("bob@x.org", "c.d"), "bob@x.org");
    for (const char* bad : {"", "-f", "a b", "a\rb", "a\tb"})
        EXPECT_EQ(YmDocModel::mailAddress(bad, "c.d"), "") << bad;
}

TEST_F(Models, FaxSendsCoverAndConvertedTextToTheFaxService) {
    std::string page = doc("frob.1", ".TH FROB 1\n.SH NAME\nfrob \\- knobs\n");
    std::string ps = doc("report.ps", "%!PS-Adobe-3.0\nshowpage\n");
    auto man = model<YmManModel>(page, 4);
    // The manual page goes from its source, not through the formatter.
    EXPECT_EQ(str(man->convertFax()).find("text2fax > %s "), str(man->convertFax()).size() - 14);
    EXPECT_EQ(str(man->convertFax()).find("nroff"), std::string::npos);
    auto psm = model<YmTextModel>(ps, 1);
    EXPECT_EQ(str(psm->convertFax()), std::string(ymPath(YmPath::Cat)) + " '" + ps + "' > %s ");

    const char* form =
        "Bob\n555-0100\nAcme\nTown\n555-0101\nSee page 2\n \nAlice A\nalice\nws1.dept.example.com";
    ASSERT_TRUE(man->fax(form));
    EXPECT_EQ(str(man->_attrib), "request id is 1 (group id 1) for host localhost (2 files)\n\n");
    std::string job = root.file("var/spool/fax/1/");
    EXPECT_NE(ymReadFile(job + "control").find("number=555-0100\nfrom=alice@dept.example.com\n"),
              std::string::npos);
    EXPECT_NE(ymReadFile(job + "1").find("To:       Bob"), std::string::npos);
    std::string fax = ymReadFile(job + "2");
    EXPECT_EQ(fax.find("FAX-TEXT 1\n.TH FROB 1"), 0u);

    ASSERT_TRUE(psm->fax(form));
    EXPECT_EQ(ymReadFile(root.file("var/spool/fax/2/2")), ymReadFile(ps));
    // A number the fax service refuses, and one too short to try.
    EXPECT_FALSE(man->fax("Bob\nno number"));
    EXPECT_FALSE(man->fax("Bob\n12"));
    EXPECT_EQ(ymListDir(root.file("var/spool/fax")).size(), 2u);
}

TEST(Hosts, DiffHostComparesTheFirstLabelsWithoutCase) {
    YmInitModel init;
    init._server = "Alpha.dept.example.com";
    theInitModel = &init;
    YmTextModel m;
    struct Case {
        const char* client;
        bool differs;
    } cases[] = {{"alpha:0.0", true},
                 {"ALPHA.other.org", false},
                 {"alpha", false},
                 {"beta.dept", true},
                 {"", true}};
    for (const Case& c : cases) {
        m.init("/x", 1, nullptr, c.client);
        EXPECT_EQ(bool(m.diffHost()), c.differs) << c.client;
    }
    theInitModel = nullptr;
}

}  // namespace
