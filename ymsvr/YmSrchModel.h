// The server's search service: starts the full-text engine, keeps the table
// of databases, and answers each search request (301) with one search result
// (304). Also handles the cancel (302) and the engine restart (307).
//
// A search: the request is decoded, the database table rebuilt from the
// settings folders, the requested names turned into open base handles, the
// query translated by the parser and handed to the engine, which runs in
// slices while the model watches for a cancel (any data the client sends
// meanwhile raises SIGIO); then the hits are read in batches of 100 and
// written as records, titles and match offsets (formats in YmSrchMsg.h):
//   record   0x01 "299" LF n LF, then per field: number LF value LF, where
//            the title (110) goes to the titles text instead, the score
//            65011 is written as 255, and the file name (100) starts with the
//            database's documents folder; "256" LF closes it
//   offsets  one line per record: "0;" start ";" length TAB ... LF, the start
//            counted in visible characters of the document
// A failed search answers error code 1, with an "Additional Information"
// text when the engine reported the failure. An answer carries the hits
// whose texts fit in one frame, and says how many it carries. A kill signal
// (held while the search runs) ends the search as a cancel does, so that
// the server-down notice follows a short answer at once.
#ifndef YM_SRCH_MODEL_H
#define YM_SRCH_MODEL_H

#include <cstddef>

#include "YmDB.h"
#include "YmParser.h"
#include "YmSrchMsg.h"
#include "YmStr.h"
#include "YmTypes.h"
#include "ftft.h"

// Databases in the table, and bases in one search.
constexpr int YM_MAX_DBS = 48;

class YmSrchModel {
  public:
    YmSrchModel();
    YmSrchModel(const YmSrchModel&) = delete;
    YmSrchModel& operator=(const YmSrchModel&) = delete;

    // Fills _baseH and _srchDBs for the LF-separated names of a request,
    // opening (or reopening, when the reference file changed) what is
    // needed; a name the table lacks is tried with the engine and joins the
    // table. True when at least one base is to be searched.
    virtual YmBool getBaseVec(const char* indbList);
    // Builds the result message from the finished search.
    virtual void createSRMsg();
    // Reads every hit into the result, titles and offsets texts; the bytes
    // of the result text, or 0 (failure, cancel, nothing to read).
    virtual unsigned int getResult();
    // Index in _db of the database with exactly this name, or -1.
    virtual int findDB(const YmStr& dbName);
    // Appends the offsets line of hit id (engine index) of database dbId.
    virtual void getMarks(long id, int dbId);
    // Records an engine failure: error, engine error number, the blamed
    // database (colidx: its index in the base vector, -1 for none); closes
    // the engine result.
    virtual void srchError(const char* step, int colidx);
    virtual ~YmSrchModel();
    virtual const char* className() const { return "YmSrchModel"; }
    // Starts the engine and builds the table; false (logged) when the engine
    // does not start or no database is found.
    virtual YmBool initFT();
    // Registers 307, 301, 302 and creates the parser. True.
    virtual YmBool init();
    // Releases the engine result, if any.
    virtual void close();
    // close(), closes and deletes every database, shuts the engine down.
    virtual void quit();
    // Runs the search of query fields qVec over the databases of dbList;
    // false on failure or cancel.
    virtual YmBool search(const char* dbList, const char* qVec);

    // Rebuilds the table from the settings folders (FULSEARCH, else
    // FULPATH, each split at ",;: "). A database whose settings are
    // unchanged keeps its object and open base; the ones no longer announced
    // are closed and deleted.
    void initDBlist();

    // Handlers (the message service's signature); each returns 1.
    static int requestInit(void* svcThis, int flag, char* data, int dlen, char** res, int* rlen);
    static int requestSrch(void* svcThis, int flag, char* data, int dlen, char** res, int* rlen);
    static int requestCancel(void* svcThis, int flag, char* data, int dlen, char** res, int* rlen);
    // The same cancel as the SIGIO handler during a search.
    static void requestCancel(int sig);

    YmDB* _db[YM_MAX_DBS];
    FTBH _baseH[YM_MAX_DBS];
    FTSH _srchResH;  // null when no result is open
    char* _srBuf;    // the texts being built; they grow as needed
    char* _offsetBuf;
    char* _titleBuf;
    unsigned int _srSz;  // bytes allocated
    unsigned int _offsetSz;
    unsigned int _offsetCurrSz;  // bytes written
    unsigned int _titleSz;       // bytes written into _titleBuf
    int _totalDBs;
    int _srchDBs;
    long _maxHits;
    long _hits;   // hits reported (hits gone meanwhile not counted)
    long _count;  // non-zero: count only
    unsigned int _sError;
    YmStr _sErrCol;
    int _sFtError;
    YmSrchReqMsg _srchReqMsg;
    YmSrchResultMsg _srchResultMsg;
    YmParser* _parser;

    // Set by the cancel; read by every loop of a search.
    static volatile YmBool _bCancel;

    // Most bytes of the result, titles and offsets texts together, so that
    // the answer fits in one frame (YM_MAX_SEARCH_TEXTS; tests lower it).
    // Hits past it are left out and the hit count is the records sent.
    size_t _textLimit;

  private:
    // Whether the search is to end early: a cancel came, or a kill signal
    // waits (it then counts as a cancel from here on).
    static YmBool cancelled();
    // The offset text of one hit that has no positions.
    void appendNoMarks();
    // Append n bytes to one of the three texts, growing it as needed. A
    // value (not the texts' own marks and separators) has the bytes that
    // would break its text replaced by blanks. False once memory ran out.
    YmBool appendSr(const char* s, size_t n, YmBool value = 0);
    YmBool appendTitle(const char* s, size_t n, YmBool value = 0);
    YmBool appendOffset(const char* s, size_t n);
    void freeBuffers();
    // Removes entry i of the table (closing and deleting it).
    void dropDB(int i);

    unsigned int _srCurrSz;  // bytes written into _srBuf
    unsigned int _titleCap;  // bytes allocated for _titleBuf
    long _engineHits;        // hits in the engine's list: the index range
    YmBool _outOfMemory;     // a text could not grow
};

#endif
