// Words of a text as the engine sees them, and the per-document map from a
// word's number to where the client highlights it.
//
// A word is a run of ASCII letters and digits and of bytes 128 to 255 (so
// that UTF-8 letters stay inside words); case is folded for ASCII only. This
// is exactly what the storage layer's "ascii" tokenizer does, so the word
// numbers it reports line up with the ones counted here.
#ifndef FT_TEXT_H
#define FT_TEXT_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace ft {

inline bool isWordByte(unsigned char c) {
    return c >= 128 || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// What the client counts: bytes 33 to 126.
inline bool isVisible(unsigned char c) { return c >= 33 && c <= 126; }

// Calls fn(start, end) for each word of [text, text + len), in order.
template <class Fn>
void forEachWord(const char* text, size_t len, Fn fn) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    size_t i = 0;
    while (i < len) {
        while (i < len && !isWordByte(p[i])) i++;
        if (i == len) break;
        size_t s = i;
        while (i < len && isWordByte(p[i])) i++;
        fn(s, i);
    }
}

// The words of a text, lower-cased.
std::vector<std::string> words(const std::string& text);

// Lower-cases ASCII letters.
std::string foldCase(std::string s);

// The position map of a body text: for word n, its start in visible
// characters (counted from 0), its highlight length, and its number in the
// base's word list. The start is the first visible byte of the word (a UTF-8
// lead does not count) and the length runs from there to the word's end; a
// word without visible bytes has no place (length 0). The word numbers let
// the word sequence be rebuilt when the document leaves the index.
//
// Stored form: per word three varints: the start's growth since the previous
// placed word, the length, the word number.
inline void putVarint(std::string* out, uint32_t v) {
    while (v >= 0x80) {
        out->push_back(char(v | 0x80));
        v >>= 7;
    }
    out->push_back(char(v));
}
// Reads one varint from [*p, end); false when it runs past the end or over
// 32 bits.
bool getVarint(const unsigned char** p, const unsigned char* end, uint32_t* v);

// Writes one varint at p, which has room for 5 bytes; returns the end.
inline unsigned char* putVarintRaw(unsigned char* p, uint32_t v) {
    while (v >= 0x80) {
        *p++ = (unsigned char)(v | 0x80);
        v >>= 7;
    }
    *p++ = (unsigned char)v;
    return p;
}

// idOf(start, length) gives the word number of a word of the text. The map
// is appended to *out.
template <class IdOf>
void buildPosMap(const char* text, size_t len, IdOf idOf, std::string* out, size_t* nwords = nullptr) {
    // Every word takes at most three 5-byte varints; the buffer grows ahead
    // of that so that the loop writes without checks of its own.
    constexpr size_t kEntryMax = 15;
    size_t used = out->size();
    out->resize(used + len / 2 + 64);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    uint32_t visible = 0;  // visible bytes before position i
    uint32_t last = 0;
    size_t n = 0;
    size_t i = 0;
    while (i < len) {
        while (i < len && !isWordByte(p[i])) {
            visible += isVisible(p[i]);
            i++;
        }
        if (i == len) break;
        size_t s = i;
        while (i < len && p[i] >= 128) i++;  // UTF-8 bytes: word bytes, not visible
        size_t first = i;
        while (i < len && isWordByte(p[i])) i++;
        uint32_t start = visible;
        for (size_t k = first; k < i; k++) visible += isVisible(p[k]);
        if (out->size() - used < kEntryMax) out->resize(out->size() * 2 + kEntryMax);
        unsigned char* w = reinterpret_cast<unsigned char*>(&(*out)[used]);
        unsigned char* e = w;
        if (first < i) {
            e = putVarintRaw(e, start - last);
            e = putVarintRaw(e, uint32_t(i - first));
            last = start;
        } else {
            *e++ = 0;
            *e++ = 0;
        }
        e = putVarintRaw(e, idOf(s, i - s));
        used += size_t(e - w);
        n++;
    }
    out->resize(used);
    if (nwords) *nwords = n;
}

// One word of a map: its place (length 0: none) and its number.
struct MapWord {
    uint32_t start, len, id;
};

// Reads a map word by word, in text order.
class PosMapReader {
public:
    PosMapReader(const unsigned char* map, size_t len) : p_(map), end_(map + len) {}
    bool done() const { return p_ == end_; }
    // The next word; false when the map is malformed.
    bool next(MapWord* w) {
        uint32_t d;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        // Nearly every word has a one-byte gap and length and a number of
        // at most four bytes: read as one 8-byte value, with no branch on
        // the number's length (which no predictor guesses).
        if (size_t(end_ - p_) >= 8) {
            uint64_t x;
            memcpy(&x, p_, 8);
            uint64_t stops = ~x & (uint64_t(0x80808080) << 16);  // ends among bytes 2 to 5
            if (!(x & 0x8080) && stops) {
                unsigned last = unsigned(__builtin_ctzll(stops)) >> 3;
                uint64_t y = (x >> 16) & ((uint64_t(1) << (8 * (last - 1))) - 1);
                w->id = uint32_t((y & 0x7f) | ((y >> 1) & (uint64_t(0x7f) << 7)) |
                                 ((y >> 2) & (uint64_t(0x7f) << 14)) | ((y >> 3) & (uint64_t(0x7f) << 21)));
                w->len = uint32_t(x >> 8) & 0x7f;
                start_ += uint32_t(x) & 0x7f;
                w->start = start_;
                p_ += last + 1;
                return true;
            }
        }
#endif
        if (!get(&d) || !get(&w->len) || !get(&w->id)) return false;
        start_ += d;
        w->start = start_;
        return true;
    }
    // Most words need far fewer bytes than the most three numbers take.
    static size_t maxWords(size_t mapLen) { return mapLen / 3; }

private:
    // Inline, so that the reader's state stays in registers over a map.
    bool get(uint32_t* v) {
        uint32_t r = 0;
        for (int shift = 0; shift < 35; shift += 7) {
            if (p_ == end_) return false;
            unsigned char b = *p_++;
            r |= uint32_t(b & 0x7f) << shift;
            if (!(b & 0x80)) {
                *v = r;
                return true;
            }
        }
        return false;
    }
    const unsigned char* p_;
    const unsigned char* end_;
    uint32_t start_ = 0;
};

// Decodes a whole map, words in text order; false on a malformed map.
bool readPosMap(const unsigned char* map, size_t mapLen, std::vector<MapWord>* out);

// The word numbers of a map, in text order; false on a malformed map.
bool readWordIds(const unsigned char* map, size_t mapLen, std::vector<uint32_t>* ids);

}  // namespace ft

#endif
