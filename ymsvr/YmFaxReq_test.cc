// The fax request against stand-in fax tools that record the arguments they
// get: command lines of a normal form, hostile field values, the form's
// field rules, failing steps, and that no temporary file is left behind.
#include <gtest/gtest.h>
#include <dirent.h>
#include <sys/stat.h>

#include <cstdlib>
#include <initializer_list>
#include <string>

#include "YmFaxReq.h"
#include "YmServerFixture.h"

namespace {

std::string str(const YmStr& s) { return std::string(reinterpret_cast<const char*>(s.data), s.slength - 1); }

// One "[arg]" line per argument, as the stand-ins record them.
std::string argv(std::initializer_list<std::string> args) {
    std::string out;
    for (const std::string& a : args) out += "[" + a + "]\n";
    return out;
}

class FaxReq : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(dir.path().empty());
        dir.mkdir("tmp");
        // faxcover: its output is the cover sheet.
        tool("faxcover",
             "for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > " + dir.file("faxcover.argv") +
                 "\necho \"COVER $6\"\n");
        // sendfax: keeps what it was handed and answers like a fax service.
        tool("sendfax",
             "for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > " + dir.file("sendfax.argv") +
                 "\nfor a in \"$@\"; do if [ -f \"$a\" ]; then cat \"$a\" >> " + dir.file("sendfax.files") +
                 "; fi; done\n"
                 "if [ -n \"$YM_TEST_SENDFAX_FAIL\" ]; then echo 'sendfax: host unknown'; exit 2; fi\n"
                 "echo 'request id is fax-42 (2 files)'\n");
        save("PATH", oldPath);
        save("TMPDIR", oldTmp);
        setenv("PATH", (dir.file("bin") + ":" + oldPath).c_str(), 1);
        setenv("TMPDIR", dir.file("tmp").c_str(), 1);
        unsetenv("YM_TEST_SENDFAX_FAIL");
        dir.write("doc.txt", "the document\n");
    }
    void TearDown() override {
        setenv("PATH", oldPath.c_str(), 1);
        if (oldTmp.empty())
            unsetenv("TMPDIR");
        else
            setenv("TMPDIR", oldTmp.c_str(), 1);
        unsetenv("YM_TEST_SENDFAX_FAIL");
    }
    void tool(const std::string& name, const std::string& body) {
        dir.write("bin/" + name, "#!/bin/sh\n" + body);
        chmod(dir.file("bin/" + name).c_str(), 0755);
    }
    static void save(const char* name, std::string& into) {
        const char* v = getenv(name);
        into = v ? v : "";
    }
    std::string convert() { return "/bin/cat " + dir.file("doc.txt") + " > %s "; }
    // Files left in the temporary folder.
    int leftovers() {
        int n = 0;
        if (DIR* d = opendir(dir.file("tmp").c_str())) {
            while (dirent* e = readdir(d))
                if (e->d_name[0] != '.') n++;
            closedir(d);
        }
        return n;
    }

    YmTempDir dir;
    std::string oldPath, oldTmp;
};

const char kForm[] =
    "Jo Smith\n+1 555 0100\nACME\nTown\n555-0199\nPlease read\nfaxhost\nMe Sender\nme\nws1.lab.example.com\n";

TEST_F(FaxReq, SendsANormalForm) {
    YmFaxReq::Form f;
    YmFaxReq::readForm(kForm, f);
    EXPECT_EQ(str(YmFaxReq::coverCmd(f, "/t/c")),
              "faxcover -f 'Me Sender' -n '+1 555 0100' -t 'Jo Smith' -l 'ACME Town' -v '555-0199' "
              "-c 'Please read' -p ' ' > '/t/c'");
    EXPECT_EQ(str(YmFaxReq::sendCmd(f, "/t/c", "/t/f")),
              "sendfax -h 'faxhost' -d '+1 555 0100' -f 'me@lab.example.com' -n -D '/t/c' '/t/f'");
    EXPECT_EQ(str(YmFaxReq::convertCmd("/bin/cat /d/100%%.txt | text2fax > %s ", "/t/f")),
              "/bin/cat /d/100%.txt | text2fax > '/t/f' ");
    EXPECT_EQ(str(YmFaxReq::convertCmd("vxa2fax -m -o %s /d/p.rgb", "/t/f")), "vxa2fax -m -o '/t/f' /d/p.rgb");

    YmFaxReq fax;
    EXPECT_STREQ(fax.className(), "YmFaxReq");
    ASSERT_EQ(fax.fax(kForm, convert().c_str(), 1), 1);
    EXPECT_EQ(dir.read("faxcover.argv"), argv({"-f", "Me Sender", "-n", "+1 555 0100", "-t", "Jo Smith", "-l",
                                               "ACME Town", "-v", "555-0199", "-c", "Please read", "-p", " "}));
    std::string sent = dir.read("sendfax.argv");
    EXPECT_EQ(sent.rfind(argv({"-h", "faxhost", "-d", "+1 555 0100", "-f", "me@lab.example.com", "-n", "-D"}), 0), 0u)
        << sent;
    // The cover sheet and the converted document reached the service.
    EXPECT_EQ(dir.read("sendfax.files"), "COVER Jo Smith\nthe document\n");
    EXPECT_EQ(str(fax._errStr), "request id is fax-42 (2 files)\n\n");
    EXPECT_EQ(leftovers(), 0);
}

TEST_F(FaxReq, HostileFieldsStayInTheirPlace) {
    std::string pwn = dir.file("pwned");
    const std::string fields[10] = {
        "a\"; touch " + pwn + "1; echo \"",  // name
        "555$(touch " + pwn + "2)",          // fax number
        "`touch " + pwn + "3`",              // company
        "'; touch " + pwn + "4 #",           // location
        "x\\\" & touch " + pwn + "5 &",      // voice number
        "$HOME ${IFS} *",                    // comments
        "host;touch " + pwn + "6",           // fax host
        "\"'\"'",                            // sender on the cover
        "u`touch " + pwn + "7`",             // user
        "ws.$(touch " + pwn + "8).z",        // client
    };
    std::string form;
    for (const std::string& v : fields) form += v + "\n";
    // A newline ends a field, so "; touch" on a line of its own is only the
    // next field's value.
    form += "; touch " + pwn + "9\n";

    YmFaxReq fax;
    EXPECT_EQ(fax.fax(form.c_str(), convert().c_str(), 1), 1);
    for (int i = 1; i <= 9; i++) EXPECT_FALSE(dir.exists("pwned" + std::to_string(i))) << i;
    EXPECT_EQ(dir.read("faxcover.argv"), argv({"-f", fields[7], "-n", fields[1], "-t", fields[0], "-l",
                                               fields[2] + " " + fields[3], "-v", fields[4], "-c", fields[5], "-p",
                                               " "}));
    std::string sent = dir.read("sendfax.argv");
    EXPECT_EQ(sent.rfind(argv({"-h", fields[6], "-d", fields[1], "-f", fields[8] + "@$(touch " + pwn + "8).z", "-n",
                               "-D"}),
                         0),
              0u)
        << sent;
    EXPECT_EQ(leftovers(), 0);
}

TEST_F(FaxReq, ReadsTheFormByItsRules) {
    struct Case {
        const char* name;
        const char* form;
        const char* recipient;
        const char* dest;
        YmBool sent;
    } cases[] = {
        {"name only", "Jo\n", "Jo", " ", 0},
        {"fax number too short", "Jo\n55\n", "Jo", "55", 0},
        {"form starting with an empty line", "\nJo\n5551234\n", " ", " ", 0},
        {"empty lines between fields are skipped", "Jo\n\n\n555\n", "Jo", "555", 1},
    };
    for (const Case& c : cases) {
        YmFaxReq::Form f;
        YmFaxReq::readForm(c.form, f);
        EXPECT_EQ(str(f.name), c.recipient) << c.name;
        EXPECT_EQ(str(f.dest), c.dest) << c.name;
        unlink(dir.file("faxcover.argv").c_str());
        YmFaxReq fax;
        EXPECT_EQ(fax.fax(c.form, convert().c_str(), 0), c.sent) << c.name;
        EXPECT_EQ(dir.exists("faxcover.argv"), c.sent == 1) << c.name;  // nothing ran for a refused form
        if (!c.sent) {
            EXPECT_EQ(fax._errStr.slength, 1u) << c.name;
        }
    }

    // Two lines: the rest stay one blank, so the location text is three
    // blanks, and no fax host is named.
    YmFaxReq fax;
    ASSERT_EQ(fax.fax("Jo\n555\n", convert().c_str(), 1), 1);
    EXPECT_EQ(dir.read("faxcover.argv"), argv({"-f", " ", "-n", "555", "-t", "Jo", "-l", "   ", "-v", " ", "-c", " ",
                                               "-p", " "}));
    EXPECT_EQ(dir.read("sendfax.argv").rfind(argv({"-d", "555", "-f", " @ ", "-n", "-D"}), 0), 0u);

    struct Domain {
        const char* client;
        const char* domain;
    } domains[] = {{"ws1.lab.example.com", "lab.example.com"}, {"a.b", "b"}, {"host", "host"},
                   {".x.y", ".x.y"},                            {"host.", ""}};
    for (const Domain& d : domains) EXPECT_EQ(str(YmFaxReq::clientDomain(d.client)), d.domain) << d.client;
}

TEST_F(FaxReq, FailingStepsFailTheFaxAndLeaveNoFiles) {
    for (const char* conv : {"exit 3 > %s ", "false | cat > %s ",
                             "echo some text | (head -c 5; exit 1) | cat > %s "}) {
        SCOPED_TRACE(std::string("conversion ends badly, nothing is sent: ") + conv);
        YmFaxReq fax;
        EXPECT_EQ(fax.fax(kForm, conv, 1), 0);
        EXPECT_FALSE(dir.exists("sendfax.argv"));
        EXPECT_EQ(leftovers(), 0);
    }
    {
        SCOPED_TRACE("the service refuses: its answer is kept");
        setenv("YM_TEST_SENDFAX_FAIL", "1", 1);
        YmFaxReq fax;
        EXPECT_EQ(fax.fax(kForm, convert().c_str(), 1), 0);
        EXPECT_EQ(str(fax._errStr), "sendfax: host unknown\n\n");
        EXPECT_EQ(leftovers(), 0);
        unsetenv("YM_TEST_SENDFAX_FAIL");
    }
    {
        SCOPED_TRACE("no fax service installed");
        unlink(dir.file("bin/sendfax").c_str());
        setenv("PATH", (dir.file("bin") + ":/nonexistent").c_str(), 1);
        YmFaxReq fax;
        EXPECT_EQ(fax.fax(kForm, convert().c_str(), 1), 0);
        EXPECT_EQ(leftovers(), 0);
    }
    {
        SCOPED_TRACE("a form too long for a command line is refused before anything runs");
        unlink(dir.file("faxcover.argv").c_str());
        std::string form = "Jo\n555\nACME\nTown\n1\n" + std::string(YM_FAX_CMD_MAX, 'c') + "\n";
        YmFaxReq fax;
        EXPECT_EQ(fax.fax(form.c_str(), convert().c_str(), 1), 0);
        EXPECT_FALSE(dir.exists("faxcover.argv"));
        EXPECT_NE(fax._errStr.slength, 1u);
        EXPECT_EQ(leftovers(), 0);
    }
}

TEST_F(FaxReq, RunsCommandsAndKeepsTheirOutput) {
    YmFaxReq fax;
    EXPECT_EQ(fax.execCmd("printf 'one\\ntwo\\n'", 1), 1);
    EXPECT_EQ(str(fax._errStr), "one\n\ntwo\n\n");

    fax._errStr.resize(0, 0);
    EXPECT_EQ(fax.execCmd("printf '%0300d\\n' 0; exit 3", 1), 1);  // the result ignores the status
    EXPECT_NE(fax._status, 0);
    EXPECT_EQ(str(fax._errStr), std::string(254, '0') + "\n" + std::string(46, '0') + "\n\n");

    EXPECT_EQ(fax.execCmd("exit 0", 0), 1);
    EXPECT_EQ(fax.execCmd("exit 3", 0), 0);

    fax._errStr.resize(0, 0);
    // Read whole, kept up to the limit.
    EXPECT_EQ(fax.execCmd("awk 'BEGIN { for (i = 0; i < 1000; i++) printf \"%0200d\\n\", 0 }'", 1), 1);
    EXPECT_EQ(fax._status, 0);
    EXPECT_LE(fax._errStr.slength - 1, YM_FAX_OUTPUT_MAX);
    EXPECT_GT(fax._errStr.slength - 1, YM_FAX_OUTPUT_MAX - 256);
}

}  // namespace
