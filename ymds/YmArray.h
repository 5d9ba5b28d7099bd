// YmArray: a growable array of fixed-size elements kept back to back in one
// malloc'd block, and YM_ARRAY_MEMBERS, the macro every typed array is
// written with.
//
// The array knows elements only as runs of `elementsize` bytes. What an
// element is comes from four virtual element operations (create, destroy,
// copy, compare) that a typed array overrides; the defaults construct and
// destroy nothing, copy bytes and compare bytes. `maxi` (capacity) and `num`
// (in use) count bytes, not elements; every position and length an operation
// takes is in elements.
//
// Elements are moved by raw byte copies whenever the block is reallocated or
// elements shift, so an element type must stay valid when its bytes move to
// another address: plain values, pointers, YmStr.
//
// Blocks handed out by the raw_ operations belong to the caller, who gives
// them to an adopting constructor or frees them (destroying the elements
// first when the type needs it).
//
// Writing a typed array
// ---------------------
// Derive from YmArray, put YM_ARRAY_MEMBERS(ClassName, ElementType) first in
// the body, and override the element operations the type needs:
//
//     class PNode;
//     // The parser's node stack: holds the pointers only, never the nodes.
//     class PNodeArray : public YmArray {
//         YM_ARRAY_MEMBERS(PNodeArray, PNode*)
//     protected:
//         void createElements(void* at, unsigned int bytes) const override {
//             memset(at, 0, bytes);  // new slots are null pointers
//         }
//     };
//
// The macro gives the default, count, copy and adopting constructors, the
// destructor, className() ("ARRAY"), cut/extract/head/tail returning the
// typed array by value, and operator[] returning a reference to the element,
// which asserts "index*sizeof( ElementType) < num" with the type spelled as
// written in the macro call (so write `PNode*`, not `PNode *`). The macro
// leaves the class body public. Arrays have no assignment; they are copied
// by their copy constructors only.
#ifndef YM_ARRAY_H
#define YM_ARRAY_H

#include <cstddef>

#include "YmAddress.h"
#include "YmTypes.h"

class YmArray {
public:
    YmAddress data;              // the block; null while maxi is 0
    unsigned int maxi;           // capacity in bytes
    unsigned int num;            // bytes in use: count * elementsize
    unsigned short elementsize;  // bytes per element
    unsigned int incrementsize;  // elements added when append finds it full

    virtual const char* className() const = 0;
    virtual ~YmArray();
    // Brings the block to maxi bytes (frees it at 0).
    virtual void getmem();
    // Grows maxi by incrementsize elements, then getmem().
    virtual void expand();
    // Build (bytes / elementsize) elements in the raw memory at `at`.
    virtual void createElements(void* at, unsigned int bytes) const;
    // Destroy the elements in [at, at + bytes), leaving raw memory.
    virtual void destroyElements(void* at, unsigned int bytes) const;
    // Construct at dst (raw memory) copies of the elements at src.
    virtual void copyElements(void* src, void* dst, unsigned int bytes) const;
    // Below, equal to or above 0 as element a orders before, with or after b.
    virtual int compareElements(void* a, void* b) const;

    // n elements counted but not constructed (the typed constructor does it).
    YmArray(unsigned short elementsize, unsigned int n);
    // The bytes of a's elements, capacity exactly a's count.
    YmArray(const YmArray& a);
    // Adopts `block` of `bytes` bytes: maxi = num = bytes.
    YmArray(unsigned int elementsize, unsigned int bytes, void* block);
    YmArray& operator=(const YmArray&) = delete;

    // Destroys the elements in use (num is left as it is); for the typed
    // destructors.
    void destroy();
    unsigned int length() const { return num / elementsize; }
    // Address of element i, unchecked (i == length() gives the end).
    void* operator[](unsigned int i) const { return at(i); }

    // An element to add may lie inside this array.
    void append(void* e);
    void append(YmArray& a);
    void insert(void* e, unsigned int posn);
    void insert(YmArray& a, unsigned int posn);
    void remove(unsigned int start, unsigned int length);
    // Exactly n elements in use and n of capacity; new ones are created.
    void resize(unsigned int n);
    // Capacity max(n elements, in use).
    void setMaxLength(unsigned int n);
    // 0 is ignored.
    void setIncrementSize(unsigned int n);
    void swap(unsigned int i, unsigned int j);
    // Index of the first element from start on that compares equal to e; -1.
    int find(void* e, unsigned int start = 0) const;
    // Ascending compareElements order; not stable.
    void qsort(unsigned int start, unsigned int len);
    void qsort() { qsort(0, length()); }

    // New blocks (caller's) of copies, or null for a length of 0.
    void* raw_extract(unsigned int start, unsigned int len) const;
    // Moves the elements out into a new block; the capacity stays.
    void* raw_cut(unsigned int start, unsigned int len);
    void* raw_copy() const;
    void* raw_head(unsigned int len) const;
    void* raw_tail(unsigned int len) const;

private:
    unsigned char* at(unsigned int i) const { return data.ptr + size_t(i) * elementsize; }
    // start + len elements fit in the elements in use.
    bool fits(unsigned int start, unsigned int len) const;
    // Byte offset of e when it lies among the elements in use, else -1.
    long offsetOf(const void* e) const;
    void exchange(unsigned int i, unsigned int j, void* tmp);
    void qsortInternal(unsigned int l, unsigned int r, void* tmp);
};

#define YM_ARRAY_MEMBERS(Name, T)                                                            \
public:                                                                                      \
    Name() : YmArray(sizeof(T), 0) {}                                                        \
    explicit Name(unsigned int n) : YmArray(sizeof(T), n) {                                  \
        if (num) createElements(data, num);                                                  \
    }                                                                                        \
    Name(const Name& a) : YmArray(sizeof(T), a.num, a.raw_copy()) {}                         \
    Name(unsigned int es, unsigned int bytes, void* block) : YmArray(es, bytes, block) {}    \
    ~Name() override { destroy(); }                                                          \
    Name& operator=(const Name&) = delete;                                                   \
    const char* className() const override { return "ARRAY"; }                              \
    Name cut(unsigned int start, unsigned int len) {                                         \
        return Name(elementsize, len * elementsize, raw_cut(start, len));                    \
    }                                                                                        \
    Name extract(unsigned int start, unsigned int len) const {                               \
        return Name(elementsize, len * elementsize, raw_extract(start, len));                \
    }                                                                                        \
    Name head(unsigned int len) const {                                                      \
        return Name(elementsize, len * elementsize, raw_head(len));                          \
    }                                                                                        \
    Name tail(unsigned int len) const {                                                      \
        return Name(elementsize, len * elementsize, raw_tail(len));                          \
    }                                                                                        \
    T& operator[](unsigned int index) {                                                      \
        YM_ASSERT(size_t(index) * sizeof(T) < num, "index*sizeof( " #T ") < num");           \
        return *reinterpret_cast<T*>(data.ptr + size_t(index) * sizeof(T));                  \
    }                                                                                        \
    const T& operator[](unsigned int index) const {                                          \
        YM_ASSERT(size_t(index) * sizeof(T) < num, "index*sizeof( " #T ") < num");           \
        return *reinterpret_cast<const T*>(data.ptr + size_t(index) * sizeof(T));            \
    }

#endif
