// Which words of a text a query's tree marks: items, phrases, proximity
// groups, AND, NOT, OR, and matches found in the title only.
#include "FtMatch.h"

#include <gtest/gtest.h>

#include "FtText.h"

namespace {

using ft::MatchNode;
using ft::MatchPtr;
using ft::Phrase;

// "a b" is the phrase a b; "a*" the prefix a.
Phrase ph(const std::string& text) {
    Phrase p;
    p.toks = ft::words(text);
    p.prefix = !text.empty() && text.back() == '*';
    return p;
}
MatchPtr word(const std::string& w, bool titleOnly = false) { return MatchNode::item({ph(w)}, titleOnly); }
MatchPtr anyOf(std::initializer_list<const char*> ws) {
    std::vector<Phrase> alts;
    for (const char* w : ws) alts.push_back(ph(w));
    return MatchNode::item(alts, false);
}
MatchPtr near(std::initializer_list<const char*> items, int distance) {
    std::vector<std::vector<Phrase>> v;
    for (const char* i : items) v.push_back({ph(i)});
    return MatchNode::near(v, distance, false);
}

// The marked words of text, as their indices joined by blanks.
std::string marked(const std::vector<MatchPtr>& parts, const std::string& text, const std::string& title = "") {
    ft::HitMatcher m(parts);
    std::vector<uint32_t> cls, classed, titleCls, out;
    for (const std::string& w : ft::words(text)) {
        cls.push_back(m.classify(w));
        if (cls.back()) classed.push_back(uint32_t(cls.size() - 1));
    }
    for (const std::string& w : ft::words(title)) titleCls.push_back(m.classify(w));
    m.marks(cls, classed, titleCls, &out);
    std::string s;
    for (uint32_t i : out) s += (s.empty() ? "" : " ") + std::to_string(i);
    return s;
}

TEST(HitMatcher, MarksTheWordsThatMakeTheMatch) {
    struct Case {
        const char* name;
        std::vector<MatchPtr> parts;
        std::string text, title, want;
    } cases[] = {
        {"every occurrence of a word", {word("fox")}, "fox a fox b Fox", "", "0 2 4"},
        {"a word absent", {word("cat")}, "fox a fox", "", ""},
        {"expansions of a wildcard", {anyOf({"fox", "foxes"})}, "foxes fox foxy", "", "0 1"},
        {"a prefix", {word("fo*")}, "fox f foxes of", "", "0 2"},
        {"a phrase only where it stands", {word("quick brown")}, "quick fox brown quick brown", "", "3 4"},
        {"a phrase ending in a prefix", {word("brown fo*")}, "brown fox brown cat", "", "0 1"},
        {"a phrase overlapping itself", {word("a a")}, "a a a b a", "", "0 1 2"},
        {"adjacent in either order", {near({"alpha", "beta"}, 0)}, "beta alpha x alpha", "", "0 1"},
        {"one word between allowed", {near({"alpha", "gamma"}, 1)}, "alpha beta gamma", "", "0 2"},
        {"too far apart", {near({"alpha", "gamma"}, 0)}, "alpha beta gamma", "", ""},
        {"only the occurrences within the distance",
         {near({"a", "b"}, 1)},
         "a x x x b x x a b x x a",
         "",
         "7 8"},
        {"distance counted from a phrase's end",
         {near({"a b", "c"}, 1)},
         "a b x c",
         "",
         "0 1 3"},
        {"three items", {near({"a", "b", "c"}, 1)}, "c a b x x x c", "", "0 1 2"},
        {"three items, one too far", {near({"a", "b", "c"}, 1)}, "c x a b", "", ""},
        {"and: both there", {MatchNode::andOf({word("fox"), word("dog")}, {})}, "dog fox", "", "0 1"},
        {"and: one missing", {MatchNode::andOf({word("fox"), word("cat")}, {})}, "dog fox", "", ""},
        {"and: one found in the title", {MatchNode::andOf({word("fox"), word("story")}, {})}, "a fox", "Story", "1"},
        {"and not: the other absent", {MatchNode::andOf({word("fox")}, {word("cat")})}, "fox dog", "", "0"},
        {"and not: the other present", {MatchNode::andOf({word("fox")}, {word("dog")})}, "fox dog", "", ""},
        {"and not: the other in the title", {MatchNode::andOf({word("fox")}, {word("dog")})}, "fox", "Dog", ""},
        {"or: the branches that match",
         {MatchNode::orOf({MatchNode::andOf({word("fox"), word("cat")}, {}), word("dog")})},
         "fox dog",
         "",
         "1"},
        {"a title-only item marks nothing",
         {MatchNode::andOf({word("fox", true), word("dog")}, {})},
         "fox dog",
         "fox",
         "1"},
        {"a title-only item not in the title", {MatchNode::andOf({word("fox", true), word("dog")}, {})}, "fox dog", "",
         ""},
        {"a group satisfied in the title only",
         {MatchNode::andOf({near({"a", "b"}, 0), word("c")}, {})},
         "a x b c",
         "b a",
         "3"},
        {"any of several parts", {word("cat"), word("dog"), word("fox")}, "fox dog", "", "0 1"},
    };
    for (const Case& c : cases) EXPECT_EQ(marked(c.parts, c.text, c.title), c.want) << c.name;
}

TEST(HitMatcher, ClassesNameTheQuerysWords) {
    ft::HitMatcher m({MatchNode::orOf({word("fox"), word("fo*"), word("dog")})});
    EXPECT_EQ(m.classify("cat"), 0u);
    EXPECT_NE(m.classify("fox"), 0u);
    EXPECT_NE(m.classify("fox"), m.classify("foxes")) << "a word and a prefix against a prefix alone";
    EXPECT_EQ(m.classify("foxes"), m.classify("fog"));
    EXPECT_NE(m.classify("dog"), m.classify("fog"));
    auto pats = m.patterns();
    EXPECT_EQ(pats.size(), 3u);
}

}  // namespace
