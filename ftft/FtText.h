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
// characters (counted from 0) and its highlight length. The start is the
// first visible byte of the word (a UTF-8 lead does not count) and the length
// runs from there to the word's end; a word without visible bytes has no
// place (length 0).
//
// Stored form: per word two varints, the start's growth since the previous
// placed word and the length.
std::string buildPosMap(const char* text, size_t len, size_t* nwords = nullptr);

// Decodes the entries for the sorted word numbers in `which` (duplicates
// allowed); out gets {start, length} per entry, length 0 for a word number
// beyond the map or without place. Returns false on a malformed map.
struct Place {
    uint32_t start;
    uint32_t len;
};
bool readPosMap(const unsigned char* map, size_t mapLen, const std::vector<uint32_t>& which,
                std::vector<Place>* out);

}  // namespace ft

#endif
