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

// Adds the triples of new words, numbered firstId, firstId + 1, ...: above
// every number already indexed.
bool addTriples(sqlite3* db, uint32_t firstId, const std::vector<std::string_view>& words, std::string* why);

// The triples of a GLOB pattern's literal runs ("*" and "?" end a run);
// empty when no run has three bytes.
std::vector<std::string> patternTriples(const std::string& glob);

// The numbers of the words that hold every one of the triples (candidates:
// the caller checks the pattern itself). false with *rc on a storage error.
bool tripleCandidates(sqlite3* db, const std::vector<std::string>& triples, std::vector<uint32_t>* ids, int* rc);

}  // namespace ft

#endif
