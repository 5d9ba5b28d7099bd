// Element operations of the string array; see YmStrArray.h.
#include "YmStrArray.h"

#include <new>

void YmStrArray::createElements(void* at, unsigned int bytes) const {
    YmStr* s = static_cast<YmStr*>(at);
    for (unsigned int i = 0, n = bytes / sizeof(YmStr); i < n; i++) new (s + i) YmStr(0u);
}

void YmStrArray::destroyElements(void* at, unsigned int bytes) const {
    YmStr* s = static_cast<YmStr*>(at);
    for (unsigned int i = 0, n = bytes / sizeof(YmStr); i < n; i++) s[i].~YmStr();
}

// The destination is raw memory that may overlap the source; copying from
// the far end first never overwrites a string before it has been copied.
void YmStrArray::copyElements(void* src, void* dst, unsigned int bytes) const {
    const YmStr* from = static_cast<const YmStr*>(src);
    YmStr* to = static_cast<YmStr*>(dst);
    unsigned int n = bytes / sizeof(YmStr);
    if (to > from) {
        for (unsigned int i = n; i-- > 0;) new (to + i) YmStr(from[i]);
    } else {
        for (unsigned int i = 0; i < n; i++) new (to + i) YmStr(from[i]);
    }
}

int YmStrArray::compareElements(void* a, void* b) const {
    return compare(*static_cast<const YmStr*>(a), *static_cast<const YmStr*>(b));
}
