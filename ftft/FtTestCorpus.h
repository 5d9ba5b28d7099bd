// Test helpers: a temporary settings and documents folder, ftindex runs, and
// a search driven the way the server drives it.
#ifndef FT_TEST_CORPUS_H
#define FT_TEST_CORPUS_H

#include <string>
#include <utility>
#include <vector>

#include "ftft.h"

namespace fttest {

// A fresh temporary folder, removed by the destructor.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

void writeFile(const std::string& path, const std::string& data);
std::string readAll(const std::string& path);

// Runs a shell command; its exit status, and its output (both streams).
int run(const std::string& cmd, std::string* out = nullptr);

// The built tools.
std::string tool(const char* name);

// ftindex -q -s settings -n name -d docs [-c catalog]; exit status.
int ftindex(const std::string& settings, const std::string& name, const std::string& docs,
            const std::string& catalog = "", std::string* out = nullptr);

// The small corpus of real text that most tests search:
//   fox.txt, knowledge.txt, colour.txt, ls.1 (a manual page), notes.gz
//   (compressed), old.z (packed), memo.mm (mm macros), utf8.txt, sub/deep.txt, logo.rgb (an image: catalogue
//   fields only), blob.bin (binary: skipped), and a manual page whose name
//   holds shell characters. Catalogue: dates, owners, security, components.
struct Corpus {
    TempDir dir;
    std::string settings, docs;
    std::string shellName;  // the file with shell characters in its name
};
void makeCorpus(Corpus* c);

// One hit as the server reads it.
struct Hit {
    std::string title, code, file, date, mdate, owner, comps;
    long score = 0, type = 0, security = 0;
    std::vector<std::pair<long, long>> marks;  // start, length (offset taken off)
};

// Runs a search as the server does (slices, batches of 100, marks). Returns
// the last ftshresm result; *err the engine's error number when it failed.
int search(FTAPIH h, const std::vector<FTBH>& bases, const std::string& query, std::vector<Hit>* hits, int* err,
           long maxHits = 0, bool countOnly = false, long* count = nullptr);

// The parser's output for one field-0 query text body: options prefix,
// "\C0t \C0s ", the body, "\C}\n\n".
std::string q(const std::string& body, bool thesaurus = false);

// Turns search-side marks into byte offsets of the displayed text as the
// document service does (visible characters counted from 0); -1 when a mark
// lands nowhere.
std::vector<long> markOffsets(const std::string& text, const std::vector<std::pair<long, long>>& marks);

}  // namespace fttest

#endif
