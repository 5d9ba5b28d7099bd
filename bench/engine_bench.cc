// The engine benchmark: builds a corpus of real documentation, indexes it
// with ftindex and, side by side, straight into a plain full-text table, then
// times each query class through the engine's interface (driven the way the
// server drives it) and the same work done directly on the plain table, and
// prints the ratios against the goals.
//
//   engine_bench --source DIR --work DIR --ftindex PATH [--reps N] [--index-runs N] [--reuse 1]
//                [--only TEXT]
//
// --index-runs N builds both indexes N times (3), taking turns, and counts
// the best time of each; --reuse 1 keeps the indexes of the last run and
// times the queries only; --only TEXT times only the query classes whose
// names hold TEXT.
// DIR holds .rst and .txt files (also gzip-compressed ones), one document
// each; they are copied, uncompressed, to WORK/docs once.
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "FtStore.h"
#include "FtText.h"
#include "YmPlatform.h"
#include "ftft.h"

namespace {

double nowMs() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

std::string shell(const std::string& cmd, int* status = nullptr) {
    FILE* p = popen(cmd.c_str(), "r");
    std::string out;
    if (!p) return out;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int st = pclose(p);
    if (status) *status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return out;
}

std::string q(const std::string& s) { return ymShellQuote(s); }

struct Doc {
    std::string rel, text, title;
    long date;
};

// A date from the file name, spread over 1990 to 2019.
long pseudoDate(const std::string& rel) {
    unsigned h = 2166136261u;
    for (char c : rel) h = (h ^ (unsigned char)c) * 16777619u;
    return (1990 + long(h % 30)) * 10000 + (1 + long(h / 30 % 12)) * 100 + 1 + long(h / 360 % 28);
}

std::string firstLine(const std::string& t) {
    size_t b = t.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return "";
    size_t e = t.find('\n', b);
    std::string s = t.substr(b, e == std::string::npos ? std::string::npos : e - b);
    return s.size() > 200 ? s.substr(0, 200) : s;
}

void prepareCorpus(const std::string& source, const std::string& work) {
    std::string docs = work + "/docs";
    struct stat st;
    if (stat((work + "/docs.complete").c_str(), &st) == 0) return;
    fprintf(stderr, "engine_bench: copying the corpus from %s\n", source.c_str());
    shell("rm -rf " + q(docs) + " && mkdir -p " + q(docs));
    std::string list = shell("cd " + q(source) +
                             " && find . -type f \\( -name '*.rst' -o -name '*.txt' -o -name '*.rst.gz' -o -name "
                             "'*.txt.gz' \\) | sort");
    std::string catalog = "file\tdate\n";
    size_t pos = 0;
    while (pos < list.size()) {
        size_t eol = list.find('\n', pos);
        std::string f = list.substr(pos + 2, eol - pos - 2);  // without "./"
        pos = eol + 1;
        std::string out = f;
        bool gz = f.size() > 3 && f.compare(f.size() - 3, 3, ".gz") == 0;
        if (gz) out.resize(out.size() - 3);
        std::string dir = out.find('/') == std::string::npos ? "" : out.substr(0, out.rfind('/'));
        std::string cmd = "mkdir -p " + q(docs + "/" + dir) + " && " + (gz ? "gzip -dc " : "cat ") +
                          q(source + "/" + f) + " > " + q(docs + "/" + out);
        if (system(cmd.c_str()) != 0) continue;
        char d[16];
        snprintf(d, sizeof d, "%ld", pseudoDate(out));
        catalog += out + "\t" + d + "\n";
    }
    FILE* c = fopen((work + "/catalog.tsv").c_str(), "w");
    if (c) {
        fwrite(catalog.data(), 1, catalog.size(), c);
        fclose(c);
    }
    shell("touch " + q(work + "/docs.complete"));
}

std::vector<Doc> loadCorpus(const std::string& work) {
    std::vector<Doc> docs;
    std::string list = shell("cd " + q(work + "/docs") + " && find . -type f | sort");
    size_t pos = 0;
    while (pos < list.size()) {
        size_t eol = list.find('\n', pos);
        Doc d;
        d.rel = list.substr(pos + 2, eol - pos - 2);
        pos = eol + 1;
        ft::readFile(work + "/docs/" + d.rel, &d.text);
        d.title = firstLine(d.text);
        d.date = pseudoDate(d.rel);
        docs.push_back(std::move(d));
    }
    return docs;
}

struct Stats {
    double median = 0, p95 = 0;
};

Stats stats(std::vector<double> v) {
    Stats s;
    if (v.empty()) return s;
    std::sort(v.begin(), v.end());
    s.median = v[v.size() / 2];
    s.p95 = v[std::min(v.size() - 1, size_t(double(v.size()) * 0.95))];
    return s;
}

// The sum of the positions (visible characters before the word, plus one)
// of the words of text equal to one of words or starting with one of
// prefixes (all lower-case), found by tokenizing the text again.
long markSum(const char* t, size_t len, const std::vector<std::string>& words,
             const std::vector<std::string>& prefixes) {
    auto wanted = [&](const char* w, size_t n) {
        for (const std::string& x : words)
            if (n == x.size() && strncasecmp(w, x.c_str(), n) == 0) return true;
        for (const std::string& x : prefixes)
            if (n >= x.size() && strncasecmp(w, x.c_str(), x.size()) == 0) return true;
        return false;
    };
    long marks = 0;
    size_t visible = 0, last = 0;
    ft::forEachWord(t, len, [&](size_t s, size_t e) {
        for (size_t k = last; k < s; k++) visible += ft::isVisible((unsigned char)t[k]);
        last = s;
        if (wanted(t + s, e - s)) marks += long(visible) + 1;
    });
    return marks;
}

// ---- the plain full-text table ----

struct Raw {
    sqlite3* db = nullptr;
    double fetchMs = 0;  // hundred's time after the search

    void check(int rc, const char* what) {
        if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
            fprintf(stderr, "engine_bench: %s: %s\n", what, sqlite3_errmsg(db));
            exit(1);
        }
    }

    // Rows of "SELECT rowid, ...": kept up to max, all counted.
    long rows(const std::string& sql, const std::vector<std::string>& text, long num = 0, long max = 1000) {
        sqlite3_stmt* st;
        check(sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), sql.c_str());
        int i = 1;
        for (const std::string& t : text) sqlite3_bind_text(st, i++, t.c_str(), -1, SQLITE_TRANSIENT);
        if (num) sqlite3_bind_int64(st, i, num);
        std::vector<sqlite3_int64> kept;
        long n = 0;
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            if (long(kept.size()) < max) kept.push_back(sqlite3_column_int64(st, 0));
            n++;
        }
        check(rc, sql.c_str());
        sqlite3_finalize(st);
        return n;
    }

    std::string match(const std::string& m) { return m; }

    long ranked(const std::string& m) {
        return rows("SELECT rowid, rank FROM raw WHERE raw MATCH ? ORDER BY rank LIMIT 1000", {m});
    }

    // A wildcard through a scan of the word list, then the words ORed.
    long wildcard(const std::string& glob) {
        sqlite3_stmt* st;
        check(sqlite3_prepare_v2(db, "SELECT term FROM rawterms WHERE term GLOB ?", -1, &st, nullptr), "vocab");
        sqlite3_bind_text(st, 1, glob.c_str(), -1, SQLITE_TRANSIENT);
        std::string m;
        while (sqlite3_step(st) == SQLITE_ROW)
            m += (m.empty() ? "\"" : " OR \"") + std::string((const char*)sqlite3_column_text(st, 0)) + "\"";
        sqlite3_finalize(st);
        if (m.empty()) return 0;
        return ranked(m);
    }

    // The first 100 hits with their fields, and the positions of the query
    // words found by tokenizing each stored text again: the words equal to
    // one of words or starting with one of prefixes (all lower-case).
    long hundred(const std::string& m, const std::vector<std::string>& words,
                 const std::vector<std::string>& prefixes = {}) {
        sqlite3_stmt *st, *f, *b;
        check(sqlite3_prepare_v2(db, "SELECT rowid FROM raw WHERE raw MATCH ? ORDER BY rank LIMIT 100", -1, &st,
                                 nullptr),
              "hundred");
        check(sqlite3_prepare_v2(db, "SELECT file, title, date FROM rawdocs WHERE id = ?", -1, &f, nullptr), "f");
        check(sqlite3_prepare_v2(db, "SELECT body FROM raw WHERE rowid = ?", -1, &b, nullptr), "b");
        sqlite3_bind_text(st, 1, m.c_str(), -1, SQLITE_TRANSIENT);
        long marks = 0;
        std::string fields;
        // The search's time is that of stepping st (the first step ranks
        // every match); the rest is the fetching.
        double t0 = nowMs(), searchMs = 0;
        for (;;) {
            double s0 = nowMs();
            int rc = sqlite3_step(st);
            searchMs += nowMs() - s0;
            if (rc != SQLITE_ROW) break;
            sqlite3_int64 id = sqlite3_column_int64(st, 0);
            sqlite3_bind_int64(f, 1, id);
            if (sqlite3_step(f) == SQLITE_ROW)
                for (int c = 0; c < 3; c++) fields.assign((const char*)sqlite3_column_text(f, c));
            sqlite3_reset(f);
            sqlite3_bind_int64(b, 1, id);
            if (sqlite3_step(b) == SQLITE_ROW) {
                const char* t = (const char*)sqlite3_column_text(b, 0);
                marks += markSum(t, size_t(sqlite3_column_bytes(b, 0)), words, prefixes);
            }
            sqlite3_reset(b);
        }
        fetchMs = nowMs() - t0 - searchMs;
        sqlite3_finalize(st);
        sqlite3_finalize(f);
        sqlite3_finalize(b);
        return marks;
    }
};

// ---- the engine, driven as the server drives it ----

struct Engine {
    FTAPIH h = nullptr;
    FTBH base = 0;
    double fetchMs = 0;  // run's time for fields and positions, after the search
    // With fetch: each hit's file and the sum of the positions marked in it.
    std::vector<std::pair<std::string, long>> hits;

    long run(const std::string& body, long maxHits = 0, bool count = false, bool fetch = false) {
        std::string query = "\\C2:1>$v \\C3:10v \\C0t \\C0s " + body + "\\C}\n\n";
        FTSH sh = nullptr;
        if (ftshstrt(h, &base, 1, maxHits, count ? 1032 : 8, query.c_str(), 0, 0, &sh) < 0) {
            fprintf(stderr, "engine_bench: search failed to start (%d): %s\n", ftegerr(h), body.c_str());
            exit(1);
        }
        _FTSDATA sd;
        int rc;
        while ((rc = ftshresm(h, sh, 1000, 0, &sd)) == 0)
            if (sd.sflags & FTSF_WAIT) ftusleep(h, 1000);
        if (rc < 0) {
            fprintf(stderr, "engine_bench: search failed (%d): %s\n", ftegerr(h), body.c_str());
            exit(1);
        }
        long n = sd.sndocs;
        if (!count) ftshgi(h, sh, FTSI_HITS, &n);
        if (fetch) {
            double t0 = nowMs();
            static const int kFields[] = {110, 111, 27, 65011, 31, 97, 99, 100, 112, 113};
            static std::vector<char> buf(1024 * 100);
            _FTCINFO info[100];
            _FTCFLDS asked[10];
            for (int f = 0; f < 10; f++) asked[f] = _FTCFLDS{kFields[f], 0, 0, nullptr};
            info[0] = _FTCINFO{0, 10, asked, nullptr};
            long want = std::min(100L, n);
            if (want > 0 && ftshcfld(h, sh, 0, info, 0, buf.data(), long(buf.size()), 1, &want) != 0) exit(1);
            long marks = 0;
            std::vector<long> perHit;
            for (long i = 0; i < want; i++) {
                int nm;
                if (!ftshgf(h, sh, i, &nm)) exit(1);
                FTVCC end, s;
                long sum = 0;
                while ((s = ftshrd(h, sh, &end)) != FTVCC_END && s > 0) sum += s;
                perHit.push_back(sum);
                marks += sum;
            }
            n = marks;
            fetchMs = nowMs() - t0;
            hits.clear();
            for (long i = 0; i < want; i++) {
                std::string file;
                for (int f = 0; f < info[i].cinflds; f++)
                    if (info[i].cicflds[f].cffldid == 100 && info[i].cicflds[f].cfbuf)
                        file = info[i].cicflds[f].cfbuf;
                hits.push_back({file, perHit[size_t(i)]});
            }
        }
        ftshcl(h, sh, 0);
        return n;
    }
};

struct Row {
    std::string name;
    Stats ours, raw;
    std::string goal;
    bool met;
};

}  // namespace

int main(int argc, char** argv) {
    std::string source, work, ftindex;
    int reps = 15, indexRuns = 3;
    bool reuse = false;
    std::string only;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string a = argv[i];
        if (a == "--source") source = argv[i + 1];
        else if (a == "--work") work = argv[i + 1];
        else if (a == "--ftindex") ftindex = argv[i + 1];
        else if (a == "--reps") reps = atoi(argv[i + 1]);
        else if (a == "--index-runs") indexRuns = std::max(1, atoi(argv[i + 1]));
        else if (a == "--reuse") reuse = atoi(argv[i + 1]) != 0;
        else if (a == "--only") only = argv[i + 1];
    }
    if (source.empty() || work.empty() || ftindex.empty()) {
        fprintf(stderr, "usage: engine_bench --source DIR --work DIR --ftindex PATH [--reps N] [--index-runs N] [--reuse 1]"
                        " [--only TEXT]\n");
        return 2;
    }
    ymPlatformInit();
    shell("mkdir -p " + q(work));
    prepareCorpus(source, work);
    std::vector<Doc> corpus = loadCorpus(work);
    size_t bytes = 0;
    std::map<std::string, const std::string*> texts;  // by file name
    for (const Doc& d : corpus) {
        bytes += d.text.size();
        texts[d.rel] = &d.text;
    }
    fprintf(stderr, "engine_bench: %zu documents, %.1f MB\n", corpus.size(), bytes / 1e6);

    std::string rawPath = work + "/raw.db";
    std::string settings = work + "/settings";
    struct stat st;
    reuse = reuse && stat(rawPath.c_str(), &st) == 0 && stat((settings + "/bench.ftdb").c_str(), &st) == 0;
    Raw raw;
    double rawIndexMs = 0, oursIndexMs = 0, formatters = 0;
    // Indexing, timed from start to end of each side, both from the files
    // on disk. The machine may be busy with other work: the two sides take
    // turns, several times, and the best time of each counts.
    // The plain table: read the files and insert them, one transaction.
    auto indexRaw = [&]() {
        sqlite3_close(raw.db);
        raw.db = nullptr;
        shell("rm -f " + q(rawPath) + "*");
        double t0 = nowMs();
        sqlite3_open(rawPath.c_str(), &raw.db);
        ft::exec(raw.db,
                 "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
                 "CREATE VIRTUAL TABLE raw USING fts5(body, title, tokenize='ascii');"
                 "INSERT INTO raw(raw, rank) VALUES('rank', 'bm25(1.0, 4.0)');"
                 "CREATE TABLE rawdocs(id INTEGER PRIMARY KEY, file TEXT, title TEXT, date INTEGER);"
                 "CREATE VIRTUAL TABLE rawv USING fts5vocab(raw, 'row');");
        std::vector<Doc> fresh = loadCorpus(work);  // the reading is part of the work
        ft::exec(raw.db, "BEGIN");
        sqlite3_stmt *ins, *insd;
        sqlite3_prepare_v2(raw.db, "INSERT INTO raw(rowid, body, title) VALUES(?,?,?)", -1, &ins, nullptr);
        sqlite3_prepare_v2(raw.db, "INSERT INTO rawdocs VALUES(?,?,?,?)", -1, &insd, nullptr);
        long id = 1;
        for (const Doc& d : fresh) {
            sqlite3_bind_int64(ins, 1, id);
            // A terminated text is read in place, one bound with its length
            // is copied first: the fastest binding the text allows.
            if (memchr(d.text.data(), '\0', d.text.size()))
                sqlite3_bind_text(ins, 2, d.text.data(), int(d.text.size()), SQLITE_STATIC);
            else
                sqlite3_bind_text(ins, 2, d.text.c_str(), -1, SQLITE_STATIC);
            sqlite3_bind_text(ins, 3, d.title.c_str(), -1, SQLITE_STATIC);
            raw.check(sqlite3_step(ins), "insert");
            sqlite3_reset(ins);
            sqlite3_bind_int64(insd, 1, id);
            sqlite3_bind_text(insd, 2, d.rel.c_str(), -1, SQLITE_STATIC);
            sqlite3_bind_text(insd, 3, d.title.c_str(), -1, SQLITE_STATIC);
            sqlite3_bind_int64(insd, 4, d.date);
            raw.check(sqlite3_step(insd), "insert");
            sqlite3_reset(insd);
            id++;
        }
        sqlite3_finalize(ins);
        sqlite3_finalize(insd);
        ft::exec(raw.db, "COMMIT");
        ft::exec(raw.db, "PRAGMA wal_checkpoint(TRUNCATE)");
        return nowMs() - t0;
    };
    // ftindex from scratch, as a user runs it; *fmt gets the formatters' time
    // it reports.
    auto indexOurs = [&](double* fmt) {
        shell("rm -rf " + q(settings) + " && mkdir -p " + q(settings));
        double t0 = nowMs();
        int status = 0;
        std::string out = shell(q(ftindex) + " -s " + q(settings) + " -n bench -d " + q(work + "/docs") + " -c " +
                                    q(work + "/catalog.tsv") + " 2>&1",
                                &status);
        double ms = nowMs() - t0;
        if (status != 0) {
            fprintf(stderr, "engine_bench: ftindex failed:\n%s", out.c_str());
            exit(1);
        }
        size_t fp = out.find("formatters ");
        *fmt = fp == std::string::npos ? 0 : atof(out.c_str() + fp + 11) * 1000;
        return ms;
    };
    if (reuse) {
        sqlite3_open(rawPath.c_str(), &raw.db);
    } else {
        for (int run = 0; run < indexRuns; run++) {
            double r = indexRaw(), f = 0, o = indexOurs(&f);
            fprintf(stderr, "engine_bench: indexing run %d: raw %.0f ms, engine %.0f ms (formatters %.0f ms)\n",
                    run + 1, r, o, f);
            if (run == 0 || r < rawIndexMs) rawIndexMs = r;
            if (run == 0 || o - f < oursIndexMs - formatters) {
                oursIndexMs = o;
                formatters = f;
            }
        }
        ft::exec(raw.db, "PRAGMA wal_checkpoint(TRUNCATE)");
        // The plain way to find words for a wildcard: a list of all words, scanned.
        ft::exec(raw.db, "CREATE TABLE rawterms AS SELECT term FROM rawv");
        ft::exec(raw.db, "PRAGMA wal_checkpoint(TRUNCATE)");
    }

    // The plain index without its word list, which only the wildcard
    // baseline uses.
    sqlite3_stmt* sz = nullptr;
    double rawSize = 0;
    if (sqlite3_prepare_v2(raw.db, "SELECT sum(pgsize) FROM dbstat WHERE name NOT LIKE 'rawterms%'", -1, &sz,
                           nullptr) == SQLITE_OK &&
        sqlite3_step(sz) == SQLITE_ROW)
        rawSize = sqlite3_column_double(sz, 0);
    sqlite3_finalize(sz);
    if (rawSize == 0) {
        stat(rawPath.c_str(), &st);
        rawSize = double(st.st_size);
    }
    stat((settings + "/bench.ftdb").c_str(), &st);
    double oursSize = double(st.st_size);

    Engine eng;
    long opts[3] = {4, 0, -1};
    setenv("FULSEARCH", settings.c_str(), 1);
    if (ftapiini(nullptr, nullptr, opts, 3, &eng.h) != 0 || !(eng.base = ftbxop(eng.h, "bench", "r"))) {
        fprintf(stderr, "engine_bench: cannot open the index (%d)\n", ftegerr(eng.h));
        return 1;
    }

    struct Class {
        const char* name;
        std::vector<std::function<long()>> ours, raw;
        double goal;  // ratio; 0: the general goal
        bool fetchOnly = false;  // times only the fields and positions after the search
        // The positions classes: per query, the words and prefixes whose
        // every occurrence the engine must mark in each hit.
        std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> marked = {};
    };
    std::vector<Class> classes = {
        {"single word",
         {[&] { return eng.run("SCHEDULER "); }, [&] { return eng.run("WATCHDOG "); },
          [&] { return eng.run("FIRMWARE "); }},
         {[&] { return raw.ranked("\"scheduler\""); }, [&] { return raw.ranked("\"watchdog\""); },
          [&] { return raw.ranked("\"firmware\""); }},
         0},
        {"AND",
         {[&] { return eng.run("\\C0t MEMORY ALLOCATION \\C}\n"); },
          [&] { return eng.run("\\C0t TIMER INTERRUPT \\C}\n"); }},
         {[&] { return raw.ranked("\"memory\" AND \"allocation\""); },
          [&] { return raw.ranked("\"timer\" AND \"interrupt\""); }},
         0},
        {"OR",
         {[&] { return eng.run("\\C0u MUTEX SPINLOCK \\C}\n"); },
          [&] { return eng.run("\\C0u WATCHDOG HUGEPAGE \\C}\n"); }},
         {[&] { return raw.ranked("\"mutex\" OR \"spinlock\""); },
          [&] { return raw.ranked("\"watchdog\" OR \"hugepage\""); }},
         0},
        {"A NOT B",
         {[&] { return eng.run("\\C0t INTERRUPT \\C0x TIMER \\C}\n"); },
          [&] { return eng.run("\\C0t FIRMWARE \\C0x USB \\C}\n"); }},
         {[&] { return raw.ranked("\"interrupt\" NOT \"timer\""); },
          [&] { return raw.ranked("\"firmware\" NOT \"usb\""); }},
         0},
        {"unary NOT",
         {[&] { return eng.run("\\C0x INTERRUPT "); }},
         {[&] {
             return raw.rows("SELECT rowid FROM raw WHERE rowid NOT IN (SELECT rowid FROM raw WHERE raw MATCH ?)",
                             {"\"interrupt\""});
         }},
         0},
        {"phrase",
         {[&] { return eng.run("\\Cp PAGE TABLE \\C}\n"); }, [&] { return eng.run("\\Cp DEVICE TREE \\C}\n"); }},
         {[&] { return raw.ranked("\"page table\""); }, [&] { return raw.ranked("\"device tree\""); }},
         0},
        {"proximity",
         {[&] { return eng.run("\\C5y DEVICE DRIVER \\C}\n"); }, [&] { return eng.run("\\C3y LOCK CONTENTION \\C}\n"); }},
         {[&] { return raw.ranked("NEAR(\"device\" \"driver\", 5)"); },
          [&] { return raw.ranked("NEAR(\"lock\" \"contention\", 3)"); }},
         0},
        {"prefix wildcard",
         {[&] { return eng.run("SCHED\\C-w  "); }, [&] { return eng.run("WATCHD\\C-w  "); }},
         {[&] { return raw.ranked("\"sched\" *"); }, [&] { return raw.ranked("\"watchd\" *"); }},
         0},
        {"inner wildcard",
         {[&] { return eng.run("SCH\\C-w LER "); }, [&] { return eng.run("\\C-w ALLOC\\C-w  "); }},
         {[&] { return raw.wildcard("sch*ler"); }, [&] { return raw.wildcard("*alloc*"); }},
         0.3},
        {"? wildcard",
         {[&] { return eng.run("DEV\\C!w CE "); }, [&] { return eng.run("M\\C!w TEX "); }},
         {[&] { return raw.wildcard("dev?ce"); }, [&] { return raw.wildcard("m?tex"); }},
         0.3},
        {"date range with a word",
         {[&] { return eng.run("FIRMWARE \\C27s \\C>z 20100101\\C}\n"); }},
         {[&] {
             return raw.rows(
                 "SELECT r.rowid, r.rank FROM raw r JOIN rawdocs d ON d.id = r.rowid WHERE raw MATCH ? AND "
                 "d.date > ? ORDER BY r.rank LIMIT 1000",
                 {"\"firmware\""}, 20100101);
         }},
         0},
        {"count only",
         {[&] { return eng.run("INTERRUPT ", 0, true); }, [&] { return eng.run("FIRMWARE ", 0, true); }},
         {[&] { return raw.rows("SELECT count(*) FROM raw WHERE raw MATCH ?", {"\"interrupt\""}); },
          [&] { return raw.rows("SELECT count(*) FROM raw WHERE raw MATCH ?", {"\"firmware\""}); }},
         0},
        {"100 hits, fields, positions",
         {[&] { return eng.run("INTERRUPT ", 100, false, true); }, [&] { return eng.run("FIRMWARE ", 100, false, true); }},
         {[&] { return raw.hundred("\"interrupt\"", {"interrupt"}); },
          [&] { return raw.hundred("\"firmware\"", {"firmware"}); }},
         0.5,
         false,
         {{{"interrupt"}, {}}, {{"firmware"}, {}}}},
        // Queries that match nearly every document: positions must cost the
        // same per hit however many documents match. The search itself (a
        // short prefix over every document takes most of the time) is the
        // same work on both sides and is left out.
        {"fields, positions: most docs",
         {[&] { return eng.run("THE ", 100, false, true); },
          [&] { return eng.run("\\C0u KERNEL CO\\C-w  \\C}\n", 100, false, true); }},
         {[&] { return raw.hundred("\"the\"", {"the"}); },
          [&] { return raw.hundred("\"kernel\" OR \"co\" *", {"kernel"}, {"co"}); }},
         0.5,
         true,
         {{{"the"}, {}}, {{"kernel"}, {"co"}}}},
    };

    std::vector<Row> rows;
    for (Class& c : classes) {
        if (std::string(c.name).find(only) == std::string::npos) continue;
        std::vector<double> o, r;
        // Warm up. In the positions classes each hit's marks must be the
        // places found by tokenizing that document again.
        for (size_t i = 0; i < c.ours.size(); i++) {
            c.ours[i]();
            if (i < c.raw.size()) c.raw[i]();
            if (i >= c.marked.size()) continue;
            for (const auto& hit : eng.hits) {
                auto doc = texts.find(hit.first);
                long want = doc == texts.end() ? -1
                                               : markSum(doc->second->data(), doc->second->size(),
                                                         c.marked[i].first, c.marked[i].second);
                if (hit.second != want)
                    fprintf(stderr, "engine_bench: %s, query %zu: the engine marks other places in %s\n", c.name,
                            i + 1, hit.first.c_str());
            }
        }
        for (int rep = 0; rep < reps; rep++) {
            for (auto& f : c.ours) {
                double s = nowMs();
                f();
                o.push_back(c.fetchOnly ? eng.fetchMs : nowMs() - s);
            }
            for (auto& f : c.raw) {
                double s = nowMs();
                f();
                r.push_back(c.fetchOnly ? raw.fetchMs : nowMs() - s);
            }
        }
        Row row{c.name, stats(o), stats(r), "", false};
        if (c.goal > 0) {
            char g[32];
            snprintf(g, sizeof g, "<= %.1fx", c.goal);
            row.goal = g;
            row.met = row.ours.median <= c.goal * row.raw.median;
        } else {
            row.goal = "<= 1.2x";
            double limit = row.raw.median < 0.25 ? std::max(1.2 * row.raw.median, row.raw.median + 0.05)
                                                 : 1.2 * row.raw.median;
            row.met = row.ours.median <= limit;
        }
        rows.push_back(row);
    }

    printf("Engine benchmark: %zu documents, %.1f MB of text, %d repetitions a query\n\n", corpus.size(), bytes / 1e6,
           reps);
    double oursRate = bytes / 1e6 / ((oursIndexMs - formatters) / 1000);
    double rawRate = bytes / 1e6 / (rawIndexMs / 1000);
    printf("%-30s %12s %12s %8s  %s\n", "", "engine", "raw FTS5", "ratio", "goal");
    if (!reuse) {
        printf("%-30s %9.1f MB/s %7.1f MB/s %8.2f  %s %s\n", "indexing rate (formatters apart)", oursRate, rawRate,
               oursRate / rawRate, ">= 0.8x", oursRate >= 0.8 * rawRate ? "met" : "MISSED");
        printf("%-30s %9.1f s %10s\n", "  formatters", formatters / 1000, "-");
    }
    printf("%-30s %9.1f MB %9.1f MB %8.2f\n", "index size", oursSize / 1e6, rawSize / 1e6, oursSize / rawSize);
    printf("\n%-30s %8s %8s %8s %8s %8s  %s\n", "query class (ms)", "median", "p95", "raw med", "raw p95", "ratio",
           "goal");
    for (const Row& r : rows)
        printf("%-30s %8.3f %8.3f %8.3f %8.3f %8.2f  %s %s\n", r.name.c_str(), r.ours.median, r.ours.p95,
               r.raw.median, r.raw.p95, r.raw.median > 0 ? r.ours.median / r.raw.median : 0, r.goal.c_str(),
               r.met ? "met" : "MISSED");
    ftapitrm(eng.h);
    sqlite3_close(raw.db);
    return 0;
}
