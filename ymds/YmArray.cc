// The growable array of fixed-size elements; see YmArray.h.
#include "YmArray.h"

#include <cstdlib>
#include <cstring>

YmArray::YmArray(unsigned short es, unsigned int n)
    : data(), maxi(n * es), num(n * es), elementsize(es), incrementsize(4) {
    if (maxi) data = malloc(maxi);
}

YmArray::YmArray(const YmArray& a)
    : data(), maxi(a.num), num(a.num), elementsize(a.elementsize), incrementsize(4) {
    if (num) {
        data = malloc(num);
        memcpy(data.ptr, a.data.ptr, num);
    }
}

YmArray::YmArray(unsigned int es, unsigned int bytes, void* block)
    : data(block), maxi(bytes), num(bytes), elementsize(static_cast<unsigned short>(es)),
      incrementsize(4) {}

YmArray::~YmArray() { free(data.ptr); }

void YmArray::getmem() {
    if (maxi == 0) {
        free(data.ptr);
        data = YmAddress();
    } else if (!data.ptr) {
        data = malloc(maxi);
    } else {
        data = realloc(data.ptr, maxi);
    }
}

void YmArray::expand() {
    maxi += unsigned(elementsize) * incrementsize;
    getmem();
}

void YmArray::createElements(void*, unsigned int) const {}

void YmArray::destroyElements(void*, unsigned int) const {}

void YmArray::copyElements(void* src, void* dst, unsigned int bytes) const {
    if (bytes) memmove(dst, src, bytes);
}

int YmArray::compareElements(void* a, void* b) const { return memcmp(a, b, elementsize); }

bool YmArray::fits(unsigned int start, unsigned int len) const {
    return (static_cast<unsigned long long>(start) + len) * elementsize <= num;
}

void YmArray::destroy() {
    if (num) destroyElements(data, num);
}

// An element handed in may be one of this array's own; growing moves the
// block, so such an element is found again by its offset afterwards.
long YmArray::offsetOf(const void* e) const {
    const unsigned char* p = static_cast<const unsigned char*>(e);
    return data.ptr && p >= data.ptr && p < data.ptr + num ? p - data.ptr : -1;
}

void YmArray::append(void* e) {
    YM_ASSERT(num <= maxi, "num<=maxi");
    long own = offsetOf(e);
    if (num == maxi) expand();
    if (own >= 0) e = data.ptr + own;
    copyElements(e, data.ptr + num, elementsize);
    num += elementsize;
}

void YmArray::append(YmArray& a) {
    YM_ASSERT(elementsize == a.elementsize, "elementsize == a.elementsize");
    unsigned int n = a.num;
    if (n == 0) return;
    if (num + n > maxi) {
        maxi = num + n;
        getmem();
    }
    copyElements(a.data, data.ptr + num, n);
    num += n;
}

void YmArray::insert(void* e, unsigned int posn) {
    YM_ASSERT(size_t(posn) * elementsize <= num, "posn <= num");
    long own = offsetOf(e);
    if (num == maxi) {
        maxi += elementsize;
        getmem();
    }
    unsigned int off = posn * elementsize;
    memmove(data.ptr + off + elementsize, data.ptr + off, num - off);
    if (own >= 0) e = data.ptr + own + (unsigned(own) >= off ? elementsize : 0);
    copyElements(e, data.ptr + off, elementsize);
    num += elementsize;
}

void YmArray::insert(YmArray& a, unsigned int posn) {
    YM_ASSERT(elementsize == a.elementsize, "elementsize == a.elementsize");
    unsigned int n = a.num;
    if (n == 0) return;
    YM_ASSERT(size_t(posn) * elementsize <= num, "posn <= num");
    if (num + n > maxi) {
        maxi = num + n;
        getmem();
    }
    unsigned int off = posn * elementsize;
    memmove(data.ptr + off + n, data.ptr + off, num - off);
    if (&a == this) {
        // The source now lies on both sides of the gap.
        copyElements(data.ptr, data.ptr + off, off);
        copyElements(data.ptr + off + n, data.ptr + 2 * off, num - off);
    } else {
        copyElements(a.data, data.ptr + off, n);
    }
    num += n;
}

void YmArray::remove(unsigned int start, unsigned int length) {
    if (length == 0) return;
    YM_ASSERT(fits(start, length), "start+length <= num");
    unsigned int off = start * elementsize, bytes = length * elementsize;
    destroyElements(data.ptr + off, bytes);
    memmove(data.ptr + off, data.ptr + off + bytes, num - off - bytes);
    num -= bytes;
}

void YmArray::resize(unsigned int n) {
    unsigned int bytes = n * elementsize;
    maxi = bytes;
    if (bytes > num) {
        getmem();
        createElements(data.ptr + num, bytes - num);
    } else {
        if (bytes < num) destroyElements(data.ptr + bytes, num - bytes);
        getmem();
    }
    num = bytes;
}

void YmArray::setMaxLength(unsigned int n) {
    unsigned int bytes = n * elementsize;
    if (bytes < num) bytes = num;
    if (bytes != maxi) {
        maxi = bytes;
        getmem();
    }
}

void YmArray::setIncrementSize(unsigned int n) {
    if (n) incrementsize = n;
}

void YmArray::exchange(unsigned int i, unsigned int j, void* tmp) {
    if (i == j) return;
    memcpy(tmp, at(i), elementsize);
    memcpy(at(i), at(j), elementsize);
    memcpy(at(j), tmp, elementsize);
}

void YmArray::swap(unsigned int i, unsigned int j) {
    // Unchecked indexes would write outside the block.
    YM_ASSERT(i < length() && j < length(), "i<length() && j<length()");
    unsigned char small[1024];
    void* tmp = elementsize <= sizeof small ? small : malloc(elementsize);
    exchange(i, j, tmp);
    if (tmp != small) free(tmp);
}

int YmArray::find(void* e, unsigned int start) const {
    YM_ASSERT(size_t(start) * elementsize <= num, "start*elementsize <= num");
    for (unsigned int i = start, n = length(); i < n; i++)
        if (compareElements(e, at(i)) == 0) return int(i);
    return -1;
}

void YmArray::qsort(unsigned int start, unsigned int len) {
    YM_ASSERT(fits(start, len), "posn+len <= num");
    if (len == 0) return;
    unsigned char small[32];
    void* tmp = elementsize <= sizeof small ? small : malloc(elementsize);
    qsortInternal(start, start + len - 1, tmp);
    if (tmp != small) free(tmp);
}

// Partition around element l with scans that stop on equal elements, so a
// run of equal elements splits near its middle.
void YmArray::qsortInternal(unsigned int l, unsigned int r, void* tmp) {
    for (;;) {
        unsigned int i = l, j = r + 1;
        YM_ASSERT(size_t(r) + 1 <= length(), "k<=length()");
        void* pivot = at(l);
        for (;;) {
            while (i < r) {
                i++;
                if (compareElements(at(i), pivot) >= 0) break;
            }
            while (l < j) {
                j--;
                if (compareElements(at(j), pivot) <= 0) break;
            }
            if (i >= j) break;
            exchange(i, j, tmp);
        }
        exchange(l, j, tmp);
        // Recursing into the smaller side and looping on the larger bounds the
        // stack depth by log2 of the count (reverse-sorted input would
        // otherwise recurse once per two elements). The sides are disjoint,
        // so the order in which they are sorted does not change the result.
        bool left = j > 0 && l < j - 1;
        bool right = j + 1 < r;
        if (left && right) {
            if (j - l < r - j) {
                qsortInternal(l, j - 1, tmp);
                l = j + 1;
            } else {
                qsortInternal(j + 1, r, tmp);
                r = j - 1;
            }
        } else if (left) {
            r = j - 1;
        } else if (right) {
            l = j + 1;
        } else {
            return;
        }
    }
}

void* YmArray::raw_extract(unsigned int start, unsigned int len) const {
    if (len == 0) return nullptr;
    YM_ASSERT(fits(start, len), "start+len<=num");
    unsigned int bytes = len * elementsize;
    void* block = malloc(bytes);
    copyElements(at(start), block, bytes);
    return block;
}

void* YmArray::raw_cut(unsigned int start, unsigned int len) {
    if (len == 0) return nullptr;
    YM_ASSERT(fits(start, len), "start+len <= num");
    unsigned int off = start * elementsize, bytes = len * elementsize;
    void* block = malloc(bytes);
    memcpy(block, data.ptr + off, bytes);
    memmove(data.ptr + off, data.ptr + off + bytes, num - off - bytes);
    num -= bytes;
    return block;
}

void* YmArray::raw_copy() const {
    if (num == 0) return nullptr;
    void* block = malloc(num);
    copyElements(data, block, num);
    return block;
}

void* YmArray::raw_head(unsigned int len) const {
    YM_ASSERT(fits(0, len), "len <= num");
    return raw_extract(0, len);
}

void* YmArray::raw_tail(unsigned int len) const {
    YM_ASSERT(fits(0, len), "len <= num");
    if (len == 0) return nullptr;
    return raw_extract(length() - len, len);
}
