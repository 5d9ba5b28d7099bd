// YmStr, the byte string every part of the server keeps its texts in, and
// YmTempStr, the buffer that a chain of `|` concatenations builds in.
//
// A YmStr is a counted, NUL-terminated run of bytes with value semantics:
// each string owns its block and copies are deep. `slength` counts the
// terminating NUL, so the length of a string is slength - 1 and an empty
// string has slength 1. Every empty string points `data` at the one shared
// byte `emptyString` and owns nothing, so empty strings cost no allocation.
// A string may hold NUL bytes before its end; each operation below says
// whether it looks at the stored bytes (slength) or at the C string (up to the
// first NUL).
//
// Blocks come from malloc/realloc and never shrink while the string is not
// empty: a string reused in a loop keeps its largest block. Positions are
// checked with YM_ASSERT; a failed check is a programming error.
//
// Strings are moved between addresses by plain byte copies inside the
// growable arrays, so the class must stay free of virtual functions and of
// pointers into itself.
#ifndef YM_STR_H
#define YM_STR_H

#include "YmTypes.h"

class YmTempStr;

class YmStr {
public:
    unsigned int slength;  // characters plus the terminating NUL
    unsigned char* data;   // slength bytes, data[slength - 1] == 0

    static unsigned char emptyString;

    // The empty string.
    YmStr() : slength(1), data(&emptyString) {}
    // A string of n NUL bytes (a buffer for later use); n = 0 is the empty
    // string. Write YmStr s(0u): a bare 0 would also be a null C string.
    explicit YmStr(unsigned int n);
    // A copy of the C string s; a null s gives the empty string.
    YmStr(const char* s);
    // Exactly n bytes from s, NULs included, then a NUL. s must hold n bytes.
    YmStr(const char* s, unsigned int n);
    YmStr(const YmStr& o);
    YmStr(const YmTempStr& t);
    // printf of s with fmt ("%s" when null). An empty result is the shared
    // empty string. The output is measured first, so no format overflows.
    YmStr(const char* s, const char* fmt);
    // printf of n with fmt ("%d" when null); an empty result is the shared
    // empty string.
    YmStr(int n, const char* fmt);
    // printf of f (widened) or d with fmt ("%g" / "%lg" when null); a format
    // that yields nothing fails "slength>1".
    YmStr(float f, const char* fmt);
    YmStr(double d, const char* fmt);
    ~YmStr();
    // Destroys a string made with new, object included.
    void destroy();

    // Pieces, as new strings; start + chars must not pass the length.
    YmStr extract(unsigned int start, unsigned int chars) const;
    YmStr head(unsigned int chars) const;
    YmStr tail(unsigned int chars) const;
    YmStr copy() const;
    // How many of the stored characters equal c.
    unsigned int cnt(char c) const;

    unsigned char& operator[](unsigned int i) {
        YM_ASSERT(i + 1 < slength, "i<slength-1");
        return data[i];
    }
    unsigned char operator[](unsigned int i) const {
        YM_ASSERT(i + 1 < slength, "i<slength-1");
        return data[i];
    }

    // Changes in place. A source text may lie inside this string.
    void remove(unsigned int start, unsigned int chars);
    // extract(start, chars), then remove(start, chars).
    YmStr cut(unsigned int start, unsigned int chars);
    // n = 0 takes strlen(s); posn may equal the length (append).
    void insert(const char* s, unsigned int posn, unsigned int n = 0);
    void insert(char c, unsigned int posn);
    void append(const char* s, unsigned int n = 0);
    void append(char c);
    YmStr& operator=(const char* s);
    YmStr& operator=(const YmStr& o);
    YmStr& operator=(const YmTempStr& t);
    // Case mapping of the C library's character classes, over every byte.
    void lower();
    void raise();
    // Makes the length exactly n. New bytes are always 0; the second
    // argument is accepted but does not change them. resize(0, 0) empties.
    void resize(unsigned int n, unsigned char c = 0);
    // Room for n characters without changing the contents (non-empty only).
    void setMaxLength(unsigned int n);

    // Scanning. posn must not pass the length. Forwards: the index of the
    // first byte at or after posn that is (next) or is not (skip) c or one of
    // the first n bytes of set (n = 0: strlen(set)); the length when none.
    // Backwards from posn - 1: one past the index of such a byte; 0 if none.
    unsigned int next(unsigned int posn, char c) const;
    unsigned int next(unsigned int posn, const char* set, unsigned int n = 0) const;
    unsigned int skip(unsigned int posn, char c) const;
    unsigned int skip(unsigned int posn, const char* set, unsigned int n = 0) const;
    unsigned int nextR(unsigned int posn, char c) const;
    unsigned int nextR(unsigned int posn, const char* set, unsigned int n = 0) const;
    unsigned int skipR(unsigned int posn, char c) const;
    unsigned int skipR(unsigned int posn, const char* set, unsigned int n = 0) const;

    // Tokens; posn is advanced. token and tokenR take a run of separators as
    // one; ptoken takes each separator alone, so two in a row give an empty
    // token, and after the last token posn is slength (a further call fails).
    YmStr token(unsigned int& posn, const char* set, unsigned int n = 0) const;
    YmStr token(unsigned int& posn, char c) const;
    YmStr tokenR(unsigned int& posn, const char* set, unsigned int n = 0) const;
    YmStr tokenR(unsigned int& posn, char c) const;
    YmStr ptoken(unsigned int& posn, char c) const;

    // A 32-bit value from at most the first eight bytes.
    unsigned int hash() const;

private:
    // Room for n characters; slength is left for the caller to set.
    void resizeInternal(unsigned int n);
    void setEmpty();
    // Takes srcLength stored bytes (terminating NUL included) from another
    // string's block.
    void assign(const unsigned char* src, unsigned int srcLength);
};

// The result of `|`: up to 99 characters inline, longer ones on the heap.
// It is consumed at once by a YmStr and is never copied.
class YmTempStr {
public:
    unsigned char indata[100];
    unsigned char* data;
    unsigned int slength;

    YmTempStr(const char* a, unsigned int la, const char* b, unsigned int lb);
    ~YmTempStr();
    YmTempStr(const YmTempStr&) = delete;
    YmTempStr& operator=(const YmTempStr&) = delete;

    // Appends n bytes of s in place and returns this object.
    YmTempStr& concat(const char* s, unsigned int n);
};

YmTempStr operator|(const YmStr& a, const YmStr& b);
YmTempStr operator|(const YmStr& a, const char* b);
YmTempStr operator|(const char* a, const YmStr& b);
// These extend the left operand in place (it is a temporary of the chain).
YmTempStr& operator|(const YmTempStr& t, const YmStr& s);
YmTempStr& operator|(const YmTempStr& t, const char* s);

// == and != compare the stored bytes (slength and every byte, so bytes after
// an embedded NUL count); the orderings and compare() are strcmp of the C
// strings. A null C string counts as "".
bool operator==(const YmStr& a, const YmStr& b);
bool operator==(const YmStr& a, const char* b);
bool operator==(const char* a, const YmStr& b);
bool operator!=(const YmStr& a, const YmStr& b);
bool operator!=(const YmStr& a, const char* b);
bool operator!=(const char* a, const YmStr& b);
bool operator<(const YmStr& a, const YmStr& b);
bool operator<(const YmStr& a, const char* b);
bool operator<(const char* a, const YmStr& b);
bool operator<=(const YmStr& a, const YmStr& b);
bool operator<=(const YmStr& a, const char* b);
bool operator<=(const char* a, const YmStr& b);
bool operator>(const YmStr& a, const YmStr& b);
bool operator>(const YmStr& a, const char* b);
bool operator>(const char* a, const YmStr& b);
bool operator>=(const YmStr& a, const YmStr& b);
bool operator>=(const YmStr& a, const char* b);
bool operator>=(const char* a, const YmStr& b);
int compare(const YmStr& a, const YmStr& b);
int compare(const YmStr& a, const char* b);
int compare(const char* a, const YmStr& b);
int compare(const char* a, const char* b);

#endif
