// A full-text database on disk: its settings file, its index file and its
// reference file, and the operations that read and change them.
//
// Files, all in the settings directory:
//   NAME.cfg   settings text, lines "KEY=value": PTH (the documents' folder,
//              ending in "/"), REF (the reference file), IDX (the index)
//   NAME.ftdb  the index: an SQLite database in WAL mode
//   NAME.ref   the reference file; its modification time moves forward at
//              every change of the index, by at least one second
//
// Index tables: docs (one row per document: catalogue fields, file size and
// time, words in text and title), body (the full-text index of the
// displayed text and the title, without the texts), meta (the words of the
// owner, code, components and file name, likewise), posmap (each document's position
// map, FtText.h), terms and grams (every word, numbered, with an index of
// its letter triples, FtVocab.h), info (format version).
#ifndef FT_STORE_H
#define FT_STORE_H

#include <sqlite3.h>

#include <string>
#include <vector>

namespace ft {

// Letters, digits, '_' and '-', 1 to 63 characters.
bool validName(const char* name);

// The directories named by FULSEARCH (else FULPATH), split at ",;: ".
std::vector<std::string> settingsDirs();

// Finds the settings file of a database: NAME.cfg in the first directory
// that has one (or X.NAME.cfg in a directory without it). "" when none.
std::string findSettings(const std::string& name);

// The lines of a settings-like text that say something: not blank, not a
// comment (first non-blank character "#"). Line ends (LF, CR LF) removed.
std::vector<std::string> contentLines(const std::string& text);

// Value of KEY in a settings text ("" when absent).
std::string settingsValue(const std::string& text, const std::string& key);

// Reads a whole file into *out (at most maxLen bytes when maxLen > 0).
bool readFile(const std::string& path, std::string* out, size_t maxLen = 0);

// Writes a file through a temporary name and a rename, so that readers see
// the old or the new content.
bool writeFileAtomic(const std::string& path, const std::string& data);

// Moves the reference file's time forward: to now, or one second past its
// previous time when that is not earlier than now (so that two changes in
// one second still differ in whole seconds). Creates the file if needed.
bool touchRef(const std::string& path);

// The index file named by a settings file (IDX, else NAME.ftdb beside it).
std::string indexPathOf(const std::string& cfgPath, const std::string& settingsText);

// Opens an index. write: read-write, else read-only. Sets WAL, a busy
// timeout and checks the format. Returns null with *err set (an FTE_*) and
// *sub the storage code.
sqlite3* openIndex(const std::string& path, bool write, int* err, int* sub);

// Creates the tables in an empty database.
bool createSchema(sqlite3* db, std::string* why);

// The format version written into info.
extern const int kFormatVersion;

// The full-text layer's interface of a connection; null when it has none.
fts5_api* fts5Api(sqlite3* db);

// Runs SQL without results; false and *why on failure.
bool exec(sqlite3* db, const char* sql, std::string* why = nullptr);

// The first column of the first row of sql as a number. Returns SQLITE_ROW
// when there was one, else the failing step's code (*value unchanged).
int scalar(sqlite3* db, const char* sql, sqlite3_int64* value);

// The constant added to every match position (the base's position offset).
constexpr long kPosOffset = 1;

}  // namespace ft

#endif
