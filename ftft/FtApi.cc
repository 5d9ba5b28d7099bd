// The engine's C interface (ftft.h): engine, base and search handles over the
// index files of FtStore, queries through FtQuery and FtCompile.
//
// A search runs in slices: ftshresm does at most about the asked-for amount
// of work (reading the vocabulary for wildcards, then stepping the search
// statement of each base) and returns; the statement stays open between
// calls, so the search sees one snapshot of each base. Hits are kept in a
// bounded heap by score. Match positions are computed only for the hit the
// caller asks for, from the document's stored position map alone (its words
// by number and where each one stands) and the query's text side (FtMatch.h),
// so that a hit costs the same however many documents match.
#include <pthread.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <cmath>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "FtCompile.h"
#include "FtDate.h"
#include "FtMatch.h"
#include "FtQuery.h"
#include "FtStore.h"
#include "FtText.h"
#include "FtVocab.h"
#include "ftft.h"

using namespace ft;

namespace {

struct LastError {
    int err = 0, sub = 0, who = 0;
} gErr;

void setErr(int err, int who, int sub = 0) {
    gErr.err = err;
    gErr.who = who;
    gErr.sub = sub;
}

void clearErr() { gErr = LastError(); }

// The process id without a system call per use: kept up to date in forked
// children by a fork handler.
pid_t gPid = 0;

void afterFork() { gPid = getpid(); }

pid_t currentPid() {
    if (gPid == 0) {
        gPid = getpid();
        pthread_atfork(nullptr, nullptr, afterFork);
    }
    return gPid;
}

// BM25 exactly as the full-text layer computes it (k1 1.2, b 0.75, the
// arguments as column weights, negated so that lower is better), but with
// each document's length taken from memory instead of a lookup per row.
struct RankData {
    int nPhrase = 0;
    double avgdl = 1;
    std::vector<double> idf, freq;
};

int countHits(const Fts5ExtensionApi*, Fts5Context*, void* n) {
    ++*static_cast<sqlite3_int64*>(n);
    return SQLITE_OK;
}

void freeRankData(void* p) { delete static_cast<RankData*>(p); }

void ftrankFunction(const Fts5ExtensionApi* api, Fts5Context* fts, sqlite3_context* ctx, int nVal,
                    sqlite3_value** vals) {
    auto* data = static_cast<RankData*>(api->xGetAuxdata(fts, 0));
    if (!data) {
        data = new RankData;
        sqlite3_int64 nRow = 0, nTok = 0;
        if (api->xRowCount(fts, &nRow) != SQLITE_OK || api->xColumnTotalSize(fts, -1, &nTok) != SQLITE_OK) {
            delete data;
            sqlite3_result_error(ctx, "ftrank: no statistics", -1);
            return;
        }
        data->avgdl = nRow > 0 ? double(nTok) / double(nRow) : 1;
        if (data->avgdl <= 0) data->avgdl = 1;
        data->nPhrase = api->xPhraseCount(fts);
        for (int i = 0; i < data->nPhrase; i++) {
            sqlite3_int64 hits = 0;
            api->xQueryPhrase(fts, i, &hits, countHits);
            double idf = log((double(nRow) - double(hits) + 0.5) / (double(hits) + 0.5));
            data->idf.push_back(idf <= 0.0 ? 1e-6 : idf);
        }
        data->freq.assign(size_t(data->nPhrase), 0.0);
        if (api->xSetAuxdata(fts, data, freeRankData) != SQLITE_OK) {
            sqlite3_result_error(ctx, "ftrank: no memory", -1);
            return;
        }
    }
    std::fill(data->freq.begin(), data->freq.end(), 0.0);
    int nInst = 0;
    api->xInstCount(fts, &nInst);
    for (int i = 0; i < nInst; i++) {
        int ip, ic, io;
        if (api->xInst(fts, i, &ip, &ic, &io) != SQLITE_OK || ip < 0 || ip >= data->nPhrase) continue;
        data->freq[size_t(ip)] += nVal > ic ? sqlite3_value_double(vals[ic]) : 1.0;
    }
    const auto* lengths = static_cast<const std::vector<uint32_t>*>(api->xUserData(fts));
    sqlite3_int64 id = api->xRowid(fts);
    double len;
    if (lengths && id >= 0 && size_t(id) < lengths->size() && (*lengths)[size_t(id)] != 0) {
        len = double((*lengths)[size_t(id)] - 1);
    } else {
        int n = 0;
        api->xColumnSize(fts, -1, &n);
        len = n;
    }
    const double k1 = 1.2, b = 0.75;
    double score = 0;
    for (int i = 0; i < data->nPhrase; i++) {
        double f = data->freq[size_t(i)];
        score += data->idf[size_t(i)] * (f * (k1 + 1.0)) / (f + k1 * (1 - b + b * len / data->avgdl));
    }
    sqlite3_result_double(ctx, -score);
}

// lengths: the base's table of words per document, for ftrank.
bool registerFunctions(sqlite3* db, void* lengths) {
    fts5_api* api = fts5Api(db);
    if (!api) return false;
    return api->xCreateFunction(api, "ftrank", lengths, ftrankFunction, nullptr) == SQLITE_OK;
}

struct Base {
    std::string name, cfgPath, dir, idxPath;
    bool write = false;
    sqlite3* db = nullptr;
    pid_t pid = 0;
    sqlite3_stmt* fieldsSt = nullptr;
    sqlite3_stmt* mapSt = nullptr;
    sqlite3_stmt* termSt = nullptr;
    TermCache terms;  // the words of the base, as positions need them
    // Match positions' working memory, kept from search to search: fresh
    // memory for every search costs more than the work itself. idClass holds,
    // by word number, the serial of the search that classified the word (high
    // half) and the word's class in that search (low half).
    struct {
        std::vector<uint32_t> idClass;
        uint16_t serial = 0;              // the last search's
        std::vector<uint32_t> text, title;  // the classes of the hit's words
        std::vector<MapWord> placed;      // the hit's text words of a class, index in id
        std::vector<uint32_t> classed;    // their indices
        std::vector<uint32_t> marked;
    } pos;
    std::string thesPath;
    time_t thesTime = -1;
    Thesaurus thes;
    int readers = 0;  // searches that hold the read transaction
    std::vector<uint32_t> lengths;  // words of text and title, by document id
    sqlite3_int64 lengthsTo = 0;    // ids up to here are loaded
    // The number of documents, counted again only once another connection
    // has changed the base (counting reads the whole catalogue, and the
    // server asks before every search).
    long docs = 0;
    sqlite3_int64 docsVersion = -1;  // the data version counted; -1: none

    // A number that changes whenever another connection commits a change;
    // -1 when unknown.
    sqlite3_int64 dataVersion() {
        sqlite3_int64 v = -1;
        scalar(db, "PRAGMA data_version", &v);
        return v;
    }

    // Documents only ever gain ids, so the table grows by the new ones.
    void loadLengths() {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT id, ntok FROM docs WHERE id > ? ORDER BY id", -1, &st, nullptr) !=
            SQLITE_OK)
            return;
        sqlite3_bind_int64(st, 1, lengthsTo);
        while (sqlite3_step(st) == SQLITE_ROW) {
            sqlite3_int64 id = sqlite3_column_int64(st, 0);
            if (id >= kMaxLengthId) break;  // the rest is measured row by row
            if (size_t(id) >= lengths.size()) lengths.resize(size_t(id) + 1 + size_t(id) / 2, 0);
            lengths[size_t(id)] = uint32_t(sqlite3_column_int64(st, 1)) + 1;  // 0: unknown
            lengthsTo = id;
        }
        sqlite3_finalize(st);
    }
    static constexpr sqlite3_int64 kMaxLengthId = 64 << 20;

    // A search reads one snapshot from its start to its release, so that its
    // hits, fields and positions all belong to the same version of the base.
    void beginRead() {
        if (readers++ == 0) exec(db, "BEGIN");
    }
    void endRead() {
        if (readers > 0 && --readers == 0) exec(db, "COMMIT");
    }

    void finalize() {
        sqlite3_finalize(fieldsSt);
        sqlite3_finalize(mapSt);
        sqlite3_finalize(termSt);
        fieldsSt = mapSt = termSt = nullptr;
    }
    ~Base() {
        // A connection inherited through fork() belongs to the parent: its
        // locks and files are left alone.
        if (pid == currentPid()) {
            finalize();
            sqlite3_close_v2(db);
        }
    }

    bool open(int* err, int* sub) {
        db = openIndex(idxPath, write, err, sub);
        if (!db) return false;
        pid = currentPid();
        if (!registerFunctions(db, &lengths)) {
            sqlite3_close_v2(db);
            db = nullptr;
            *err = FTE_OPEN;
            *sub = SQLITE_ERROR;
            return false;
        }
        return true;
    }

    // The thesaurus file of the settings directory, read again when it changes.
    const Thesaurus* thesaurus(const std::string& fileName) {
        if (fileName.empty() || fileName.find('/') != std::string::npos || fileName[0] == '.') return nullptr;
        std::string path = dir + "/" + fileName;
        struct stat st;
        if (stat(path.c_str(), &st) != 0) return nullptr;
        if (path != thesPath || st.st_mtime != thesTime) {
            std::string text;
            if (!readFile(path, &text, 16 << 20)) return nullptr;
            thes = parseThesaurus(text);
            thesPath = path;
            thesTime = st.st_mtime;
        }
        return &thes;
    }
};

struct Hit {
    long long score;
    int sb;  // index into the search's bases
    sqlite3_int64 id;
};

// a before b in the hit list.
bool better(const Hit& a, const Hit& b) {
    if (a.score != b.score) return a.score > b.score;
    if (a.sb != b.sb) return a.sb < b.sb;
    return a.id < b.id;
}

}  // namespace

struct ftapi_s {
    std::vector<std::unique_ptr<Base>> bases;  // handle = index + 1
    std::set<ftsrch_s*> searches;
    long pool = 256000;
    size_t maxBases = 256;
    std::string lastValue;

    Base* base(FTBH h) {
        if (h == 0 || h > bases.size() || !bases[h - 1]) return nullptr;
        Base* b = bases[h - 1].get();
        if (b->pid != currentPid()) {
            // Opened before a fork(): open a connection of our own.
            b->db = nullptr;
            b->fieldsSt = b->mapSt = b->termSt = nullptr;
            b->readers = 0;
            b->lengths.clear();
            b->lengthsTo = 0;
            b->terms.clear();  // the file at the path may be another one now
            b->pos.idClass.clear();
            int err, sub;
            if (!b->open(&err, &sub)) return nullptr;
        }
        return b;
    }
};

namespace {

std::set<ftapi_s*> gEngines;

ftapi_s* engine(FTAPIH h) {
    if (!h || !gEngines.count(h)) {
        setErr(FTE_ARG, FTW_API);
        return nullptr;
    }
    return h;
}

// What a search keeps for the match positions of its hits in one base.
struct PosState {
    PosState(const std::vector<MatchPtr>& parts, uint16_t serial) : matcher(parts), serial(serial) {}
    HitMatcher matcher;
    uint16_t serial;  // never 0, which marks a word no search has classified
    // When every word the query names can be found by number: a bit for
    // each number that may be one of them. The words of a text without the
    // bit are of no class and need no look-up.
    bool filtered = false;
    std::vector<uint64_t> maybe;
};

struct SearchBase {
    int vecIndex;
    FTBH handle;
    Plan plan;
    std::unique_ptr<PosState> pos;  // made at the first hit's positions
    std::unordered_map<std::string, uint32_t> wordIds;  // the words that wildcards stand for, with their numbers
};

}  // namespace

struct ftsrch_s {
    ftapi_s* eng = nullptr;
    QOptions opts;
    std::unique_ptr<QNode> root;
    long maxHits = FTS_DEFMAXHITS;
    bool countOnly = false;
    std::vector<SearchBase> bases;
    size_t cur = 0;
    enum Phase { Collect, Expand, Build, Run, Done, Failed } phase = Collect;
    std::vector<std::string> patterns;
    size_t patIdx = 0;
    std::map<std::string, std::vector<std::string>> expansions;
    std::vector<uint32_t> candidates;  // words that may match the pattern
    size_t candIdx = 0;
    bool candidatesRead = false;
    sqlite3_int64 cachedBlock = -1;         // the block of words in blockWords
    std::vector<std::string> blockWords;
    sqlite3_stmt* st = nullptr;
    long matches = 0;
    std::vector<Hit> heap;
    std::vector<Hit> hits;
    int failErr = 0, failSub = 0, failWho = 0, failIndex = -1;
    std::vector<std::pair<long, long>> marks;
    size_t markIdx = 0;
    Base* base = nullptr;  // of bases[cur], looked up once per slice and base

    bool released = true;  // no snapshot taken yet

    ~ftsrch_s() {
        sqlite3_finalize(st);
        release();
    }

    // Gives up the snapshot. Done early when nothing is left to read (a
    // failed or empty search), since callers may forget such a handle
    // without closing it, and a snapshot held for ever would keep the
    // base's log from being folded back.
    void release() {
        if (released) return;
        released = true;
        for (const SearchBase& sb : bases)
            if (Base* b = eng->base(sb.handle)) b->endRead();
    }

    void fail(int err, int who, int sub, int index) {
        sqlite3_finalize(st);
        st = nullptr;
        phase = Failed;
        failErr = err;
        failWho = who;
        failSub = sub;
        failIndex = index;
    }

    void addHit(const Hit& h) {
        if (long(heap.size()) < maxHits) {
            heap.push_back(h);
            std::push_heap(heap.begin(), heap.end(), better);
        } else if (better(h, heap.front())) {
            std::pop_heap(heap.begin(), heap.end(), better);
            heap.back() = h;
            std::push_heap(heap.begin(), heap.end(), better);
        }
    }

    void finish() {
        hits = heap;
        heap.clear();
        std::sort(hits.begin(), hits.end(), better);
        phase = Done;
    }

    // One step of work; false when the slice should end (done or failed).
    bool step();
};

namespace {

std::set<ftsrch_s*>* liveSearches(ftapi_s* e) { return &e->searches; }

ftsrch_s* search(FTAPIH h, FTSH sh) {
    ftapi_s* e = engine(h);
    if (!e) return nullptr;
    if (!sh || !liveSearches(e)->count(sh)) {
        setErr(FTE_GONE, FTW_SEARCH);
        return nullptr;
    }
    return sh;
}

// A GLOB pattern's statement: the word index answers a literal start; the
// letter-triple index a run of three literal letters; else a scan.
// Whether a pattern's words can be found through the letter triples; a
// pattern without a run of three letters is matched against the whole list.
bool byTriples(const std::string& glob) { return !patternTriples(glob).empty(); }

void bindAll(sqlite3_stmt* st, const std::vector<Bind>& binds) {
    int i = 1;
    for (const Bind& b : binds) {
        if (b.isText) sqlite3_bind_text(st, i, b.text.c_str(), int(b.text.size()), SQLITE_TRANSIENT);
        else sqlite3_bind_int64(st, i, b.num);
        i++;
    }
}

}  // namespace

bool ftsrch_s::step() {
    if (phase == Done || phase == Failed) return false;
    if (cur >= bases.size()) {
        finish();
        return false;
    }
    SearchBase& sb = bases[cur];
    if (!base) base = eng->base(sb.handle);
    Base* b = base;
    if (!b) {
        fail(FTE_BASE, FTW_SEARCH, 0, sb.vecIndex);
        return false;
    }
    switch (phase) {
        case Collect: {
            patterns.clear();
            expansions.clear();
            patIdx = 0;
            Expander collect = [this](const std::string& g) -> const std::vector<std::string>* {
                if (std::find(patterns.begin(), patterns.end(), g) == patterns.end()) patterns.push_back(g);
                return nullptr;
            };
            std::string why;
            Plan p;
            if (!compilePlan(*root, opts, opts.thesaurus ? b->thesaurus(opts.thesName) : nullptr, collect, &p, &why)) {
                fail(FTE_QUERY, FTW_QUERY, 0, -1);
                return false;
            }
            phase = patterns.empty() ? Build : Expand;
            return true;
        }
        case Expand: {
            // One word is looked at per step, so that a cancel lands soon
            // even for a pattern that many words contain.
            const std::string& g = patterns[patIdx];
            std::vector<std::string>& found = expansions[g];
            bool done = found.size() >= kMaxExpansions;
            if (!done && byTriples(g)) {
                if (!candidatesRead) {
                    int rc;
                    if (!tripleCandidates(b->db, patternTriples(g), &candidates, &rc)) {
                        fail(FTE_STORE, FTW_SEARCH, rc, sb.vecIndex);
                        return false;
                    }
                    candidatesRead = true;
                    candIdx = 0;
                    return true;
                }
                if (candIdx < candidates.size()) {
                    uint32_t id = candidates[candIdx];
                    sqlite3_int64 block = (id - 1) / kTermsPerBlock;
                    if (block != cachedBlock) {
                        // A block of words per step; the candidates ascend,
                        // so each block is read once.
                        if (!st && sqlite3_prepare_v2(b->db, "SELECT words FROM terms WHERE block = ?", -1, &st,
                                                      nullptr) != SQLITE_OK) {
                            fail(FTE_STORE, FTW_SEARCH, sqlite3_errcode(b->db), sb.vecIndex);
                            return false;
                        }
                        sqlite3_bind_int64(st, 1, block);
                        int rc = sqlite3_step(st);
                        bool ok = rc == SQLITE_DONE ||
                                  (rc == SQLITE_ROW &&
                                   splitTermBlock(sqlite3_column_blob(st, 0), sqlite3_column_bytes(st, 0), &blockWords));
                        if (rc == SQLITE_DONE) blockWords.clear();
                        sqlite3_reset(st);
                        if (!ok) {
                            fail(FTE_STORE, FTW_SEARCH, rc == SQLITE_ROW ? SQLITE_CORRUPT : rc, sb.vecIndex);
                            return false;
                        }
                        cachedBlock = block;
                        return true;
                    }
                    candIdx++;
                    size_t k = (id - 1) % kTermsPerBlock;
                    if (k < blockWords.size() && sqlite3_strglob(g.c_str(), blockWords[k].c_str()) == 0) {
                        found.push_back(blockWords[k]);
                        sb.wordIds.emplace(blockWords[k], id);
                    }
                    return true;
                }
                done = true;
            } else if (!done) {
                // No run of three letters: every block of the list, one a step.
                if (!st && sqlite3_prepare_v2(b->db, "SELECT block, words FROM terms ORDER BY block", -1, &st,
                                              nullptr) != SQLITE_OK) {
                    fail(FTE_STORE, FTW_SEARCH, sqlite3_errcode(b->db), sb.vecIndex);
                    return false;
                }
                int rc = sqlite3_step(st);
                if (rc == SQLITE_ROW) {
                    if (!splitTermBlock(sqlite3_column_blob(st, 1), sqlite3_column_bytes(st, 1), &blockWords)) {
                        fail(FTE_STORE, FTW_SEARCH, SQLITE_CORRUPT, sb.vecIndex);
                        return false;
                    }
                    sqlite3_int64 first = sqlite3_column_int64(st, 0) * kTermsPerBlock + 1;
                    for (size_t k = 0; k < blockWords.size(); k++)
                        if (found.size() < kMaxExpansions && sqlite3_strglob(g.c_str(), blockWords[k].c_str()) == 0) {
                            found.push_back(blockWords[k]);
                            sb.wordIds.emplace(blockWords[k], uint32_t(first + sqlite3_int64(k)));
                        }
                    return true;
                }
                if (rc != SQLITE_DONE) {
                    fail(FTE_STORE, FTW_SEARCH, rc, sb.vecIndex);
                    return false;
                }
                done = true;
            }
            sqlite3_finalize(st);
            st = nullptr;
            candidates.clear();
            candidatesRead = false;
            cachedBlock = -1;
            if (++patIdx == patterns.size()) phase = Build;
            return true;
        }
        case Build: {
            Expander lookup = [this](const std::string& g) -> const std::vector<std::string>* {
                auto it = expansions.find(g);
                return it == expansions.end() ? nullptr : &it->second;
            };
            std::string why;
            if (!compilePlan(*root, opts, opts.thesaurus ? b->thesaurus(opts.thesName) : nullptr, lookup, &sb.plan, &why)) {
                fail(FTE_QUERY, FTW_QUERY, 0, -1);
                return false;
            }
            if (!countOnly) b->loadLengths();
            const std::string& sql = countOnly ? sb.plan.countSql : sb.plan.sql;
            if (sqlite3_prepare_v2(b->db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
                fail(FTE_STORE, FTW_SEARCH, sqlite3_errcode(b->db), sb.vecIndex);
                return false;
            }
            bindAll(st, sb.plan.binds);
            phase = Run;
            return true;
        }
        case Run: {
            int rc = sqlite3_step(st);
            if (rc == SQLITE_ROW && countOnly) {
                // The storage counts without handing out each row.
                matches += long(sqlite3_column_int64(st, 0));
                return true;
            }
            if (rc == SQLITE_ROW) {
                matches++;
                {
                    Hit h;
                    h.id = sqlite3_column_int64(st, 0);
                    h.sb = int(cur);
                    if (sqlite3_column_type(st, 1) == SQLITE_NULL) {
                        h.score = 0;
                    } else {
                        // The storage's rank is negative, lower is better.
                        double r = -sqlite3_column_double(st, 1) * 1000.0;
                        h.score = r < 1.0 ? 1 : (long long)std::llround(r);
                    }
                    addHit(h);
                }
                return true;
            }
            sqlite3_finalize(st);
            st = nullptr;
            if (rc != SQLITE_DONE) {
                fail(rc == SQLITE_ERROR ? FTE_QUERY : FTE_STORE, FTW_SEARCH, rc, sb.vecIndex);
                return false;
            }
            cur++;
            base = nullptr;
            phase = Collect;
            if (cur == bases.size()) {
                finish();
                return false;
            }
            return true;
        }
        default:
            return false;
    }
}

namespace {

long long nowNs() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (long long)ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

}  // namespace

namespace {

// Finds the numbers of the words that the query may name: a wildcard's
// words from its expansion, the others through the letter triples of the
// word or prefix (which all its words hold, and some others: those are told
// apart when a text has them). When a word or prefix has no triple (one or
// two letters), ps->filtered stays false and every word of a text is
// looked at. false with *rc on a storage error.
bool findWords(Base* b, const SearchBase& sb, PosState* ps, int* rc) {
    *rc = SQLITE_OK;
    std::vector<uint32_t> ids, found;
    for (const HitMatcher::Pattern& p : ps->matcher.patterns()) {
        auto known = p.prefix ? sb.wordIds.end() : sb.wordIds.find(p.word);
        if (known != sb.wordIds.end()) {
            found.push_back(known->second);
            continue;
        }
        std::vector<std::string> triples = patternTriples(p.word);
        if (triples.empty()) return true;
        if (!tripleCandidates(b->db, triples, &ids, rc)) return false;
        found.insert(found.end(), ids.begin(), ids.end());
    }
    for (uint32_t id : found) {
        if (ps->maybe.size() <= size_t(id >> 6)) ps->maybe.resize(size_t(id >> 6) + 1, 0);
        ps->maybe[id >> 6] |= uint64_t(1) << (id & 63);
    }
    ps->filtered = true;
    return true;
}

}  // namespace

extern "C" {

int ftapiini(void* r1, void* r2, long* opts, int nopts, FTAPIH* h) {
    clearErr();
    if (!h || r1 || r2 || nopts < 0 || (nopts > 0 && !opts)) {
        setErr(FTE_ARG, FTW_API);
        return FTE_ARG;
    }
    *h = nullptr;
    auto* e = new (std::nothrow) ftapi_s;
    if (!e) {
        setErr(FTE_NOMEM, FTW_API);
        return FTE_NOMEM;
    }
    if (nopts >= 3 && opts[2] > 0) e->maxBases = size_t(std::min(opts[2], 65535L));
    gEngines.insert(e);
    *h = e;
    return 0;
}

int ftapimod(FTAPIH h, int item, long* value) {
    ftapi_s* e = engine(h);
    if (!e) return FTE_ARG;
    if (item != FTAM_POOL || !value || *value < 0) {
        setErr(FTE_ARG, FTW_API);
        return FTE_ARG;
    }
    e->pool = *value;
    return 0;
}

int ftapitrm(FTAPIH h) {
    ftapi_s* e = engine(h);
    if (!e) return FTE_ARG;
    for (ftsrch_s* s : e->searches) delete s;
    e->searches.clear();
    e->bases.clear();
    gEngines.erase(e);
    delete e;
    return 0;
}

int ftfgsh(FTAPIH h, const char* name, _FTFIG* fig) {
    if (!engine(h)) return FTE_ARG;
    if (!fig) {
        setErr(FTE_ARG, FTW_SETTINGS);
        return FTE_ARG;
    }
    memset(fig, 0, sizeof *fig);
    if (!validName(name)) {
        setErr(FTE_NAME, FTW_SETTINGS);
        return FTE_NAME;
    }
    std::string p = findSettings(name);
    struct stat st;
    if (p.empty() || p.size() >= sizeof fig->ffpath || stat(p.c_str(), &st) != 0) {
        setErr(FTE_NODB, FTW_SETTINGS);
        return FTE_NODB;
    }
    memcpy(fig->ffpath, p.c_str(), p.size() + 1);
    snprintf(fig->ffname, sizeof fig->ffname, "%s", name);
    fig->ffsize = long(st.st_size);
    return 0;
}

int ftfgrd(FTAPIH h, _FTFIG* fig, char* buf) {
    if (!engine(h)) return FTE_ARG;
    if (!fig || !buf || !memchr(fig->ffpath, '\0', sizeof fig->ffpath)) {
        setErr(FTE_ARG, FTW_SETTINGS);
        return FTE_ARG;
    }
    std::string text;
    if (!readFile(fig->ffpath, &text, FTFG_BUFSZ - 1)) {
        buf[0] = '\0';
        setErr(FTE_CFG, FTW_SETTINGS, errno);
        return FTE_CFG;
    }
    memcpy(buf, text.data(), text.size());
    buf[text.size()] = '\0';
    return 0;
}

char* ftfgrk(FTAPIH h, const char* key, char* buf) {
    ftapi_s* e = engine(h);
    if (!e) return nullptr;
    if (!key || !buf) {
        setErr(FTE_ARG, FTW_SETTINGS);
        return nullptr;
    }
    std::string text(buf, strnlen(buf, FTFG_BUFSZ));
    e->lastValue = settingsValue(text, key);
    if (e->lastValue.empty()) {
        setErr(FTE_CFG, FTW_SETTINGS);
        return nullptr;
    }
    return &e->lastValue[0];
}

FTBH ftbxop(FTAPIH h, const char* name, const char* mode) {
    ftapi_s* e = engine(h);
    if (!e) return 0;
    if (!mode || (strcmp(mode, "r") != 0 && strcmp(mode, "w") != 0)) {
        setErr(FTE_ARG, FTW_BASE);
        return 0;
    }
    if (!validName(name)) {
        setErr(FTE_NAME, FTW_BASE);
        return 0;
    }
    std::string cfg = findSettings(name);
    if (cfg.empty()) {
        setErr(FTE_NODB, FTW_BASE);
        return 0;
    }
    std::string text;
    if (!readFile(cfg, &text, 1 << 20)) {
        setErr(FTE_CFG, FTW_BASE, errno);
        return 0;
    }
    auto b = std::make_unique<Base>();
    b->name = name;
    b->cfgPath = cfg;
    b->dir = cfg.substr(0, cfg.rfind('/'));
    b->idxPath = indexPathOf(cfg, text);
    b->write = mode[0] == 'w';
    int err, sub;
    if (!b->open(&err, &sub)) {
        setErr(err, FTW_BASE, sub);
        return 0;
    }
    size_t slot = e->bases.size();
    if (slot >= e->maxBases) {
        // Reuse a closed slot only when the table is full, so that a stale
        // handle rarely names a new base.
        for (slot = 0; slot < e->bases.size() && e->bases[slot]; slot++) {
        }
        if (slot == e->bases.size()) {
            setErr(FTE_FULL, FTW_BASE);
            return 0;
        }
        e->bases[slot] = std::move(b);
    } else {
        e->bases.push_back(std::move(b));
    }
    return FTBH(slot + 1);
}

int ftbhgi(FTAPIH h, FTBH bh, int item, long* value) {
    ftapi_s* e = engine(h);
    if (!e) return FTE_ARG;
    Base* b = e->base(bh);
    if (!b || !value) {
        setErr(b ? FTE_ARG : FTE_BASE, FTW_BASE);
        return b ? FTE_ARG : FTE_BASE;
    }
    if (item == FTBI_POSOFFSET) {
        *value = kPosOffset;
        return 0;
    }
    if (item == FTBI_DOCS) {
        // A base open for writing changes under its own connection, which
        // the data version does not show: it always counts.
        sqlite3_int64 version = b->write ? -1 : b->dataVersion();
        if (version >= 0 && version == b->docsVersion) {
            *value = b->docs;
            return 0;
        }
        sqlite3_int64 n = 0;
        int rc = scalar(b->db, "SELECT count(*) FROM docs", &n);
        if (rc != SQLITE_ROW) {
            setErr(FTE_STORE, FTW_BASE, rc);
            return FTE_STORE;
        }
        b->docs = long(n);
        b->docsVersion = version;
        *value = b->docs;
        return 0;
    }
    setErr(FTE_ARG, FTW_BASE);
    return FTE_ARG;
}

int ftbhcl(FTAPIH h, FTBH bh) {
    ftapi_s* e = engine(h);
    if (!e) return FTE_ARG;
    if (bh == 0 || bh > e->bases.size() || !e->bases[bh - 1]) {
        setErr(FTE_BASE, FTW_BASE);
        return FTE_BASE;
    }
    // Searches on this base fail from now on: their statements go first.
    for (ftsrch_s* s : e->searches)
        if (s->phase != ftsrch_s::Done && s->phase != ftsrch_s::Failed && s->cur < s->bases.size() &&
            s->bases[s->cur].handle == bh)
            s->fail(FTE_BASE, FTW_SEARCH, 0, s->bases[s->cur].vecIndex);
    e->bases[bh - 1].reset();
    return 0;
}

int ftshstrt(FTAPIH h, FTBH* vec, int nbases, long maxhits, long flags, const char* query, long, long, FTSH* sh) {
    clearErr();
    ftapi_s* e = engine(h);
    if (!e) return -1;
    if (!sh) {
        setErr(FTE_ARG, FTW_SEARCH);
        return -1;
    }
    *sh = nullptr;
    if (!vec || nbases <= 0 || !query) {
        setErr(FTE_ARG, FTW_SEARCH);
        return -1;
    }
    auto s = std::make_unique<ftsrch_s>();
    s->eng = e;
    std::set<FTBH> seen;
    for (int i = 0; i < nbases; i++) {
        if (!e->base(vec[i])) {
            setErr(FTE_BASE, FTW_SEARCH, i);
            return -1;
        }
        if (seen.insert(vec[i]).second) s->bases.push_back(SearchBase{i, vec[i], Plan(), nullptr, {}});
    }
    for (const SearchBase& sb : s->bases) e->base(sb.handle)->beginRead();
    s->released = false;
    int err;
    std::string why;
    s->root = parseQuery(query, &s->opts, &err, &why);
    if (!s->root) {
        setErr(err, FTW_QUERY);
        return -1;
    }
    // Compile once now so that a query the engine cannot answer fails here.
    Plan p;
    Expander none = [](const std::string&) -> const std::vector<std::string>* { return nullptr; };
    if (!compilePlan(*s->root, s->opts, nullptr, none, &p, &why)) {
        setErr(FTE_QUERY, FTW_QUERY);
        return -1;
    }
    s->maxHits = maxhits > 0 ? maxhits : FTS_DEFMAXHITS;
    s->countOnly = (flags & FTSS_COUNT) != 0;
    *sh = s.get();
    e->searches.insert(s.release());
    return 0;
}

int ftshresm(FTAPIH h, FTSH sh, long amount, int cancel, _FTSDATA* sd) {
    if (sd) {
        sd->sflags = 0;
        sd->sndocs = 0;
        sd->scndx = -1;
    }
    ftsrch_s* s = search(h, sh);
    if (!s) return -1;
    if (cancel && s->phase != ftsrch_s::Done && s->phase != ftsrch_s::Failed)
        s->fail(FTE_CANCEL, FTW_SEARCH, 0, -1);
    if (s->phase != ftsrch_s::Done && s->phase != ftsrch_s::Failed) {
        // A unit is about five microseconds of work; with no amount, a slice
        // is the smallest step count between clock checks.
        long long budget = std::min(1000000000LL, std::max(0L, amount) * 5000LL);
        long long deadline = nowNs() + budget;
        s->base = nullptr;  // looked up again: the base may have been closed
        for (unsigned n = 1;; n++) {
            if (!s->step()) break;
            if ((n & 63) == 0 && nowNs() >= deadline) break;
        }
    }
    if (sd) {
        sd->sndocs = s->matches;
        sd->scndx = s->failIndex;
    }
    if (s->phase == ftsrch_s::Failed) {
        s->release();
        setErr(s->failErr, s->failWho, s->failSub);
        return -1;
    }
    if (s->phase == ftsrch_s::Done) {
        if (s->hits.empty()) s->release();
        return 1;
    }
    if (sd) sd->sflags |= FTSF_WAIT;
    return 0;
}

int ftusleep(FTAPIH, long usec) {
    if (usec <= 0) return 0;
    if (usec > 1000000) usec = 1000000;
    struct timespec ts = {usec / 1000000, (usec % 1000000) * 1000};
    nanosleep(&ts, nullptr);
    return 0;
}

int ftshgi(FTAPIH h, FTSH sh, int item, long* value) {
    ftsrch_s* s = search(h, sh);
    if (!s) return FTE_GONE;
    if (!value || (item != FTSI_HITS && item != FTSI_MATCHES)) {
        setErr(FTE_ARG, FTW_SEARCH);
        return FTE_ARG;
    }
    *value = item == FTSI_HITS ? long(s->hits.size()) : s->matches;
    return 0;
}

int ftshcfld(FTAPIH h, FTSH sh, long first, _FTCINFO* info, long, char* buf, long bufsz, int, long* count) {
    ftsrch_s* s = search(h, sh);
    if (!s) return FTE_GONE;
    if (!info || !buf || bufsz <= 0 || !count || first < 0 || info[0].cinflds < 0 ||
        (info[0].cinflds > 0 && !info[0].cicflds) || info[0].cinflds > 64) {
        setErr(FTE_ARG, FTW_SEARCH);
        return FTE_ARG;
    }
    if (s->phase != ftsrch_s::Done) {
        setErr(FTE_ARG, FTW_SEARCH);
        return FTE_ARG;
    }
    long want = std::min<long>(*count, FTCF_MAXHITS);
    long avail = long(s->hits.size()) - first;
    if (want > avail) want = avail;
    *count = 0;
    if (want <= 0) return 0;
    int nf = info[0].cinflds;
    std::vector<_FTCFLDS> asked(info[0].cicflds, info[0].cicflds + nf);

    char* p = buf;
    char* end = buf + bufsz;
    long done = 0;
    for (; done < want; done++) {
        const Hit& hit = s->hits[size_t(first + done)];
        _FTCINFO& ci = info[done];
        // The field table, aligned, then the values.
        uintptr_t a = reinterpret_cast<uintptr_t>(p);
        size_t pad = (alignof(_FTCFLDS) - a % alignof(_FTCFLDS)) % alignof(_FTCFLDS);
        size_t tableSize = sizeof(_FTCFLDS) * size_t(nf);
        if (pad + tableSize + size_t(nf) > size_t(end - p)) break;
        _FTCFLDS* flds = reinterpret_cast<_FTCFLDS*>(p + pad);
        char* v = p + pad + tableSize;

        std::vector<std::string> values(static_cast<size_t>(nf));
        unsigned status = 0;
        Base* b = s->eng->base(s->bases[size_t(hit.sb)].handle);
        if (!b) {
            setErr(FTE_BASE, FTW_SEARCH);
            return done ? (*count = done, 0) : FTE_BASE;
        }
        if (!b->fieldsSt &&
            sqlite3_prepare_v2(b->db,
                               "SELECT file, type, title, date, mdate, owner, security, comps FROM docs WHERE id=?",
                               -1, &b->fieldsSt, nullptr) != SQLITE_OK) {
            setErr(FTE_STORE, FTW_SEARCH, sqlite3_errcode(b->db));
            return FTE_STORE;
        }
        sqlite3_stmt* q = b->fieldsSt;
        sqlite3_bind_int64(q, 1, hit.id);
        int rc = sqlite3_step(q);
        if (rc == SQLITE_ROW) {
            auto text = [&](int col) {
                const unsigned char* t = sqlite3_column_text(q, col);
                return t ? std::string(reinterpret_cast<const char*>(t), size_t(sqlite3_column_bytes(q, col)))
                         : std::string();
            };
            for (int f = 0; f < nf; f++) {
                std::string& out = values[size_t(f)];
                switch (asked[size_t(f)].cffldid) {
                    case FTF_TITLE: out = text(2); break;
                    case FTF_CODE: out = b->name + " " + std::to_string(hit.id); break;
                    case FTF_DATE: out = printDate(sqlite3_column_int64(q, 3)); break;
                    case FTF_MODIFIED: out = printDate(sqlite3_column_int64(q, 4)); break;
                    case FTF_SCORE: out = std::to_string(hit.score); break;
                    case FTF_OWNER: out = text(5); break;
                    case FTF_TYPE: out = std::to_string(sqlite3_column_int64(q, 1)); break;
                    case FTF_FILE: out = text(0); break;
                    case FTF_SECURITY: out = std::to_string(sqlite3_column_int64(q, 6)); break;
                    case FTF_COMPONENTS: out = text(7); break;
                    default: break;
                }
            }
        } else if (rc == SQLITE_DONE) {
            status = FTCS_GONE;
        } else {
            sqlite3_reset(q);
            setErr(FTE_STORE, FTW_SEARCH, rc);
            if (done) break;
            return FTE_STORE;
        }
        sqlite3_reset(q);
        size_t need = 0;
        for (const std::string& x : values) need += x.size() + 1;
        size_t room = size_t(end - v);
        if (need > room && done > 0) break;  // the next call gets it whole
        for (int f = 0; f < nf; f++) {
            std::string& x = values[size_t(f)];
            size_t left = size_t(end - v);
            size_t keep = std::min(x.size(), left - size_t(nf - f));  // a NUL for every field to come
            memcpy(v, x.data(), keep);
            v[keep] = '\0';
            flds[f].cffldid = asked[size_t(f)].cffldid;
            flds[f].cffmt = asked[size_t(f)].cffmt;
            flds[f].cffldln = long(keep);
            flds[f].cfbuf = v;
            v += keep + 1;
        }
        ci.cistatus = status;
        ci.cinflds = status ? 0 : nf;
        ci.cicflds = flds;
        ci.cicsdoc = nullptr;
        p = v;
    }
    if (done == 0) {
        setErr(FTE_ARG, FTW_SEARCH);
        return FTE_ARG;
    }
    *count = done;
    return 0;
}

int ftshgf(FTAPIH h, FTSH sh, long hit, int* nmatch) {
    ftsrch_s* s = search(h, sh);
    if (!s) return 0;
    s->marks.clear();
    s->markIdx = 0;
    if (nmatch) *nmatch = 0;
    if (s->phase != ftsrch_s::Done || hit < 0 || hit >= long(s->hits.size())) {
        setErr(FTE_ARG, FTW_SEARCH);
        return 0;
    }
    const Hit& ht = s->hits[size_t(hit)];
    SearchBase& sb = s->bases[size_t(ht.sb)];
    Base* b = s->eng->base(sb.handle);
    if (!b) {
        setErr(FTE_BASE, FTW_SEARCH);
        return 0;
    }
    if (sb.plan.posParts.empty()) return 1;
    if (!b->mapSt && sqlite3_prepare_v2(b->db,
                                        "SELECT p.map, d.title FROM docs d LEFT JOIN posmap p ON p.id = d.id"
                                        " WHERE d.id = ?",
                                        -1, &b->mapSt, nullptr) != SQLITE_OK) {
        setErr(FTE_STORE, FTW_SEARCH, sqlite3_errcode(b->db));
        return 0;
    }
    auto& w = b->pos;
    if (!sb.pos) {
        if (++w.serial == 0) {
            // The serials start again: no word's class from before may look like one of the new search.
            std::fill(w.idClass.begin(), w.idClass.end(), 0);
            w.serial = 1;
        }
        auto ps = std::make_unique<PosState>(sb.plan.posParts, w.serial);
        int rc;
        if (!findWords(b, sb, ps.get(), &rc)) {
            setErr(FTE_STORE, FTW_SEARCH, rc);
            return 0;
        }
        sb.pos = std::move(ps);
    }
    PosState& ps = *sb.pos;
    sqlite3_bind_int64(b->mapSt, 1, ht.id);
    int rc = sqlite3_step(b->mapSt);
    if (rc != SQLITE_ROW) {
        sqlite3_reset(b->mapSt);
        if (rc == SQLITE_DONE) return 1;  // removed since the search started
        setErr(FTE_STORE, FTW_SEARCH, rc);
        return 0;
    }
    // One pass over the map: each word's class, and the place of each word
    // that has one (only those can be marked). A word number's class is
    // found once per search; larger numbers than any base has (only a broken
    // map holds them) and classes past 16 bits are not kept.
    constexpr uint32_t kMaxKept = 1u << 24;
    const uint32_t mine = uint32_t(ps.serial) << 16;
    PosMapReader map(static_cast<const unsigned char*>(sqlite3_column_blob(b->mapSt, 0)),
                     size_t(sqlite3_column_bytes(b->mapSt, 0)));
    // Words of no class are most of a text: the classes start out 0 and
    // only the others are written.
    w.text.assign(PosMapReader::maxWords(size_t(sqlite3_column_bytes(b->mapSt, 0))), 0);
    w.placed.clear();
    w.classed.clear();
    MapWord m;
    bool ok = true;
    size_t n = 0;
    // Kept in registers over the loop, which is most of the time here.
    const size_t cap = w.text.size();
    const bool filtered = ps.filtered;
    const uint64_t* maybe = ps.maybe.data();
    const size_t maybeWords = ps.maybe.size();
    for (; !map.done(); n++) {
        if (n == cap || !map.next(&m)) {
            rc = SQLITE_CORRUPT;
            ok = false;
            break;
        }
        uint32_t id = m.id, cls = 0;
        if (filtered && (size_t(id >> 6) >= maybeWords || !((maybe[id >> 6] >> (id & 63)) & 1))) continue;
        if (id < kMaxKept && id >= w.idClass.size())
            w.idClass.resize(std::min<size_t>(kMaxKept, std::max<size_t>(id + 1, w.idClass.size() * 2)), 0);
        uint32_t known = id < kMaxKept ? w.idClass[id] : 0;
        if ((known & 0xffff0000u) == mine) {
            cls = known & 0xffff;
        } else {
            std::string_view word;
            if (!(ok = b->terms.word(b->db, &b->termSt, id, &word, &rc))) break;
            cls = ps.matcher.classify(word);
            if (id < kMaxKept && cls <= 0xffff) w.idClass[id] = mine | cls;
        }
        if (!cls) continue;
        w.placed.push_back({m.start, m.len, uint32_t(n)});
        w.classed.push_back(uint32_t(n));
        w.text[n] = cls;
    }
    w.text.resize(n);
    std::string title;
    if (const unsigned char* t = sqlite3_column_text(b->mapSt, 1))
        title.assign(reinterpret_cast<const char*>(t), size_t(sqlite3_column_bytes(b->mapSt, 1)));
    sqlite3_reset(b->mapSt);
    if (!ok) {
        setErr(FTE_STORE, FTW_SEARCH, rc);
        return 0;
    }
    w.title.clear();
    for (const std::string& t : words(title)) w.title.push_back(ps.matcher.classify(t));
    ps.matcher.marks(w.text, w.classed, w.title, &w.marked);
    // Both lists ascend by word index.
    auto at = w.placed.begin();
    for (uint32_t i : w.marked) {
        while (at != w.placed.end() && at->id < i) ++at;
        if (at == w.placed.end() || at->id != i) continue;
        if (at->len > 0)
            s->marks.push_back({long(at->start) + kPosOffset, long(at->start) + kPosOffset + long(at->len)});
    }
    // Word numbers ascend, and so do their places; equal starts collapse.
    s->marks.erase(std::unique(s->marks.begin(), s->marks.end(),
                               [](const std::pair<long, long>& a, const std::pair<long, long>& b2) {
                                   return a.first == b2.first;
                               }),
                   s->marks.end());
    if (nmatch) *nmatch = int(s->marks.size());
    return 1;
}

FTVCC ftshrd(FTAPIH h, FTSH sh, FTVCC* end) {
    ftsrch_s* s = search(h, sh);
    if (!s) return -1;
    if (s->markIdx >= s->marks.size()) {
        if (end) *end = FTVCC_END;
        return FTVCC_END;
    }
    const auto& m = s->marks[s->markIdx++];
    if (end) *end = m.second;
    return m.first;
}

int ftshcl(FTAPIH h, FTSH sh, int) {
    ftsrch_s* s = search(h, sh);
    if (!s) return FTE_GONE;
    s->eng->searches.erase(s);
    delete s;
    return 0;
}

int ftegerr(FTAPIH) { return gErr.err; }
int ftegsub(FTAPIH) { return gErr.sub; }
int ftegwho(FTAPIH) { return gErr.who; }

long ftdhston(FTAPIH, const char* text, int mode) {
    if (mode != FTDM_PARSE) {
        setErr(FTE_ARG, FTW_DATE);
        return 0;
    }
    long d = parseDate(text);
    if (!d) setErr(FTE_DATE, FTW_DATE);
    return d;
}

long ftudnix(FTAPIH, long date, int mode) {
    long r = 0;
    switch (mode) {
        case FTDM_UNIX: r = dateFromUnix(time_t(date)); break;
        case FTDM_NORM: r = printDate(date).empty() ? 0 : date; break;
        case FTDM_TOUNIX: r = long(unixFromDate(date)); break;
        default: setErr(FTE_ARG, FTW_DATE); return 0;
    }
    if (!r) setErr(FTE_DATE, FTW_DATE);
    return r;
}

int ftdhntos(FTAPIH, long date, int mode, char* buf) {
    if (!buf) {
        setErr(FTE_ARG, FTW_DATE);
        return 0;
    }
    buf[0] = '\0';
    std::string s = mode == FTDM_YMD ? printDate(date) : "";
    if (s.empty()) {
        setErr(FTE_DATE, FTW_DATE);
        return 0;
    }
    snprintf(buf, FTDATE_BUFSZ, "%s", s.c_str());
    return 1;
}

}  // extern "C"
