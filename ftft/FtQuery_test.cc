// The query text reader and what the common queries compile to: each of them
// must stay one full-text lookup, which is what keeps them fast.
#include "FtQuery.h"

#include <gtest/gtest.h>

#include "FtCompile.h"
#include "ftft.h"

namespace {

std::string fts(const std::string& body, std::string* sql = nullptr) {
    ft::QOptions o;
    int err;
    std::string why;
    auto root = ft::parseQuery(("\\C2:1>$v \\C3:10v \\C0t \\C0s " + body + "\\C}\n\n").c_str(), &o, &err, &why);
    if (!root) return "error " + why;
    ft::Plan p;
    ft::Expander none = [](const std::string&) -> const std::vector<std::string>* { return nullptr; };
    if (!ft::compilePlan(*root, o, nullptr, none, &p, &why)) return "error " + why;
    if (sql) *sql = p.sql;
    return p.binds.empty() || !p.binds[0].isText ? "" : p.binds[0].text;
}

TEST(Compile, CommonQueriesAreOneFullTextLookup) {
    struct Case {
        std::string body, want;
    } cases[] = {
        {"FOX ", "\"fox\""},
        {"\\C0t QUICK FOX \\C}\n", "(\"quick\") AND (\"fox\")"},
        {"\\C0u ZEBRA LAZY \\C}\n", "((\"zebra\") OR (\"lazy\"))"},
        {"\\C0t QUICK \\C0x FOX \\C}\n", "((\"quick\")) NOT (\"fox\")"},
        {"\\Cp BROWN FOX \\C}\n", "\"brown fox\""},
        {"E-MAIL ", "\"e mail\""},
        {"FOX\\C-w  ", "\"fox\" *"},
        {"\\C3y ALPHA GAMMA \\C}\n", "NEAR(\"alpha\" \"gamma\", 3)"},
        {"\\C110s LOGO ", "title : (\"logo\")"},
    };
    for (const Case& c : cases) {
        std::string sql;
        EXPECT_EQ(fts(c.body, &sql), c.want) << c.body;
        EXPECT_EQ(sql, "SELECT rowid, ftrank(body, 1.0, 4.0) FROM body WHERE body MATCH ?") << c.body;
    }
}

TEST(Compile, OtherQueriesUseTheCatalogue) {
    std::string sql;
    fts("\\C0x QUICK ", &sql);
    EXPECT_EQ(sql.find("SELECT d.id, NULL FROM docs d WHERE NOT"), 0u) << sql;
    fts("QUICK \\C27s \\C>z 19960101\\C}\n", &sql);
    EXPECT_NE(sql.find("JOIN docs d"), std::string::npos) << sql;
    EXPECT_NE(sql.find("d.date > ?"), std::string::npos) << sql;
}

TEST(Parse, OptionsAndErrors) {
    ft::QOptions o;
    int err;
    std::string why;
    auto root = ft::parseQuery("\\C2:1>$v \\C3:7;10:3v \\C\"v druskthes.fth \\C}\n\\C0t \\C0s A \\C}\n\n", &o, &err,
                               &why);
    ASSERT_TRUE(root);
    EXPECT_EQ(o.distance, 7);
    EXPECT_TRUE(o.thesaurus);
    EXPECT_EQ(o.thesName, "druskthes.fth");

    // Deep nesting is refused, not a crash.
    std::string deep;
    for (int i = 0; i < 100000; i++) deep += "\\C0t ";
    EXPECT_FALSE(ft::parseQuery(deep.c_str(), &o, &err, &why));
    EXPECT_EQ(err, FTE_QUERY);
    EXPECT_FALSE(ft::parseQuery("\\C0x ", &o, &err, &why));
    EXPECT_FALSE(ft::parseQuery("\\C3", &o, &err, &why));
    EXPECT_FALSE(ft::parseQuery("\\C>z 1995", &o, &err, &why));
    EXPECT_FALSE(ft::parseQuery("\\C\"v name", &o, &err, &why));
    EXPECT_FALSE(ft::parseQuery(nullptr, &o, &err, &why));
    EXPECT_TRUE(ft::parseQuery("", &o, &err, &why)) << "an empty text matches every document";
}

TEST(Thesaurus, GroupsOfCommaSeparatedWords) {
    ft::Thesaurus t = ft::parseThesaurus("# c\ncolour, color, Hue\n\n e-mail , post\n");
    ASSERT_EQ(t["hue"].size(), 2u);
    EXPECT_EQ(t["hue"][0], std::vector<std::string>{"colour"});
    EXPECT_EQ(t["post"][0], (std::vector<std::string>{"e", "mail"}));
    EXPECT_EQ(t["e mail"][0], std::vector<std::string>{"post"});
    EXPECT_FALSE(t.count("# c"));
}

}  // namespace
