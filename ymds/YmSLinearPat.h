// YmSLinearPat: fixed byte-pattern search with a skip table (each window
// shift is taken from the text byte under the window's last position), so
// longer patterns cost well under one comparison per buffer byte. The only
// allocation is the pattern copy made at construction; a matcher never
// changes afterwards and is not copied.
#ifndef YM_SLINEAR_PAT_H
#define YM_SLINEAR_PAT_H

#include "YmStr.h"
#include "YmTextPat.h"

class YmSLinearPat : public YmTextPat {
public:
    // skip_table[c]: how far the window moves when byte c lies under its last
    // position; patternLength minus one minus the last index of c among the
    // first patternLength - 1 pattern bytes, or patternLength if c is not
    // among them (0 everywhere for the empty pattern).
    unsigned int skip_table[256];
    unsigned char* pattern;      // own copy, patternLength bytes, no NUL
    unsigned int patternLength;  // 0 for the empty pattern

    // len = 0 means pat is NUL-terminated and is measured with strlen.
    YmSLinearPat(const char* pat, unsigned int len);
    // The string's characters, without the terminating NUL.
    YmSLinearPat(const YmStr& s);
    ~YmSLinearPat() override;
    YmSLinearPat(const YmSLinearPat&) = delete;
    YmSLinearPat& operator=(const YmSLinearPat&) = delete;

    // The one place that sets the matcher up.
    void constructor(const char* pat, unsigned int len);

    // The empty pattern matches at 0 in every buffer, the empty one included.
    int findBuffer(const char* buf, unsigned int len) override;
    // These reach findBuffer through the virtual table, so a subclass that
    // overrides it changes them too.
    int findEndBuffer(const char* buf, unsigned int len) override;
    int bracketBuffer(const char* buf, unsigned int len, int& start, int& end) override;
};

#endif
