// Changing an index: documents in and out, catalogue fields, the word list.
// Used by ftindex and dmFieldUpd; every change runs inside the caller's
// transaction.
#ifndef FT_WRITER_H
#define FT_WRITER_H

#include <sqlite3.h>

#include <string>
#include <vector>

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

class Writer {
public:
    Writer(sqlite3* db, const std::string& baseName) : db_(db), name_(baseName) {}
    ~Writer();

    // Adds a document; its words join the word list at flushTerms.
    bool insert(const DocRecord& d, std::string* why);
    // Removes the document with that id.
    bool remove(long long id, std::string* why);
    // Adds the words seen by insert to the word list (and its letter-triple
    // index).
    bool flushTerms(std::string* why);
    // Sets the security field of a document; *found false when the file is
    // not in the index.
    bool setSecurity(const std::string& file, long value, bool* found, std::string* why);

private:
    bool prepare(sqlite3_stmt** st, const char* sql, std::string* why);
    bool run(sqlite3_stmt* st, std::string* why);

    sqlite3* db_;
    std::string name_;
    sqlite3_stmt* insDoc_ = nullptr;
    sqlite3_stmt* insBody_ = nullptr;
    sqlite3_stmt* insMeta_ = nullptr;
    sqlite3_stmt* insMap_ = nullptr;
    sqlite3_stmt* del_[4] = {nullptr, nullptr, nullptr, nullptr};
    // The words seen since the last flush, lower-cased: an open-addressing
    // table, so that looking a word up needs no allocation.
    class TermSet {
    public:
        void add(const char* p, size_t n);
        const std::vector<std::string>& all() const { return words_; }
        void clear();

    private:
        std::vector<std::string> words_;
        std::vector<uint32_t> slots_;  // index + 1 into words_, 0: empty
        std::string fold_;
    };
    TermSet terms_;
};

}  // namespace ft

#endif
