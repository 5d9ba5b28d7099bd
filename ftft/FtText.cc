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

bool readWordIds(const unsigned char* map, size_t mapLen, std::vector<uint32_t>* ids) {
    ids->clear();
    const unsigned char* p = map;
    const unsigned char* end = map + mapLen;
    while (p != end) {
        uint32_t d, l, id;
        if (!getVarint(&p, end, &d) || !getVarint(&p, end, &l) || !getVarint(&p, end, &id)) return false;
        ids->push_back(id);
    }
    return true;
}

bool readPosMap(const unsigned char* map, size_t mapLen, const std::vector<uint32_t>& which,
                std::vector<Place>* out) {
    out->clear();
    const unsigned char* p = map;
    const unsigned char* end = map + mapLen;
    uint32_t word = 0;
    uint32_t start = 0;
    Place cur{0, 0};
    bool have = false;  // cur holds word number word - 1
    for (uint32_t want : which) {
        while (!have || word - 1 < want) {
            if (p == end) {
                // Past the map: no place for this or any later word.
                while (out->size() < which.size()) out->push_back({0, 0});
                return true;
            }
            uint32_t d, l, id;
            if (!getVarint(&p, end, &d) || !getVarint(&p, end, &l) || !getVarint(&p, end, &id)) return false;
            start += d;
            cur = {start, l};
            word++;
            have = true;
        }
        out->push_back(cur);
    }
    return true;
}

}  // namespace ft
