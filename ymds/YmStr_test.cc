#include "YmStr.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string bytes(const YmStr& s) { return std::string(reinterpret_cast<const char*>(s.data), s.slength - 1); }

bool sharesEmpty(const YmStr& s) { return s.slength == 1 && s.data == &YmStr::emptyString; }

}  // namespace

TEST(YmStr, EveryEmptyStringSharesTheOneByte) {
    YmStr fromC("");
    YmStr fromNull(static_cast<const char*>(nullptr));
    YmStr zero(0u);
    YmStr def;
    YmStr zeroLength("abc", 0u);
    YmStr emptyInt(7, "");
    YmStr emptyText("x", "");
    YmStr resized("abc");
    resized.resize(0, 0);
    YmStr removed("abc");
    removed.remove(0, 3);
    YmStr cut("ab");
    YmStr piece = cut.cut(0, 2);
    YmStr assigned("abc");
    assigned = "";
    YmStr assignedEmpty("abc");
    assignedEmpty = def;
    YmStr concatenated = YmStr("") | "";
    const YmStr* all[] = {&fromC, &fromNull, &zero,     &def,      &zeroLength,   &emptyInt,    &emptyText,
                          &resized, &removed, &cut, &assigned, &assignedEmpty, &concatenated};
    for (const YmStr* s : all) EXPECT_TRUE(sharesEmpty(*s)) << (s - all[0]);
    EXPECT_EQ(bytes(piece), "ab");
    EXPECT_EQ(YmStr::emptyString, 0);

    // An empty string grows into a block of its own and gives it back.
    YmStr grow;
    grow.append("xy");
    EXPECT_NE(grow.data, &YmStr::emptyString);
    grow.remove(0, 2);
    EXPECT_TRUE(sharesEmpty(grow));
    grow.remove(0, 0);
    EXPECT_TRUE(sharesEmpty(grow));
}

// == compares stored bytes, compare() and the orderings stop at the first NUL.
TEST(YmStr, StoredBytesVersusCString) {
    YmStr buffer(5u);
    EXPECT_EQ(buffer.slength, 6u);
    EXPECT_FALSE(buffer == "");
    EXPECT_TRUE(buffer != "");
    EXPECT_EQ(compare(buffer, ""), 0);

    YmStr nul("ab\0cd", 5);
    EXPECT_EQ(nul.slength, 6u);
    EXPECT_EQ(nul.cnt('c'), 1u);
    EXPECT_FALSE(nul == "ab");
    EXPECT_FALSE(nul == YmStr("ab\0cx", 5));
    EXPECT_TRUE(nul == YmStr("ab\0cd", 5));
    EXPECT_EQ(compare(nul, "ab"), 0);
    EXPECT_TRUE(nul <= "ab" && nul >= "ab" && !(nul < "ab"));
    EXPECT_EQ(bytes(nul.copy()), std::string("ab\0cd", 5));
    EXPECT_EQ(bytes(YmStr(nul | nul)), std::string("ab\0cdab\0cd", 10));

    EXPECT_TRUE(YmStr("abc") < YmStr("abd"));
    EXPECT_TRUE("abd" > YmStr("abc"));
    EXPECT_TRUE(YmStr("b") >= "a");
    EXPECT_LT(compare("a", "b"), 0);
    EXPECT_TRUE(YmStr("x") == YmStr("x") && "x" == YmStr("x") && "x" != YmStr("y"));
}

TEST(YmStr, FormattedConstructors) {
    struct {
        YmStr value;
        const char* expected;
    } cases[] = {
        {YmStr(42, nullptr), "42"},
        {YmStr(-7, "%03d"), "-07"},
        {YmStr(1.5f, nullptr), "1.5"},
        {YmStr(2.25, nullptr), "2.25"},
        {YmStr(0.5, "%.3f"), "0.500"},
        {YmStr("db", nullptr), "db"},
        {YmStr("db", "%s.cfg"), "db.cfg"},
    };
    for (auto& c : cases) EXPECT_EQ(bytes(c.value), c.expected);

    // Field widths far beyond the old fixed buffers are measured, not cut.
    EXPECT_EQ(bytes(YmStr(5, "%300d")), std::string(299, ' ') + "5");
    EXPECT_EQ(bytes(YmStr(1.0, "%200.1f")), std::string(197, ' ') + "1.0");
    EXPECT_EQ(bytes(YmStr("x", "%-100s|")), "x" + std::string(99, ' ') + "|");
}

TEST(YmStr, Pieces) {
    YmStr s("hello world");
    EXPECT_EQ(bytes(s.extract(6, 5)), "world");
    EXPECT_TRUE(sharesEmpty(s.extract(11, 0)));
    EXPECT_EQ(bytes(s.head(5)), "hello");
    EXPECT_EQ(bytes(s.tail(5)), "world");
    EXPECT_EQ(bytes(s.tail(11)), "hello world");
    EXPECT_EQ(s[4], 'o');
    s[0] = 'H';
    EXPECT_EQ(bytes(s), "Hello world");
}

TEST(YmStr, ScanningTable) {
    const YmStr s("aa, b,,c");  // length 8
    enum Op { Next, Skip, NextR, SkipR };
    struct {
        Op op;
        unsigned int posn;
        const char* set;  // one byte: the char form; more: the set form
        unsigned int expected;
    } cases[] = {
        {Next, 0, ",", 2},   {Next, 3, ",", 5},    {Next, 8, ",", 8},     {Next, 7, ",", 8},
        {Next, 0, " ,", 2},  {Next, 0, "xyz", 8},  {Skip, 0, "a", 2},     {Skip, 2, ", ", 4},
        {Skip, 5, ",", 7},   {Skip, 7, "abc", 8},  {NextR, 8, ",", 7},    {NextR, 6, ",", 6},
        {NextR, 2, ",", 0},  {NextR, 0, ",", 0},   {NextR, 5, " ,", 4},   {SkipR, 7, ",", 5},
        {SkipR, 8, "c,", 5}, {SkipR, 0, "a", 0},   {SkipR, 2, "a", 0},    {SkipR, 4, ", ", 2},
    };
    for (auto& c : cases) {
        bool one = strlen(c.set) == 1;
        char ch = c.set[0];
        unsigned int got = 0;
        switch (c.op) {
            case Next: got = one ? s.next(c.posn, ch) : s.next(c.posn, c.set); break;
            case Skip: got = one ? s.skip(c.posn, ch) : s.skip(c.posn, c.set); break;
            case NextR: got = one ? s.nextR(c.posn, ch) : s.nextR(c.posn, c.set); break;
            case SkipR: got = one ? s.skipR(c.posn, ch) : s.skipR(c.posn, c.set); break;
        }
        EXPECT_EQ(got, c.expected) << "op " << c.op << " posn " << c.posn << " set '" << c.set << "'";
        // The set form over one byte agrees with the char form.
        if (one && c.op == Next) {
            EXPECT_EQ(s.next(c.posn, c.set, 1), got);
        }
    }
    // A set given with an explicit count may contain NUL.
    YmStr nul("a\0b", 3);
    EXPECT_EQ(nul.next(0, "x\0", 2), 1u);
    EXPECT_EQ(nul.skip(0, "a\0", 2), 2u);
}

TEST(YmStr, Tokens) {
    const YmStr ff("a\f\fb");
    unsigned int posn = 0;
    EXPECT_EQ(bytes(ff.token(posn, '\f')), "a");
    EXPECT_EQ(posn, 3u);
    EXPECT_EQ(bytes(ff.token(posn, "\f")), "b");
    EXPECT_EQ(posn, 4u);
    for (int i = 0; i < 2; i++) {
        EXPECT_TRUE(sharesEmpty(ff.token(posn, '\f')));
        EXPECT_EQ(posn, 4u);
    }

    posn = 0;
    const char* expected[] = {"a", "", "b"};
    for (const char* e : expected) EXPECT_EQ(bytes(ff.ptoken(posn, '\f')), e);
    EXPECT_EQ(posn, ff.slength);

    const YmStr lead("\nabc");
    posn = 0;
    EXPECT_EQ(bytes(lead.token(posn, '\n')), "");
    EXPECT_EQ(posn, 1u);
    EXPECT_EQ(bytes(lead.token(posn, '\n')), "abc");

    const YmStr path("/a/b.c");
    posn = 6;
    EXPECT_EQ(bytes(path.tokenR(posn, "./")), "c");
    EXPECT_EQ(posn, 4u);
    EXPECT_EQ(bytes(path.tokenR(posn, "./")), "b");
    EXPECT_EQ(posn, 2u);
    EXPECT_EQ(bytes(path.tokenR(posn, '/')), "a");
    EXPECT_EQ(posn, 0u);
    EXPECT_EQ(bytes(path.tokenR(posn, '/')), "");
}

TEST(YmStr, Hash) {
    struct {
        YmStr s;
        unsigned int expected;
    } cases[] = {
        {YmStr(""), 0},
        {YmStr("abc"), 0x30b1318},
        {YmStr("\xff\xff\xff\xff"), 0xfffffff8},
        {YmStr("abcde"), 0x6162606c},
        {YmStr("abcdefg"), 0x6269707c},
        {YmStr("abcdefgh"), 0x4a515824},
        {YmStr("abcdefghij"), 0x4a515824},
    };
    for (auto& c : cases) EXPECT_EQ(c.s.hash(), c.expected) << bytes(c.s);
}

TEST(YmStr, ConcatenationStaysInlineUpTo99Characters) {
    YmStr a(std::string(60, 'a').c_str()), b(std::string(39, 'b').c_str());
    {
        YmTempStr t = a | b;
        EXPECT_EQ(t.slength, 100u);
        EXPECT_EQ(t.data, t.indata);
        t | "c";
        EXPECT_EQ(t.slength, 101u);
        EXPECT_NE(t.data, t.indata);
        t | "de";
        EXPECT_EQ(std::string(reinterpret_cast<char*>(t.data)), std::string(60, 'a') + std::string(39, 'b') + "cde");
    }
    YmTempStr heap("x", 1, std::string(150, 'y').c_str(), 150);
    EXPECT_NE(heap.data, heap.indata);

    // A chain mixing both kinds of operand crosses to the heap midway.
    YmStr s = "<" | a | "-" | b | std::string(50, 'z').c_str() | YmStr(">");
    EXPECT_EQ(bytes(s), "<" + std::string(60, 'a') + "-" + std::string(39, 'b') + std::string(50, 'z') + ">");
    s = YmStr("x") | "y";
    EXPECT_EQ(bytes(s), "xy");
}

TEST(YmStr, ChangesInPlace) {
    YmStr s("world");
    s.insert("hello ", 0);
    s.insert("!", s.slength - 1);
    s.insert("XYZ", 5, 1);
    EXPECT_EQ(bytes(s), "helloX world!");
    s.insert('_', 5);
    s.insert('.', s.slength - 1);
    EXPECT_EQ(bytes(s), "hello_X world!.");
    s.remove(5, 2);
    EXPECT_EQ(bytes(s), "hello world!.");
    EXPECT_EQ(bytes(s.cut(5, 6)), " world");
    EXPECT_EQ(bytes(s), "hello!.");
    s.append(" more");
    s.append("xyz", 1);
    s.append('!');
    EXPECT_EQ(bytes(s), "hello!. morex!");
    s.raise();
    EXPECT_EQ(bytes(s), "HELLO!. MOREX!");
    s.lower();
    EXPECT_EQ(bytes(s), "hello!. morex!");

    YmStr e;
    e.insert('a', 0);
    e.insert("b", 1);
    e.append('c');
    EXPECT_EQ(bytes(e), "abc");

    // The fill argument does not change the new bytes: they are NUL.
    YmStr r("ab");
    r.resize(5, 'x');
    EXPECT_EQ(bytes(r), std::string("ab\0\0\0", 5));
    r.resize(1, 'x');
    EXPECT_EQ(bytes(r), "a");

    YmStr m("abc");
    m.setMaxLength(1000);
    memset(m.data + 3, 'q', 996);  // the block really holds 1000 characters
    EXPECT_EQ(bytes(m), "abc");
    YmStr empty;
    empty.setMaxLength(10);
    EXPECT_TRUE(sharesEmpty(empty));
}

// Sources that lie inside the string being changed, which growing moves.
TEST(YmStr, SourcesInsideTheString) {
    YmStr s("abcdef");
    s.insert(reinterpret_cast<char*>(s.data) + 1, 0, 3);
    EXPECT_EQ(bytes(s), "bcdabcdef");
    s.append(reinterpret_cast<char*>(s.data));
    EXPECT_EQ(bytes(s), "bcdabcdefbcdabcdef");
    s = reinterpret_cast<char*>(s.data) + 9;
    EXPECT_EQ(bytes(s), "bcdabcdef");
    YmStr& same = s;
    s = same;
    EXPECT_EQ(bytes(s), "bcdabcdef");
}

TEST(YmStr, AssignmentKeepsTheLargerBlock) {
    YmStr s(std::string(200, 'x').c_str());
    unsigned char* block = s.data;
    s = "short";
    EXPECT_EQ(s.data, block);
    s = YmStr("abcd");
    EXPECT_EQ(s.data, block);
    s = YmStr("a") | "b";
    EXPECT_EQ(bytes(s), "ab");
    YmStr* p = new YmStr("heap");
    p->destroy();
}

TEST(YmStrDeathTest, FailedAssertionPrintsItsText) {
    YmStr s("abc");
    EXPECT_DEATH(s.extract(2, 2), "Assertion failed: start\\+chars<slength, file .*YmStr\\.cc");
}
