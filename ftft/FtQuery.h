// The engine's query text, read into a tree.
#ifndef FT_QUERY_H
#define FT_QUERY_H

#include <memory>
#include <string>
#include <vector>

namespace ft {

// In words and phrase words, these bytes stand for the wildcards.
constexpr char kAnyRun = '\x01';  // any run of characters, also none
constexpr char kAnyOne = '\x02';  // exactly one character

struct QNode {
    enum Kind { And, Or, Not, Near, Phrase, Word, Field, Date, All };
    Kind kind = All;
    int n = 0;      // Near: distance; Field: field number; Date: '>' or '<'
    long date = 0;  // Date: YYYYMMDD
    std::string word;                    // Word: the text, wildcards as above
    std::vector<std::string> words;      // Phrase: its words
    std::vector<std::unique_ptr<QNode>> kids;
};

struct QOptions {
    int distance = 10;     // default proximity distance ("3:N")
    bool thesaurus = false;  // "10:3"
    std::string thesName;  // \C"v NAME \C}
};

// Reads a query text. On failure returns null with *err (FTE_QUERY or
// FTE_FIELD) and *why set.
std::unique_ptr<QNode> parseQuery(const char* text, QOptions* opts, int* err, std::string* why);

// True for the field numbers a query may select.
bool searchableField(int field);

}  // namespace ft

#endif
