// Word splitting and the position map; see FtText.h.
#include "FtText.h"

namespace ft {

std::string foldCase(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

std::vector<std::string> words(const std::string& text) {
    std::vector<std::string> out;
    forEachWord(text.data(), text.size(),
                [&](size_t s, size_t e) { out.push_back(foldCase(text.substr(s, e - s))); });
    return out;
}

bool getVarint(const unsigned char** p, const unsigned char* end, uint32_t* v) {
    uint32_t r = 0;
    for (int shift = 0; shift < 35; shift += 7) {
        if (*p == end) return false;
        unsigned char b = *(*p)++;
        r |= uint32_t(b & 0x7f) << shift;
        if (!(b & 0x80)) {
            *v = r;
            return true;
        }
    }
    return false;
}

bool readPosMap(const unsigned char* map, size_t mapLen, std::vector<MapWord>* out) {
    out->clear();
    PosMapReader r(map, mapLen);
    MapWord w;
    while (!r.done()) {
        if (!r.next(&w)) return false;
        out->push_back(w);
    }
    return true;
}

bool readWordIds(const unsigned char* map, size_t mapLen, std::vector<uint32_t>* ids) {
    ids->clear();
    std::vector<MapWord> all;
    if (!readPosMap(map, mapLen, &all)) return false;
    for (const MapWord& w : all) ids->push_back(w.id);
    return true;
}

}  // namespace ft
