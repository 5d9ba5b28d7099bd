// The skip-table pattern matcher; see YmSLinearPat.h.
#include "YmSLinearPat.h"

#include <cstddef>
#include <cstring>

YmSLinearPat::YmSLinearPat(const char* pat, unsigned int len) : pattern(nullptr), patternLength(0) {
    constructor(pat, len);
}

YmSLinearPat::YmSLinearPat(const YmStr& s) : pattern(nullptr), patternLength(0) {
    constructor(reinterpret_cast<const char*>(s.data), s.slength - 1);
}

YmSLinearPat::~YmSLinearPat() { delete[] pattern; }

void YmSLinearPat::constructor(const char* pat, unsigned int len) {
    if (len == 0) len = unsigned(strlen(pat));
    delete[] pattern;
    patternLength = len;
    pattern = new unsigned char[len];
    if (len) memcpy(pattern, pat, len);
    for (unsigned int& entry : skip_table) entry = patternLength;
    // The final byte is left out: under the window's last position it would
    // give a shift of 0.
    for (unsigned int i = 0; i + 1 < patternLength; i++) skip_table[pattern[i]] = patternLength - i - 1;
}

int YmSLinearPat::findBuffer(const char* buf, unsigned int len) {
    size_t m = patternLength;
    if (m == 0) return 0;
    const unsigned char* text = reinterpret_cast<const unsigned char*>(buf);
    unsigned char last = pattern[m - 1];
    // size_t, so that the last shift cannot wrap around near 4 GB.
    for (size_t p = m - 1; p < len; p += skip_table[text[p]]) {
        if (text[p] == last && memcmp(pattern, text + p - m + 1, m) == 0) return int(p - m + 1);
    }
    return -1;
}

int YmSLinearPat::findEndBuffer(const char* buf, unsigned int len) {
    int at = findBuffer(buf, len);
    return at >= 0 ? at + int(patternLength) : 0;
}

int YmSLinearPat::bracketBuffer(const char* buf, unsigned int len, int& start, int& end) {
    start = findBuffer(buf, len);
    end = start >= 0 ? start + int(patternLength) : 0;
    return start;
}
