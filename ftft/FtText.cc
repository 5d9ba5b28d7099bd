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

namespace {

void putVarint(std::string* out, uint32_t v) {
    while (v >= 0x80) {
        out->push_back(char(v | 0x80));
        v >>= 7;
    }
    out->push_back(char(v));
}

// Reads one varint from [*p, end); false when it runs past the end or over
// 32 bits.
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

}  // namespace

std::string buildPosMap(const char* text, size_t len, size_t* nwords) {
    std::string out;
    out.reserve(len / 3);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    uint32_t visible = 0;  // visible bytes before position i
    uint32_t last = 0;
    size_t n = 0;
    size_t i = 0;
    while (i < len) {
        while (i < len && !isWordByte(p[i])) {
            if (isVisible(p[i])) visible++;
            i++;
        }
        if (i == len) break;
        size_t s = i;
        while (i < len && !isVisible(p[i]) && isWordByte(p[i])) i++;  // UTF-8 bytes
        size_t first = i;
        while (i < len && isWordByte(p[i])) i++;
        uint32_t start = visible;
        for (size_t k = first; k < i; k++)
            if (isVisible(p[k])) visible++;
        (void)s;
        if (first < i) {
            putVarint(&out, start - last);
            putVarint(&out, uint32_t(i - first));
            last = start;
        } else {
            putVarint(&out, 0);
            putVarint(&out, 0);
        }
        n++;
    }
    if (nwords) *nwords = n;
    return out;
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
            uint32_t d, l;
            if (!getVarint(&p, end, &d) || !getVarint(&p, end, &l)) return false;
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
