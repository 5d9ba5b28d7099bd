// Word triples; see FtVocab.h.
#include "FtVocab.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

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

bool addTriples(sqlite3* db, const std::vector<std::pair<uint32_t, std::string>>& words, std::string* why) {
    // Each triple's word numbers, ascending (the words come in order).
    std::unordered_map<uint32_t, std::vector<uint32_t>> byGram;
    for (const auto& w : words) {
        const unsigned char* t = reinterpret_cast<const unsigned char*>(w.second.data());
        for (size_t i = 0; i + 3 <= w.second.size(); i++) {
            uint32_t g = (uint32_t(t[i]) << 16) | (uint32_t(t[i + 1]) << 8) | t[i + 2];
            std::vector<uint32_t>& ids = byGram[g];
            if (ids.empty() || ids.back() != w.first) ids.push_back(w.first);
        }
    }
    std::vector<uint32_t> grams;
    grams.reserve(byGram.size());
    for (const auto& e : byGram) grams.push_back(e.first);
    std::sort(grams.begin(), grams.end());  // the table is keyed by triple: write in its order
    sqlite3_stmt *get = nullptr, *put = nullptr;
    bool ok = sqlite3_prepare_v2(db, "SELECT last, ids FROM grams WHERE gram = ?", -1, &get, nullptr) == SQLITE_OK &&
              sqlite3_prepare_v2(db, "INSERT OR REPLACE INTO grams(gram, last, ids) VALUES(?, ?, ?)", -1, &put,
                                 nullptr) == SQLITE_OK;
    std::string blob;
    for (size_t gi = 0; ok && gi < grams.size(); gi++) {
        uint32_t g = grams[gi];
        char key[3] = {char(g >> 16), char(g >> 8), char(g)};
        sqlite3_bind_blob(get, 1, key, 3, SQLITE_STATIC);
        uint32_t last = 0;
        blob.clear();
        if (sqlite3_step(get) == SQLITE_ROW) {
            last = uint32_t(sqlite3_column_int64(get, 0));
            const char* b = static_cast<const char*>(sqlite3_column_blob(get, 1));
            if (b) blob.assign(b, size_t(sqlite3_column_bytes(get, 1)));
        }
        sqlite3_reset(get);
        for (uint32_t id : byGram[g]) {
            if (id <= last) continue;  // numbers only grow; an old one is there already
            putVarint(&blob, id - last);
            last = id;
        }
        sqlite3_bind_blob(put, 1, key, 3, SQLITE_STATIC);
        sqlite3_bind_int64(put, 2, last);
        sqlite3_bind_blob(put, 3, blob.data(), int(blob.size()), SQLITE_STATIC);
        ok = sqlite3_step(put) == SQLITE_DONE;
        sqlite3_reset(put);
    }
    if (!ok) *why = sqlite3_errmsg(db);
    sqlite3_finalize(get);
    sqlite3_finalize(put);
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
