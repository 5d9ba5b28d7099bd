// ftindex and dmFieldUpd as a user runs them: updates while another process
// searches, the reference file, catalogue errors, interrupted runs, and the
// field update followed by a search.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include "FtStore.h"
#include "FtTestCorpus.h"
#include "YmPlatform.h"
#include "ftft.h"

using namespace fttest;

namespace {

time_t mtimeOf(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_mtime : 0;
}

std::set<std::string> find(const std::string& name, const std::string& query, int* err = nullptr) {
    FTAPIH h;
    long opts[3] = {4, 0, -1};
    std::set<std::string> out;
    if (ftapiini(nullptr, nullptr, opts, 3, &h) != 0) return {"<no engine>"};
    FTBH b = ftbxop(h, name.c_str(), "r");
    if (!b) {
        if (err) *err = ftegerr(h);
        ftapitrm(h);
        return {"<no base>"};
    }
    std::vector<Hit> hits;
    int e;
    search(h, {b}, query, &hits, &e);
    if (err) *err = e;
    for (const Hit& x : hits) out.insert(x.file);
    ftapitrm(h);
    return out;
}

class Tools : public ::testing::Test {
protected:
    void SetUp() override {
        ymPlatformInit();
        settings = dir.path() + "/s";
        docs = dir.path() + "/docs/";
        mkdir(settings.c_str(), 0755);
        writeFile(docs + "a.txt", "apple pie\n");
        writeFile(docs + "b.txt", "banana bread\n");
        ASSERT_EQ(ftindex(settings, "live", docs, "", &out), 0) << out;
        setenv("FULSEARCH", settings.c_str(), 1);
        ref = settings + "/live.ref";
    }
    void TearDown() override {
        if (h) ftapitrm(h);
    }
    // An engine of the test's own (h, ended with the test) with "live" open
    // for reading; 0 when that failed.
    FTBH openLive() {
        long opts[3] = {4, 0, -1};
        if (!h && ftapiini(nullptr, nullptr, opts, 3, &h) != 0) return 0;
        return ftbxop(h, "live", "r");
    }
    TempDir dir;
    std::string settings, docs, ref, out;
    FTAPIH h = nullptr;
};

TEST_F(Tools, UpdateWhileAnotherProcessSearches) {
    int pipefd[2];
    ASSERT_EQ(pipe(pipefd), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Search until told to stop; every answer must be the old or the new
        // content, never a mixture or a failure.
        close(pipefd[1]);
        fcntl(pipefd[0], F_SETFL, O_NONBLOCK);
        const std::set<std::string> before = {"a.txt"}, after = {"c.txt"};
        int bad = 0, rounds = 0;
        char c;
        while (rounds < 100000 && read(pipefd[0], &c, 1) != 0) {
            int err = 0;
            std::set<std::string> got = find("live", q("APPLE "), &err);
            if (err != 0 || (got != before && got != after)) {
                if (bad++ < 3) {
                    fprintf(stderr, "search error %d, files:", err);
                    for (const std::string& f : got) fprintf(stderr, " %s", f.c_str());
                    fprintf(stderr, "\n");
                }
            }
            rounds++;
        }
        _exit(bad == 0 && rounds > 0 ? 0 : 1);
    }
    close(pipefd[0]);
    time_t t0 = mtimeOf(ref);
    for (int round = 0; round < 3; round++) {
        writeFile(docs + "a.txt", "apricot jam\n");
        writeFile(docs + "c.txt", "apple crumble\n");
        EXPECT_EQ(ftindex(settings, "live", docs, "", &out), 0) << out;
        writeFile(docs + "a.txt", "apple pie\n");
        unlink((docs + "c.txt").c_str());
        EXPECT_EQ(ftindex(settings, "live", docs, "", &out), 0) << out;
    }
    close(pipefd[1]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a search saw a broken database";
    // Six changes within seconds: the reference file moved on each time.
    EXPECT_GE(mtimeOf(ref), t0 + 6);
}

// A search keeps a snapshot until it is closed, but one with nothing to
// read gives it up at once: callers forget such handles, and the next search
// on the same open base must see the base as it is now.
TEST_F(Tools, ForgottenEmptySearchHoldsNoSnapshot) {
    FTBH b = openLive();
    ASSERT_NE(b, 0);
    std::string query = q("CHERRY ");
    FTSH forgotten = nullptr;
    ASSERT_GE(ftshstrt(h, &b, 1, 0, 8, query.c_str(), 0, 0, &forgotten), 0);
    _FTSDATA sd;
    while (ftshresm(h, forgotten, 1000, 0, &sd) == 0) {
    }
    EXPECT_EQ(sd.sndocs, 0);
    writeFile(docs + "c.txt", "cherry tart\n");
    ASSERT_EQ(ftindex(settings, "live", docs, "", &out), 0) << out;
    std::vector<Hit> hits;
    int err;
    search(h, {b}, query, &hits, &err);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].file, "c.txt");
}

// The document count of a base kept open (the server asks before every
// search) follows each run of the indexing tool.
TEST_F(Tools, DocumentCountOfAnOpenBaseFollowsUpdates) {
    FTBH b = openLive();
    ASSERT_NE(b, 0);
    long count = -1;
    for (int asked = 0; asked < 2; asked++) {
        ASSERT_EQ(ftbhgi(h, b, FTBI_DOCS, &count), 0);
        EXPECT_EQ(count, 2);
    }
    writeFile(docs + "c.txt", "cherry tart\n");
    ASSERT_EQ(ftindex(settings, "live", docs, "", &out), 0) << out;
    ASSERT_EQ(ftbhgi(h, b, FTBI_DOCS, &count), 0);
    EXPECT_EQ(count, 3);
    unlink((docs + "a.txt").c_str());
    unlink((docs + "b.txt").c_str());
    ASSERT_EQ(ftindex(settings, "live", docs, "", &out), 0) << out;
    ASSERT_EQ(ftbhgi(h, b, FTBI_DOCS, &count), 0);
    EXPECT_EQ(count, 1);
}

TEST_F(Tools, ReferenceFileMovesOnlyOnChange) {
    time_t t0 = mtimeOf(ref);
    ASSERT_NE(t0, 0);
    EXPECT_EQ(ftindex(settings, "live", docs, "", &out), 0) << out;
    EXPECT_EQ(mtimeOf(ref), t0) << "nothing changed";
    writeFile(docs + "b.txt", "banana split\n");
    EXPECT_EQ(ftindex(settings, "live", docs, "", &out), 0) << out;
    time_t t1 = mtimeOf(ref);
    EXPECT_GT(t1, t0);
    EXPECT_EQ(find("live", q("SPLIT ")), std::set<std::string>{"b.txt"});
    EXPECT_TRUE(find("live", q("BREAD ")).empty());
    // The old text left the full-text index itself, not only the catalogue.
    FTBH b = openLive();
    ASSERT_NE(b, 0);
    std::vector<Hit> hits;
    int err;
    long count = -1;
    search(h, {b}, q("\\C0u BREAD BANANA \\C}\n"), &hits, &err, 0, true, &count);
    EXPECT_EQ(count, 1);
    search(h, {b}, q("BREAD "), &hits, &err, 0, true, &count);
    EXPECT_EQ(count, 0);
    search(h, {b}, q("\\C100s B "), &hits, &err, 0, true, &count);
    EXPECT_EQ(count, 1) << "the catalogue words of the old version are gone too";
    // Two touches in one second still differ in whole seconds.
    ASSERT_TRUE(ft::touchRef(ref));
    ASSERT_TRUE(ft::touchRef(ref));
    EXPECT_GE(mtimeOf(ref), t1 + 2);
}

// The word list is written in blocks; runs that add and remove documents
// must keep every word findable, through wildcards too.
TEST_F(Tools, WordListGrowsAcrossRuns) {
    for (int round = 0; round < 3; round++) {
        std::string words;
        for (int i = 0; i < 300; i++) words += "w" + std::to_string(round) + "x" + std::to_string(i) + " ";
        writeFile(docs + "r" + std::to_string(round) + ".txt", words + "\n");
        if (round == 1) unlink((docs + "r0.txt").c_str());
        ASSERT_EQ(ftindex(settings, "live", docs, "", &out), 0) << out;
    }
    EXPECT_TRUE(find("live", q("W0X5 ")).empty());
    EXPECT_EQ(find("live", q("W1X299 ")), std::set<std::string>{"r1.txt"});
    EXPECT_EQ(find("live", q("\\C-w 2X29\\C!w  ")), std::set<std::string>{"r2.txt"});
    EXPECT_EQ(find("live", q("\\C-w X1\\C-w  ")), (std::set<std::string>{"r1.txt", "r2.txt"}));
    EXPECT_EQ(find("live", q("APPLE ")), std::set<std::string>{"a.txt"});
}

// A text whose type the catalogue gives may hold NUL bytes: the words after
// one are indexed too, in a new index and in an update.
TEST_F(Tools, TextWithNulIndexedWhole) {
    std::string cat = dir.path() + "/cat.tsv";
    writeFile(cat, "file\ttype\nn.txt\t1\n");
    writeFile(docs + "n.txt", std::string("Title\nbefore\0after words\n", 25));
    ASSERT_EQ(ftindex(settings, "nul", docs, cat, &out), 0) << out;
    EXPECT_EQ(find("nul", q("AFTER ")), std::set<std::string>{"n.txt"});
    writeFile(docs + "n.txt", std::string("Title\nbefore\0later words\n", 25));
    ASSERT_EQ(ftindex(settings, "nul", docs, cat, &out), 0) << out;
    EXPECT_EQ(find("nul", q("LATER ")), std::set<std::string>{"n.txt"});
    EXPECT_TRUE(find("nul", q("AFTER ")).empty());
}

TEST_F(Tools, CatalogueErrorsLeaveTheDatabaseAlone) {
    struct Case {
        const char* name;
        std::string catalog;
        const char* message;
    } cases[] = {
        {"unknown column", "file\tcolour\na.txt\tred\n", ":1: unknown column"},
        {"no file column", "title\nA\n", ":1: no \"file\" column"},
        {"bad number", "file\tsecurity\na.txt\tfive\n", ":2: bad security"},
        {"bad type", "file\ttype\na.txt\t99\n", ":2: bad type"},
        {"bad date", "file\tdate\na.txt\t05/01/1995\n", ":2: bad date"},
        {"impossible date", "file\tdate\nb.txt\t19950230\n", ":2: bad date"},
        {"unknown file", "file\ttitle\na.txt\tA\nnone.txt\tB\n", ":3: unknown file"},
        {"file outside", "file\n../x\n", ":2: file \"../x\" is not below"},
        {"too many fields", "file\ttitle\na.txt\tA\tB\n", ":2: more fields"},
    };
    writeFile(docs + "b.txt", "banana cake\n");  // a change that must not land
    time_t t0 = mtimeOf(ref);
    for (const Case& c : cases) {
        std::string cat = dir.path() + "/cat.tsv";
        writeFile(cat, c.catalog);
        EXPECT_NE(ftindex(settings, "live", docs, cat, &out), 0) << c.name;
        EXPECT_NE(out.find(cat + c.message), std::string::npos) << c.name << ": " << out;
    }
    EXPECT_EQ(mtimeOf(ref), t0);
    EXPECT_EQ(find("live", q("BREAD ")), std::set<std::string>{"b.txt"});
}

TEST_F(Tools, InterruptedRunLeavesThePreviousDatabase) {
    // A formatter that never ends, in a root of our own.
    std::string root = dir.path() + "/root";
    std::string real = ymPlatformRoot();
    // It waits (a bounded time) for the test to say stop, so nothing is left
    // running once the test has killed ftindex.
    std::string stop = dir.path() + "/stop";
    writeFile(root + "/usr/bin/nroff", "#!/bin/sh\ntouch " + ymShellQuote(dir.path() + "/started") +
                                           "\ni=0\nwhile [ ! -e " + ymShellQuote(stop) +
                                           " ] && [ $i -lt 600 ]; do sleep 0.05; i=$((i+1)); done\n");
    run("chmod +x " + ymShellQuote(root + "/usr/bin/nroff") + " && ln -s /usr/bin/tbl " +
        ymShellQuote(root + "/usr/bin/tbl") + " && ln -s /usr/bin/col " + ymShellQuote(root + "/usr/bin/col"));
    writeFile(docs + "paper.ms", ".PP\nA troff paper about apples.\n");
    writeFile(docs + "a.txt", "apricot jam\n");
    std::string started = dir.path() + "/started";
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        setenv("YM_ROOT", root.c_str(), 1);
        execl(tool("ftindex").c_str(), "ftindex", "-q", "-s", settings.c_str(), "-n", "live", "-d", docs.c_str(),
              (char*)nullptr);
        _exit(127);
    }
    for (int i = 0; i < 1000 && mtimeOf(started) == 0; i++) usleep(10000);
    ASSERT_NE(mtimeOf(started), 0) << "the formatter never ran";
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    writeFile(stop, "");
    EXPECT_EQ(find("live", q("APPLE ")), std::set<std::string>{"a.txt"});
    EXPECT_TRUE(find("live", q("APRICOT ")).empty());
    // The next run completes the change.
    EXPECT_EQ(ftindex(settings, "live", docs, "", &out), 0) << out;
    EXPECT_EQ(find("live", q("\\C0u APPLES APRICOT \\C}\n")), (std::set<std::string>{"a.txt", "paper.ms"}));
}

TEST_F(Tools, FieldUpdateThenSearch) {
    std::string upd = std::string(ymPath(YmPath::FieldUpd));
    // The tool runs where the server's command line finds it.
    std::string cmd = ymShellQuote(upd) + " -c live -d " + ymShellQuote(docs + "b.txt") + " -f FTSECURE -v 7";
    time_t t0 = mtimeOf(ref);
    ASSERT_EQ(run(cmd, &out), 0) << out;
    EXPECT_GT(mtimeOf(ref), t0);
    EXPECT_EQ(find("live", q("\\C112s 7 ")), std::set<std::string>{"b.txt"});
    EXPECT_TRUE(find("live", q("\\C112s 0 ")).count("a.txt"));
    // A later ftindex run keeps the value of an unchanged document.
    EXPECT_EQ(ftindex(settings, "live", docs, "", &out), 0) << out;
    EXPECT_EQ(find("live", q("\\C112s 7 ")), std::set<std::string>{"b.txt"});

    struct Case {
        const char* name;
        std::string args;
    } bad[] = {
        {"unknown database", "-c nosuch -d " + docs + "b.txt -f FTSECURE -v 1"},
        {"unknown document", "-c live -d " + docs + "zzz.txt -f FTSECURE -v 1"},
        {"document outside the database", "-c live -d /etc/passwd -f FTSECURE -v 1"},
        {"unknown field", "-c live -d " + docs + "b.txt -f FTOWNER -v 1"},
        {"bad value", "-c live -d " + docs + "b.txt -f FTSECURE -v x"},
        {"missing option", "-c live -f FTSECURE -v 1"},
    };
    for (const Case& c : bad) {
        EXPECT_NE(run(ymShellQuote(upd) + " " + c.args, &out), 0) << c.name;
        EXPECT_NE(out.find("dmFieldUpd: "), std::string::npos) << c.name << ": " << out;
    }
}

TEST_F(Tools, BadRunsSayWhy) {
    struct Case {
        const char* name;
        std::string args;
        const char* message;
    } cases[] = {
        {"bad name", "-s " + settings + " -n 'a/b' -d " + docs, "bad database name"},
        {"no documents folder", "-s " + settings + " -n x -d /nonexistent/docs", "documents folder"},
        {"no settings folder", "-s /nonexistent/s -n x -d " + docs, "settings folder"},
        {"missing option", "-n x -d " + docs, "usage"},
    };
    for (const Case& c : cases) {
        EXPECT_NE(run(ymShellQuote(tool("ftindex")) + " -q " + c.args, &out), 0) << c.name;
        EXPECT_NE(out.find(c.message), std::string::npos) << c.name << ": " << out;
    }
    // A binary file of no known type is skipped with a warning.
    writeFile(docs + "x.bin", std::string("\0\1\2\3", 4));
    EXPECT_EQ(run(ymShellQuote(tool("ftindex")) + " -s " + settings + " -n live -d " + docs, &out), 0) << out;
    EXPECT_NE(out.find("skipping"), std::string::npos) << out;
    EXPECT_NE(out.find("x.bin"), std::string::npos) << out;
}

}  // namespace
