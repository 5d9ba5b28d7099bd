#include "YmSLinearPat.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Case {
    const char* name;
    std::string pattern;  // given with its length, NULs included
    std::string buffer;
    int found;
};

}  // namespace

TEST(YmSLinearPat, FindBracketAndEndAgree) {
    const Case cases[] = {
        {"leftmost of two", "abc", "xxabcxxabc", 2},
        {"at the start", "abc", "abcabc", 0},
        {"at the very end", "abc", "xxxxabc", 4},
        {"needs the byte after the buffer", "abcd", "xxxxabc", -1},
        {"longer than the buffer", "abcdef", "abc", -1},
        {"empty buffer", "a", "", -1},
        {"one byte", "c", "aaaac", 4},
        {"last byte matches, rest does not", "xbc", "abcabcxbc", 6},
        {"repeated prefix", "aab", "aaaaab", 3},
        {"NUL in both", std::string("a\0b", 3), std::string("xa\0a\0bq", 7), 3},
        {"high bytes", "\xff\x80", "\x80\xff\x7f\xff\x80", 3},
        {"whole buffer", "xyz", "xyz", 0},
    };
    for (const Case& c : cases) {
        YmSLinearPat pat(c.pattern.data(), unsigned(c.pattern.size()));
        const char* buf = c.buffer.data();
        unsigned len = unsigned(c.buffer.size());
        int start = 99, end = 99;
        EXPECT_EQ(pat.findBuffer(buf, len), c.found) << c.name;
        EXPECT_EQ(pat.bracketBuffer(buf, len, start, end), c.found) << c.name;
        EXPECT_EQ(start, c.found) << c.name;
        int past = c.found >= 0 ? c.found + int(c.pattern.size()) : 0;
        EXPECT_EQ(end, past) << c.name;
        EXPECT_EQ(pat.findEndBuffer(buf, len), past) << c.name;
    }
}

TEST(YmSLinearPat, EmptyPatternMatchesAtZero) {
    YmStr empty;
    YmSLinearPat pat(empty);
    int start = 99, end = 99;
    EXPECT_EQ(pat.findBuffer("abc", 3), 0);
    EXPECT_EQ(pat.findBuffer("", 0), 0);
    EXPECT_EQ(pat.findEndBuffer("abc", 3), 0);
    EXPECT_EQ(pat.bracketBuffer("abc", 3, start, end), 0);
    EXPECT_EQ(start, 0);
    EXPECT_EQ(end, 0);
}

TEST(YmSLinearPat, SkipTable) {
    YmSLinearPat aba("aba", 3);
    for (unsigned c = 0; c < 256; c++) {
        unsigned expected = c == 'a' ? 2 : c == 'b' ? 1 : 3;
        EXPECT_EQ(aba.skip_table[c], expected) << c;
    }
    YmSLinearPat one("q", 1);
    for (unsigned entry : one.skip_table) EXPECT_EQ(entry, 1u);
    YmSLinearPat high("\xfe\x01", 2);
    EXPECT_EQ(high.skip_table[0xfe], 1u);
    EXPECT_EQ(high.skip_table[0x01], 2u);
}

TEST(YmSLinearPat, LengthZeroMeansNulTerminatedAndStringsDropTheirNul) {
    YmSLinearPat measured("ab\0cd", 0);
    EXPECT_EQ(measured.patternLength, 2u);
    EXPECT_EQ(measured.findBuffer("xxab", 4), 2);

    YmStr s("b.c");
    YmSLinearPat fromStr(s);
    EXPECT_EQ(fromStr.patternLength, 3u);
    EXPECT_EQ(fromStr.findBuffer("a/b.c", 5), 2);
}

// findEndBuffer and bracketBuffer go through findBuffer's virtual slot.
TEST(YmSLinearPat, OverriddenFindBufferChangesTheOthers) {
    struct Always7 : YmSLinearPat {
        Always7() : YmSLinearPat("ab", 2) {}
        int findBuffer(const char*, unsigned int) override { return 7; }
    } pat;
    int start = 0, end = 0;
    EXPECT_EQ(pat.findEndBuffer("", 0), 9);
    EXPECT_EQ(pat.bracketBuffer("", 0, start, end), 7);
    EXPECT_EQ(end, 9);
}
