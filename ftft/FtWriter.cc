// Index changes; see FtWriter.h.
#include "FtWriter.h"

#include <initializer_list>

#include "FtText.h"

namespace ft {

Writer::~Writer() {
    sqlite3_finalize(insDoc_);
    sqlite3_finalize(insBody_);
    sqlite3_finalize(insMeta_);
    sqlite3_finalize(insMap_);
    for (sqlite3_stmt* s : del_) sqlite3_finalize(s);
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

void Writer::TermSet::add(const char* p, size_t n) {
    fold_.assign(p, n);
    uint64_t h = 1469598103934665603ULL;
    for (char& c : fold_) {
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        h = (h ^ (unsigned char)c) * 1099511628211ULL;
    }
    if (words_.size() * 2 >= slots_.size()) {
        // Grow to keep the table at most half full.
        std::vector<uint32_t> old;
        old.swap(slots_);
        slots_.assign(old.empty() ? 1024 : old.size() * 2, 0);
        for (uint32_t idx : old) {
            if (!idx) continue;
            uint64_t g = 1469598103934665603ULL;
            for (char c : words_[idx - 1]) g = (g ^ (unsigned char)c) * 1099511628211ULL;
            size_t k = size_t(g) & (slots_.size() - 1);
            while (slots_[k]) k = (k + 1) & (slots_.size() - 1);
            slots_[k] = idx;
        }
    }
    size_t k = size_t(h) & (slots_.size() - 1);
    while (slots_[k]) {
        if (words_[slots_[k] - 1] == fold_) return;
        k = (k + 1) & (slots_.size() - 1);
    }
    words_.push_back(fold_);
    slots_[k] = uint32_t(words_.size());
}

void Writer::TermSet::clear() {
    words_.clear();
    slots_.clear();
}

namespace {

void bindText(sqlite3_stmt* st, int i, const std::string& s) {
    sqlite3_bind_text(st, i, s.data(), int(s.size()), SQLITE_STATIC);
}

}  // namespace

bool Writer::insert(const DocRecord& d, std::string* why) {
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
    size_t bodyWords = 0, titleWords = 0;
    std::string map = buildPosMap(d.body.data(), d.body.size(), &bodyWords);
    forEachWord(d.title.data(), d.title.size(), [&](size_t, size_t) { titleWords++; });
    sqlite3_bind_int64(insDoc_, 13, (sqlite3_int64)(bodyWords + titleWords));
    if (!run(insDoc_, why)) return false;
    sqlite3_int64 id = sqlite3_last_insert_rowid(db_);

    if (!prepare(&insBody_, "INSERT INTO body(rowid, text, title) VALUES(?,?,?)", why)) return false;
    sqlite3_bind_int64(insBody_, 1, id);
    bindText(insBody_, 2, d.body);
    bindText(insBody_, 3, d.title);
    if (!run(insBody_, why)) return false;

    std::string code = name_ + " " + std::to_string(id);
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
    sqlite3_bind_blob(insMap_, 2, map.data(), int(map.size()), SQLITE_STATIC);
    if (!run(insMap_, why)) return false;

    for (const std::string* s :
         std::initializer_list<const std::string*>{&d.body, &d.title, &d.owner, &code, &d.comps, &d.file})
        forEachWord(s->data(), s->size(), [&](size_t b, size_t e) { terms_.add(s->data() + b, e - b); });
    return true;
}

bool Writer::remove(long long id, std::string* why) {
    static const char* const kSql[4] = {"DELETE FROM docs WHERE id = ?", "DELETE FROM body WHERE rowid = ?",
                                        "DELETE FROM meta WHERE rowid = ?", "DELETE FROM posmap WHERE id = ?"};
    for (int i = 0; i < 4; i++) {
        if (!prepare(&del_[i], kSql[i], why)) return false;
        sqlite3_bind_int64(del_[i], 1, id);
        if (!run(del_[i], why)) return false;
    }
    return true;
}

bool Writer::flushTerms(std::string* why) {
    sqlite3_stmt* ins = nullptr;
    sqlite3_stmt* tri = nullptr;
    bool ok = prepare(&ins, "INSERT OR IGNORE INTO terms(term) VALUES(?)", why) &&
              prepare(&tri, "INSERT INTO vocab(rowid, term) VALUES(?, ?)", why);
    for (auto it = terms_.all().begin(); ok && it != terms_.all().end(); ++it) {
        bindText(ins, 1, *it);
        if (!run(ins, why)) {
            ok = false;
            break;
        }
        if (sqlite3_changes(db_) == 0) continue;  // known already
        sqlite3_bind_int64(tri, 1, sqlite3_last_insert_rowid(db_));
        bindText(tri, 2, *it);
        ok = run(tri, why);
    }
    sqlite3_finalize(ins);
    sqlite3_finalize(tri);
    terms_.clear();
    return ok;
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
