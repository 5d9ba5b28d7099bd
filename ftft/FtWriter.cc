// Index changes; see FtWriter.h.
#include "FtWriter.h"

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <utility>

#include "FtStore.h"
#include "FtText.h"
#include "FtVocab.h"

namespace ft {

// The splitter that the full-text tables of a writing connection are
// given, in place of the layer's own "ascii": it hands the layer the words
// of an armed text as index() found them, and passes everything else to the
// original.
struct Replay {
    fts5_tokenizer orig;
    void* origData = nullptr;
    const Writer::Indexed* armed = nullptr;  // the next text's words
    size_t armedLen = 0;                      // and its length, to know it
};

namespace {

void bindText(sqlite3_stmt* st, int i, const std::string& s) {
    sqlite3_bind_text(st, i, s.data(), int(s.size()), SQLITE_STATIC);
}

struct ReplayTok {
    Replay* r;
    Fts5Tokenizer* orig;
};

int replayCreate(void* data, const char** args, int nArgs, Fts5Tokenizer** out) {
    auto* r = static_cast<Replay*>(data);
    Fts5Tokenizer* orig = nullptr;
    int rc = r->orig.xCreate(r->origData, args, nArgs, &orig);
    if (rc != SQLITE_OK) return rc;
    *out = reinterpret_cast<Fts5Tokenizer*>(new ReplayTok{r, orig});
    return SQLITE_OK;
}

void replayDelete(Fts5Tokenizer* t) {
    auto* rt = reinterpret_cast<ReplayTok*>(t);
    rt->r->orig.xDelete(rt->orig);
    delete rt;
}

int replayTokenize(Fts5Tokenizer* t, void* ctx, int flags, const char* text, int len,
                   int (*token)(void*, int, const char*, int, int, int)) {
    auto* rt = reinterpret_cast<ReplayTok*>(t);
    Replay* r = rt->r;
    // The armed text is the first one the layer splits after store() arms
    // it: the body column, before the title.
    if (r->armed && (flags & FTS5_TOKENIZE_DOCUMENT) && size_t(len) == r->armedLen) {
        const Writer::Indexed* x = r->armed;
        r->armed = nullptr;
        const char* f = x->folded.data();
        for (size_t i = 0; i + 1 < x->bounds.size(); i += 2) {
            int s = int(x->bounds[i]), e = int(x->bounds[i + 1]);
            if (int rc = token(ctx, 0, f + s, e - s, s, e)) return rc;
        }
        return SQLITE_OK;
    }
    return r->orig.xTokenize(rt->orig, ctx, flags, text, len, token);
}

void replayDestroy(void* data) { delete static_cast<Replay*>(data); }

// The connection's Replay, if useWordReplay installed one.
Replay* replayOf(sqlite3* db) {
    fts5_api* api = fts5Api(db);
    void* data = nullptr;
    fts5_tokenizer tok;
    if (!api || api->xFindTokenizer(api, "ascii", &data, &tok) != SQLITE_OK || tok.xTokenize != replayTokenize)
        return nullptr;
    return static_cast<Replay*>(data);
}

}  // namespace

// Folds the word's case into a buffer (fold_ when it is long) while hashing
// it; the hash is never 0, so that a slot of 0 is empty.
const char* Writer::TermSet::fold(const char* p, size_t n, uint32_t* hash) {
    char* f = n <= sizeof small_ ? small_ : (fold_.resize(n), &fold_[0]);
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < n; i++) {
        char c = p[i];
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        f[i] = c;
        h = (h ^ (unsigned char)c) * 16777619u;
    }
    *hash = h | 1;
    return f;
}

bool useWordReplay(sqlite3* db, std::string* why) {
    fts5_api* api = fts5Api(db);
    auto* r = new Replay;
    // A splitter registered under a known name takes the place of the
    // earlier one for this connection.
    if (!api || api->xFindTokenizer(api, "ascii", &r->origData, &r->orig) != SQLITE_OK) {
        delete r;
        *why = "the full-text layer has no \"ascii\" splitter";
        return false;
    }
    fts5_tokenizer mine = {replayCreate, replayDelete, replayTokenize};
    if (api->xCreateTokenizer(api, "ascii", r, &mine, replayDestroy) != SQLITE_OK) {
        delete r;
        *why = sqlite3_errmsg(db);
        return false;
    }
    return true;
}

uint32_t Writer::TermSet::find(const char* folded, size_t n, uint32_t hash, size_t* slot) const {
    size_t mask = slots_.size() - 1;
    size_t k = hash & mask;
    const char* arena = arena_.data();
    while (uint64_t v = slots_[k]) {
        uint32_t id = uint32_t(v);
        if (uint32_t(v >> 32) == hash && offs_[id] - offs_[id - 1] == n &&
            memcmp(arena + offs_[id - 1], folded, n) == 0)
            return id;
        k = (k + 1) & mask;
    }
    *slot = k;
    return 0;
}

void Writer::TermSet::grow() {
    std::vector<uint64_t> old;
    old.swap(slots_);
    slots_.assign(old.empty() ? 4096 : old.size() * 2, 0);
    size_t mask = slots_.size() - 1;
    for (uint64_t v : old) {
        if (!v) continue;
        size_t k = uint32_t(v >> 32) & mask;
        while (slots_[k]) k = (k + 1) & mask;
        slots_[k] = v;
    }
}

uint32_t Writer::TermSet::hashOf(const char* f, size_t n) {
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < n; i++) h = (h ^ (unsigned char)f[i]) * 16777619u;
    return h | 1;
}

uint32_t Writer::TermSet::add(const char* p, size_t n) {
    uint32_t h;
    const char* f = fold(p, n, &h);
    return addFolded(f, n, h);
}

uint32_t Writer::TermSet::addFolded(const char* f, size_t n, uint32_t h) {
    if ((size() + 1) * 2 >= slots_.size()) grow();
    size_t slot;
    if (uint32_t id = find(f, n, h, &slot)) return id;
    arena_.append(f, n);
    offs_.push_back(uint32_t(arena_.size()));
    uint32_t id = uint32_t(size());
    slots_[slot] = (uint64_t(h) << 32) | id;
    return id;
}

void Writer::TermSet::load(const char* p, size_t n) {
    if ((size() + 1) * 2 >= slots_.size()) grow();
    uint32_t h;
    const char* f = fold(p, n, &h);
    size_t slot;
    uint32_t id = find(f, n, h, &slot);
    arena_.append(f, n);
    offs_.push_back(uint32_t(arena_.size()));
    if (!id) slots_[slot] = (uint64_t(h) << 32) | uint32_t(size());
}

std::string_view Writer::TermSet::view(uint32_t id) const {
    if (id == 0 || id > size()) return {};
    return std::string_view(arena_).substr(offs_[id - 1], offs_[id] - offs_[id - 1]);
}

Writer::~Writer() {
    for (sqlite3_stmt* s : {insDoc_, insBody_, insMeta_, insMap_, getOld_, delBody_, delMeta_, del_[0], del_[1]})
        sqlite3_finalize(s);
}

bool Writer::prepare(sqlite3_stmt** st, const char* sql, std::string* why) {
    if (*st) {
        sqlite3_reset(*st);
        sqlite3_clear_bindings(*st);
        return true;
    }
    if (sqlite3_prepare_v2(db_, sql, -1, st, nullptr) != SQLITE_OK) {
        *why = sqlite3_errmsg(db_);
        return false;
    }
    return true;
}

bool Writer::run(sqlite3_stmt* st, std::string* why) {
    int rc = sqlite3_step(st);
    sqlite3_reset(st);
    if (rc != SQLITE_DONE) {
        *why = sqlite3_errmsg(db_);
        return false;
    }
    return true;
}

// The word list is numbered 1, 2, ... without gaps: the numbers are ours.
bool Writer::loadTerms(std::string* why) {
    if (termsLoaded_) return true;
    sqlite3_stmt* st = nullptr;
    if (!prepare(&st, "SELECT block, words FROM terms ORDER BY block", why)) return false;
    int rc;
    std::vector<std::string> words;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        if (sqlite3_column_int64(st, 0) * kTermsPerBlock != (sqlite3_int64)terms_.size() ||
            !splitTermBlock(sqlite3_column_blob(st, 1), sqlite3_column_bytes(st, 1), &words)) {
            *why = "the word list is broken";
            sqlite3_finalize(st);
            return false;
        }
        for (const std::string& w : words) terms_.load(w.data(), w.size());
    }
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE) {
        *why = sqlite3_errmsg(db_);
        return false;
    }
    flushedTerms_ = terms_.size();
    termsLoaded_ = true;
    return true;
}

void Writer::index(const DocRecord& d, Indexed* x) {
    size_t bodyWords = 0, titleWords = 0;
    const char* text = d.body.data();
    size_t len = d.body.size();
    x->folded.resize(len);
    char* f = &x->folded[0];
    for (size_t i = 0; i < len; i++) {
        char c = text[i];
        f[i] = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
    }
    if (seen_.empty()) seen_.resize(8192);
    if (++seenGen_ == 0) {  // the generations went round: forget them all
        for (Seen& e : seen_) e.gen = 0;
        seenGen_ = 1;
    }
    size_t mask = seen_.size() - 1, used = 0;
    x->map.clear();
    x->bounds.clear();
    // Lower-casing moves no word boundary and no visible character, so the
    // map is built from the folded text.
    buildPosMap(
        f, len,
        [&](size_t s, size_t n) {
            x->bounds.push_back(uint32_t(s));
            x->bounds.push_back(uint32_t(s + n));
            uint32_t h = TermSet::hashOf(f + s, n);
            for (size_t k = h & mask;; k = (k + 1) & mask) {
                Seen& e = seen_[k];
                if (e.gen != seenGen_) {
                    uint32_t id = terms_.addFolded(f + s, n, h);
                    if (used * 2 < seen_.size() && s <= UINT32_MAX) {  // kept at most half full
                        e = Seen{h, seenGen_, id, uint32_t(s), uint32_t(n)};
                        used++;
                    }
                    return id;
                }
                if (e.hash == h && e.len == n && memcmp(f + e.off, f + s, n) == 0) return e.id;
            }
        },
        &x->map, &bodyWords);
    for (const std::string* s : std::initializer_list<const std::string*>{&d.title, &d.owner, &d.comps, &d.file})
        forEachWord(s->data(), s->size(), [&](size_t b, size_t e) {
            terms_.add(s->data() + b, e - b);
            if (s == &d.title) titleWords++;
        });
    x->ntok = bodyWords + titleWords;
}

bool Writer::insert(const DocRecord& d, std::string* why) {
    if (!loadTerms(why)) return false;
    index(d, &scratch_);
    return store(d, scratch_, why);
}

bool Writer::store(const DocRecord& d, const Indexed& x, std::string* why) {
    if (!loadTerms(why)) return false;  // done already when index runs beside it
    if (!prepare(&insDoc_,
                 "INSERT INTO docs(file, type, title, date, mdate, owner, security, comps, size, mtime, mtimens,"
                 " catsig, ntok) VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?)",
                 why))
        return false;
    bindText(insDoc_, 1, d.file);
    sqlite3_bind_int(insDoc_, 2, d.type);
    bindText(insDoc_, 3, d.title);
    sqlite3_bind_int64(insDoc_, 4, d.date);
    sqlite3_bind_int64(insDoc_, 5, d.mdate);
    bindText(insDoc_, 6, d.owner);
    sqlite3_bind_int64(insDoc_, 7, d.security);
    bindText(insDoc_, 8, d.comps);
    sqlite3_bind_int64(insDoc_, 9, d.size);
    sqlite3_bind_int64(insDoc_, 10, d.mtime);
    sqlite3_bind_int64(insDoc_, 11, d.mtimens);
    bindText(insDoc_, 12, d.catsig);
    sqlite3_bind_int64(insDoc_, 13, (sqlite3_int64)x.ntok);
    if (!run(insDoc_, why)) return false;
    sqlite3_int64 id = sqlite3_last_insert_rowid(db_);

    if (!prepare(&insBody_, "INSERT INTO body(rowid, text, title) VALUES(?,?,?)", why)) return false;
    sqlite3_bind_int64(insBody_, 1, id);
    // The full-text layer wants a terminated text: a text bound with its
    // length is copied first, a terminated one (std::string ends in a NUL)
    // is read in place. A text with a NUL inside keeps its length.
    if (memchr(d.body.data(), '\0', d.body.size()))
        bindText(insBody_, 2, d.body);
    else
        sqlite3_bind_text(insBody_, 2, d.body.c_str(), -1, SQLITE_STATIC);
    bindText(insBody_, 3, d.title);
    if (!replayChecked_) {
        replay_ = replayOf(db_);
        replayChecked_ = true;
    }
    // Word offsets are 32 bits wide; the layer takes no text that long anyway.
    if (replay_ && d.body.size() <= UINT32_MAX) {
        replay_->armed = &x;
        replay_->armedLen = d.body.size();
    }
    bool ok = run(insBody_, why);
    if (replay_) replay_->armed = nullptr;
    if (!ok) return false;

    std::string code = name_ + " " + std::to_string(id);
    codeIds_.push_back(id);  // its words join the word list at flushTerms
    if (!prepare(&insMeta_, "INSERT INTO meta(rowid, owner, code, comps, fname) VALUES(?,?,?,?,?)", why))
        return false;
    sqlite3_bind_int64(insMeta_, 1, id);
    bindText(insMeta_, 2, d.owner);
    bindText(insMeta_, 3, code);
    bindText(insMeta_, 4, d.comps);
    bindText(insMeta_, 5, d.file);
    if (!run(insMeta_, why)) return false;

    if (!prepare(&insMap_, "INSERT INTO posmap(id, map) VALUES(?,?)", why)) return false;
    sqlite3_bind_int64(insMap_, 1, id);
    sqlite3_bind_blob(insMap_, 2, x.map.data(), int(x.map.size()), SQLITE_STATIC);
    return run(insMap_, why);
}

bool Writer::remove(long long id, std::string* why) {
    if (!loadTerms(why)) return false;
    // The words of the text, in order, from the position map.
    if (!prepare(&getOld_,
                 "SELECT p.map, d.title, d.owner, d.comps, d.file FROM docs d LEFT JOIN posmap p ON p.id = d.id"
                 " WHERE d.id = ?",
                 why))
        return false;
    sqlite3_bind_int64(getOld_, 1, id);
    int rc = sqlite3_step(getOld_);
    if (rc == SQLITE_ROW) {
        std::vector<uint32_t> ids;
        bool ok = readWordIds(static_cast<const unsigned char*>(sqlite3_column_blob(getOld_, 0)),
                              size_t(sqlite3_column_bytes(getOld_, 0)), &ids);
        auto column = [&](int c) {
            const unsigned char* t = sqlite3_column_text(getOld_, c);
            return t ? std::string(reinterpret_cast<const char*>(t), size_t(sqlite3_column_bytes(getOld_, c)))
                     : std::string();
        };
        std::string title = column(1), owner = column(2), comps = column(3), file = column(4);
        sqlite3_reset(getOld_);
        std::string text;
        for (uint32_t w : ids) {
            std::string_view word = terms_.view(w);
            if (word.empty()) ok = false;
            text += word;
            text += ' ';
        }
        if (!ok) {
            *why = "document " + std::to_string(id) + " has a broken position map";
            return false;
        }
        if (!prepare(&delBody_, "INSERT INTO body(body, rowid, text, title) VALUES('delete', ?, ?, ?)", why))
            return false;
        sqlite3_bind_int64(delBody_, 1, id);
        bindText(delBody_, 2, text);
        bindText(delBody_, 3, title);
        if (!run(delBody_, why)) return false;
        std::string code = name_ + " " + std::to_string(id);
        if (!prepare(&delMeta_,
                     "INSERT INTO meta(meta, rowid, owner, code, comps, fname) VALUES('delete', ?, ?, ?, ?, ?)", why))
            return false;
        sqlite3_bind_int64(delMeta_, 1, id);
        bindText(delMeta_, 2, owner);
        bindText(delMeta_, 3, code);
        bindText(delMeta_, 4, comps);
        bindText(delMeta_, 5, file);
        if (!run(delMeta_, why)) return false;
    } else {
        sqlite3_reset(getOld_);
        if (rc != SQLITE_DONE) {
            *why = sqlite3_errmsg(db_);
            return false;
        }
    }
    static const char* const kSql[2] = {"DELETE FROM docs WHERE id = ?", "DELETE FROM posmap WHERE id = ?"};
    for (int i = 0; i < 2; i++) {
        if (!prepare(&del_[i], kSql[i], why)) return false;
        sqlite3_bind_int64(del_[i], 1, id);
        if (!run(del_[i], why)) return false;
    }
    return true;
}

bool Writer::flushTerms(std::string* why) {
    // The words of the codes ("NAME id") of the documents stored since the
    // last flush: numbered here, as store() may run beside index().
    if (!codeIds_.empty()) {
        forEachWord(name_.data(), name_.size(), [&](size_t b, size_t e) { terms_.add(name_.data() + b, e - b); });
        for (long long id : codeIds_) {
            std::string n = std::to_string(id);
            terms_.add(n.data(), n.size());
        }
        codeIds_.clear();
    }
    if (!termsLoaded_ || flushedTerms_ == terms_.size()) return true;
    sqlite3_stmt* put = nullptr;
    if (!prepare(&put, "INSERT OR REPLACE INTO terms(block, words) VALUES(?, ?)", why)) return false;
    bool ok = true;
    // From the block that holds the first new word, every block is written
    // whole (the first may have been written partly before).
    std::string blob;
    for (size_t first = flushedTerms_ / kTermsPerBlock * kTermsPerBlock; ok && first < terms_.size();
         first += kTermsPerBlock) {
        blob.clear();
        for (size_t id = first + 1; id <= terms_.size() && id <= first + kTermsPerBlock; id++) {
            blob += terms_.view(uint32_t(id));
            blob.push_back('\0');
        }
        sqlite3_bind_int64(put, 1, (sqlite3_int64)(first / kTermsPerBlock));
        sqlite3_bind_blob(put, 2, blob.data(), int(blob.size()), SQLITE_STATIC);
        ok = run(put, why);
    }
    sqlite3_finalize(put);
    gatherTriples();
    if (ok) ok = triples_.write(db_, why);
    tripled_ = terms_.size();
    if (ok) flushedTerms_ = terms_.size();
    return ok;
}

void Writer::gatherTriples() {
    if (tripled_ < flushedTerms_) tripled_ = flushedTerms_;
    for (size_t id = tripled_ + 1; id <= terms_.size(); id++) triples_.add(uint32_t(id), terms_.view(uint32_t(id)));
    tripled_ = terms_.size();
}

bool Writer::setSecurity(const std::string& file, long value, bool* found, std::string* why) {
    sqlite3_stmt* st = nullptr;
    if (!prepare(&st, "UPDATE docs SET security = ? WHERE file = ?", why)) return false;
    sqlite3_bind_int64(st, 1, value);
    bindText(st, 2, file);
    bool ok = run(st, why);
    *found = ok && sqlite3_changes(db_) > 0;
    sqlite3_finalize(st);
    return ok;
}

}  // namespace ft
