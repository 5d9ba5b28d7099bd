// The database table in process: which settings files announce a database,
// the 48-entry bound, open bases kept across rebuilds and closed when gone,
// the base vector of a request, and a whole search cycle (run under the leak
// checker) with the failure text that names a database.
#include "YmDB.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <set>
#include <string>

#include "YmFtApi.h"
#include "YmServerFixture.h"
#include "YmSrchModel.h"
#include "YmTestDatabase.h"

namespace {

std::string str(const YmStr& s) {
    return std::string(reinterpret_cast<const char*>(s.data), s.slength - 1);
}

class Table : public ::testing::Test {
  protected:
    void SetUp() override {
        unsetenv("FULPATH");
        setenv("FULSEARCH", (a.path() + ":" + b.path()).c_str(), 1);
    }
    void TearDown() override {
        m.quit();
        unsetenv("FULSEARCH");
    }
    // Settings of a database without an index of its own (idx: another
    // database's index file, or none).
    void announce(const YmTempDir& dir, const std::string& file, const std::string& name,
                  const std::string& idx = "") {
        dir.write(file, "PTH=" + dir.path() + "/docs-" + name + "/\nREF=" +
                            dir.file(name + ".ref") + (idx.empty() ? "" : "\nIDX=" + idx) + "\n");
        dir.write(name + ".ref", "");
    }
    std::set<std::string> names() {
        std::set<std::string> out;
        for (int i = 0; i < m._totalDBs; i++) out.insert(str(m._db[i]->_name));
        return out;
    }

    YmTempDir a, b;
    YmSrchModel m;
};

TEST_F(Table, SettingsFilesThatAnnounceADatabase) {
    announce(a, "x.cfg", "x");
    announce(a, "a.b.cfg", "b");
    announce(a, ".h.cfg", "h");
    announce(a, "y.cfgx", "y");
    announce(a, "z.txt", "z");
    a.write("q.cfg", "# no keys\n");
    announce(b, "x.cfg", "x");  // the same name again: the first folder's
    announce(b, "w.cfg", "w");
    ASSERT_TRUE(ymAddTinyDatabase(b));  // the engine must also have a base
    ASSERT_TRUE(m.initFT());
    EXPECT_EQ(names(), (std::set<std::string>{"x", "b", "w", "tiny"}));
    int x = m.findDB(YmStr("x"));
    ASSERT_GE(x, 0);
    EXPECT_EQ(str(m._db[x]->_path), a.path() + "/docs-x/");
    EXPECT_EQ(m.findDB(YmStr("X")), -1);
    EXPECT_EQ(m.findDB(YmStr("")), -1);
}

TEST_F(Table, NeverMoreThan48Databases) {
    ASSERT_TRUE(ymAddTinyDatabase(b));
    std::string all;
    for (int i = 0; i < 60; i++) {
        std::string n = "db" + std::to_string(i);
        announce(a, n + ".cfg", n, b.file("tiny.ftdb"));
        all += n + "\n";
    }
    ASSERT_TRUE(m.initFT());
    EXPECT_EQ(m._totalDBs, YM_MAX_DBS);
    // A request naming more: the table and the vector stay within bounds.
    EXPECT_TRUE(m.getBaseVec(all.c_str()));
    EXPECT_EQ(m._totalDBs, YM_MAX_DBS);
    EXPECT_LE(m._srchDBs, YM_MAX_DBS);
    std::string same;
    for (int i = 0; i < 60; i++) same += str(m._db[0]->_name) + "\n";
    m.initDBlist();
    EXPECT_TRUE(m.getBaseVec(same.c_str()));
    EXPECT_EQ(m._srchDBs, YM_MAX_DBS);
}

TEST_F(Table, OpenBasesAreKeptAcrossRebuildsAndClosedWhenGone) {
    ASSERT_TRUE(ymAddTinyDatabase(a, "one"));
    ASSERT_TRUE(ymAddTinyDatabase(b, "two"));
    ASSERT_TRUE(m.initFT());
    ASSERT_TRUE(m.getBaseVec("one\ntwo\n"));
    YmDB* one = m._db[m.findDB(YmStr("one"))];
    FTBH oneH = one->_baseH, twoH = m._db[m.findDB(YmStr("two"))]->_baseH;
    ASSERT_NE(oneH, 0);
    ASSERT_NE(twoH, 0);

    m.initDBlist();
    ASSERT_EQ(m._totalDBs, 2);
    EXPECT_EQ(m._db[m.findDB(YmStr("one"))], one);
    EXPECT_EQ(one->_baseH, oneH);
    long docs = 0;
    EXPECT_EQ(ftbhgi(ftapih, oneH, FTBI_DOCS, &docs), 0);

    // Gone from the folder: closed (the engine no longer knows the handle).
    ASSERT_EQ(unlink(b.file("two.cfg").c_str()), 0);
    m.initDBlist();
    EXPECT_EQ(names(), (std::set<std::string>{"one"}));
    EXPECT_NE(ftbhgi(ftapih, twoH, FTBI_DOCS, &docs), 0);

    // Other settings, whichever key changed (the reference file's time
    // stays as it was): a new object, the old base closed.
    struct Edit {
        std::string from, to;
    } edits[] = {
        {"PTH=" + a.path() + "/one.docs/", "PTH=" + a.path() + "/elsewhere/"},
        {"IDX=" + a.file("one.ftdb"), "IDX=" + b.file("two.ftdb")},
    };
    for (const Edit& e : edits) {
        SCOPED_TRACE(e.to);
        ASSERT_TRUE(m.getBaseVec("one"));
        one = m._db[0];
        oneH = one->_baseH;
        std::string cfg = a.read("one.cfg");
        ASSERT_NE(cfg.find(e.from), std::string::npos) << cfg;
        a.write("one.cfg", cfg.replace(cfg.find(e.from), e.from.size(), e.to));
        m.initDBlist();
        ASSERT_EQ(m._totalDBs, 1);
        EXPECT_NE(m._db[0], one);
        EXPECT_EQ(m._db[0]->_baseH, 0);
        EXPECT_NE(ftbhgi(ftapih, oneH, FTBI_DOCS, &docs), 0);
    }
    EXPECT_EQ(str(m._db[0]->_path), a.path() + "/elsewhere/");
}

TEST_F(Table, BaseVectorOfARequest) {
    ASSERT_TRUE(ymAddTinyDatabase(a));
    a.mkdir("nothing");
    ASSERT_TRUE(ymIndexDatabase(a.path(), "empty", a.file("nothing")));
    ASSERT_TRUE(m.initFT());
    struct Case {
        const char* dbs;
        bool ok;
        int bases;
    } cases[] = {
        {"tiny", true, 1},
        {"tiny\ntiny\n", true, 2},  // named twice, in the vector twice
        {"empty", false, 0},        // opened, but holds nothing
        {"empty\ntiny", true, 1},
        {"", false, 0},
        {"\ntiny", false, 0},  // an empty first name ends the list
        {"tiny\n\nempty\ntiny", true, 1},
        {"nosuch\ntiny", true, 1},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.dbs);
        EXPECT_EQ(bool(m.getBaseVec(k.dbs)), k.ok);
        EXPECT_EQ(m._srchDBs, k.bases);
    }
    EXPECT_EQ(m._totalDBs, 2);  // nosuch did not join
}

TEST_F(Table, SearchCycleAndTheFailureText) {
    ASSERT_TRUE(ymAddTinyDatabase(a));
    ASSERT_TRUE(m.initFT());
    m._maxHits = 0;
    m._count = 0;
    m._parser = new YmParser;
    m._parser->init();
    for (int round = 0; round < 2; round++) {
        m.initDBlist();
        ASSERT_TRUE(m.search("tiny", "0\nsomething | tiny\n"));
        EXPECT_EQ(m._hits, 1);
        m.createSRMsg();
        m.close();
        EXPECT_EQ(m._srchResultMsg._hits, 1u);
        EXPECT_EQ(m._srchResultMsg._errCode, 0);
        EXPECT_EQ(str(m._srchResultMsg._offsets), "0;1;4\t0;31;9\t\n");
        EXPECT_EQ(str(m._srchResultMsg._titles),
                  "\x01"
                  "A tiny database so that the server has something to search.");
    }

    // An engine failure that blames the base at index 0 of the vector.
    long v;
    ftbhgi(ftapih, 0, FTBI_DOCS, &v);  // leaves an error number behind
    int err = ftegerr(ftapih);
    ASSERT_NE(err, 0);
    m.srchError("test", 0);
    m.createSRMsg();
    EXPECT_EQ(m._srchResultMsg._errCode, 1);
    EXPECT_EQ(str(m._srchResultMsg._srBkTag),
              "\n\nAdditional Information:\n    Database = tiny    FT Error Code = " +
                  std::to_string(err));
    // A new search starts clean.
    EXPECT_FALSE(m.search("tiny", "0\n(\n"));
    m.createSRMsg();
    EXPECT_EQ(str(m._srchResultMsg._srBkTag), "");
}

}  // namespace
