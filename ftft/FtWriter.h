// Changing an index: documents in and out, catalogue fields, the word list.
// Used by ftindex and dmFieldUpd; every change runs inside the caller's
// transaction.
//
// The full-text tables keep no copy of the texts. To take a document out,
// its word sequence is rebuilt from the word numbers in its position map (and
// its catalogue words from docs) and handed to the full-text layer, which
// removes exactly those entries.
#ifndef FT_WRITER_H
#define FT_WRITER_H

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "FtVocab.h"

namespace ft {

// One document as stored.
struct DocRecord {
    std::string file;  // relative to the database's PTH
    int type = 1;
    std::string title;
    long date = 0;   // YYYYMMDD
    long mdate = 0;  // YYYYMMDD
    std::string owner;
    long security = 0;
    std::string comps;
    long long size = 0;
    long long mtime = 0;
    long long mtimens = 0;
    std::string catsig;  // the catalogue line it came from, to notice changes
    std::string body;    // the displayed text
};

// Lets the full-text layer of this connection take the words of the texts
// that a Writer stores from what index() found, instead of splitting each
// text a second time. Must come before the connection first uses a
// full-text table; every other text (queries, titles, catalogue fields, the
// words of a document taken out) is still split by the layer's own
// splitter, which the words found by index() equal by construction
// (FtText.h). false with *why when the layer cannot take it.
bool useWordReplay(sqlite3* db, std::string* why);
struct Replay;

class Writer {
public:
    Writer(sqlite3* db, const std::string& baseName) : db_(db), name_(baseName) {}
    ~Writer();

    // Adds a document; its new words join the word list at flushTerms.
    bool insert(const DocRecord& d, std::string* why);

    // insert() in two halves, which may run at the same time in two threads
    // (one thread calling index, the other store and nothing else) once
    // loadTerms has succeeded: index numbers the document's words and builds
    // its position map without touching the database, store writes it.
    struct Indexed {
        std::string map;  // the position map (FtText.h)
        size_t ntok = 0;  // words in text and title
        // The text's words for the full-text layer (see useWordReplay):
        // the text case-folded, and each word's start and end in it.
        std::string folded;
        std::vector<uint32_t> bounds;
    };
    bool loadTerms(std::string* why);
    void index(const DocRecord& d, Indexed* x);
    bool store(const DocRecord& d, const Indexed& x, std::string* why);
    // Gathers the letter triples of the words numbered so far, for
    // flushTerms to write; from index's thread, after its last index.
    void gatherTriples();

    // Removes the document with that id.
    bool remove(long long id, std::string* why);
    // Writes the words that insert met for the first time to the word list
    // and its triple index.
    bool flushTerms(std::string* why);
    // Sets the security field of a document; *found false when the file is
    // not in the index.
    bool setSecurity(const std::string& file, long value, bool* found, std::string* why);

private:
    bool prepare(sqlite3_stmt** st, const char* sql, std::string* why);
    bool run(sqlite3_stmt* st, std::string* why);

    // The base's words, numbered from 1 in the order they were first met,
    // lower-cased, in one arena; an open-addressing table finds a word
    // without an allocation.
    class TermSet {
    public:
        uint32_t add(const char* p, size_t n);  // the word's number
        // The same for a word already lower-cased, with its hashOf.
        uint32_t addFolded(const char* f, size_t n, uint32_t hash);
        static uint32_t hashOf(const char* f, size_t n);
        void load(const char* p, size_t n);     // a known word, next number
        size_t size() const { return offs_.size() - 1; }
        std::string_view view(uint32_t id) const;  // "" for an unknown number; valid until add

    private:
        void grow();
        const char* fold(const char* p, size_t n, uint32_t* hash);
        uint32_t find(const char* folded, size_t n, uint32_t hash, size_t* slot) const;
        std::string arena_;
        std::vector<uint32_t> offs_{0};    // word i spans [offs_[i-1], offs_[i])
        std::vector<uint64_t> slots_;      // hash << 32 | number, 0: empty
        std::string fold_;
        char small_[64];
    };

    sqlite3* db_;
    std::string name_;
    bool termsLoaded_ = false;
    size_t flushedTerms_ = 0;  // words up to here are in the word list
    sqlite3_stmt* insDoc_ = nullptr;
    sqlite3_stmt* insBody_ = nullptr;
    sqlite3_stmt* insMeta_ = nullptr;
    sqlite3_stmt* insMap_ = nullptr;
    sqlite3_stmt* getOld_ = nullptr;
    sqlite3_stmt* delBody_ = nullptr;
    sqlite3_stmt* delMeta_ = nullptr;
    sqlite3_stmt* del_[2] = {nullptr, nullptr};
    TermSet terms_;
    // index()'s table of the words of the current text, which repeat often:
    // it is small enough to stay in the processor's cache, where the word
    // list is not. An entry is valid when its gen is the text's.
    struct Seen {
        uint32_t hash, gen, id, off, len;  // off: where the word is in the folded text
    };
    std::vector<Seen> seen_;
    uint32_t seenGen_ = 0;
    Replay* replay_ = nullptr;  // this connection's, if any (useWordReplay)
    bool replayChecked_ = false;
    Indexed scratch_;                // insert's, reused across documents
    size_t tripled_ = 0;  // words up to here are in triples_ (or written)
    TripleLists triples_;
    std::vector<long long> codeIds_;  // documents whose code words are not numbered yet
};

}  // namespace ft

#endif
