// The search exchange between a client and the server.
//
// YmSrchReqMsg (301, client to server) names the databases, the query in the
// users' query language and the search options. YmSrchResultMsg (304, server
// to client) carries the hit count, an error code and three texts: the hit
// records, their titles and their match offsets. Both halves of each message
// are here: the server decodes requests and encodes results; a client does
// the opposite and then reads the records with parseResult, titles, get,
// getField and sort.
//
// Result texts, as they travel:
//   records  per hit: 0x01 "299" LF number LF { field LF value LF } "256" LF;
//            records are numbered 0, 1, 2, ... over the whole result, and an
//            empty value is one blank
//   titles   per hit: 0x01 title
//   offsets  per hit, in record order: { "0;" start ";" length TAB } LF, or
//            "0;0;0" TAB LF for a hit without positions
// Every payload is its fields each followed by a form feed, then a NUL that
// the frame's Length counts.
#ifndef YM_SRCH_MSG_H
#define YM_SRCH_MSG_H

#include "YmStr.h"
#include "YmTypes.h"

// The record mark that starts each record and each title.
constexpr char YM_RECORD_MARK = '\x01';

class YmSrchReqMsg {
  public:
    YmSrchReqMsg();
    virtual ~YmSrchReqMsg();
    virtual const char* className() const { return "YmSrchReqMsg"; }
    // Empty texts, numbers 0, flags false.
    virtual void init();

    // A null or empty argument leaves the text empty.
    void setSrchDBs(const char* dbs);  // database names separated by LF
    void setQuery(const char* q);      // field number LF text LF pairs
    void setSrBkTag(const char* tag);
    void setNear(unsigned int n) { _near = n; }
    void setMaxHits(unsigned int n) { _maxHits = n; }
    void setNarrow(YmBool b) { _bNarrow = b ? 1 : 0; }
    void setCount(YmBool b) { _bCount = b ? 1 : 0; }
    void setThes(YmBool b) { _bThes = b ? 1 : 0; }
    void setErrCode(int code) { _errCode = code; }

    void prepareForSend();
    // Sends 301 through theMPS. With result given, waits for the answer
    // frame, whose payload comes back in *result (the caller frees it), and
    // returns its length; otherwise returns the bytes sent. A negative result
    // is reported on standard error and returned.
    int send(char** result = nullptr);

    // Grammar: dbs FF query FF bkTag FF near FF maxHits FF narrow FF thes FF
    // count FF errCode FF NUL. A text shorter than two characters reads as
    // empty (a one-character query too); numbers are decimal, a flag is true
    // for any value but 0; missing fields read as empty and 0. The (s, len)
    // form reads at most len bytes and needs no NUL; a null s leaves the
    // message as init() made it.
    void readIn(const char* s);
    void readIn(const char* s, unsigned int len);

    YmStr _srchDBs;
    YmStr _query;
    YmStr _srBkTag;  // carried; the server does not use it
    unsigned int _near;
    unsigned int _maxHits;
    YmBool _bNarrow;  // carried; the server does not use it
    YmBool _bCount;
    YmBool _bThes;
    int _errCode;
    YmStr _buf;  // the encoded payload, without its NUL
};

class YmSrchResultMsg {
  public:
    YmSrchResultMsg();
    YmSrchResultMsg(const YmSrchResultMsg&) = delete;
    YmSrchResultMsg& operator=(const YmSrchResultMsg&) = delete;
    virtual ~YmSrchResultMsg();
    virtual const char* className() const { return "YmSrchResultMsg"; }
    // Empties the texts, frees the record tables, hits and error code 0.
    // _resultL and _cdID are left as they are.
    virtual void init();

    // A null or empty argument leaves the text empty. Changing the records
    // or titles drops the tables that parseResult built over them.
    void setResult(const char* r);
    void setTitles(const char* t);
    void setOffsets(const char* o);
    void setSrBkTag(const char* s);
    void setHits(unsigned int n) { _hits = n; }
    void setErrCode(unsigned int code) { _errCode = int(code); }

    void prepareForSend();
    // Sends 304 with the frame flag (1: the search was cancelled) through
    // theMPS without waiting, then init(). Returns the send's result.
    int send(int flag);

    // Grammar: hits FF errCode FF bkTag FF records FF titles FF offsets FF
    // NUL. Numbers are decimal; a text shorter than two characters reads as
    // empty. Unless count is true the message is reset first, all six fields
    // are read and, with hits, parseResult() runs. With count true only the
    // two numbers are read and nothing else changes. The (s, len) form reads
    // at most len bytes and needs no NUL.
    void readIn(const char* s, YmBool count);
    void readIn(const char* s, unsigned int len, YmBool count);

    // Splits the records and titles in place (each mark becomes a NUL, or a
    // blank at position 0) into the record tables. _hits becomes the number
    // of records that have both a record and a title; the count received is
    // only an upper bound. Runs once per received text: the marks are gone
    // afterwards.
    void parseResult();

    // The titles in the current order (_hits of them), or null without hits.
    char** titles();
    // Record id in the current order: "110" LF title LF, the record, then
    // the record's offsets line (without its LF, or "0;0;0" when the offsets
    // text has no line for it) and LF. Valid until the next get or change of
    // the message. An id out of range gives an empty text.
    char* get(int id);
    // The value of field fld of record id in the current order (110: its
    // title). Empty when the record lacks the field or id is out of range.
    // The text is one string shared by every message of the process, valid
    // until the next call.
    char* getField(int id, int fld);
    // The value of field fld in a record text (110 looks up the title of the
    // record's number). Empty when the record lacks the field.
    YmStr getField(const YmStr& record, int fld);
    // Re-orders the records and titles. Keys: 0 arrival order, 1 database
    // and document (111), 2 modification date (31), 3 title (110, always
    // ascending); any other value is a field number (255 arrival order).
    void sort(int infld, YmBool bAsc);
    void quickSort(int fld, YmBool bAsc);
    // Below, equal to or above 0 as record r1 sorts before, with or after r2.
    // Fields 99, 112, 114 and 255 compare as numbers, the others as text.
    int cmp(char* r1, char* r2, int fld, YmBool bAsc);

    YmStr _result;
    YmStr _offsets;
    YmStr _srBkTag;  // on failure: additional information for the user
    YmStr _titles;
    YmStr _resultL;  // the text last returned by get
    unsigned int _hits;
    int _errCode;  // 0, or 1 when the search failed
    YmStr _cdID;   // not read or written here
    YmStr _buf;    // the encoded payload, without its NUL
    // Owned tables of _hits pointers into _result and _titles; null until
    // parseResult builds them.
    char** _orgRes;      // records in arrival order
    char** _sortRes;     // records in the current order
    char** _orgTitles;   // titles in arrival order
    char** _sortTitles;  // titles in the current order

  private:
    void freeTables();
    // The title of a record's number (field 299); empty for none of ours.
    const char* titleOf(const char* record) const;
    // Entries in each of the four tables; 0 while they are null.
    unsigned int _nTables;
};

#endif
