// Which words of a hit's text make it match: the text side of a query as a
// tree of phrases, proximity groups, AND and OR, evaluated over the
// document's word sequence (read from its position map) and its title.
//
// The full-text layer is asked only which documents match. Asking it again
// per hit for the matching words costs the whole query each time (all the
// words a wildcard stands for, every prefix's word lists), however little
// of it the hit holds; the tree costs only the length of the hit's text.
//
// The tree follows the full-text expression the compiler writes: an item
// matches where one of its phrases occurs; a proximity group where all its
// items occur with at most `distance` words between the end of each and the
// start of the last one; phrases and groups lie within one column (text or
// title). Only text words are marked: all occurrences of a matching item,
// and for a group the occurrences that belong to some satisfying choice.
#ifndef FT_MATCH_H
#define FT_MATCH_H

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace ft {

// Words in a row, lower-case; the last one a prefix when prefix is set.
struct Phrase {
    std::vector<std::string> toks;
    bool prefix = false;
};

struct MatchNode;
using MatchPtr = std::shared_ptr<const MatchNode>;

struct MatchNode {
    enum Kind { Item, Near, And, Or };
    Kind kind = Item;
    bool titleOnly = false;                  // Item, Near: searched in the title only
    std::vector<std::vector<Phrase>> items;  // Item: one; Near: each item's phrases
    int distance = 0;                        // Near
    std::vector<MatchPtr> kids;              // And, Or
    size_t positive = 0;                     // And: kids before this must match, the others must not

    static MatchPtr item(std::vector<Phrase> phrases, bool titleOnly);
    static MatchPtr near(std::vector<std::vector<Phrase>> items, int distance, bool titleOnly);
    static MatchPtr andOf(std::vector<MatchPtr> must, const std::vector<MatchPtr>& mustNot);
    static MatchPtr orOf(std::vector<MatchPtr> any);
};

// Evaluates the parts of one query (a document matches where any part
// does) over documents, one after the other. Words are first turned into
// classes (which of the query's words and prefixes they are), which the
// caller may keep per word.
class HitMatcher {
public:
    explicit HitMatcher(const std::vector<MatchPtr>& parts);

    // The class of a lower-case word; 0 for a word the query does not name.
    uint32_t classify(std::string_view word);

    // The words and prefixes the query names.
    struct Pattern {
        std::string word;
        bool prefix;
    };
    std::vector<Pattern> patterns() const;

    // The indices of the text words to mark, ascending, each once, given the
    // classes of the text's words and of the title's words, in order, and
    // the indices of the text words of a class other than 0, ascending.
    void marks(const std::vector<uint32_t>& text, const std::vector<uint32_t>& textClassed,
               const std::vector<uint32_t>& title, std::vector<uint32_t>* out);

private:
    // A phrase as pattern numbers: word i must be of pattern pats[i].
    using Pats = std::vector<uint32_t>;
    struct Node {
        MatchNode::Kind kind;
        bool titleOnly;
        std::vector<std::vector<Pats>> items;
        int distance;
        std::vector<Node> kids;
        size_t positive;
    };
    // One column of the current document: its words' classes, and where
    // each pattern occurs.
    struct Column {
        const std::vector<uint32_t>* cls = nullptr;
        std::vector<std::vector<uint32_t>> at;  // by pattern
        std::vector<uint32_t> used;             // patterns with places in at
    };
    struct Occ {
        uint32_t start, len;
    };

    Node intern(const MatchNode& n);
    uint32_t pattern(const std::string& word, bool prefix);
    void load(Column* c, const std::vector<uint32_t>* cls, const std::vector<uint32_t>* classed);
    bool has(const Column& c, size_t pos, uint32_t pat) const;
    void occurrences(const Column& c, const std::vector<Pats>& phrases, std::vector<Occ>* out) const;
    bool eval(const Node& n, std::vector<uint32_t>* out);
    bool item(const Node& n, std::vector<uint32_t>* out);
    bool near(const Node& n, const Column& c, std::vector<uint32_t>* out);

    std::vector<Node> parts_;
    std::unordered_map<std::string, uint32_t> exact_;
    std::vector<std::pair<std::string, uint32_t>> prefixes_;
    uint32_t patterns_ = 0;
    std::map<std::vector<uint32_t>, uint32_t> classOf_;  // sorted patterns to class
    std::vector<std::vector<uint32_t>> classes_{{}};     // class to its sorted patterns
    std::vector<uint32_t> single_;                       // by pattern: the class of it alone, 0 when none yet
    std::string key_;                                    // classify's, kept for its memory
    Column text_, title_;
};

}  // namespace ft

#endif
