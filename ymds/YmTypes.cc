// The failure path of YM_ASSERT; see YmTypes.h.
#include "YmTypes.h"

#include <cstdio>
#include <cstdlib>

void ymAssertFail(const char* text, const char* file, int line) {
    fprintf(stderr, "Assertion failed: %s, file %s, line %d\n", text, file, line);
    fflush(stderr);
    abort();
}
