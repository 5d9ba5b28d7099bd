// Word triples; see FtVocab.h.
#include "FtVocab.h"

#include <algorithm>
#include <cstring>

#include "FtText.h"

namespace ft {

namespace {

bool decode(const void* blob, int bytes, std::vector<uint32_t>* out) {
    out->clear();
    const unsigned char* p = static_cast<const unsigned char*>(blob);
    const unsigned char* end = p + (bytes > 0 ? bytes : 0);
    uint32_t id = 0;
    while (p != end) {
        uint32_t d;
        if (!getVarint(&p, end, &d)) return false;
        id += d;
        out->push_back(id);
    }
    return true;
}

}  // namespace

bool splitTermBlock(const void* blob, int bytes, std::vector<std::string>* words) {
    words->clear();
    const char* p = static_cast<const char*>(blob);
    const char* end = p + (bytes > 0 ? bytes : 0);
    while (p < end) {
        const char* z = static_cast<const char*>(memchr(p, '\0', size_t(end - p)));
        if (!z) return false;
        words->emplace_back(p, size_t(z - p));
        p = z + 1;
    }
    return words->size() <= kTermsPerBlock;
}

bool TermCache::word(sqlite3* db, sqlite3_stmt** st, uint32_t id, std::string_view* out, int* rc) {
    *out = std::string_view();
    *rc = SQLITE_OK;
    if (id == 0) return true;
    size_t b = (id - 1) / kTermsPerBlock, k = (id - 1) % kTermsPerBlock;
    if (b >= blocks_.size()) blocks_.resize(b + 1);
    Block& blk = blocks_[b];
    if (!blk.read || (k >= blk.starts.size() && blk.starts.size() < kTermsPerBlock)) {
        if (!*st && (*rc = sqlite3_prepare_v2(db, "SELECT words FROM terms WHERE block = ?", -1, st, nullptr)) !=
                        SQLITE_OK)
            return false;
        sqlite3_bind_int64(*st, 1, sqlite3_int64(b));
        int r = sqlite3_step(*st);
        blk.words.clear();
        blk.starts.clear();
        if (r == SQLITE_ROW) {
            const char* p = static_cast<const char*>(sqlite3_column_blob(*st, 0));
            blk.words.assign(p ? p : "", size_t(sqlite3_column_bytes(*st, 0)));
        }
        sqlite3_reset(*st);
        if (r != SQLITE_ROW && r != SQLITE_DONE) {
            *rc = r;
            return false;
        }
        for (size_t s = 0; s < blk.words.size();) {
            size_t z = blk.words.find('\0', s);
            if (z == std::string::npos || blk.starts.size() == kTermsPerBlock) {
                blk.words.clear();
                blk.starts.clear();
                *rc = SQLITE_CORRUPT;
                return false;
            }
            blk.starts.push_back(uint32_t(s));
            s = z + 1;
        }
        blk.read = true;
    }
    if (k < blk.starts.size()) {
        size_t end = k + 1 < blk.starts.size() ? blk.starts[k + 1] : blk.words.size();
        *out = std::string_view(blk.words.data() + blk.starts[k], end - blk.starts[k] - 1);
    }
    return true;
}

size_t TripleLists::slotOf(const std::vector<uint64_t>& t, uint32_t g) {
    size_t mask = t.size() - 1;
    size_t k = size_t((uint64_t(g) * 0x9E3779B97F4A7C15ull) >> 32) & mask;  // the product's high bits mix best
    while (t[k] && uint32_t(t[k] >> 32) != g) k = (k + 1) & mask;
    return k;
}

void TripleLists::add(uint32_t id, std::string_view word) {
    if (slots_.empty()) slots_.assign(4096, 0);
    const unsigned char* t = reinterpret_cast<const unsigned char*>(word.data());
    for (size_t i = 0; i + 3 <= word.size(); i++) {
        uint32_t g = (uint32_t(t[i]) << 16) | (uint32_t(t[i + 1]) << 8) | t[i + 2];
        size_t k = slotOf(slots_, g);
        if (!slots_[k]) {
            lists_.emplace_back();
            lists_.back().gram = g;
            lists_.back().first = lists_.back().last = id;
            slots_[k] = uint64_t(g) << 32 | lists_.size();
            if (lists_.size() * 2 >= slots_.size()) {
                std::vector<uint64_t> bigger(slots_.size() * 2, 0);
                for (uint64_t v : slots_)
                    if (v) bigger[slotOf(bigger, uint32_t(v >> 32))] = v;
                slots_.swap(bigger);
            }
            continue;
        }
        List& l = lists_[uint32_t(slots_[k]) - 1];
        if (l.last == id) continue;  // the triple twice in one word
        putVarint(&l.gaps, id - l.last);
        l.last = id;
    }
}

bool TripleLists::write(sqlite3* db, std::string* why) {
    why->clear();
    std::vector<uint64_t>().swap(slots_);
    // The table is keyed by triple: written in its order.
    std::sort(lists_.begin(), lists_.end(), [](const List& a, const List& b) { return a.gram < b.gram; });
    sqlite3_stmt *get = nullptr, *put = nullptr;
    bool ok = sqlite3_prepare_v2(db, "SELECT last, ids FROM grams WHERE gram = ?", -1, &get, nullptr) == SQLITE_OK &&
              sqlite3_prepare_v2(db, "INSERT OR REPLACE INTO grams(gram, last, ids) VALUES(?, ?, ?)", -1, &put,
                                 nullptr) == SQLITE_OK;
    // A new index has no triples yet: then nothing needs to be read back.
    bool known = false;
    if (ok) {
        sqlite3_stmt* any = nullptr;
        ok = sqlite3_prepare_v2(db, "SELECT 1 FROM grams LIMIT 1", -1, &any, nullptr) == SQLITE_OK;
        int rc = ok ? sqlite3_step(any) : SQLITE_ERROR;
        known = rc == SQLITE_ROW;
        ok = ok && (rc == SQLITE_ROW || rc == SQLITE_DONE);
        sqlite3_finalize(any);
    }
    std::string blob;
    for (size_t i = 0; ok && i < lists_.size(); i++) {
        const List& l = lists_[i];
        char key[3] = {char(l.gram >> 16), char(l.gram >> 8), char(l.gram)};
        uint32_t last = 0;
        blob.clear();
        if (known) {
            sqlite3_bind_blob(get, 1, key, 3, SQLITE_STATIC);
            int rc = sqlite3_step(get);
            if (rc == SQLITE_ROW) {
                last = uint32_t(sqlite3_column_int64(get, 0));
                const char* b = static_cast<const char*>(sqlite3_column_blob(get, 1));
                if (b) blob.assign(b, size_t(sqlite3_column_bytes(get, 1)));
            }
            sqlite3_reset(get);
            ok = rc == SQLITE_ROW || rc == SQLITE_DONE;
        }
        if (l.first > last) {
            putVarint(&blob, l.first - last);
            blob += l.gaps;
            last = l.last;
        } else {
            // Numbers the list holds already (new words are numbered above
            // every indexed one, so only a damaged list has them): kept once.
            std::vector<uint32_t> ids;
            std::string all;
            putVarint(&all, l.first);
            all += l.gaps;
            if (!decode(all.data(), int(all.size()), &ids)) {
                *why = "cannot read back a triple's word numbers";
                ok = false;
                break;
            }
            for (uint32_t id : ids)
                if (id > last) {
                    putVarint(&blob, id - last);
                    last = id;
                }
        }
        sqlite3_bind_blob(put, 1, key, 3, SQLITE_STATIC);
        sqlite3_bind_int64(put, 2, last);
        sqlite3_bind_blob(put, 3, blob.data(), int(blob.size()), SQLITE_STATIC);
        ok = ok && sqlite3_step(put) == SQLITE_DONE;
        sqlite3_reset(put);
    }
    if (!ok && why->empty()) *why = sqlite3_errmsg(db);
    sqlite3_finalize(get);
    sqlite3_finalize(put);
    std::vector<List>().swap(lists_);
    return ok;
}

std::vector<std::string> patternTriples(const std::string& glob) {
    std::vector<std::string> out;
    size_t run = 0;
    for (size_t i = 0; i < glob.size(); i++) {
        if (glob[i] == '*' || glob[i] == '?') {
            run = 0;
            continue;
        }
        if (++run >= 3) out.push_back(glob.substr(i - 2, 3));
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

bool tripleCandidates(sqlite3* db, const std::vector<std::string>& triples, std::vector<uint32_t>* ids, int* rc) {
    ids->clear();
    *rc = SQLITE_OK;
    sqlite3_stmt* get = nullptr;
    if ((*rc = sqlite3_prepare_v2(db, "SELECT ids FROM grams WHERE gram = ?", -1, &get, nullptr)) != SQLITE_OK)
        return false;
    std::vector<uint32_t> one, both;
    bool first = true;
    for (const std::string& g : triples) {
        sqlite3_bind_blob(get, 1, g.data(), int(g.size()), SQLITE_STATIC);
        int r = sqlite3_step(get);
        bool okDecode = true;
        if (r == SQLITE_ROW) okDecode = decode(sqlite3_column_blob(get, 0), sqlite3_column_bytes(get, 0), &one);
        else one.clear();
        sqlite3_reset(get);
        if (r != SQLITE_ROW && r != SQLITE_DONE) {
            *rc = r;
            sqlite3_finalize(get);
            return false;
        }
        if (!okDecode) {
            *rc = SQLITE_CORRUPT;
            sqlite3_finalize(get);
            return false;
        }
        if (first) {
            ids->swap(one);
            first = false;
        } else {
            both.clear();
            std::set_intersection(ids->begin(), ids->end(), one.begin(), one.end(), std::back_inserter(both));
            ids->swap(both);
        }
        if (ids->empty()) break;
    }
    sqlite3_finalize(get);
    return true;
}

}  // namespace ft
