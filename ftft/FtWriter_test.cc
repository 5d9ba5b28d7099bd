// The writer's word replay: the full-text index it builds is the one the
// layer's own splitter builds, for texts that test where words begin and
// end, and after a document is taken out again.
#include "FtWriter.h"

#include <gtest/gtest.h>

#include "FtStore.h"

namespace {

// The full-text layer's view of a table: with `instance`, every entry
// (word, document, column, position); with `row`, each word's number of
// documents and of occurrences.
std::string dump(sqlite3* db, const char* table, const char* type = "instance") {
    std::string v = std::string("temp.v_") + table + "_" + type;
    std::string sql = "CREATE VIRTUAL TABLE " + v + " USING fts5vocab(main, " + table + ", " + type + ")";
    EXPECT_TRUE(ft::exec(db, sql.c_str()));
    sqlite3_stmt* st = nullptr;
    sql = "SELECT * FROM " + v;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), SQLITE_OK);
    std::string out;
    int n = sqlite3_column_count(st);
    while (sqlite3_step(st) == SQLITE_ROW)
        for (int c = 0; c < n; c++)
            out += std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, c))) + (c == n - 1 ? "\n" : " ");
    sqlite3_finalize(st);
    return out;
}

// Builds an index of the texts in memory, with or without the replay; the
// document numbered `drop` is then taken out again. Returns the dumps of
// both full-text tables.
std::string build(bool replay, const std::vector<std::string>& texts, long long drop, const char* type = "instance") {
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
            d.title = "Title";
            d.body = texts[i];
            EXPECT_TRUE(w.insert(d, &why)) << why;
        }
        if (drop) {
            EXPECT_TRUE(w.remove(drop, &why)) << why;
        }
        EXPECT_TRUE(w.flushTerms(&why)) << why;
    }
    std::string out = dump(db, "body", type) + "--\n" + dump(db, "meta", type);
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

// Taking a document out rebuilds its words from the word numbers of its
// position map: for a long text with many distinct words, in any case, the
// index is then the one built without it.
TEST(Writer, TakingOutALongTextLeavesTheIndexAsIfItHadNeverBeenIn) {
    std::string big;
    for (int round = 0; round < 2; round++)
        for (int i = 0; i < 9000; i++) big += (round ? "W" : "w") + std::to_string(i) + (i % 7 ? " " : ",\n");
    std::vector<std::string> with = {"alpha beta w17", big, "beta gamma W9000"};
    std::vector<std::string> without = {"alpha beta w17", "beta gamma W9000"};
    // The text's table only: the other holds each document's number.
    auto body = [](const std::string& dumps) { return dumps.substr(0, dumps.find("--\n")); };
    std::string want = body(build(true, without, 0, "row"));
    EXPECT_NE(want.find("w17 1 1"), std::string::npos) << want;
    EXPECT_EQ(body(build(true, with, 2, "row")), want);
}

}  // namespace
