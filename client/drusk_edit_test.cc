// The client's edit commands against a real server: a lock held by one drusk
// while others ask who holds it and are refused, then saves of a file, of a
// hit and of a new file, the security value, and refusals in words.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "YmPlatform.h"
#include "YmServerFixture.h"
#include "YmTestDatabase.h"
#include "YmTestRoot.h"
#include "drusk_testrun.h"

namespace {

class DruskEdit : public DruskServerTest {
  protected:
    void SetUp() override {
        useOwnRoot();
        data.write("drusktree", "0|Library|x|y|kb\n");
        // jo and alice may edit kb; news is listed but can never be edited.
        data.write("druskadmin", "jo: :1:1:1:1:1:0:0:kb,news\nalice: :1:1:1:1:1:0:0:kb\n");
        data.write("kb/notes.txt", "Notes about the quokka.\n");
        data.write("news/n.txt", "Quokka news.\n");
        for (const char* db : {"kb", "news"})
            ASSERT_TRUE(ymIndexDatabase(data.path(), db, data.file(db)));
        out.write("text", "A new text.\n");
        out.write("empty", "");
        startServer();
    }
};

TEST_F(DruskEdit, LockHeldWhileOthersAskAndSave) {
    std::string file = data.file("kb/notes.txt");
    const char* bin = getenv("YM_BIN_DIR");
    std::string cmd = ymShellQuote(std::string(bin ? bin : ".") + "/drusk") + " -p " +
                      std::to_string(srv.port()) + " -u alice lock -f " + ymShellQuote(file) +
                      " >" + ymShellQuote(out.file("lock")) + " 2>&1";
    FILE* holder = popen(cmd.c_str(), "w");
    ASSERT_TRUE(holder);
    for (int i = 0; i < 2000 && out.read("lock").find("locked") == std::string::npos; i++)
        usleep(10000);
    ASSERT_EQ(out.read("lock").find("locked " + file + " (lock "), 0u) << out.read("lock");

    Outcome r = drusk({"who", "-f", file});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, file + ": locked by alice\n");
    r = drusk({"lock", "-f", file});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("locked by alice"), std::string::npos) << r.err;
    r = drusk({"save", "-f", file, "-i", out.file("text")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("locked by alice"), std::string::npos) << r.err;
    EXPECT_EQ(data.read("kb/notes.txt"), "Notes about the quokka.\n");

    // The end of its input unlocks.
    int st = pclose(holder);
    EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << out.read("lock");
    EXPECT_NE(out.read("lock").find("unlocked " + file + "\n"), std::string::npos)
        << out.read("lock");
    r = drusk({"who", "-f", file});
    EXPECT_EQ(r.out, file + ": not locked\n");
    r = drusk({"save", "-f", file, "-i", out.file("text")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "saved " + file + "\n");
    EXPECT_EQ(data.read("kb/notes.txt"), "A new text.\n");
}

TEST_F(DruskEdit, SaveAndMarkAHitOrAFile) {
    std::string file = data.file("kb/notes.txt");
    Outcome r = drusk({"save", "-c", "6", "-i", out.file("text"), "quokka"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "saved " + file + "; its security value becomes 6\n");
    EXPECT_EQ(data.read("kb/notes.txt"), "A new text.\n");
    r = drusk({"mark", "-c", "2", "quokka"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "the security value of " + file + " becomes 2\n");
    r = drusk({"save", "-f", data.file("kb/new.txt"), "-i", "-"});
    EXPECT_EQ(r.status, 1) << "empty standard input";
    r = drusk({"save", "-f", data.file("kb/new.txt"), "-i", out.file("text")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(data.read("kb/new.txt"), "A new text.\n");

    struct Case {
        const char* name;
        std::vector<std::string> args;
        int status;
        const char* err;
    } cases[] = {
        {"a source nobody edits",
         {"save", "-f", data.file("news/n.txt"), "-i", out.file("text")},
         1,
         "no source you may edit (code 2012)"},
        {"a source not the user's",
         {"mark", "-c", "1", "-s", "ro", "-f", file},
         1,
         "no source you may edit"},
        {"an empty text",
         {"save", "-f", file, "-i", out.file("empty")},
         1,
         "could not write the text"},
        {"a file outside the knowledge base",
         {"save", "-f", "/etc/passwd", "-i", out.file("text")},
         1,
         "no source you may edit"},
        {"mark without a source", {"mark", "-c", "1", "-f", file}, 2, "-s names"},
        {"mark without a value", {"mark", "-s", "kb", "-f", file}, 2, "-c names"},
        {"a value that is no number", {"mark", "-c", "x", "-s", "kb", "-f", file}, 2, "-c wants"},
        {"save without a text", {"save", "-f", file}, 2, "-i names"},
        {"a text that cannot be read",
         {"save", "-f", file, "-i", out.file("none")},
         1,
         "cannot read"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        r = drusk(k.args);
        EXPECT_EQ(r.status, k.status) << r.err;
        EXPECT_NE(r.err.find(k.err), std::string::npos) << r.err;
    }
    EXPECT_EQ(data.read("kb/notes.txt"), "A new text.\n");
}

}  // namespace
