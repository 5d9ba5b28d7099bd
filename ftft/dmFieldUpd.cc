// dmFieldUpd: sets a catalogue field of one document of a full-text
// database.
//
//   dmFieldUpd -c NAME -d FILE -f FTSECURE -v N
//
// FILE is the document's full path as a hit shows it: the database's PTH
// followed by the document's relative name. The database is found through
// FULSEARCH (else FULPATH), as the server finds it.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "FtStore.h"
#include "FtWriter.h"

using namespace ft;

namespace {

int die(const std::string& msg) {
    fprintf(stderr, "dmFieldUpd: %s\n", msg.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::string name, file, field, value;
    int c;
    while ((c = getopt(argc, argv, "c:d:f:v:")) != -1) {
        switch (c) {
            case 'c': name = optarg; break;
            case 'd': file = optarg; break;
            case 'f': field = optarg; break;
            case 'v': value = optarg; break;
            default: return die("usage: dmFieldUpd -c NAME -d FILE -f FTSECURE -v N");
        }
    }
    if (optind != argc || name.empty() || file.empty() || field.empty() || value.empty())
        return die("usage: dmFieldUpd -c NAME -d FILE -f FTSECURE -v N");
    if (field != "FTSECURE") return die("unknown field \"" + field + "\"");
    char* end = nullptr;
    errno = 0;
    long v = strtol(value.c_str(), &end, 10);
    if (errno || *end || v < -2147483647L || v > 2147483647L) return die("bad value \"" + value + "\"");
    if (!validName(name.c_str())) return die("bad database name \"" + name + "\"");
    std::string cfg = findSettings(name);
    if (cfg.empty()) return die("unknown database \"" + name + "\"");
    std::string text;
    if (!readFile(cfg, &text, 1 << 20)) return die("cannot read " + cfg);
    std::string pth = settingsValue(text, "PTH");
    std::string ref = settingsValue(text, "REF");
    if (pth.empty()) return die(cfg + " has no PTH");
    if (file.compare(0, pth.size(), pth) != 0 || file.size() == pth.size())
        return die("unknown document \"" + file + "\" in database " + name);
    std::string rel = file.substr(pth.size());

    int err, sub;
    sqlite3* db = openIndex(indexPathOf(cfg, text), true, &err, &sub);
    if (!db) return die("cannot open the index of " + name);
    std::string why;
    bool found = false;
    bool ok = exec(db, "BEGIN IMMEDIATE", &why);
    if (ok) {
        Writer w(db, name);
        ok = w.setSecurity(rel, v, &found, &why);
    }
    if (ok && found) ok = exec(db, "COMMIT", &why);
    else exec(db, "ROLLBACK");
    sqlite3_close(db);
    if (!ok) return die("cannot update " + name + ": " + why);
    if (!found) return die("unknown document \"" + file + "\" in database " + name);
    if (!ref.empty() && !touchRef(ref)) return die("cannot touch " + ref);
    return 0;
}
