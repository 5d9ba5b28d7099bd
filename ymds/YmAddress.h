// YmAddress: the raw byte pointer of a growable array's block, with byte
// offsets and unsigned ordering. A value type, null by default.
//
// Offsets come in three widths; write `a + 4u` rather than `a + 4`, since a
// plain int fits all three equally well. The unsigned short forms take the
// offset's 16 bits only.
#ifndef YM_ADDRESS_H
#define YM_ADDRESS_H

#include <cstdint>

class YmAddress {
public:
    unsigned char* ptr;

    YmAddress() : ptr(nullptr) {}
    YmAddress(void* p) : ptr(static_cast<unsigned char*>(p)) {}

    YmAddress operator+(unsigned short n) const { return YmAddress(ptr + n); }
    YmAddress operator+(unsigned int n) const { return YmAddress(ptr + n); }
    YmAddress operator+(unsigned long n) const { return YmAddress(ptr + n); }
    YmAddress operator-(unsigned short n) const { return YmAddress(ptr - n); }
    YmAddress operator-(unsigned int n) const { return YmAddress(ptr - n); }
    YmAddress operator-(unsigned long n) const { return YmAddress(ptr - n); }
    YmAddress& operator+=(unsigned short n) { ptr += n; return *this; }
    YmAddress& operator+=(unsigned int n) { ptr += n; return *this; }
    YmAddress& operator+=(unsigned long n) { ptr += n; return *this; }
    YmAddress& operator-=(unsigned short n) { ptr -= n; return *this; }
    YmAddress& operator-=(unsigned int n) { ptr -= n; return *this; }
    YmAddress& operator-=(unsigned long n) { ptr -= n; return *this; }

    bool operator==(const YmAddress& o) const { return key() == o.key(); }
    bool operator!=(const YmAddress& o) const { return key() != o.key(); }
    bool operator<(const YmAddress& o) const { return key() < o.key(); }
    bool operator<=(const YmAddress& o) const { return key() <= o.key(); }
    bool operator>(const YmAddress& o) const { return key() > o.key(); }
    bool operator>=(const YmAddress& o) const { return key() >= o.key(); }

    operator void*() const { return ptr; }

private:
    uintptr_t key() const { return reinterpret_cast<uintptr_t>(ptr); }
};

#endif
