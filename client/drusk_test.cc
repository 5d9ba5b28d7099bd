// The client program against a real server: the hit table, the databases of
// the login's tree, counts, raw records, order, and every kind of failure in
// words with its exit status.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "YmServerFixture.h"
#include "YmTestDatabase.h"
#include "drusk_testrun.h"

namespace {

class Drusk : public DruskServerTest {
  protected:
    void SetUp() override {
        root.mkdir("usr/tmp");
        data.write("drusktree", "0|Library|x|y|manuals\n");
        data.write("manuals/fox.txt",
                   "The Fox Story\n\nThe quick brown fox jumps over the lazy dog.\n");
        data.write("manuals/dog.txt", "Dogs and Wolves\n\nThe lazy dog sleeps.\n");
        data.write("other/cat.txt", "Cats\n\nA cat and a dog.\n");
        ASSERT_TRUE(ymIndexDatabase(data.path(), "manuals", data.file("manuals")));
        ASSERT_TRUE(ymIndexDatabase(data.path(), "other", data.file("other")));
        startServer();
    }
};

TEST_F(Drusk, PrintsTheHitsAsATable) {
    Outcome r = drusk({"search", "-d", "manuals", "fox"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    std::istringstream in(r.out);
    std::string head, row, total, extra;
    std::getline(in, head);
    std::getline(in, row);
    std::getline(in, total);
    EXPECT_FALSE(std::getline(in, extra));
    EXPECT_EQ(head.substr(0, 20), "#  Title          Da");
    EXPECT_EQ(row.substr(0, 28), "1  The Fox Story  manuals   ");
    // The date as a date, then the file, whole.
    EXPECT_EQ(row[32], '-');
    EXPECT_EQ(row.substr(row.size() - data.file("manuals/fox.txt").size()),
              data.file("manuals/fox.txt"));
    EXPECT_EQ(total, "1 hit");
}

TEST_F(Drusk, SearchesTheLoginsDatabasesCountsOrdersAndPrintsRawRecords) {
    // No -d: the databases of the tree the login returned.
    Outcome r = drusk({"search", "dog"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("2 hits\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Cats"), std::string::npos);

    r = drusk({"search", "-c", "-d", "manuals,other", "dog"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "3 documents match\n");

    r = drusk({"search", "-d", "manuals", "-d", "other", "-o", "title", "dog"});
    ASSERT_EQ(r.status, 0) << r.err;
    size_t cats = r.out.find("Cats"), dogs = r.out.find("Dogs and Wolves"),
           fox = r.out.find("The Fox Story");
    EXPECT_LT(cats, dogs);
    EXPECT_LT(dogs, fox);
    EXPECT_NE(fox, std::string::npos);

    r = drusk({"search", "-r", "-d", "other", "cat"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, 30), "--- hit 1\n110\nCats\n299\n0\n111\no");
    EXPECT_NE(r.out.find("\n100\n" + data.file("other/cat.txt") + "\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\n256\n0;5;3\t\n1 hit\n"), std::string::npos) << r.out;
}

TEST_F(Drusk, FailuresInWords) {
    int closed = ymFreeLoopbackPort();
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int port;
        int status;
        const char* err;
    } cases[] = {
        {"query syntax",
         {"search", "-d", "manuals", "(fox"},
         0,
         1,
         "drusk: the search failed\nquery error 10: Invalid search string - check syntax\n"},
        {"operator typed",
         {"search", "-d", "manuals", "fox", "near", "dog"},
         0,
         1,
         "query error 4: Unknown operator used\n"},
        {"unknown database",
         {"search", "-d", "nosuch", "fox"},
         0,
         1,
         "none of the databases named (nosuch) can be searched"},
        {"the engine's own error",
         {"search", "-d", "manuals", "-F", "4711", "fox"},
         0,
         1,
         "Additional Information:\n    FT Error Code = 8 (a field that cannot be searched)\n"},
        {"the engine's own error, counting",
         {"search", "-c", "-d", "manuals", "-F", "4711", "fox"},
         0,
         1,
         "Additional Information:\n    FT Error Code = 8 (a field that cannot be searched)\n"},
        {"no server",
         {"search", "-d", "manuals", "fox"},
         closed,
         3,
         "drusk: cannot reach the server at localhost:"},
        {"no query", {"search", "-d", "manuals"}, 0, 2, "drusk: search: no query given\n"},
        {"bad number",
         {"search", "-m", "lots", "fox"},
         0,
         2,
         "-m wants a number of hits, not lots"},
        {"unknown command", {"fly"}, 0, 2, "drusk: unknown command fly\n"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Outcome r = drusk(k.args, k.port);
        EXPECT_EQ(r.status, k.status) << r.err;
        EXPECT_NE(r.err.find(k.err), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    // A login the server answers with an error is reported, and the search
    // still runs.
    data.write("drusktree", "");
    Outcome r = drusk({"search", "-d", "manuals", "fox"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "drusk: login: no directory tree is set up for this user (code 4003)\n");
    EXPECT_NE(r.out.find("1 hit\n"), std::string::npos);
}

}  // namespace
