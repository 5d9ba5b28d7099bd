// The search messages; see YmSrchMsg.h.
#include "YmSrchMsg.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "YmMsgField.h"
#include "YmMsgTypes.h"
#include "mps.h"

namespace {

const char* cstr(const YmStr& s) { return reinterpret_cast<const char*>(s.data); }

unsigned int payloadLen(const char* s) { return s ? unsigned(strlen(s)) + 1 : 0; }

unsigned int takeNumber(const YmStr& text, unsigned int& posn) {
    return unsigned(ymMsgAtoi(text.token(posn, YM_FIELD_SEP)));
}

// A piece of a record text, not NUL-terminated.
struct Span {
    const char* p;
    size_t n;
};

Span wholeSpan(const char* s) { return Span{s, strlen(s)}; }

// The next LF-separated token from *at; *at moves past the LFs behind it,
// so that a run of LFs separates like one.
Span nextToken(const char*& at) {
    const char* end = strchr(at, '\n');
    if (!end) end = at + strlen(at);
    Span t{at, size_t(end - at)};
    at = end;
    while (*at == '\n') at++;
    return t;
}

// The decimal number at the start of a token (blanks, a sign, digits, as
// atoi reads it, held within the range of long); 0 when there is none.
long spanNumber(Span t) {
    size_t i = 0;
    while (i < t.n && (t.p[i] == ' ' || t.p[i] == '\t')) i++;
    bool neg = i < t.n && t.p[i] == '-';
    if (i < t.n && (t.p[i] == '-' || t.p[i] == '+')) i++;
    long v = 0;
    for (; i < t.n && t.p[i] >= '0' && t.p[i] <= '9'; i++) {
        int d = t.p[i] - '0';
        v = v > (LONG_MAX - d) / 10 ? LONG_MAX : v * 10 + d;
    }
    return neg ? -v : v;
}

// The value of field fld in a record: pairs of a field number token and a
// value token. Not found: false.
bool findField(const char* record, long fld, Span* value) {
    const char* at = record;
    for (;;) {
        Span num = nextToken(at);
        if (num.n == 0) return false;
        Span val = nextToken(at);
        if (spanNumber(num) == fld) {
            *value = val;
            return true;
        }
    }
}

// strcmp over two pieces.
int compareSpans(Span a, Span b) {
    int c = memcmp(a.p, b.p, a.n < b.n ? a.n : b.n);
    if (c) return c;
    return a.n < b.n ? -1 : a.n > b.n ? 1 : 0;
}

size_t countMarks(const YmStr& s) {
    size_t n = 0;
    for (unsigned int i = 0; i + 1 < s.slength; i++)
        if (s.data[i] == YM_RECORD_MARK) n++;
    return n;
}

// Cuts s at every record mark: each mark becomes a NUL (a blank at position
// 0, so the string does not read as empty) and the text behind the first
// `keep` of them goes into the two tables. Marks beyond those kept are cut
// too, so that the last record kept does not run on into the ones dropped.
void splitAtMarks(YmStr& s, size_t keep, char** org, char** sorted) {
    size_t found = 0;
    for (unsigned int i = 0; i + 1 < s.slength; i++) {
        if (s.data[i] != YM_RECORD_MARK) continue;
        s.data[i] = i == 0 ? ' ' : '\0';
        if (found < keep) org[found] = sorted[found] = reinterpret_cast<char*>(s.data + i + 1);
        found++;
    }
}

// The text shared by getField(id, fld) across every message of the process.
YmStr& sharedField() {
    static YmStr field;
    return field;
}

}  // namespace

// ---- request ----

YmSrchReqMsg::YmSrchReqMsg() { init(); }

YmSrchReqMsg::~YmSrchReqMsg() {}

void YmSrchReqMsg::init() {
    _srchDBs.resize(0, 0);
    _query.resize(0, 0);
    _srBkTag.resize(0, 0);
    _buf.resize(0, 0);
    _near = 0;
    _maxHits = 0;
    _errCode = 0;
    _bNarrow = 0;
    _bCount = 0;
    _bThes = 0;
}

void YmSrchReqMsg::setSrchDBs(const char* dbs) { ymSetText(_srchDBs, dbs); }
void YmSrchReqMsg::setQuery(const char* q) { ymSetText(_query, q); }
void YmSrchReqMsg::setSrBkTag(const char* tag) { ymSetText(_srBkTag, tag); }

void YmSrchReqMsg::prepareForSend() {
    _buf.resize(0, 0);
    ymAppendField(_buf, _srchDBs, 2);
    // Clients rely on this: a one-character query is sent as it is, yet the
    // reader drops it like any field shorter than two characters.
    ymAppendField(_buf, _query, 1);
    ymAppendField(_buf, _srBkTag, 2);
    char nums[80];
    snprintf(nums, sizeof nums, "%u\f%u\f%d\f%d\f%d\f%d\f", _near, _maxHits, _bNarrow ? 1 : 0,
             _bThes ? 1 : 0, _bCount ? 1 : 0, _errCode);
    _buf.append(nums);
}

int YmSrchReqMsg::send(char** result) {
    prepareForSend();
    int ret = -1;
    if (theMPS)
        ret = theMPS->Send(YmMsgType::SrchReq, 0, reinterpret_cast<char*>(_buf.data),
                           int(_buf.slength), result, nullptr);
    if (ret < 0) fprintf(stderr, "SRCHREQMSG: Send Communication Error\n");
    return ret;
}

void YmSrchReqMsg::readIn(const char* s) { readIn(s, payloadLen(s)); }

void YmSrchReqMsg::readIn(const char* s, unsigned int len) {
    init();
    if (!s) return;
    YmStr text = ymPayloadText(s, len);
    unsigned int posn = 0;
    _srchDBs = ymLongField(text, posn);
    _query = ymLongField(text, posn);
    _srBkTag = ymLongField(text, posn);
    _near = takeNumber(text, posn);
    _maxHits = takeNumber(text, posn);
    _bNarrow = takeNumber(text, posn) != 0;
    _bThes = takeNumber(text, posn) != 0;
    _bCount = takeNumber(text, posn) != 0;
    _errCode = int(takeNumber(text, posn));
}

// ---- result ----

YmSrchResultMsg::YmSrchResultMsg()
    : _hits(0),
      _errCode(0),
      _orgRes(nullptr),
      _sortRes(nullptr),
      _orgTitles(nullptr),
      _sortTitles(nullptr),
      _nTables(0) {
    init();
}

YmSrchResultMsg::~YmSrchResultMsg() { freeTables(); }

void YmSrchResultMsg::freeTables() {
    free(_orgRes);
    free(_sortRes);
    free(_orgTitles);
    free(_sortTitles);
    _orgRes = _sortRes = _orgTitles = _sortTitles = nullptr;
    _nTables = 0;
}

void YmSrchResultMsg::init() {
    _result.resize(0, 0);
    _titles.resize(0, 0);
    _srBkTag.resize(0, 0);
    _offsets.resize(0, 0);
    _buf.resize(0, 0);
    freeTables();
    _hits = 0;
    _errCode = 0;
}

// The tables point into the records and titles, so they go with them.
void YmSrchResultMsg::setResult(const char* r) {
    freeTables();
    ymSetText(_result, r);
}

void YmSrchResultMsg::setTitles(const char* t) {
    freeTables();
    ymSetText(_titles, t);
}

void YmSrchResultMsg::setOffsets(const char* o) { ymSetText(_offsets, o); }
void YmSrchResultMsg::setSrBkTag(const char* s) { ymSetText(_srBkTag, s); }

void YmSrchResultMsg::prepareForSend() {
    char nums[40];
    snprintf(nums, sizeof nums, "%u\f%d\f", _hits, _errCode);
    _buf = nums;
    ymAppendField(_buf, _srBkTag, 2);
    ymAppendField(_buf, _result, 2);
    ymAppendField(_buf, _titles, 2);
    ymAppendField(_buf, _offsets, 2);
}

int YmSrchResultMsg::send(int flag) {
    prepareForSend();
    int ret = -1;
    if (theMPS)
        ret = theMPS->Send(YmMsgType::SrchResult, flag, reinterpret_cast<char*>(_buf.data),
                           int(_buf.slength), nullptr, nullptr);
    init();
    return ret;
}

void YmSrchResultMsg::readIn(const char* s, YmBool count) { readIn(s, payloadLen(s), count); }

void YmSrchResultMsg::readIn(const char* s, unsigned int len, YmBool count) {
    if (!count) init();
    if (!s) return;
    YmStr text = ymPayloadText(s, len);
    unsigned int posn = 0;
    _hits = takeNumber(text, posn);
    _errCode = int(takeNumber(text, posn));
    if (count) return;
    _srBkTag = ymLongField(text, posn);
    _result = ymLongField(text, posn);
    _titles = ymLongField(text, posn);
    _offsets = ymLongField(text, posn);
    if (_result.slength > 1) _result.append('\0');
    if (_titles.slength > 1) _titles.append('\0');
    if (_hits) parseResult();
}

// The count received bounds the tables, and so do the marks actually
// present: a count larger than the records sent must not leave table
// entries that point nowhere.
void YmSrchResultMsg::parseResult() {
    freeTables();
    size_t records = countMarks(_result), titles = countMarks(_titles);
    size_t n = _hits < records ? _hits : records;
    if (titles < n) n = titles;
    if (n) {
        _orgRes = static_cast<char**>(calloc(n, sizeof(char*)));
        _sortRes = static_cast<char**>(calloc(n, sizeof(char*)));
        _orgTitles = static_cast<char**>(calloc(n, sizeof(char*)));
        _sortTitles = static_cast<char**>(calloc(n, sizeof(char*)));
        if (!_orgRes || !_sortRes || !_orgTitles || !_sortTitles) {
            freeTables();
            n = 0;
        }
    }
    splitAtMarks(_result, n, _orgRes, _sortRes);
    splitAtMarks(_titles, n, _orgTitles, _sortTitles);
    _nTables = unsigned(n);
    _hits = unsigned(n);
}

char** YmSrchResultMsg::titles() { return _hits && _nTables ? _sortTitles : nullptr; }

// A record number from the wire: only one of ours selects a title.
const char* YmSrchResultMsg::titleOf(const char* record) const {
    Span v;
    if (!findField(record, 299, &v)) return "";
    long n = spanNumber(v);
    return n >= 0 && n < long(_nTables) ? _orgTitles[n] : "";
}

YmStr YmSrchResultMsg::getField(const YmStr& record, int fld) {
    if (fld == 110) return YmStr(titleOf(cstr(record)));
    Span v;
    if (!findField(cstr(record), fld, &v)) return YmStr();
    return YmStr(v.p, unsigned(v.n));
}

char* YmSrchResultMsg::getField(int id, int fld) {
    YmStr& field = sharedField();
    if (id < 0 || unsigned(id) >= _nTables)
        field.resize(0, 0);
    else if (fld == 110)
        field = _sortTitles[id];
    else
        field = getField(YmStr(_sortRes[id]), fld);
    return reinterpret_cast<char*>(field.data);
}

char* YmSrchResultMsg::get(int id) {
    if (id < 0 || unsigned(id) >= _nTables) {
        _resultL.resize(0, 0);
        return reinterpret_cast<char*>(_resultL.data);
    }
    std::string text = "110\n";
    text += _sortTitles[id];
    text += '\n';
    text += _sortRes[id];
    // The offsets text has one line per record number.
    Span num;
    long line = findField(_sortRes[id], 299, &num) ? spanNumber(num) : -1;
    const char* at = cstr(_offsets);
    const char* end = at + _offsets.slength - 1;
    for (long i = 0; i < line && at < end; i++) {
        const char* lf = static_cast<const char*>(memchr(at, '\n', size_t(end - at)));
        at = lf ? lf + 1 : end;
    }
    if (line < 0 || at >= end) {
        text += "0;0;0";
    } else {
        const char* lf = static_cast<const char*>(memchr(at, '\n', size_t(end - at)));
        text.append(at, lf ? lf : end);
    }
    text += '\n';
    _resultL = YmStr(text.data(), unsigned(text.size()));
    return reinterpret_cast<char*>(_resultL.data);
}

void YmSrchResultMsg::sort(int infld, YmBool bAsc) {
    int key = infld == 0 ? 255 : infld == 1 ? 111 : infld == 2 ? 31 : infld == 3 ? 110 : infld;
    if (_hits == 0 || _nTables == 0) return;
    memcpy(_sortRes, _orgRes, _nTables * sizeof(char*));
    memcpy(_sortTitles, _orgTitles, _nTables * sizeof(char*));
    // Arrival order is the engine's ranking, which is what 255 sorts by.
    if (key != 255) quickSort(key, key == 110 ? 1 : bAsc);
}

// Shell sort with a halving gap; records and titles move in step. Not
// stable.
void YmSrchResultMsg::quickSort(int fld, YmBool bAsc) {
    long n = long(_nTables);
    for (long gap = n / 2; gap > 0; gap /= 2) {
        for (long i = gap; i < n; i++) {
            for (long j = i - gap; j >= 0; j -= gap) {
                if (cmp(_sortRes[j], _sortRes[j + gap], fld, bAsc) <= 0) break;
                char* r = _sortRes[j];
                _sortRes[j] = _sortRes[j + gap];
                _sortRes[j + gap] = r;
                char* t = _sortTitles[j];
                _sortTitles[j] = _sortTitles[j + gap];
                _sortTitles[j + gap] = t;
            }
        }
    }
}

int YmSrchResultMsg::cmp(char* r1, char* r2, int fld, YmBool bAsc) {
    // Values are looked at in place; a record without the field sorts as an
    // empty value.
    Span a{"", 0}, b{"", 0};
    if (fld == 110) {
        a = wholeSpan(titleOf(r1));
        b = wholeSpan(titleOf(r2));
    } else {
        findField(r1, fld, &a);
        findField(r2, fld, &b);
    }
    if (fld == 99 || fld == 112 || fld == 114 || fld == 255) {
        long x = spanNumber(a), y = spanNumber(b);
        if (x == y) return 0;
        if (bAsc) return x < y ? -1 : 1;
        return x < y ? 1 : -1;
    }
    int c = compareSpans(a, b);
    if (bAsc) return c;
    return c > 0 ? -1 : c < 0 ? 1 : 0;
}
