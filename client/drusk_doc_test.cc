// The client's document commands against a real server with a platform root
// of the test's own: view a hit with its marks, view a file, print, copy,
// mail and fax with their effects in the root's spool folders, and the
// failures in words with their exit statuses.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "YmInitMsg.h"
#include "YmMsgTypes.h"
#include "YmPlatform.h"
#include "YmServerFixture.h"
#include "YmTestDatabase.h"
#include "YmTestRoot.h"
#include "drusk_testrun.h"

namespace {

const std::string kMan =
    ".TH FROB 1\n.SH NAME\nfrob \\- twiddle knobs\n.SH DESCRIPTION\n"
    "The quokka turns every knob.\n";

class DruskDocs : public DruskServerTest {
  protected:
    void SetUp() override {
        useOwnRoot();
        data.write("drusktree", "0|Library|x|y|kb\n");
        data.write("kb/notes.txt", "Notes\n\nA quokka, then another quokka.\n");
        data.write("kb/frob.1", kMan);
        ASSERT_TRUE(ymIndexDatabase(data.path(), "kb", data.file("kb")));
        startServer();
    }
};

TEST_F(DruskDocs, ViewShowsTheHitWithItsWordsMarked) {
    Outcome r = drusk({"view", "-M", "brackets", "twiddle"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("frob - [[twiddle]] knobs"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find(".TH"), std::string::npos);

    // The search's hit numbers choose the hit; both words of the note.
    r = drusk({"view", "-M", "brackets", "-n", "1", "notes"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "[[Notes]]\n\nA quokka, then another quokka.\n");
    r = drusk({"view", "-M", "brackets", "-d", "kb", "quokka"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("[[quokka]]"), std::string::npos);

    // A file by name, no marks; -o writes the text unmarked.
    r = drusk({"view", "-f", data.file("kb/frob.1"), "-t", "4", "-o", out.file("frob.txt")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(out.read("frob.txt").find("frob - twiddle knobs"), std::string::npos);
    EXPECT_EQ(out.read("frob.txt").find("[["), std::string::npos);
}

TEST_F(DruskDocs, PrintCopyMailAndFax) {
    Outcome r = drusk({"print", "-P", "laser", "twiddle"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "printed\n");
    ASSERT_EQ(ymListDir(root.file("var/spool/lp")), std::vector<std::string>{"laser-1"});
    EXPECT_NE(ymReadFile(root.file("var/spool/lp/laser-1/control")).find("title=jo\n"),
              std::string::npos);

    r = drusk({"copy", "-o", out.file("copy.1"), "twiddle"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(out.read("copy.1"), kMan);

    r = drusk({"mail", "-r", "bob@example.org", "-c", "have a look", "twiddle"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string mail = ymReadFile(root.file("var/mail/msg.1"));
    EXPECT_NE(mail.find("X-Envelope-To: bob@example.org\n"), std::string::npos) << mail;
    EXPECT_NE(mail.find("X-Envelope-From: jo@"), std::string::npos) << mail;
    EXPECT_NE(mail.find("Comments: have a look\n"), std::string::npos);

    r = drusk({"fax", "-N", "555-0100", "-T", "Bob", "-c", "see page 1", "twiddle"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "faxed: request id is 1 (group id 1) for host localhost (2 files)\n");
    EXPECT_NE(ymReadFile(root.file("var/spool/fax/1/1")).find("To:       Bob"), std::string::npos);
    EXPECT_NE(ymReadFile(root.file("var/spool/fax/1/1")).find("Comments: see page 1"),
              std::string::npos);
}

TEST_F(DruskDocs, FailuresInWords) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int status;
        const char* err;
    } cases[] = {
        {"file outside the knowledge base",
         {"view", "-f", "/etc/passwd"},
         1,
         "could not show /etc/passwd"},
        {"no such hit", {"view", "-n", "3", "twiddle"}, 1, "found 1 hit, no hit 3"},
        {"no document named", {"view"}, 2, "name the document"},
        {"copy without a target", {"copy", "twiddle"}, 2, "-o names the target"},
        {"mail without a recipient", {"mail", "twiddle"}, 2, "-r names the recipient"},
        {"fax number refused by the service",
         {"fax", "-N", "no number", "twiddle"},
         1,
         "could not fax"},
        {"copy into no folder",
         {"copy", "-o", out.file("no/such/x"), "twiddle"},
         1,
         "could not copy"},
        {"copy over another document, as a guest",
         {"-u", "guest", "copy", "-d", "kb", "-n", "1", "-o", data.file("kb/notes.txt"), "twiddle"},
         1,
         "could not copy"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Outcome r = drusk(k.args);
        EXPECT_EQ(r.status, k.status) << r.err;
        EXPECT_NE(r.err.find(k.err), std::string::npos) << r.err;
    }
    EXPECT_EQ(data.read("kb/notes.txt"), "Notes\n\nA quokka, then another quokka.\n");
    ymPutTool(root.path(), "usr/bin/lp", "#!/bin/sh\ncat >/dev/null\nexit 1\n");
    Outcome r = drusk({"print", "twiddle"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("could not print"), std::string::npos) << r.err;
}

// Reads exactly n bytes; false at end of file or on an error.
bool readFull(int fd, char* buf, size_t n) {
    while (n > 0) {
        ssize_t k = read(fd, buf, n);
        if (k <= 0) return false;
        buf += k;
        n -= size_t(k);
    }
    return true;
}

// A server of one connection that logs the client in and answers a
// document action with a 407 whose length field promises more document
// bytes than the frame carries. Returns the child's pid; *port is its port.
pid_t shortAnswerServer(int* port) {
    int s = ymListenLoopback(port);
    if (s < 0) return -1;
    pid_t pid = fork();
    if (pid != 0) {
        close(s);
        return pid;
    }
    alarm(30);  // never outlives a test that went wrong
    int c = accept(s, nullptr, nullptr);
    char hdr[12];
    while (c >= 0 && readFull(c, hdr, sizeof hdr)) {
        uint32_t f[3];
        memcpy(f, hdr, sizeof f);
        std::string payload(ntohl(f[2]), '\0');
        if (!readFull(c, &payload[0], payload.size())) break;
        std::string reply;
        if (int(ntohl(f[0])) == YmMsgType::InitReq) {
            YmInitResultMsg login;
            login.prepareForSend();
            std::string p(reinterpret_cast<const char*>(login._buf.data), login._buf.slength);
            reply = ymFrameBytes(YmMsgType::InitResult, 0, int(p.size()), p);
        } else if (int(ntohl(f[0])) == YmMsgType::DocAction) {
            std::string p = std::string("0\f0\f0\f1\f0\f/kb/x.txt\f \f100\fonly this") + '\0';
            reply = ymFrameBytes(YmMsgType::DocResult, 1, int(p.size()), p);
        }
        if (!reply.empty() && write(c, reply.data(), reply.size()) != ssize_t(reply.size())) break;
    }
    _exit(0);
}

TEST(DruskShortAnswer, AnAnswerCutShortIsAFailure) {
    int port = 0;
    pid_t srv = shortAnswerServer(&port);
    ASSERT_GT(srv, 0);
    YmTempDir out;
    Outcome r = ymRunDrusk(port, {"view", "-f", "/kb/x.txt"}, out);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("drusk: the server's answer was cut short"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    kill(srv, SIGKILL);
    waitpid(srv, nullptr, 0);
}

}  // namespace
