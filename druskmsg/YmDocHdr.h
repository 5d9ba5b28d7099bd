// YmDocHdr: the catalogue record of one document and its text form.
//
// The search side sends one header text per hit; the client sends it back
// with a document action; the server parses it, replaces the marks line by
// the hit positions in the formatted text and returns it rebuilt. The client
// also uses the class for display: long dates, one mark by number, and a
// test whether the document's file is reachable.
//
// The header text is lines separated by '\n', in pairs: a decimal field code,
// then its value. Field code 256 comes last; its value is the marks line and
// nothing after it is read.
//
//   31 modify date   27 date        97 owner     99 type (number)
//   100 file name    110 title      111 code     112 security (number)
//   113 components   256 marks line (ends the header)
//
// Any other code is read and ignored (the search side sends 299, the hit's
// record number). Readers split with YmStr::token, which skips a run of
// newlines, so a writer never writes an empty value line: an empty text is
// left out, code and all, and a value of one blank reads back as empty for
// 97, 100, 110, 111 and 113 (not for the dates).
//
// The marks line is zero or more "%d;%d;%d\t" entries: in a header that the
// server returns, line number, byte offset and length of each hit in the
// displayed text. "0;0;0" stands where a header carries no marks, and a mark
// of three zeros reads as no mark.
#ifndef YM_DOC_HDR_H
#define YM_DOC_HDR_H

#include "YmStr.h"
#include "YmTypes.h"

class YmDocHdr {
  public:
    YmDocHdr();
    virtual ~YmDocHdr();
    virtual const char* className() const { return "YmDocHdr"; }
    // Replaces every field by those of the header text catLine (a null one
    // reads as empty). _tmpDate and _mark are left alone.
    virtual void init(const char* catLine);

    // An empty or null inMark empties the marks line.
    void setMarkLine(const char* inMark);
    // The header text of the current fields, rebuilt into _hdrLine; valid
    // until the next hdrLine or init. With bMark false "0;0;0" stands in
    // place of the marks line. A value can hold neither a newline nor a form
    // feed (either would end it early), so each is written as a blank.
    char* hdrLine(YmBool bMark);
    // _mark filled with the entry-th mark (0-based), or -1, -1, -1.
    int* mark(int entry);
    // Line, offset and length from "l;o;n"; three zeros leave _mark as it is.
    void parseMark(const YmStr& markline);
    // 0 when _fname names nothing that exists or ends in '/'; else _type.
    int accessOk();
    // formatDate of _date / _modifyDate.
    char* date();
    char* modifyDate();
    // "January 05, 1995" from "19950105..."; "" for fewer than 8 characters
    // (then _tmpDate is not touched). The text lives in _tmpDate until the
    // next call.
    char* formatDate(const YmStr& d);
    // val formatted "%d\n".
    YmStr convertNum(int val);
    // _src becomes _code up to its first blank.
    void setSrc();

    YmStr _date;
    YmStr _modifyDate;
    YmStr _owner;
    int _type;
    YmStr _fname;
    YmStr _title;
    YmStr _tmpDate;
    YmStr _code;
    int _security;
    YmStr _components;
    int _mark[3];
    YmStr _src;
    YmStr _hdrLine;
    YmStr _markLine;
};

#endif
