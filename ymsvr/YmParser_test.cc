// The query parser: exact engine texts for the query language's forms, its
// error numbers and their texts, date fields through the engine's date
// calls, and queries long and deep enough to catch buffer and stack limits.
#include "YmParser.h"

#include <gtest/gtest.h>

#include <string>

#include "YmFtApi.h"

namespace {

class EngineEnv : public ::testing::Environment {
  public:
    void SetUp() override {
        long opts[3] = {4, 0, -1};
        ASSERT_EQ(ftapiini(nullptr, nullptr, opts, 3, &ftapih), 0);
    }
    void TearDown() override {
        ftapitrm(ftapih);
        ftapih = nullptr;
    }
};
const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new EngineEnv);

std::string prefix(int near, bool thes) {
    std::string s = "\\C2:1>$v \\C3:" + std::to_string(near);
    return s + (thes ? ";10:3v \\C\"v druskthes.fth \\C}\n" : "v ");
}

// The whole engine text for the given field texts.
std::string whole(const std::string& fields, int near = 10, bool thes = false) {
    return prefix(near, thes) + "\\C0t " + fields + "\\C}\n\n";
}

struct Parsed {
    bool ok;
    int error;
    std::string qry;
};

Parsed run(const std::string& request, int near = 10, bool thes = false) {
    YmParser p;
    p.init();
    p.setThes("druskthes.fth");
    p.setNearDistance(near);
    p.useThes(thes);
    bool ok = p.parse(request.c_str());
    EXPECT_EQ(p._opstack.length(), 0u) << request;
    EXPECT_EQ(p._termstack.length(), 0u) << request;
    return {ok, p._pError,
            std::string(reinterpret_cast<const char*>(p._qry.data), p._qry.slength - 1)};
}

TEST(YmParser, PrintsEachFormOfTheLanguage) {
    struct Case {
        const char* query;  // the text of field 0
        const char* body;   // what follows "\C0s "
    } cases[] = {
        {"a b", "\\C0t A B \\C}\n"},
        {"A B C", "\\C0t \\C0t A B \\C}\nC \\C}\n"},
        {"a | b", "\\C0u A B \\C}\n"},
        {"a or b and c", "\\C0u A \\C0t B C \\C}\n\\C}\n"},
        {"A & B | C", "\\C0u \\C0t A B \\C}\nC \\C}\n"},
        {"A,B", "\\C0t A B \\C}\n"},
        {"a not b", "\\C0t A \\C0x B \\C}\n"},
        {"(A) ^B", "\\C0t A \\C0x B \\C}\n"},
        {"NOT A", "\\C0x A "},
        {"^A | B", "\\C0u \\C0x A B \\C}\n"},
        {"[A B]", "\\C5y A B \\C}\n"},
        {"[A | B]", "\\C5y \\C0u A B \\C}\n\\C}\n"},
        {"A [B C]", "\\C0t A \\C5y B C \\C}\n\\C}\n"},
        {"A ]", "\\C5y A \\C}\n"},
        {"((A | B) C)", "\\C0t \\C0u A B \\C}\nC \\C}\n"},
        {"A)", "A "},
        {"\"big cat\"", "\\Cp BIG CAT \\C}\n"},
        {"A\"B C\"", "\\C0t A \\Cp B C \\C}\n\\C}\n"},
        {"\"big cat", "BIG CAT "},
        {"PHRASE", "\\Cp PHRASE \\C}\n"},
        {"comp* a?c", "\\C0t COMP\\C-w  A\\C!w C \\C}\n"},
        {"\"wild*\"", "\\Cp WILD\\C-w  \\C}\n"},
    };
    for (const Case& c : cases) {
        Parsed r = run(std::string("0\n") + c.query + "\n", 5);
        EXPECT_TRUE(r.ok) << c.query << " error " << r.error;
        EXPECT_EQ(r.qry, whole(std::string("\\C0s ") + c.body, 5)) << c.query;
    }
}

TEST(YmParser, SetsErrorNumbers) {
    struct Case {
        const char* query;
        int error;
    } cases[] = {
        {"NEAR", 4}, {"A near B", 4}, {"NOT NOT A", 11}, {"A &", 11},  {"| A", 11}, {"[]", 11},
        {"   ", 6},  {"()", 6},       {"(A", 10},        {"A (B", 10}, {"[A", 8},   {"( [ A )", 8},
    };
    for (const Case& c : cases) {
        Parsed r = run(std::string("0\n") + c.query + "\n");
        EXPECT_FALSE(r.ok) << c.query;
        EXPECT_EQ(r.error, c.error) << c.query;
    }
}

TEST(YmParser, ReadsTheRequestLineByLine) {
    struct Case {
        const char* name;
        std::string request;
        std::string fields;
    } cases[] = {
        {"empty request", "", ""},
        {"first line empty", "\n0\nA\n", ""},
        {"two fields", "0\nA\n110\nb\n", "\\C0s A \\C110s B "},
        {"an empty line ends it", "0\nA\n\n0\nB\n", "\\C0s A "},
        {"no final newline", "97\nsmith", "\\C97s SMITH "},
        {"a field number alone", "0\nA\n110\n", "\\C0s A "},
        {"a field number that is no number", "x\nA\n", "\\C0s A "},
    };
    for (const Case& c : cases) {
        Parsed r = run(c.request);
        EXPECT_TRUE(r.ok) << c.name;
        EXPECT_EQ(r.qry, whole(c.fields)) << c.name;
    }
    EXPECT_EQ(run("0\nA\n", 7, true).qry, whole("\\C0s A ", 7, true));
}

TEST(YmParser, KeepsTheFirstErrorAcrossFieldsAndClearsItNextTime) {
    YmParser p;
    p.init();
    EXPECT_FALSE(p.parse("0\nNEAR\n0\nB\n"));
    EXPECT_EQ(p._pError, 4);
    EXPECT_TRUE(p.parse("0\nB\n"));
    EXPECT_EQ(p._pError, 0);
}

TEST(YmParser, ConvertsDateFields) {
    std::string padded =
        ">" + std::string(50, ' ') + "19960115";  // longer than any fixed date buffer
    struct Case {
        std::string request;
        std::string fields;
    } cases[] = {
        {"27\n>19960115\n", "\\C27s \\C>z 19960115\\C}\n"},
        {"31\n<jan 15, 1996\n", "\\C31s \\C<z 19960115\\C}\n"},
        {"31\n=1996-01-15\n", "\\C31s \\C<z 19960115\\C}\n"},
        {"27\n" + padded + "\n", "\\C27s \\C>z 19960115\\C}\n"},
        {"27\n>not a date\n", "\\C27s "},
        {"27\n>19961315\n", "\\C27s "},
        {"27\n>\n", "\\C27s "},
        {"27\n>" + std::string(5000, '9') + "\n", "\\C27s "},
        {"0\nA\n27\n>19960115\n", "\\C0s A \\C27s \\C>z 19960115\\C}\n"},
    };
    for (const Case& c : cases) {
        Parsed r = run(c.request);
        EXPECT_TRUE(r.ok) << c.request;
        EXPECT_EQ(r.qry, whole(c.fields)) << c.request;
    }
}

TEST(YmParser, TakesLongWordsWhole) {
    std::string word(600, 'W');
    EXPECT_EQ(run("0\n" + word + "\n").qry, whole("\\C0s " + word + " "));
    std::string phrase(2000, 'P');
    EXPECT_EQ(run("0\n\"" + phrase + "\"\n").qry, whole("\\C0s \\Cp " + phrase + " \\C}\n"));
}

// Trees as deep as the query is long, and stacks far beyond their first
// capacity: printed and freed without recursion.
TEST(YmParser, HandlesVeryLongQueries) {
    const int n = 100000;
    std::string words, expect;
    for (int i = 0; i < n; i++) words += "W ";
    for (int i = 1; i < n; i++) expect += "\\C0t ";
    expect += "W W ";
    for (int i = 2; i < n; i++) expect += "\\C}\nW ";
    expect += "\\C}\n";
    Parsed r = run("0\n" + words + "\n");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.qry, whole("\\C0s " + expect));

    std::string nested = std::string(n, '[') + "A" + std::string(n, ']');
    r = run("0\n" + nested + "\n", 3);
    EXPECT_TRUE(r.ok);
    std::string deep;
    for (int i = 0; i < n; i++) deep += "\\C3y ";
    deep += "A ";
    for (int i = 0; i < n; i++) deep += "\\C}\n";
    EXPECT_EQ(r.qry, whole("\\C0s " + deep, 3));

    r = run("0\n" + std::string(n, '(') + "\n");
    EXPECT_EQ(r.error, 10);
}

TEST(YmParser, ErrorTexts) {
    struct Case {
        int error;
        const char* text;
    } cases[] = {
        {0, "General error"},
        {1, "No string to parse"},
        {2, "Not enough memory to evaluate search string"},
        {3, "Unknown operator used"},
        {4, "Unknown operator used"},
        {5, "Too many boolean operators or too few terms"},
        {6, "Need another keyword"},
        {7, "Not enough memory"},
        {8, "Invalid search string - check syntax"},
        {9, "Invalid search string - check syntax"},
        {10, "Invalid search string - check syntax"},
        {11, "Invalid search string - check syntax"},
        {12, "Search string problem"},
        {13, "General error"},
    };
    YmParser p;
    for (const Case& c : cases) {
        p._pError = c.error;
        EXPECT_STREQ(p.getErrMsg(), c.text) << c.error;
    }
    YmStr empty;
    p._pError = 0;
    p.getTokens(empty);
    EXPECT_EQ(p._pError, 1);
}

}  // namespace
