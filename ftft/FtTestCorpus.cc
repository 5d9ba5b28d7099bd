// Test helpers; see FtTestCorpus.h.
#include "FtTestCorpus.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "YmPlatform.h"

namespace fttest {

TempDir::TempDir() {
    char tmpl[] = "/tmp/ftftXXXXXX";
    if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp");
    path_ = tmpl;
}

TempDir::~TempDir() {
    if (path_.size() > 10) run("rm -rf " + ymShellQuote(path_));
}

void writeFile(const std::string& path, const std::string& data) {
    std::string dir = path.substr(0, path.rfind('/'));
    run("mkdir -p " + ymShellQuote(dir));
    std::ofstream f(path, std::ios::binary);
    f << data;
}

std::string readAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

int run(const std::string& cmd, std::string* out) {
    FILE* p = popen((cmd + " 2>&1").c_str(), "r");
    if (!p) return -1;
    std::string o;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) o.append(buf, n);
    int st = pclose(p);
    if (out) *out = o;
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

std::string tool(const char* name) {
    const char* d = getenv("YM_BIN_DIR");
    return std::string(d ? d : ".") + "/" + name;
}

int ftindex(const std::string& settings, const std::string& name, const std::string& docs,
            const std::string& catalog, std::string* out) {
    std::string cmd = ymShellQuote(tool("ftindex")) + " -q -s " + ymShellQuote(settings) + " -n " +
                      ymShellQuote(name) + " -d " + ymShellQuote(docs);
    if (!catalog.empty()) cmd += " -c " + ymShellQuote(catalog);
    return run(cmd, out);
}

void makeCorpus(Corpus* c) {
    c->settings = c->dir.path() + "/settings";
    c->docs = c->dir.path() + "/docs";
    mkdir(c->settings.c_str(), 0755);
    const std::string& d = c->docs;
    writeFile(d + "/fox.txt",
              "The quick brown fox jumps over the lazy dog.\n"
              "A second line about foxes, and an e-mail address.\n");
    writeFile(d + "/knowledge.txt",
              "Knowledge Base\n==============\n\n"
              "Knowledge base servers answer queries; the server indexes documents.\n"
              "Electronic mail (e-mail) is delivered daily.\n");
    writeFile(d + "/colour.txt", "Colour and color are two spellings.\nThe quick red car drives fast.\n");
    writeFile(d + "/ls.1",
              ".TH LS 1\n.SH NAME\nls \\- list directory contents\n.SH DESCRIPTION\n"
              "List information about the FILEs.\nSort entries alphabetically.\n"
              ".TS\nl l.\nsize\tblocks\n.TE\n");
    writeFile(d + "/notes.txt", "Compressed notes mention the zebra crossing.\n");
    run("gzip -n " + ymShellQuote(d + "/notes.txt") + " && mv " + ymShellQuote(d + "/notes.txt.gz") + " " +
        ymShellQuote(d + "/notes.gz"));
    writeFile(d + "/old.txt", "A packed file about the walrus.\n");
    run("gzip -n " + ymShellQuote(d + "/old.txt") + " && mv " + ymShellQuote(d + "/old.txt.gz") + " " +
        ymShellQuote(d + "/old.z"));
    writeFile(d + "/memo.mm", ".P\nA memo about giraffes.\n");
    writeFile(d + "/utf8.txt", "Caf\xc3\xa9 na\xc3\xafve r\xc3\xa9sum\xc3\xa9. Stra\xc3\x9f" "e \xc3\xbc" "ber.\n");
    writeFile(d + "/sub/deep.txt", "Nested folder document about proximity:\nalpha beta gamma delta epsilon.\n");
    writeFile(d + "/logo.rgb", std::string("\x01\xda\x01\x01\x00\x02\x00\x04\x00\x04\x00\x03", 12) +
                                   std::string(500, '\0'));
    writeFile(d + "/blob.bin", std::string("\x7f" "ELF\x02\x01\x01\x00\x00\x00", 10) + std::string(100, '\0'));
    c->shellName = "it's;$(touch PWNED) `x`.1";
    writeFile(d + "/" + c->shellName, ".TH X 1\n.SH NAME\nx \\- shellsafe page\n.SH DESCRIPTION\nPwnedtest.\n");
    writeFile(c->dir.path() + "/catalog.tsv",
              "file\ttype\ttitle\tdate\tmodified\towner\tsecurity\tcomponents\n"
              "fox.txt\t\tThe Fox Story\t1995-01-05\t19950210\talice\t5\tengine parts\n"
              "knowledge.txt\t\t\t19980315\t\tbob\t\t\n"
              "logo.rgb\t11\tLogo image\t\t\talice\t\t\n");
    writeFile(c->settings + "/druskthes.fth", "# synonyms\ncolour, color, hue\n\nmail, post\n");
}

std::string q(const std::string& body, bool thesaurus) {
    std::string s = "\\C2:1>$v \\C3:10";
    s += thesaurus ? ";10:3v \\C\"v druskthes.fth \\C}\n" : "v ";
    return s + "\\C0t \\C0s " + body + "\\C}\n\n";
}

int search(FTAPIH h, const std::vector<FTBH>& bases, const std::string& query, std::vector<Hit>* hits, int* err,
           long maxHits, bool countOnly, long* count) {
    hits->clear();
    *err = 0;
    FTSH sh = nullptr;
    std::vector<FTBH> vec = bases;
    if (ftshstrt(h, vec.data(), int(vec.size()), maxHits, countOnly ? 1032 : 8, query.c_str(), 0, 0, &sh) < 0 ||
        !sh) {
        *err = ftegerr(h);
        return -1;
    }
    _FTSDATA sd;
    int rc;
    while ((rc = ftshresm(h, sh, 1000, 0, &sd)) == 0)
        if (sd.sflags & 1) ftusleep(h, 1000);
    if (rc < 0) {
        *err = ftegerr(h);
        ftshcl(h, sh, 0);
        return rc;
    }
    if (count) *count = sd.sndocs;
    if (countOnly) {
        ftshcl(h, sh, 0);
        return rc;
    }
    long n = 0;
    ftshgi(h, sh, 16, &n);
    static const int kFields[] = {110, 111, 27, 65011, 31, 97, 99, 100, 112, 113};
    std::vector<char> buf(1024 * 100);
    for (long i = 0; i < n;) {
        _FTCINFO info[100];
        _FTCFLDS asked[10];
        for (int f = 0; f < 10; f++) asked[f] = _FTCFLDS{kFields[f], 0, 0, nullptr};
        info[0] = _FTCINFO{0, 10, asked, nullptr};
        long want = std::min(100L, n - i);
        if (ftshcfld(h, sh, i, info, 0, buf.data(), long(buf.size()), 1, &want) != 0 || want <= 0) {
            *err = ftegerr(h);
            ftshcl(h, sh, 0);
            return -1;
        }
        for (long j = 0; j < want; j++) {
            Hit hit;
            if (info[j].cistatus != 0) continue;
            for (int f = 0; f < info[j].cinflds; f++) {
                const _FTCFLDS& x = info[j].cicflds[f];
                std::string v(x.cfbuf, size_t(x.cffldln));
                switch (x.cffldid) {
                    case 110: hit.title = v; break;
                    case 111: hit.code = v; break;
                    case 27: hit.date = v; break;
                    case 31: hit.mdate = v; break;
                    case 65011: hit.score = atol(v.c_str()); break;
                    case 97: hit.owner = v; break;
                    case 99: hit.type = atol(v.c_str()); break;
                    case 100: hit.file = v; break;
                    case 112: hit.security = atol(v.c_str()); break;
                    case 113: hit.comps = v; break;
                }
            }
            int nm = 0;
            if (!ftshgf(h, sh, i + j, &nm)) {
                *err = ftegerr(h);
                ftshcl(h, sh, 0);
                return -1;
            }
            long off = 0;
            ftbhgi(h, bases[0], 16384, &off);
            FTVCC end, start;
            while ((start = ftshrd(h, sh, &end)) != 0x7fffffff && start > 0)
                hit.marks.push_back({start - off, end - start});
            hits->push_back(hit);
        }
        i += want;
    }
    ftshcl(h, sh, 0);
    return rc;
}

std::vector<long> markOffsets(const std::string& text, const std::vector<std::pair<long, long>>& marks) {
    std::vector<long> out;
    for (const auto& m : marks) {
        long visible = -1;
        long at = -1;
        for (size_t i = 0; i < text.size(); i++) {
            unsigned char c = (unsigned char)text[i];
            if (c >= 33 && c <= 126 && ++visible == m.first) {
                at = long(i);
                break;
            }
        }
        out.push_back(at);
    }
    return out;
}

}  // namespace fttest
