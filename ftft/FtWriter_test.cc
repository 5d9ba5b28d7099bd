// The writer's word replay: the full-text index it builds is the one the
// layer's own splitter builds, for texts that test where words begin and
// end, and after a document is taken out again.
#include "FtWriter.h"

#include <gtest/gtest.h>

#include "FtStore.h"

namespace {

// Every entry of a full-text table: word, document, column, position.
std::string dump(sqlite3* db, const char* table) {
    std::string sql = std::string("CREATE VIRTUAL TABLE temp.v_") + table + " USING fts5vocab(main, " + table +
                      ", instance)";
    EXPECT_TRUE(ft::exec(db, sql.c_str()));
    sqlite3_stmt* st = nullptr;
    sql = std::string("SELECT term, doc, col, offset FROM temp.v_") + table;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), SQLITE_OK);
    std::string out;
    while (sqlite3_step(st) == SQLITE_ROW)
        for (int c = 0; c < 4; c++)
            out += std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, c))) + (c == 3 ? "\n" : " ");
    sqlite3_finalize(st);
    return out;
}

// Builds an index of the texts in memory, with or without the replay; the
// document numbered `drop` is then taken out again.
std::string build(bool replay, const std::vector<std::string>& texts, long long drop) {
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
    std::string why;
    if (replay) {
        EXPECT_TRUE(ft::useWordReplay(db, &why)) << why;
    }
    EXPECT_TRUE(ft::createSchema(db, &why)) << why;
    {
        ft::Writer w(db, "t");
        for (size_t i = 0; i < texts.size(); i++) {
            ft::DocRecord d;
            d.file = "f" + std::to_string(i) + ".txt";
            d.title = "Title " + std::to_string(i);
            d.body = texts[i];
            EXPECT_TRUE(w.insert(d, &why)) << why;
        }
        if (drop) {
            EXPECT_TRUE(w.remove(drop, &why)) << why;
        }
        EXPECT_TRUE(w.flushTerms(&why)) << why;
    }
    std::string out = dump(db, "body") + "--\n" + dump(db, "meta");
    sqlite3_close(db);
    return out;
}

TEST(WordReplay, SameIndexAsTheLayersOwnSplitter) {
    std::vector<std::string> texts = {
        "Hello WORLD, hello again: E-MAIL x1y2 _under_score_",
        "caf\xc3\xa9 na\xc3\xafve \xe6\x97\xa5\xe6\x9c\xac \xff\xfe\x80 end",
        std::string("before\0after NUL", 16),
        "",
        "\x01\x02 ctl\tTAB\r\nCRLF " + std::string(300, 'L') + " tail",
        "MiXeD CaSe mixed case MIXED CASE",
    };
    std::string plain = build(false, texts, 0);
    EXPECT_NE(plain.find("after"), std::string::npos);
    EXPECT_EQ(build(true, texts, 0), plain);
    EXPECT_EQ(build(true, texts, 2), build(false, texts, 2)) << "a document taken out";
}

}  // namespace
