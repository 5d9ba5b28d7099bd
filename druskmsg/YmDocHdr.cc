// The document header and its text form; see YmDocHdr.h.
#include "YmDocHdr.h"

#include <unistd.h>

#include <cctype>

#include "YmMsgField.h"

namespace {

const char kNl = '\n';

// A text value "as sent": exactly one blank stands for an empty value.
void setBlankIsEmpty(YmStr& field, const YmStr& value) {
    if (value == " ")
        field.resize(0, 0);
    else
        field = value;
}

// Appends code and value as two lines. Newlines and form feeds inside the
// value become blanks: a newline would start a line of its own and shift
// every later pair, a form feed would cut the header out of its message.
void appendPair(YmStr& out, int code, const YmStr& value) {
    YmStr c(code, "%d\n");
    out.append(reinterpret_cast<const char*>(c.data), c.slength - 1);
    unsigned int start = out.slength - 1;
    out.append(reinterpret_cast<const char*>(value.data), value.slength - 1);
    for (unsigned int i = start; i + 1 < out.slength; i++)
        if (out.data[i] == '\n' || out.data[i] == '\f') out.data[i] = ' ';
    out.append(kNl);
}

void appendText(YmStr& out, int code, const YmStr& value) {
    if (value.slength > 1) appendPair(out, code, value);
}

const char* const kMonth[12] = {"January ", "February ", "March ",     "April ",   "May ",      "June ",
                                "July ",    "August ",   "September ", "October ", "November ", "December "};

char gEmptyText[1] = {0};

}  // namespace

YmDocHdr::YmDocHdr() : _type(0), _security(0) { _mark[0] = _mark[1] = _mark[2] = -1; }

YmDocHdr::~YmDocHdr() {}

void YmDocHdr::init(const char* catLine) {
    // Copied first: catLine may be the text of one of our own members.
    YmStr text(catLine);
    _hdrLine.resize(0, 0);
    _markLine.resize(0, 0);
    _modifyDate.resize(0, 0);
    _date.resize(0, 0);
    _owner.resize(0, 0);
    _title.resize(0, 0);
    _fname.resize(0, 0);
    _code.resize(0, 0);
    _src.resize(0, 0);
    _components.resize(0, 0);
    _type = 0;
    _security = 0;
    unsigned int end = text.slength - 1;
    if (end < 2) return;

    unsigned int posn = 0;
    YmStr line = text.token(posn, kNl);
    while (posn < end) {
        int code = ymMsgAtoi(line);
        YmStr value = text.token(posn, kNl);
        if (code == 256) {
            setMarkLine(reinterpret_cast<const char*>(value.data));
            break;
        }
        switch (code) {
            case 31: _modifyDate = value; break;
            case 27: _date = value; break;
            case 97: setBlankIsEmpty(_owner, value); break;
            case 99: _type = ymMsgAtoi(value); break;
            case 100: setBlankIsEmpty(_fname, value); break;
            case 110: setBlankIsEmpty(_title, value); break;
            case 111:
                setBlankIsEmpty(_code, value);
                if (_code.slength > 1)
                    setSrc();
                else
                    _src.resize(0, 0);
                break;
            case 112: _security = ymMsgAtoi(value); break;
            case 113: setBlankIsEmpty(_components, value); break;
            default: break;
        }
        line = text.token(posn, kNl);
    }
}

void YmDocHdr::setMarkLine(const char* inMark) { ymSetText(_markLine, inMark); }

char* YmDocHdr::hdrLine(YmBool bMark) {
    _hdrLine.resize(0, 0);
    appendText(_hdrLine, 31, _modifyDate);
    appendText(_hdrLine, 27, _date);
    appendText(_hdrLine, 97, _owner);
    appendPair(_hdrLine, 99, YmStr(_type, "%d"));
    appendText(_hdrLine, 100, _fname);
    appendText(_hdrLine, 110, _title);
    appendText(_hdrLine, 111, _code);
    appendPair(_hdrLine, 112, YmStr(_security, "%d"));
    appendText(_hdrLine, 113, _components);
    _hdrLine.append("256\n");
    if (!bMark)
        _hdrLine.append("0;0;0");
    else if (_markLine.slength > 1)
        _hdrLine.append(reinterpret_cast<const char*>(_markLine.data), _markLine.slength - 1);
    return reinterpret_cast<char*>(_hdrLine.data);
}

int* YmDocHdr::mark(int entry) {
    _mark[0] = _mark[1] = _mark[2] = -1;
    if (_markLine.slength < 2) return _mark;
    unsigned int posn = 0;
    YmStr piece = _markLine.token(posn, '\t');
    for (int n = 0; piece.slength > 1 && n != entry; n++) piece = _markLine.token(posn, '\t');
    if (piece.slength > 1) parseMark(piece);
    return _mark;
}

void YmDocHdr::parseMark(const YmStr& markline) {
    unsigned int posn = 0;
    int line = ymMsgAtoi(markline.token(posn, ';'));
    int offset = ymMsgAtoi(markline.token(posn, ';'));
    int len = ymMsgAtoi(markline.token(posn, ';'));
    if (line == 0 && offset == 0 && len == 0) return;
    _mark[0] = line;
    _mark[1] = offset;
    _mark[2] = len;
}

int YmDocHdr::accessOk() {
    if (_fname.slength < 2) return 0;
    const char* f = reinterpret_cast<const char*>(_fname.data);
    if (access(f, F_OK) != 0) return 0;
    if (_fname.data[_fname.slength - 2] == '/') return 0;
    return _type;
}

char* YmDocHdr::date() { return formatDate(_date); }

char* YmDocHdr::modifyDate() { return formatDate(_modifyDate); }

char* YmDocHdr::formatDate(const YmStr& d) {
    if (d.slength - 1 < 8) return gEmptyText;
    YmStr year = d.extract(0, 4);
    YmStr month = d.extract(4, 2);
    YmStr day = d.extract(6, 2);
    bool digits = isdigit(month.data[0]) && isdigit(month.data[1]);
    int m = digits ? (month.data[0] - '0') * 10 + (month.data[1] - '0') : 0;
    bool named = m >= 1 && m <= 12;
    // Through a local: d may be _tmpDate itself.
    YmStr out = (named ? YmStr(kMonth[m - 1]) : month) | day | ", " | year;
    _tmpDate = out;
    return reinterpret_cast<char*>(_tmpDate.data);
}

YmStr YmDocHdr::convertNum(int val) { return YmStr(val, "%d\n"); }

void YmDocHdr::setSrc() {
    unsigned int blank = _code.next(0, ' ');
    _src = _code.head(blank);
}
