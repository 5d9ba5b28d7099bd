// The byte string and the concatenation buffer; see YmStr.h.
#include "YmStr.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

unsigned char YmStr::emptyString = 0;

namespace {

// Sets s to the printf output of fmt. The output is measured before the block
// is allocated, so no format or field width can write past it. Output that is
// empty (or a format the C library refuses) gives the shared empty string.
void formatInto(YmStr& s, const char* fmt, ...) {
    va_list ap, again;
    va_start(ap, fmt);
    va_copy(again, ap);
    int n = vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    if (n <= 0) {
        s.slength = 1;
        s.data = &YmStr::emptyString;
    } else {
        s.data = static_cast<unsigned char*>(malloc(size_t(n) + 1));
        vsnprintf(reinterpret_cast<char*>(s.data), size_t(n) + 1, fmt, again);
        s.slength = unsigned(n) + 1;
    }
    va_end(again);
}

// start + chars <= length, without wrapping on large operands.
bool inRange(unsigned int start, unsigned int chars, unsigned int slength) {
    return chars < slength && start < slength - chars;
}

// Whether p points into the block [data, data + len).
bool inside(const void* p, const unsigned char* data, unsigned int len) {
    const unsigned char* q = static_cast<const unsigned char*>(p);
    return q >= data && q < data + len;
}

int quickFind(char c, const char* set, unsigned int n) {
    for (unsigned int i = 0; i < n; i++)
        if (set[i] == c) return 1;
    return 0;
}

// The separators of the scanning and token operations: one byte, or the
// first n bytes of a set (n = 0: up to its NUL).
struct One {
    char c;
    bool operator()(unsigned char b) const { return char(b) == c; }
};

struct Set {
    const char* set;
    unsigned int n;
    Set(const char* s, unsigned int len) : set(s), n(len ? len : unsigned(strlen(s))) {}
    bool operator()(unsigned char b) const { return quickFind(char(b), set, n); }
};

// The first index at or after posn whose byte does (want) or does not match;
// the length if none.
template <class Match>
unsigned int scanForward(const YmStr& s, unsigned int posn, Match match, bool want) {
    YM_ASSERT(posn < s.slength, "posn<slength");
    unsigned int i = posn;
    while (i + 1 < s.slength && match(s.data[i]) != want) i++;
    return i;
}

// One past the last index below posn whose byte does (want) or does not
// match; 0 if none.
template <class Match>
unsigned int scanBackward(const YmStr& s, unsigned int posn, Match match, bool want) {
    YM_ASSERT(posn < s.slength, "posn<slength");
    unsigned int i = posn;
    while (i > 0 && match(s.data[i - 1]) != want) i--;
    return i;
}

// A run of separators ends one token, so no empty token arises between two.
template <class Match>
YmStr tokenForward(const YmStr& s, unsigned int& posn, Match match) {
    unsigned int e = scanForward(s, posn, match, true);
    YmStr t = s.extract(posn, e - posn);
    posn = scanForward(s, e, match, false);
    return t;
}

template <class Match>
YmStr tokenBackward(const YmStr& s, unsigned int& posn, Match match) {
    unsigned int b = scanBackward(s, posn, match, true);
    YmStr t = s.extract(b, posn - b);
    posn = scanBackward(s, b, match, false);
    return t;
}

unsigned int bigEndian32(const unsigned char* p) {
    return unsigned(p[0]) << 24 | unsigned(p[1]) << 16 | unsigned(p[2]) << 8 | unsigned(p[3]);
}

const char* cstr(const char* s) { return s ? s : ""; }
const char* cstr(const YmStr& s) { return reinterpret_cast<const char*>(s.data); }

}  // namespace

YmStr::YmStr(unsigned int n) : slength(n + 1), data(&emptyString) {
    if (n) data = static_cast<unsigned char*>(calloc(size_t(n) + 1, 1));
    else slength = 1;
}

YmStr::YmStr(const char* s) : YmStr(s, s ? unsigned(strlen(s)) : 0u) {}

YmStr::YmStr(const char* s, unsigned int n) : slength(n + 1), data(&emptyString) {
    if (n == 0) {
        slength = 1;
        return;
    }
    data = static_cast<unsigned char*>(malloc(size_t(n) + 1));
    memcpy(data, s, n);
    data[n] = 0;
}

YmStr::YmStr(const YmStr& o) : YmStr(reinterpret_cast<const char*>(o.data), o.slength > 1 ? o.slength - 1 : 0) {}

YmStr::YmStr(const YmTempStr& t)
    : YmStr(reinterpret_cast<const char*>(t.data), t.slength > 1 ? t.slength - 1 : 0) {}

YmStr::YmStr(const char* s, const char* fmt) { formatInto(*this, fmt ? fmt : "%s", cstr(s)); }

YmStr::YmStr(int n, const char* fmt) { formatInto(*this, fmt ? fmt : "%d", n); }

YmStr::YmStr(float f, const char* fmt) {
    formatInto(*this, fmt ? fmt : "%g", double(f));
    YM_ASSERT(slength > 1, "slength>1");
}

YmStr::YmStr(double d, const char* fmt) {
    formatInto(*this, fmt ? fmt : "%lg", d);
    YM_ASSERT(slength > 1, "slength>1");
}

YmStr::~YmStr() {
    YM_ASSERT(data, "data");
    if (data != &emptyString) free(data);
}

void YmStr::destroy() { delete this; }

void YmStr::setEmpty() {
    resizeInternal(0);
    slength = 1;
}

void YmStr::resizeInternal(unsigned int n) {
    if (slength < 2) {
        YM_ASSERT(data == &emptyString, "data == &emptyString");
        if (n) data = static_cast<unsigned char*>(calloc(size_t(n) + 1, 1));
    } else if (n == 0) {
        YM_ASSERT(data != &emptyString, "data != &emptyString");
        free(data);
        data = &emptyString;
    } else if (n >= slength) {
        data = static_cast<unsigned char*>(realloc(data, size_t(n) + 1));
    }
}

YmStr YmStr::extract(unsigned int start, unsigned int chars) const {
    YM_ASSERT(inRange(start, chars, slength), "start+chars<slength");
    return YmStr(reinterpret_cast<const char*>(data) + start, chars);
}

YmStr YmStr::head(unsigned int chars) const {
    YM_ASSERT(chars < slength, "chars<slength");
    return YmStr(reinterpret_cast<const char*>(data), chars);
}

YmStr YmStr::tail(unsigned int chars) const {
    YM_ASSERT(chars < slength, "chars<slength");
    return YmStr(reinterpret_cast<const char*>(data) + (slength - 1 - chars), chars);
}

YmStr YmStr::copy() const { return YmStr(*this); }

unsigned int YmStr::cnt(char c) const {
    unsigned int k = 0;
    for (unsigned int i = 0; i + 1 < slength; i++)
        if (data[i] == static_cast<unsigned char>(c)) k++;
    return k;
}

void YmStr::remove(unsigned int start, unsigned int chars) {
    YM_ASSERT(inRange(start, chars, slength), "start+chars < slength");
    unsigned int move = slength - start - chars;
    YM_ASSERT(move > 0, "move > 0");
    if (chars == 0) return;
    memmove(data + start, data + start + chars, move);
    slength -= chars;
    if (slength < 2) {
        // Every empty string points at the shared byte, so the block goes.
        free(data);
        data = &emptyString;
    }
}

YmStr YmStr::cut(unsigned int start, unsigned int chars) {
    YM_ASSERT(inRange(start, chars, slength), "start+chars < slength");
    YmStr piece = extract(start, chars);
    remove(start, chars);
    return piece;
}

void YmStr::insert(const char* s, unsigned int posn, unsigned int n) {
    if (n == 0) n = unsigned(strlen(s));
    if (n == 0) return;
    YM_ASSERT(posn < slength, "posn<slength");
    if (inside(s, data, slength)) {
        // Growing may move the block and shifting changes the source.
        YmStr own(s, n);
        insert(reinterpret_cast<const char*>(own.data), posn, n);
        return;
    }
    resizeInternal(slength + n);
    memmove(data + posn + n, data + posn, slength - posn);
    memcpy(data + posn, s, n);
    slength += n;
}

void YmStr::insert(char c, unsigned int posn) {
    YM_ASSERT(posn < slength, "move > 0");
    resizeInternal(slength + 1);
    memmove(data + posn + 1, data + posn, slength - posn);
    data[posn] = static_cast<unsigned char>(c);
    slength++;
}

void YmStr::append(const char* s, unsigned int n) {
    if (n == 0) n = unsigned(strlen(s));
    if (n == 0) return;
    if (inside(s, data, slength)) {
        YmStr own(s, n);
        append(reinterpret_cast<const char*>(own.data), n);
        return;
    }
    resizeInternal(slength + n - 1);
    memcpy(data + slength - 1, s, n);
    slength += n;
    data[slength - 1] = 0;
}

void YmStr::append(char c) {
    resizeInternal(slength);
    data[slength - 1] = static_cast<unsigned char>(c);
    slength++;
    data[slength - 1] = 0;
}

YmStr& YmStr::operator=(const char* s) {
    unsigned int n = s ? unsigned(strlen(s)) : 0;
    if (n == 0) {
        setEmpty();
        return *this;
    }
    // A source inside this string is shorter than it, so the block is not
    // reallocated; memmove covers the overlap.
    resizeInternal(n);
    memmove(data, s, size_t(n) + 1);
    slength = n + 1;
    return *this;
}

YmStr& YmStr::operator=(const YmStr& o) {
    if (&o != this) assign(o.data, o.slength);
    return *this;
}

YmStr& YmStr::operator=(const YmTempStr& t) {
    assign(t.data, t.slength);
    return *this;
}

void YmStr::assign(const unsigned char* src, unsigned int srcLength) {
    if (srcLength < 2) {
        setEmpty();
        return;
    }
    resizeInternal(srcLength - 1);
    memcpy(data, src, srcLength);
    slength = srcLength;
}

void YmStr::lower() {
    for (unsigned int i = 0; i + 1 < slength; i++)
        if (isupper(data[i])) data[i] = static_cast<unsigned char>(tolower(data[i]));
}

void YmStr::raise() {
    for (unsigned int i = 0; i + 1 < slength; i++)
        if (islower(data[i])) data[i] = static_cast<unsigned char>(toupper(data[i]));
}

void YmStr::resize(unsigned int n, unsigned char /*c: new bytes are always 0*/) {
    if (n == 0) {
        setEmpty();
        return;
    }
    unsigned int old = slength;
    resizeInternal(n);
    if (n + 1 > old) memset(data + old - 1, 0, size_t(n) + 2 - old);
    slength = n + 1;
    data[n] = 0;
}

void YmStr::setMaxLength(unsigned int n) {
    if (slength < 2) return;
    resizeInternal(n > slength - 1 ? n : slength - 1);
}

unsigned int YmStr::next(unsigned int posn, char c) const { return scanForward(*this, posn, One{c}, true); }

unsigned int YmStr::next(unsigned int posn, const char* set, unsigned int n) const {
    return scanForward(*this, posn, Set(set, n), true);
}

unsigned int YmStr::skip(unsigned int posn, char c) const { return scanForward(*this, posn, One{c}, false); }

unsigned int YmStr::skip(unsigned int posn, const char* set, unsigned int n) const {
    return scanForward(*this, posn, Set(set, n), false);
}

unsigned int YmStr::nextR(unsigned int posn, char c) const { return scanBackward(*this, posn, One{c}, true); }

unsigned int YmStr::nextR(unsigned int posn, const char* set, unsigned int n) const {
    return scanBackward(*this, posn, Set(set, n), true);
}

unsigned int YmStr::skipR(unsigned int posn, char c) const { return scanBackward(*this, posn, One{c}, false); }

unsigned int YmStr::skipR(unsigned int posn, const char* set, unsigned int n) const {
    return scanBackward(*this, posn, Set(set, n), false);
}

YmStr YmStr::token(unsigned int& posn, const char* set, unsigned int n) const {
    return tokenForward(*this, posn, Set(set, n));
}

YmStr YmStr::token(unsigned int& posn, char c) const { return tokenForward(*this, posn, One{c}); }

YmStr YmStr::tokenR(unsigned int& posn, const char* set, unsigned int n) const {
    return tokenBackward(*this, posn, Set(set, n));
}

YmStr YmStr::tokenR(unsigned int& posn, char c) const { return tokenBackward(*this, posn, One{c}); }

YmStr YmStr::ptoken(unsigned int& posn, char c) const {
    unsigned int e = next(posn, c);
    YmStr t = extract(posn, e - posn);
    posn = e + 1;
    return t;
}

unsigned int YmStr::hash() const {
    unsigned int len = slength > 1 ? slength - 1 : 0;
    if (len >= 8) return bigEndian32(data + 4) << 3 ^ bigEndian32(data);
    if (len <= 4) {
        unsigned char word[4] = {0, 0, 0, 0};
        memcpy(word + 4 - len, data, len);
        return bigEndian32(word) << 3;
    }
    unsigned char buf[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    memcpy(buf + 8 - len, data, len);
    return bigEndian32(buf) << 3 ^ bigEndian32(data);
}

YmTempStr::YmTempStr(const char* a, unsigned int la, const char* b, unsigned int lb)
    : data(indata), slength(la + lb + 1) {
    if (slength > sizeof indata) data = static_cast<unsigned char*>(malloc(slength));
    if (la) memcpy(data, a, la);
    if (lb) memcpy(data + la, b, lb);
    data[la + lb] = 0;
}

YmTempStr::~YmTempStr() {
    if (data != indata) free(data);
}

YmTempStr& YmTempStr::concat(const char* s, unsigned int n) {
    unsigned int grown = slength + n;
    if (data == indata) {
        if (grown > sizeof indata) {
            unsigned char* heap = static_cast<unsigned char*>(malloc(grown));
            memcpy(heap, indata, slength - 1);
            data = heap;
        }
    } else {
        data = static_cast<unsigned char*>(realloc(data, grown));
    }
    if (n) memcpy(data + slength - 1, s, n);
    slength = grown;
    data[slength - 1] = 0;
    return *this;
}

YmTempStr operator|(const YmStr& a, const YmStr& b) {
    return YmTempStr(cstr(a), a.slength - 1, cstr(b), b.slength - 1);
}

YmTempStr operator|(const YmStr& a, const char* b) {
    b = cstr(b);
    return YmTempStr(cstr(a), a.slength - 1, b, unsigned(strlen(b)));
}

YmTempStr operator|(const char* a, const YmStr& b) {
    a = cstr(a);
    return YmTempStr(a, unsigned(strlen(a)), cstr(b), b.slength - 1);
}

// The left operand is the temporary of the running chain, not a const
// object, so extending it in place is what the chain relies on.
YmTempStr& operator|(const YmTempStr& t, const YmStr& s) {
    return const_cast<YmTempStr&>(t).concat(cstr(s), s.slength - 1);
}

YmTempStr& operator|(const YmTempStr& t, const char* s) {
    s = cstr(s);
    return const_cast<YmTempStr&>(t).concat(s, unsigned(strlen(s)));
}

bool operator==(const YmStr& a, const YmStr& b) {
    return a.slength == b.slength && memcmp(a.data, b.data, a.slength) == 0;
}

bool operator==(const YmStr& a, const char* b) {
    b = cstr(b);
    return a.slength == strlen(b) + 1 && memcmp(a.data, b, a.slength) == 0;
}

bool operator==(const char* a, const YmStr& b) { return b == a; }
bool operator!=(const YmStr& a, const YmStr& b) { return !(a == b); }
bool operator!=(const YmStr& a, const char* b) { return !(a == b); }
bool operator!=(const char* a, const YmStr& b) { return !(b == a); }

int compare(const char* a, const char* b) { return strcmp(cstr(a), cstr(b)); }
int compare(const YmStr& a, const YmStr& b) { return strcmp(cstr(a), cstr(b)); }
int compare(const YmStr& a, const char* b) { return strcmp(cstr(a), cstr(b)); }
int compare(const char* a, const YmStr& b) { return strcmp(cstr(a), cstr(b)); }

#define YM_STR_ORDERING(op)                                                            \
    bool operator op(const YmStr& a, const YmStr& b) { return compare(a, b) op 0; } \
    bool operator op(const YmStr& a, const char* b) { return compare(a, b) op 0; }  \
    bool operator op(const char* a, const YmStr& b) { return compare(a, b) op 0; }
YM_STR_ORDERING(<)
YM_STR_ORDERING(<=)
YM_STR_ORDERING(>)
YM_STR_ORDERING(>=)
#undef YM_STR_ORDERING
