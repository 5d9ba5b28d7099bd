// YmStrArray: a growable array of YmStr, for lists of paths, tree lines and
// keywords. Strings are built empty, destroyed, copy-constructed and ordered
// with compare() (strcmp of the C strings).
#ifndef YM_STR_ARRAY_H
#define YM_STR_ARRAY_H

#include "YmArray.h"
#include "YmStr.h"

class YmStrArray : public YmArray {
    YM_ARRAY_MEMBERS(YmStrArray, YmStr)

protected:
    void createElements(void* at, unsigned int bytes) const override;
    void destroyElements(void* at, unsigned int bytes) const override;
    void copyElements(void* src, void* dst, unsigned int bytes) const override;
    int compareElements(void* a, void* b) const override;
};

#endif
