// The base's word list and its index of letter triples, which finds the
// words for a wildcard inside a word without reading the whole list.
//
// Table terms(block, words): the words numbered 1, 2, ... in the order they
// were first met, kTermsPerBlock to a row (row b holds the words numbered
// b * kTermsPerBlock + 1 onwards), each word followed by a NUL byte (words
// hold no NUL). Table grams(gram, last, ids): for each three-byte sequence,
// the numbers of the words that contain it, ascending, as varint gaps; last
// is the largest.
#ifndef FT_VOCAB_H
#define FT_VOCAB_H

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ft {

constexpr uint32_t kTermsPerBlock = 256;

// The words of one row of terms; false when the row is malformed.
bool splitTermBlock(const void* blob, int bytes, std::vector<std::string>* words);

// The words of a base by number, read from terms a row at a time as they
// are asked for and kept: a word's number never changes, so the rows stay
// valid for the life of the connection, across snapshots; only the last
// row grows, and a row is read again when a number lies beyond it.
class TermCache {
public:
    // The word numbered id (valid until the next call), "" when the list
    // has no such word. *st is the caller's statement for terms, prepared
    // here when null. false with *rc on a storage error or a broken row.
    bool word(sqlite3* db, sqlite3_stmt** st, uint32_t id, std::string_view* out, int* rc);
    void clear() { blocks_.clear(); }

private:
    struct Block {
        bool read = false;
        std::string words;            // each word followed by a NUL
        std::vector<uint32_t> starts;  // where each word begins in words
    };
    std::vector<Block> blocks_;
};

// The triples of new words, gathered in memory and then merged into the
// table in its key order.
class TripleLists {
public:
    // Adds a word's triples. Numbers ascend from call to call and lie above
    // every number already in the table.
    void add(uint32_t id, std::string_view word);
    // Merges the lists into the table and forgets them.
    bool write(sqlite3* db, std::string* why);

private:
    // One triple's word numbers: the first, then varint gaps (the first gap
    // is only known once the stored list's last number is). Fresh memory is
    // costly, so the lists are kept encoded as they grow.
    struct List {
        uint32_t gram = 0;
        uint32_t first = 0, last = 0;
        std::string gaps;
    };
    static size_t slotOf(const std::vector<uint64_t>& t, uint32_t g);
    std::vector<List> lists_;
    std::vector<uint64_t> slots_;  // open addressing: triple << 32 | index in lists_ + 1; 0: empty
};

// The triples of a GLOB pattern's literal runs ("*" and "?" end a run);
// empty when no run has three bytes.
std::vector<std::string> patternTriples(const std::string& glob);

// The numbers of the words that hold every one of the triples (candidates:
// the caller checks the pattern itself). false with *rc on a storage error.
bool tripleCandidates(sqlite3* db, const std::vector<std::string>& triples, std::vector<uint32_t>* ids, int* rc);

}  // namespace ft

#endif
