// Word splitting and the position map.
#include "FtText.h"

#include <gtest/gtest.h>

namespace {

using Places = std::vector<std::pair<uint32_t, uint32_t>>;

Places placesOf(const std::string& text) {
    size_t n = 0;
    std::string map;
    ft::buildPosMap(text.data(), text.size(), [](size_t, size_t) { return 7u; }, &map, &n);
    std::vector<ft::MapWord> out;
    EXPECT_TRUE(ft::readPosMap(reinterpret_cast<const unsigned char*>(map.data()), map.size(), &out));
    EXPECT_EQ(out.size(), n);
    Places p;
    for (const ft::MapWord& x : out) p.push_back({x.start, x.len});
    return p;
}

TEST(PosMap, StartsCountVisibleCharacters) {
    struct Case {
        const char* name;
        std::string text;
        Places want;
    } cases[] = {
        {"plain", "ab cd", {{0, 2}, {2, 2}}},
        {"blanks, tabs and newlines are not counted", "  a\tb\n\nc", {{0, 1}, {1, 1}, {2, 1}}},
        {"punctuation is counted", "x-y, (z)", {{0, 1}, {2, 1}, {5, 1}}},
        {"UTF-8 inside a word", "caf\xc3\xa9 au", {{0, 5}, {3, 2}}},
        {"UTF-8 lead: the mark starts at the first visible byte", "\xc3\xa9lan x", {{0, 3}, {3, 1}}},
        {"a word without visible bytes has no place", "\xe6\x97\xa5 ok", {{0, 0}, {0, 2}}},
        {"control characters separate", "a\x01" "b", {{0, 1}, {1, 1}}},
        {"empty", "", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(placesOf(c.text), c.want) << c.name;
}

TEST(PosMap, ReadsWordsAndRefusesBrokenMaps) {
    std::string text;
    for (int i = 0; i < 300; i++) text += "word" + std::to_string(i) + " ";
    std::string map;
    ft::buildPosMap(text.data(), text.size(), [](size_t s, size_t) { return uint32_t(s); }, &map);
    auto m = reinterpret_cast<const unsigned char*>(map.data());
    std::vector<ft::MapWord> out;
    ASSERT_TRUE(ft::readPosMap(m, map.size(), &out));
    ASSERT_EQ(out.size(), 300u);
    EXPECT_EQ(out[2].start, 10u);  // word0 word1 -> 5 + 5 visible before word2
    EXPECT_EQ(out[2].id, 12u);
    EXPECT_EQ(out[299].len, 7u);  // word299
    std::vector<uint32_t> ids;
    ASSERT_TRUE(ft::readWordIds(m, map.size(), &ids));
    ASSERT_EQ(ids.size(), 300u);
    EXPECT_EQ(ids[2], 12u);  // the word's byte offset, as given
    // Short words with long numbers: the map outgrows the text it maps, and
    // a second map appended to the first leaves that one intact.
    std::string many(4000, 'x');
    for (size_t i = 1; i < many.size(); i += 2) many[i] = ' ';
    std::string two = "kept";
    ft::buildPosMap(many.data(), many.size(), [](size_t, size_t) { return 0xfffffff0u; }, &two);
    ASSERT_EQ(two.compare(0, 4, "kept"), 0);
    ASSERT_TRUE(ft::readWordIds(reinterpret_cast<const unsigned char*>(two.data()) + 4, two.size() - 4, &ids));
    EXPECT_EQ(ids, std::vector<uint32_t>(2000, 0xfffffff0u));
    // A map cut inside a number.
    std::string cut = "\x80\x80";
    EXPECT_FALSE(ft::readPosMap(reinterpret_cast<const unsigned char*>(cut.data()), cut.size(), &out));
}

TEST(Words, AsciiCaseFoldedUtf8Kept) {
    EXPECT_EQ(ft::words("Hello, WORLD-x \xc3\x84\xc3\x96!"),
              (std::vector<std::string>{"hello", "world", "x", "\xc3\x84\xc3\x96"}));
}

}  // namespace
