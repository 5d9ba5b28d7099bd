// The engine's C interface over a small indexed corpus: what queries find,
// the hits' fields and match positions, counting, batches, cancel, errors.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <set>

#include "FtFormat.h"
#include "FtTestCorpus.h"
#include "YmPlatform.h"
#include "ftft.h"

using namespace fttest;

namespace {

class Engine : public ::testing::Test {
protected:
    static Corpus* corpus;
    static TempDir* manyDir;
    static std::string manySettings;

    static void SetUpTestSuite() {
        ymPlatformInit();
        corpus = new Corpus;
        makeCorpus(corpus);
        std::string out;
        ASSERT_EQ(ftindex(corpus->settings, "corpus", corpus->docs, corpus->dir.path() + "/catalog.tsv", &out), 0)
            << out;
        // A second base of 150 documents in another settings folder.
        manyDir = new TempDir;
        manySettings = manyDir->path() + "/settings";
        mkdir(manySettings.c_str(), 0755);
        for (int i = 0; i < 150; i++) {
            std::string words = "common item" + std::to_string(i);
            for (int k = 0; k < i % 7; k++) words += " common";
            writeFile(manyDir->path() + "/docs/d" + std::to_string(1000 + i) + ".txt", words + "\n");
        }
        ASSERT_EQ(ftindex(manySettings, "many", manyDir->path() + "/docs", "", &out), 0) << out;
        setenv("FULSEARCH", (corpus->settings + ":" + manySettings).c_str(), 1);
    }
    static void TearDownTestSuite() {
        delete corpus;
        delete manyDir;
    }

    void SetUp() override {
        long opts[3] = {4, 0, -1};
        ASSERT_EQ(ftapiini(nullptr, nullptr, opts, 3, &h), 0);
        long pool = 256000;
        EXPECT_EQ(ftapimod(h, 0, &pool), 0);
        base = ftbxop(h, "corpus", "r");
        ASSERT_NE(base, 0) << ftegerr(h);
    }
    void TearDown() override { ftapitrm(h); }

    std::set<std::string> files(const std::string& query, int* err = nullptr, FTBH b = 0) {
        std::vector<Hit> hits;
        int e = 0;
        search(h, {b ? b : base}, query, &hits, &e);
        if (err) *err = e;
        std::set<std::string> out;
        for (const Hit& x : hits) out.insert(x.file);
        return out;
    }

    FTAPIH h = nullptr;
    FTBH base = 0;
};

Corpus* Engine::corpus = nullptr;
TempDir* Engine::manyDir = nullptr;
std::string Engine::manySettings;

using Set = std::set<std::string>;

TEST_F(Engine, QueriesFindTheirDocuments) {
    const Set all = {"fox.txt",  "knowledge.txt", "colour.txt", "ls.1",    "notes.gz",          "old.z",
                     "memo.mm",  "utf8.txt",      "sub/deep.txt", "logo.rgb", corpus->shellName};
    Set noQuick = all;
    noQuick.erase("fox.txt");
    noQuick.erase("colour.txt");
    struct Case {
        const char* name;
        std::string query;
        Set want;
    } cases[] = {
        {"word", q("FOX "), {"fox.txt"}},
        {"word in a manual page", q("ALPHABETICALLY "), {"ls.1"}},
        {"word in a table of a manual page", q("BLOCKS "), {"ls.1"}},
        {"word in a compressed file", q("ZEBRA "), {"notes.gz"}},
        {"word in a packed file", q("WALRUS "), {"old.z"}},
        {"word in an mm document", q("GIRAFFES "), {"memo.mm"}},
        {"word with UTF-8 letters", q("CAF\xc3\xa9 "), {"utf8.txt"}},
        {"title word", q("BASE "), {"knowledge.txt"}},
        {"and", q("\\C0t QUICK FOX \\C}\n"), {"fox.txt"}},
        {"or", q("\\C0u ZEBRA LAZY \\C}\n"), {"notes.gz", "fox.txt"}},
        {"a not b", q("\\C0t QUICK \\C0x FOX \\C}\n"), {"colour.txt"}},
        {"not first in a group", q("\\C0t \\C0x FOX QUICK \\C}\n"), {"colour.txt"}},
        {"unary not", q("\\C0x QUICK "), noQuick},
        {"not in an or", q("\\C0u \\C0x QUICK FOX \\C}\n"), [&] {
             Set s = noQuick;
             s.insert("fox.txt");
             return s;
         }()},
        {"nesting", q("\\C0u \\C0t QUICK FOX \\C}\n ZEBRA \\C}\n"), {"fox.txt", "notes.gz"}},
        {"phrase", q("\\Cp BROWN FOX \\C}\n"), {"fox.txt"}},
        {"phrase in the wrong order", q("\\Cp FOX BROWN \\C}\n"), {}},
        {"word with a hyphen is a phrase", q("E-MAIL "), {"fox.txt", "knowledge.txt"}},
        {"wildcard at the end", q("FOX\\C-w  "), {"fox.txt"}},
        {"wildcard at the start", q("\\C-w OWLEDGE "), {"knowledge.txt"}},
        {"wildcard in the middle", q("KNO\\C-w GE "), {"knowledge.txt"}},
        {"one-character wildcard", q("COLO\\C!w R "), {"colour.txt"}},
        {"one-character wildcard is one UTF-8 letter", q("CAF\\C!w  "), {"utf8.txt"}},
        {"one-character wildcard needs a character", q("FOXE\\C!w S "), {}},
        {"wildcard in a phrase", q("\\Cp BRO\\C-w  FOX \\C}\n"), {"fox.txt"}},
        {"proximity within distance", q("\\C1y ALPHA GAMMA \\C}\n"), {"sub/deep.txt"}},
        {"proximity too far", q("\\C0y ALPHA GAMMA \\C}\n"), {}},
        {"proximity in any order", q("\\C0y GAMMA BETA \\C}\n"), {"sub/deep.txt"}},
        {"proximity with wildcards", q("\\C1y \\C-w LPHA GAM\\C-w  \\C}\n"), {"sub/deep.txt"}},
        {"proximity with an or", q("\\C0y \\C0u ZULU ALPHA \\C}\n BETA \\C}\n"), {"sub/deep.txt"}},
        {"title field", q("\\C110s LOGO "), {"logo.rgb"}},
        {"owner field", q("\\C97s ALICE "), {"fox.txt", "logo.rgb"}},
        {"type field", q("\\C99s 11 "), {"logo.rgb"}},
        {"security field", q("\\C112s 5 "), {"fox.txt"}},
        {"components field", q("\\C113s ENGINE "), {"fox.txt"}},
        {"file name field", q("\\C100s DEEP "), {"sub/deep.txt"}},
        {"code field", q("\\C111s CORPUS "), all},
        {"date after", q("FOX \\C27s \\C>z 19940101\\C}\n"), {"fox.txt"}},
        {"date before", q("\\C27s \\C<z 19970101\\C}\n"), {"fox.txt"}},
        {"modification date", q("\\C31s \\C<z 19950301\\C}\n"), {"fox.txt"}},
        {"date with a word", q("QUICK \\C27s \\C>z 19960101\\C}\n"), {"colour.txt"}},
        {"field selector with nothing after it", q("FOX \\C27s "), {"fox.txt"}},
        {"empty group", q("\\C0t \\C}\n"), all},
        {"shell characters in a file name", q("PWNEDTEST "), {corpus->shellName}},
        {"thesaurus off", q("HUE "), {}},
        {"thesaurus on", q("HUE ", true), {"colour.txt"}},
        {"thesaurus not for phrases", q("\\Cp HUE \\C}\n", true), {}},
    };
    for (const Case& c : cases) {
        int err = -1;
        EXPECT_EQ(files(c.query, &err), c.want) << c.name;
        EXPECT_EQ(err, 0) << c.name;
    }
    struct stat st;
    EXPECT_NE(stat((corpus->docs + "/PWNED").c_str(), &st), 0) << "a file name ran a command";
    EXPECT_NE(stat("PWNED", &st), 0) << "a file name ran a command";
}

TEST_F(Engine, MalformedQueriesAreErrorsOfTheStart) {
    struct Case {
        const char* name;
        std::string query;
        int err;
    } cases[] = {
        {"unknown field", q("\\C55s FOX "), FTE_FIELD},
        {"unclosed group", "\\C0t FOX ", FTE_QUERY},
        {"unknown command", "\\Cq FOX ", FTE_QUERY},
        {"stray close", "FOX \\C}", FTE_QUERY},
        {"word in a date field", q("\\C27s FOX "), FTE_QUERY},
        {"unreadable date", q("\\C27s \\C>z someday\\C}\n"), FTE_QUERY},
        {"negation of nothing", "\\C0t \\C0x \\C}", FTE_QUERY},
    };
    for (const Case& c : cases) {
        FTSH sh = reinterpret_cast<FTSH>(1);
        EXPECT_LT(ftshstrt(h, &base, 1, 0, 8, c.query.c_str(), 0, 0, &sh), 0) << c.name;
        EXPECT_EQ(sh, nullptr) << c.name;
        EXPECT_EQ(ftegerr(h), c.err) << c.name;
    }
}

TEST_F(Engine, HitFieldsComeFromTheCatalogueOrTheDocument) {
    std::vector<Hit> hits;
    int err;
    search(h, {base}, q("\\C0u FOX KNOWLEDGE LIST LOGO \\C}\n"), &hits, &err);
    ASSERT_EQ(err, 0);
    search(h, {base}, q("\\C0u FOX KNOWLEDGE LIST \\C110s LOGO \\C}\n"), &hits, &err);
    std::map<std::string, Hit> by;
    for (const Hit& x : hits) by[x.file] = x;
    ASSERT_EQ(by.size(), 4u);
    const Hit& fox = by["fox.txt"];
    EXPECT_EQ(fox.title, "The Fox Story");
    EXPECT_EQ(fox.date, "19950105");
    EXPECT_EQ(fox.mdate, "19950210");
    EXPECT_EQ(fox.owner, "alice");
    EXPECT_EQ(fox.security, 5);
    EXPECT_EQ(fox.comps, "engine parts");
    EXPECT_EQ(fox.type, 1);
    EXPECT_EQ(fox.code.substr(0, 7), "corpus ");
    EXPECT_GT(fox.score, 0);
    EXPECT_EQ(by["knowledge.txt"].title, "Knowledge Base");
    EXPECT_EQ(by["knowledge.txt"].date, "19980315");
    EXPECT_EQ(by["knowledge.txt"].comps, "");
    EXPECT_EQ(by["ls.1"].title, "ls - list directory contents");
    EXPECT_EQ(by["ls.1"].type, 4);
    EXPECT_EQ(by["logo.rgb"].type, 11);
    EXPECT_EQ(by["logo.rgb"].title, "Logo image");
    EXPECT_TRUE(by["logo.rgb"].marks.empty());
    // Dates the catalogue leaves out come from the file.
    EXPECT_EQ(by["ls.1"].date.size(), 8u);
}

// Each reported position, turned into a byte offset the way the document
// service does, lands on a word of the displayed text that the query asked for.
TEST_F(Engine, MatchPositionsLandOnTheSearchedWords) {
    struct Case {
        std::string query;
        std::set<std::string> words;  // what may be highlighted
        size_t atLeast;               // marks in each hit
    } cases[] = {
        {q("FOX\\C-w  "), {"fox", "foxes"}, 2},
        {q("E-MAIL "), {"e", "mail"}, 2},
        {q("ALPHABETICALLY "), {"alphabetically"}, 1},
        {q("\\C0u ZEBRA BLOCKS WALRUS GIRAFFES \\C}\n"), {"zebra", "blocks", "walrus", "giraffes"}, 1},
        {q("CAF\xc3\xa9 "), {"caf\xc3\xa9"}, 1},
        {q("NA\\C!w VE "), {"na\xc3\xafve"}, 1},
        {q("\\Cp LAZY DOG \\C}\n"), {"lazy", "dog"}, 2},
        {q("\\C1y GAMMA ALPHA \\C}\n"), {"alpha", "gamma"}, 2},
        {q("\\C0t QUICK \\C0x FOX \\C}\n"), {"quick"}, 1},
        {q("PWNEDTEST "), {"pwnedtest"}, 1},
        {q("HUE ", true), {"colour", "color"}, 2},
    };
    for (const Case& c : cases) {
        std::vector<Hit> hits;
        int err;
        search(h, {base}, c.query, &hits, &err);
        ASSERT_EQ(err, 0) << c.query;
        ASSERT_FALSE(hits.empty()) << c.query;
        for (const Hit& hit : hits) {
            std::string path = corpus->docs + "/" + hit.file;
            std::string text, why;
            ASSERT_TRUE(ft::displayedText(int(hit.type), path, &text, &why)) << why;
            EXPECT_GE(hit.marks.size(), c.atLeast) << c.query << " in " << hit.file;
            std::vector<long> at = markOffsets(text, hit.marks);
            for (size_t i = 0; i < at.size(); i++) {
                ASSERT_GE(at[i], 0) << c.query;
                if (i) {
                    EXPECT_LT(hit.marks[i - 1].first, hit.marks[i].first) << "ascending";
                }
                std::string w = text.substr(size_t(at[i]), size_t(hit.marks[i].second));
                for (char& ch : w) ch = char(tolower((unsigned char)ch));
                EXPECT_TRUE(c.words.count(w)) << c.query << " highlights \"" << w << "\" in " << hit.file;
            }
        }
    }
    // A phrase or proximity group marks only the occurrences that satisfy it:
    // "quick" stands alone in colour.txt.
    std::vector<Hit> hits;
    int err;
    search(h, {base}, q("\\Cp QUICK BROWN \\C}\n"), &hits, &err);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].marks.size(), 2u);
}

// Positions come from each hit's own words, whatever the number of matching
// documents (past a few thousand they once took the whole query per hit).
TEST_F(Engine, PositionsStayExactWhenMostDocumentsMatch) {
    TempDir d;
    std::string settings = d.path() + "/settings";
    mkdir(settings.c_str(), 0755);
    const int kDocs = 4100;
    auto textOf = [](int i) {
        std::string t = "Common item" + std::to_string(1000 + i) + " alpha beta.\nBeta alpha common words";
        for (int k = 0; k < i % 3; k++) t += " common";
        return t + "\n";
    };
    for (int i = 0; i < kDocs; i++) writeFile(d.path() + "/docs/d" + std::to_string(1000 + i) + ".txt", textOf(i));
    std::string out;
    ASSERT_EQ(ftindex(settings, "crowd", d.path() + "/docs", "", &out), 0) << out;
    std::string old = getenv("FULSEARCH");
    setenv("FULSEARCH", settings.c_str(), 1);
    FTBH crowd = ftbxop(h, "crowd", "r");
    setenv("FULSEARCH", old.c_str(), 1);
    ASSERT_NE(crowd, 0);

    // Every "common", and "Beta alpha" only where it stands in that order.
    std::vector<Hit> hits;
    int err;
    long count = 0;
    search(h, {crowd}, q("\\C0u COMMON \\Cp BETA ALPHA \\C}\n \\C}\n"), &hits, &err, 300, false, &count);
    ASSERT_EQ(err, 0);
    EXPECT_EQ(count, kDocs);
    ASSERT_EQ(hits.size(), 300u);
    for (const Hit& hit : hits) {
        int i = atoi(hit.file.c_str() + 1) - 1000;
        ASSERT_TRUE(i >= 0 && i < kDocs) << hit.file;
        std::string text = textOf(i);
        std::vector<std::pair<long, long>> want;  // byte offset, length
        for (size_t at = text.find("ommon"); at != std::string::npos; at = text.find("ommon", at + 1))
            want.push_back({long(at) - 1, 6});
        size_t phrase = text.find("Beta alpha");
        want.push_back({long(phrase), 4});
        want.push_back({long(phrase) + 5, 5});
        std::sort(want.begin(), want.end());
        std::vector<long> at = markOffsets(text, hit.marks);
        std::vector<std::pair<long, long>> got;
        for (size_t k = 0; k < at.size(); k++) got.push_back({at[k], hit.marks[k].second});
        EXPECT_EQ(got, want) << hit.file;
    }
}

TEST_F(Engine, CountMaximumAndBatches) {
    FTBH many = ftbxop(h, "many", "r");
    ASSERT_NE(many, 0);
    long docs = 0;
    EXPECT_EQ(ftbhgi(h, many, 200, &docs), 0);
    EXPECT_EQ(docs, 150);
    long off = 0;
    EXPECT_EQ(ftbhgi(h, many, 16384, &off), 0);
    EXPECT_GT(off, 0);

    std::vector<Hit> hits;
    int err;
    long count = 0;
    search(h, {many}, q("COMMON "), &hits, &err, 0, true, &count);
    EXPECT_EQ(count, 150);
    EXPECT_TRUE(hits.empty());

    search(h, {many}, q("COMMON "), &hits, &err, 20, false, &count);
    EXPECT_EQ(hits.size(), 20u);
    EXPECT_EQ(count, 150) << "the count covers all matches";

    search(h, {many}, q("COMMON "), &hits, &err);
    ASSERT_EQ(hits.size(), 150u);
    for (size_t i = 1; i < hits.size(); i++) EXPECT_GE(hits[i - 1].score, hits[i].score);
    std::set<std::string> names;
    for (const Hit& x : hits) names.insert(x.file);
    EXPECT_EQ(names.size(), 150u) << "every hit once over the batches";

    // Both bases in one vector, one of them twice.
    search(h, {many, base, many}, q("\\C0u COMMON FOX \\C}\n"), &hits, &err);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(hits.size(), 151u);
}

TEST_F(Engine, SlicesAndCancel) {
    FTBH many = ftbxop(h, "many", "r");
    ASSERT_NE(many, 0);
    std::string query = q("C\\C-w N ");
    FTSH sh = nullptr;
    ASSERT_GE(ftshstrt(h, &many, 1, 0, 8, query.c_str(), 0, 0, &sh), 0);
    _FTSDATA sd;
    // The smallest slices: work is left after the first.
    EXPECT_EQ(ftshresm(h, sh, 0, 0, &sd), 0);
    EXPECT_TRUE(sd.sflags & FTSF_WAIT);
    EXPECT_LT(ftshresm(h, sh, 0, 1, &sd), 0);
    EXPECT_EQ(ftegerr(h), FTE_CANCEL);
    EXPECT_EQ(ftshcl(h, sh, 0), 0);
    // The handle is gone now.
    long n;
    EXPECT_LT(ftshresm(h, sh, 1000, 0, &sd), 0);
    EXPECT_EQ(ftegerr(h), FTE_GONE);
    EXPECT_EQ(ftshgi(h, sh, 16, &n), FTE_GONE);
    EXPECT_EQ(ftshcl(h, sh, 0), FTE_GONE);

    // Run to the end in small slices: the same hits as in one go.
    ASSERT_GE(ftshstrt(h, &many, 1, 0, 8, query.c_str(), 0, 0, &sh), 0);
    int rc, slices = 0;
    while ((rc = ftshresm(h, sh, 0, 0, &sd)) == 0) slices++;
    EXPECT_GT(rc, 0);
    EXPECT_GT(slices, 1);
    EXPECT_EQ(ftshgi(h, sh, 16, &n), 0);
    EXPECT_EQ(n, 150);
    ftshcl(h, sh, 0);
}

TEST_F(Engine, BrokenOrMissingIndexIsAnError) {
    TempDir d;
    writeFile(d.path() + "/junk.cfg", "PTH=/nowhere/\nREF=" + d.path() + "/junk.ref\n");
    writeFile(d.path() + "/junk.ftdb", std::string(4096, 'x'));
    writeFile(d.path() + "/gone.cfg", "PTH=/nowhere/\nREF=" + d.path() + "/gone.ref\n");
    std::string old = getenv("FULSEARCH");
    setenv("FULSEARCH", d.path().c_str(), 1);
    EXPECT_EQ(ftbxop(h, "junk", "r"), 0);
    EXPECT_EQ(ftegerr(h), FTE_OPEN);
    EXPECT_EQ(ftbxop(h, "gone", "r"), 0);
    EXPECT_EQ(ftegerr(h), FTE_OPEN);
    EXPECT_EQ(ftbxop(h, "absent", "r"), 0);
    EXPECT_EQ(ftegerr(h), FTE_NODB);
    EXPECT_EQ(ftbxop(h, "../etc", "r"), 0);
    EXPECT_EQ(ftegerr(h), FTE_NAME);
    setenv("FULSEARCH", old.c_str(), 1);
    FTBH bogus = 999;
    FTSH sh;
    EXPECT_LT(ftshstrt(h, &bogus, 1, 0, 8, q("FOX ").c_str(), 0, 0, &sh), 0);
    EXPECT_EQ(ftegerr(h), FTE_BASE);
}

TEST_F(Engine, SettingsLookup) {
    _FTFIG fig;
    char buf[FTFG_BUFSZ];
    // FULSEARCH is searched in order and split at any of ",;: ".
    TempDir other;
    writeFile(other.path() + "/x.corpus.cfg", "PTH=/elsewhere/\n");
    writeFile(other.path() + "/alias.b.cfg", "# comment\n PTH = /b/docs/ \nREF=/s/alias.b.ref\n");
    std::string old = getenv("FULSEARCH");
    setenv("FULSEARCH", (" " + other.path() + ";" + old).c_str(), 1);
    ASSERT_EQ(ftfgsh(h, "corpus", &fig), 0);
    EXPECT_EQ(std::string(fig.ffpath), other.path() + "/x.corpus.cfg") << "X.NAME.cfg announces NAME";
    ASSERT_EQ(ftfgsh(h, "b", &fig), 0);
    ASSERT_EQ(ftfgrd(h, &fig, buf), 0);
    EXPECT_STREQ(ftfgrk(h, "PTH", buf), "/b/docs/");
    EXPECT_STREQ(ftfgrk(h, "REF", buf), "/s/alias.b.ref");
    EXPECT_EQ(ftfgrk(h, "NONE", buf), nullptr);
    EXPECT_EQ(ftfgsh(h, "a b", &fig), FTE_NAME);
    EXPECT_EQ(ftfgsh(h, "nosuch", &fig), FTE_NODB);
    setenv("FULSEARCH", old.c_str(), 1);

    ASSERT_EQ(ftfgsh(h, "corpus", &fig), 0);
    ASSERT_EQ(ftfgrd(h, &fig, buf), 0);
    EXPECT_STREQ(ftfgrk(h, "PTH", buf), (corpus->docs + "/").c_str());
    std::string ref = ftfgrk(h, "REF", buf);
    EXPECT_EQ(ref.substr(ref.size() - 11), "/corpus.ref");

    // Without FULSEARCH, FULPATH.
    unsetenv("FULSEARCH");
    setenv("FULPATH", corpus->settings.c_str(), 1);
    EXPECT_EQ(ftfgsh(h, "corpus", &fig), 0);
    unsetenv("FULPATH");
    setenv("FULSEARCH", old.c_str(), 1);
}

TEST(EngineDates, ReadAndPrint) {
    struct Case {
        const char* text;
        long date;
    } cases[] = {
        {"19950105", 19950105},     {"1995-01-05", 19950105},    {"01/05/1995", 19950105},
        {"  January 5 1995", 19950105}, {"JANUARY 05, 1995", 19950105}, {"Jan 5 1995", 19950105},
        {"December 31 1995 ", 19951231}, {"20240229", 20240229},    {"20230229", 0},
        {"19951301", 0},            {"1995", 0},                 {"tomorrow", 0},
        {"", 0},                    {"5 January 1995", 0},       {"Janu 5 1995", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(ftdhston(nullptr, c.text, FTDM_PARSE), c.date) << c.text;
    char buf[FTDATE_BUFSZ];
    long d = ftdhston(nullptr, " March 7, 2001", FTDM_PARSE);
    long n = ftudnix(nullptr, d, FTDM_NORM);
    ASSERT_NE(n, 0);
    EXPECT_NE(ftdhntos(nullptr, n, FTDM_YMD, buf), 0);
    EXPECT_STREQ(buf, "20010307");
    EXPECT_EQ(ftudnix(nullptr, 0, FTDM_NORM), 0);
    EXPECT_EQ(ftdhntos(nullptr, 19951399, FTDM_YMD, buf), 0);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(ftudnix(nullptr, 86400 * 365, FTDM_UNIX), 19710101);
    EXPECT_EQ(ftudnix(nullptr, 19710101, FTDM_TOUNIX), 86400 * 365);
}

}  // namespace
