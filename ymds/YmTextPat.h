// YmTextPat: the interface of a fixed byte-pattern search over buffers. A
// matcher is built once from its pattern and run over any number of buffers;
// it keeps no state between searches. Buffers are pointer and length: a NUL
// inside is an ordinary byte.
#ifndef YM_TEXT_PAT_H
#define YM_TEXT_PAT_H

class YmTextPat {
public:
    virtual ~YmTextPat() {}
    // Offset of the leftmost match within the first len bytes; -1 if none.
    virtual int findBuffer(const char* buf, unsigned int len) = 0;
    // Offset just past the leftmost match; 0 if none.
    virtual int findEndBuffer(const char* buf, unsigned int len) = 0;
    // start = findBuffer's result, end = just past the match (0 if none);
    // returns start.
    virtual int bracketBuffer(const char* buf, unsigned int len, int& start, int& end) = 0;
};

#endif
