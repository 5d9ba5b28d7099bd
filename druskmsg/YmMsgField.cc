// Field helpers of the text payloads; see YmMsgField.h.
#include "YmMsgField.h"

#include <climits>
#include <cstdlib>
#include <cstring>

int ymMsgAtoi(const char* s) {
    if (!s) return 0;
    long v = strtol(s, nullptr, 10);
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return int(v);
}

int ymMsgAtoi(const YmStr& s) { return ymMsgAtoi(reinterpret_cast<const char*>(s.data)); }

void ymAppendField(YmStr& buf, const YmStr& field, unsigned int minLen) {
    unsigned int len = field.slength - 1;
    if (len == 0 || len < minLen) {
        buf.append(' ');
    } else {
        unsigned int start = buf.slength - 1;
        buf.append(reinterpret_cast<const char*>(field.data), len);
        for (unsigned int i = start; i < start + len; i++)
            if (buf.data[i] == YM_FIELD_SEP) buf.data[i] = ' ';
    }
    buf.append(YM_FIELD_SEP);
}

void ymSetText(YmStr& field, const char* s) {
    if (s && *s) {
        YmStr copy(s);
        field = copy;
    } else {
        field.resize(0, 0);
    }
}

YmStr ymLongField(const YmStr& text, unsigned int& posn) {
    YmStr t = text.token(posn, YM_FIELD_SEP);
    if (t.slength - 1 < 2) t.resize(0, 0);
    return t;
}

YmStr ymPayloadText(const char* buf, unsigned int len) {
    if (!buf || len == 0) return YmStr();
    const void* nul = memchr(buf, '\0', len);
    unsigned int n = nul ? unsigned(static_cast<const char*>(nul) - buf) : len;
    return YmStr(buf, n);
}
