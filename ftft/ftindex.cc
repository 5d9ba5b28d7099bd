// ftindex: creates a full-text database from a folder of documents, or
// brings it up to date.
//
//   ftindex [-q] -s SETTINGS_DIR -n NAME -d DOC_DIR [-c CATALOG]
//
// To update a database, the documents are read and formatted first, with no
// lock held; then one transaction removes, replaces and adds them, so that
// searching processes see the old or the new database and an interrupted
// run changes nothing. A new database is built under a temporary name and
// renamed into place; as nobody sees it before, one thread reads and
// formats its documents while another writes them.
#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <string>
#include <vector>

#include "FtCatalog.h"
#include "FtDate.h"
#include "FtFormat.h"
#include "FtStore.h"
#include "FtWriter.h"
#include "YmPlatform.h"

using namespace ft;

namespace {

const char* gProg = "ftindex";
bool gQuiet = false;

int die(const std::string& msg) {
    fprintf(stderr, "%s: %s\n", gProg, msg.c_str());
    return 1;
}

void warn(const std::string& msg) {
    if (!gQuiet) fprintf(stderr, "%s: warning: %s\n", gProg, msg.c_str());
}

double now() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

struct FileInfo {
    std::string rel;
    struct stat st;
};

// Every regular file below dir, names starting with "." left out; links to
// files are followed, links to folders are not (no loops).
void scan(const std::string& root, const std::string& rel, std::vector<FileInfo>* out) {
    std::string dir = root + rel;
    DIR* d = opendir(dir.c_str());
    if (!d) {
        warn("cannot read folder " + dir + ": " + strerror(errno));
        return;
    }
    std::vector<std::string> names;
    while (struct dirent* e = readdir(d))
        if (e->d_name[0] != '.') names.push_back(e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end());
    for (const std::string& n : names) {
        std::string r = rel + n;
        struct stat st;
        if (lstat((root + r).c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            scan(root, r + "/", out);
            continue;
        }
        if (S_ISLNK(st.st_mode) && stat((root + r).c_str(), &st) != 0) continue;
        if (S_ISREG(st.st_mode)) out->push_back({r, st});
    }
}

std::string ownerName(uid_t uid) {
    static std::map<uid_t, std::string> known;  // the user table is read once per owner
    auto it = known.find(uid);
    if (it != known.end()) return it->second;
    struct passwd* pw = getpwuid(uid);
    return known[uid] = pw ? pw->pw_name : std::to_string(uid);
}

std::string absolute(const std::string& p) {
    char buf[PATH_MAX];
    if (!realpath(p.c_str(), buf)) return "";
    return buf;
}

struct Stored {
    long long id, size, mtime, mtimens;
    std::string catsig;
};

class Progress {
public:
    Progress(size_t total) : total_(total), tty_(!gQuiet && isatty(2)), start_(now()) {}
    void tick(size_t done) {
        if (!tty_) return;
        double t = now();
        if (t - last_ < 0.2 && done != total_) return;
        last_ = t;
        double rate = done / std::max(t - start_, 1e-3);
        double left = rate > 0 ? (total_ - done) / rate : 0;
        fprintf(stderr, "\r%s: %zu of %zu documents, %.1f/s, %d:%02d left   ", gProg, done, total_, rate,
                int(left) / 60, int(left) % 60);
        if (done == total_) fputc('\n', stderr);
        fflush(stderr);
    }

private:
    size_t total_;
    bool tty_;
    double start_, last_ = 0;
};

int usage() {
    fprintf(stderr, "usage: %s [-q] -s SETTINGS_DIR -n NAME -d DOC_DIR [-c CATALOG]\n", gProg);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    ymPlatformInit();
    std::string settingsDir, name, docDir, catalogPath;
    int c;
    while ((c = getopt(argc, argv, "qs:n:d:c:")) != -1) {
        switch (c) {
            case 'q': gQuiet = true; break;
            case 's': settingsDir = optarg; break;
            case 'n': name = optarg; break;
            case 'd': docDir = optarg; break;
            case 'c': catalogPath = optarg; break;
            default: return usage();
        }
    }
    if (optind != argc || settingsDir.empty() || name.empty() || docDir.empty()) return usage();
    if (!validName(name.c_str()))
        return die("bad database name \"" + name + "\": use letters, digits, '_' and '-' (at most 63)");
    std::string sdir = absolute(settingsDir);
    struct stat st;
    if (sdir.empty() || stat(sdir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return die("settings folder " + settingsDir + " does not exist");
    std::string ddir = absolute(docDir);
    if (ddir.empty() || stat(ddir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return die("documents folder " + docDir + " does not exist");
    if (ddir.back() != '/') ddir += "/";

    std::map<std::string, CatalogEntry> catalog;
    std::string why;
    if (!catalogPath.empty() && !readCatalog(catalogPath, &catalog, &why)) return die(why);

    std::vector<FileInfo> files;
    scan(ddir, "", &files);
    std::map<std::string, const FileInfo*> byName;
    for (const FileInfo& f : files) byName[f.rel] = &f;
    for (const auto& e : catalog)
        if (!byName.count(e.first))
            return die(catalogPath + ":" + std::to_string(e.second.line) + ": unknown file \"" + e.first + "\"");

    std::string cfgPath = sdir + "/" + name + ".cfg";
    std::string idxPath = sdir + "/" + name + ".ftdb";
    std::string refPath = sdir + "/" + name + ".ref";
    std::string newPath = idxPath + ".new";

    // Open the existing index, or start a new one beside it.
    bool fresh = false;
    int err = 0, sub = 0;
    sqlite3* db = nullptr;
    if (stat(idxPath.c_str(), &st) == 0) {
        db = openIndex(idxPath, true, &err, &sub);
        if (!db) warn(idxPath + " is not a usable index (code " + std::to_string(sub) + "); building it anew");
        if (db && !useWordReplay(db, &why)) {
            sqlite3_close(db);
            return die("cannot write the index: " + why);
        }
    }
    if (!db) {
        fresh = true;
        unlink(newPath.c_str());
        unlink((newPath + "-wal").c_str());
        unlink((newPath + "-shm").c_str());
        db = openIndex(newPath, true, &err, &sub);
        if (!db) return die("cannot create " + newPath);
        if (!useWordReplay(db, &why) || !createSchema(db, &why)) {
            sqlite3_close(db);
            unlink(newPath.c_str());
            return die("cannot create the index: " + why);
        }
    }
    // One large transaction: a page cache that holds it avoids spilling.
    exec(db, "PRAGMA synchronous=NORMAL; PRAGMA cache_size=-131072");
    // A new index is a file nobody reads until it is renamed into place, and
    // an interrupted build is thrown away: it needs no journal. It is put
    // back into WAL mode, durably, before the rename. Its pages are written
    // once and seldom read back, so a small page cache serves: the system's
    // file cache holds them anyway, and fresh memory costs more than the
    // copies.
    if (fresh) exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA cache_size=-2000");

    std::map<std::string, Stored> stored;
    {
        sqlite3_stmt* q = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT id, file, size, mtime, mtimens, catsig FROM docs", -1, &q, nullptr) !=
            SQLITE_OK) {
            sqlite3_close(db);
            return die("cannot read the index: " + std::string(sqlite3_errmsg(db)));
        }
        while (sqlite3_step(q) == SQLITE_ROW) {
            const char* f = reinterpret_cast<const char*>(sqlite3_column_text(q, 1));
            const char* cs = reinterpret_cast<const char*>(sqlite3_column_text(q, 5));
            stored[f ? f : ""] = Stored{sqlite3_column_int64(q, 0), sqlite3_column_int64(q, 2),
                                        sqlite3_column_int64(q, 3), sqlite3_column_int64(q, 4), cs ? cs : ""};
        }
        sqlite3_finalize(q);
    }

    // What to do.
    std::vector<const FileInfo*> todo;
    std::vector<long long> removals;
    size_t changed = 0;
    for (const FileInfo& f : files) {
        auto it = stored.find(f.rel);
        auto ce = catalog.find(f.rel);
        std::string sig = ce == catalog.end() ? "" : ce->second.raw;
        if (it != stored.end()) {
            const Stored& s = it->second;
            if (s.size == f.st.st_size && s.mtime == f.st.st_mtim.tv_sec && s.mtimens == f.st.st_mtim.tv_nsec &&
                s.catsig == sig)
                continue;
            removals.push_back(s.id);
            changed++;
        }
        todo.push_back(&f);
    }
    for (const auto& s : stored)
        if (!byName.count(s.first)) removals.push_back(s.second.id);

    // Documents are read and formatted with no lock held: for an update,
    // all of them first, and then one transaction removes, replaces and adds
    // them. A new index is nobody else's until it is renamed into place, so
    // its documents go in as they are read, one thread reading, formatting
    // and numbering words while the other writes; the buffers of one
    // document serve a later one (fresh memory costs more than the copying
    // it saves).
    double formatTime = 0, t0 = now(), writeTime = 0;
    size_t skipped = 0, textBytes = 0, added = 0;
    // Fills *d with document i of todo; false when it is skipped.
    auto readDoc = [&](size_t i, DocRecord* d, std::string* content) {
        const FileInfo& f = *todo[i];
        std::string path = ddir + f.rel;
        auto ce = catalog.find(f.rel);
        const CatalogEntry* e = ce == catalog.end() ? nullptr : &ce->second;
        std::string err;
        d->file = f.rel;
        // Plain text is read once: for its type and as its text.
        bool haveContent = false;
        if (e && e->hasType) {
            d->type = e->type;
        } else {
            haveContent = f.st.st_size < (64 << 20) && readFile(path, content);
            if (!haveContent) readFile(path, content, 8192);
            d->type = detectType(f.rel, content->substr(0, 8192));
            if (d->type == 0) {
                warn("skipping " + path + ": binary file of no known type");
                skipped++;
                return false;
            }
        }
        double ft0 = now();
        std::string filter = hasText(d->type) ? filterCommand(d->type, path) : "";
        if (haveContent && hasText(d->type) && filter.empty()) {
            d->body.swap(*content);
        } else if (!displayedText(d->type, path, &d->body, &err)) {
            warn("skipping " + path + ": " + err);
            skipped++;
            return false;
        }
        if (!filter.empty()) formatTime += now() - ft0;
        textBytes += d->body.size();
        d->title = e && e->hasTitle ? e->title : deriveTitle(d->type, d->body);
        if (d->title.empty()) d->title = f.rel.substr(f.rel.rfind('/') + 1);
        long fileDate = dateFromUnix(f.st.st_mtim.tv_sec);
        d->date = e && e->hasDate ? e->date : fileDate;
        d->mdate = e && e->hasModified ? e->modified : fileDate;
        d->owner = e && e->hasOwner ? e->owner : ownerName(f.st.st_uid);
        d->security = e && e->hasSecurity ? e->security : 0;
        d->comps = e && e->hasComps ? e->comps : "";
        d->size = f.st.st_size;
        d->mtime = f.st.st_mtim.tv_sec;
        d->mtimens = f.st.st_mtim.tv_nsec;
        d->catsig = e ? e->raw : "";
        added++;
        return true;
    };

    auto w = std::make_unique<Writer>(db, name);
    auto failWrite = [&]() {
        w.reset();
        exec(db, "ROLLBACK");
        sqlite3_close(db);
        if (fresh) unlink(newPath.c_str());
        return die("cannot write the index: " + why);
    };
    Progress progress(todo.size());
    std::vector<DocRecord> docs;
    if (fresh) {
        // Written in one go, the index would only rewrite its segments by
        // merging them as it grows; later updates merge as usual.
        if (!exec(db, "INSERT INTO body(body, rank) VALUES('automerge', 0)", &why) ||
            !exec(db, "BEGIN IMMEDIATE", &why) || !w->loadTerms(&why))
            return failWrite();
        // A ring of slots: the reader fills them in order, the writer
        // empties them in order.
        struct Slot {
            DocRecord d;
            Writer::Indexed x;
            size_t file = 0;
        };
        constexpr size_t kSlots = 8;
        std::vector<Slot> ring(kSlots);
        std::mutex mu;
        std::condition_variable filled, freed;
        size_t produced = 0, consumed = 0;
        bool stop = false, finished = false;
        std::thread reader([&] {
            std::string content;
            for (size_t i = 0; i < todo.size(); i++) {
                size_t at;
                {
                    std::unique_lock<std::mutex> lk(mu);
                    freed.wait(lk, [&] { return stop || produced - consumed < kSlots; });
                    if (stop) break;
                    at = produced % kSlots;
                }
                Slot& sl = ring[at];
                if (!readDoc(i, &sl.d, &content)) continue;
                w->index(sl.d, &sl.x);
                sl.file = i;
                {
                    std::lock_guard<std::mutex> lk(mu);
                    produced++;
                }
                filled.notify_one();
            }
            // While the last documents are written.
            w->gatherTriples();
            {
                std::lock_guard<std::mutex> lk(mu);
                finished = true;
            }
            filled.notify_one();
        });
        bool ok = true;
        for (;;) {
            Slot* sl;
            {
                std::unique_lock<std::mutex> lk(mu);
                filled.wait(lk, [&] { return produced > consumed || finished; });
                if (produced == consumed) break;
                sl = &ring[consumed % kSlots];
            }
            progress.tick(sl->file);
            double w0 = now();
            ok = w->store(sl->d, sl->x, &why);
            writeTime += now() - w0;
            {
                std::lock_guard<std::mutex> lk(mu);
                consumed++;
                stop = !ok;
            }
            freed.notify_one();
            if (!ok) break;
        }
        reader.join();
        if (!ok) return failWrite();
    } else {
        docs.reserve(todo.size());
        DocRecord d;
        std::string content;
        for (size_t i = 0; i < todo.size(); i++) {
            progress.tick(i);
            if (!readDoc(i, &d, &content)) continue;
            docs.push_back(std::move(d));
            d = DocRecord();
        }
    }
    progress.tick(todo.size());

    double w0 = now();
    bool any = fresh || !removals.empty() || added > 0;
    if (any) {
        if (!fresh && !exec(db, "BEGIN IMMEDIATE", &why)) {
            w.reset();
            sqlite3_close(db);
            return die("cannot lock the index: " + why);
        }
        bool ok = true;
        for (long long id : removals)
            if (ok) ok = w->remove(id, &why);
        for (const DocRecord& doc : docs)
            if (ok) ok = w->insert(doc, &why);
        if (ok) ok = w->flushTerms(&why);
        if (!ok || !exec(db, "COMMIT", &why)) return failWrite();
    }
    w.reset();
    writeTime += now() - w0;
    if (fresh && !exec(db,
                       "INSERT INTO body(body, rank) VALUES('automerge', 4);"
                       "PRAGMA synchronous=FULL; PRAGMA journal_mode=WAL",
                       &why)) {
        sqlite3_close(db);
        return die("cannot finish the index: " + why);
    }
    if (sqlite3_close(db) != SQLITE_OK) return die("cannot close the index");

    if (fresh && rename(newPath.c_str(), idxPath.c_str()) != 0) return die("cannot rename " + newPath);
    unlink((newPath + "-wal").c_str());
    unlink((newPath + "-shm").c_str());

    std::string cfg = "# Full-text database " + name + ", written by ftindex.\nPTH=" + ddir + "\nREF=" + refPath +
                      "\nIDX=" + idxPath + "\n";
    std::string old;
    if ((!readFile(cfgPath, &old) || old != cfg) && !writeFileAtomic(cfgPath, cfg))
        return die("cannot write " + cfgPath);
    struct stat rst;
    if ((any || stat(refPath.c_str(), &rst) != 0) && !touchRef(refPath)) return die("cannot touch " + refPath);

    if (!gQuiet) {
        double total = now() - t0;
        fprintf(stderr,
                "%s: %s: %zu added, %zu changed, %zu removed, %zu skipped; %zu documents; %.2f s "
                "(formatters %.2f s, writing %.2f s, %.1f MB/s of text)\n",
                gProg, name.c_str(), added - std::min(added, changed), changed,
                removals.size() - changed, skipped, files.size() - skipped, total, formatTime, writeTime,
                writeTime > 0 ? textBytes / 1e6 / writeTime : 0.0);
    }
    return 0;
}
