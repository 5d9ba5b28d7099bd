// Turns a query tree into the SQL that finds its documents in one base.
//
// The text of the documents is in the full-text table body(text, title); the
// words of the catalogue fields in meta(owner, code, comps, fname); the other
// catalogue fields in docs. A query part that the full-text tables answer
// alone becomes one full-text expression, so that the common queries run as
// a single full-text lookup; everything else (negation on its own, type and
// security numbers, dates, mixtures) becomes an SQL condition on docs.
#ifndef FT_COMPILE_H
#define FT_COMPILE_H

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "FtMatch.h"
#include "FtQuery.h"

namespace ft {

// A value bound to a "?" of the SQL, in order.
struct Bind {
    bool isText;
    std::string text;
    long long num;
};

// The statements of one search in one base.
struct Plan {
    std::string sql;       // rows of (document id, rank or NULL)
    std::string countSql;  // one row: the number of documents
    std::vector<Bind> binds;
    // The parts of the query on the text whose words are a hit's match
    // positions (a hit's words match where any part does); none when no
    // word of the text can match.
    std::vector<MatchPtr> posParts;
};

// Synonyms: lower-cased words of a word (joined by one blank) to the word
// lists of the other members of its groups.
using Thesaurus = std::map<std::string, std::vector<std::vector<std::string>>>;

// Reads a thesaurus file: one group per line, members separated by commas;
// empty lines and lines starting with "#" skipped.
Thesaurus parseThesaurus(const std::string& text);

// Limits that keep a query's work bounded.
constexpr size_t kMaxExpansions = 256;    // words one wildcard pattern may stand for
constexpr size_t kMaxAlternatives = 512;  // phrases one item may stand for

// A wildcard pattern as the storage's GLOB reads it (lower-case; * and ?).
// expand(pattern) gives the words of the base that match it.
using Expander = std::function<const std::vector<std::string>*(const std::string& globPattern)>;

// Builds the plan. thes may be null (no expansion). Patterns that need the
// vocabulary are passed to expand; a collecting pass may return null. On a
// query the engine cannot answer, returns false with *why.
bool compilePlan(const QNode& root, const QOptions& opts, const Thesaurus* thes, const Expander& expand,
                 Plan* plan, std::string* why);

}  // namespace ft

#endif
