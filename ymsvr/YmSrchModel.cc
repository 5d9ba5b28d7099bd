// The search service; see YmSrchModel.h.
#include "YmSrchModel.h"

#include <dirent.h>
#include <signal.h>
#include <syslog.h>

#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "YmFtApi.h"
#include "YmLimits.h"
#include "YmMsgTypes.h"
#include "YmSignals.h"
#include "YmText.h"
#include "mps.h"

volatile YmBool YmSrchModel::_bCancel = 0;

namespace {

// The decimal digits of v at p (room for 20 characters); returns their end.
// A hit list writes several numbers a hit, so they are not formatted
// through printf.
char* putNumber(char* p, long v) { return std::to_chars(p, p + 20, v).ptr; }

// v and a newline.
char* putLine(char* p, long v) {
    p = putNumber(p, v);
    *p++ = '\n';
    return p;
}

// The fields asked of the engine for each hit, in this order.
const int kHitFields[] = {FTF_TITLE, FTF_CODE, FTF_DATE, FTF_SCORE,    FTF_MODIFIED,
                          FTF_OWNER, FTF_TYPE, FTF_FILE, FTF_SECURITY, FTF_COMPONENTS};
constexpr int kNumHitFields = int(sizeof kHitFields / sizeof kHitFields[0]);

// The score travels under this number in the records.
constexpr int kScoreField = 255;
constexpr int kRecordNumberField = 299;
constexpr int kRecordEndField = 256;

// Hits fetched per engine call, and the work buffer's bytes per hit.
constexpr long kBatch = FTCF_MAXHITS;
constexpr size_t kWorkPerHit = 1024;
// A single hit whose fields fill the whole work buffer may have been cut;
// the buffer grows up to this size to fetch it whole.
constexpr size_t kMaxWork = 16u * 1024 * 1024;

// Initial sizes of the texts, per hit; they grow as needed.
constexpr size_t kRecordBytes = 512;
constexpr size_t kOffsetBytes = 512;
constexpr size_t kTitleBytes = 256;

// The signals whose action shuts the engine down are held while a search or
// a restart works on the engine, so that the shutdown never runs in the
// middle of an engine call; one that arrives meanwhile acts once the work is
// done, and a waiting one stops a search as if cancelled.
using KillSignalsHeld = YmKillSignalsHeld;

void setSigio(void (*handler)(int)) {
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = handler;
    sigemptyset(&sa.sa_mask);
    // Interrupted reads of the engine's files resume.
    sa.sa_flags = SA_RESTART;
    sigaction(SIGIO, &sa, nullptr);
}

// The database a settings file announces: "x.cfg" announces x and "a.b.cfg"
// announces b; names of fewer than 5 characters, names starting with a dot
// and other extensions announce nothing (empty).
std::string announcedName(const char* file) {
    size_t len = strlen(file);
    if (len < 5 || file[0] == '.') return "";
    const char* dot = strrchr(file, '.');
    if (!dot || strcmp(dot, ".cfg") != 0) return "";
    const char* start = dot;
    while (start > file && start[-1] != '.') start--;
    return std::string(start, size_t(dot - start));
}

// Bytes that would break the texts they travel in: the field separator and
// the record mark everywhere, the line feed inside records (it separates a
// field's number from its value), and NUL, which would end the text.
bool breaksText(char c, bool record) {
    return c == '\f' || c == YM_RECORD_MARK || c == '\0' || (record && c == '\n');
}

}  // namespace

YmSrchModel::YmSrchModel()
    : _srchResH(nullptr),
      _srBuf(nullptr),
      _offsetBuf(nullptr),
      _titleBuf(nullptr),
      _srSz(0),
      _offsetSz(0),
      _offsetCurrSz(0),
      _titleSz(0),
      _totalDBs(0),
      _srchDBs(0),
      _maxHits(0),
      _hits(0),
      _count(0),
      _sError(0),
      _sFtError(0),
      _parser(nullptr),
      _textLimit(YM_MAX_SEARCH_TEXTS),
      _srCurrSz(0),
      _titleCap(0),
      _engineHits(0),
      _outOfMemory(0) {
    memset(_db, 0, sizeof _db);
    memset(_baseH, 0, sizeof _baseH);
}

YmSrchModel::~YmSrchModel() {
    freeBuffers();
    for (int i = 0; i < _totalDBs; i++) delete _db[i];
    delete _parser;
}

// ---- start, restart, shutdown ----

YmBool YmSrchModel::initFT() {
    // The server's entry calls this with the signal handlers installed and
    // the port open: an interrupt now must not shut the engine down under
    // its own start.
    KillSignalsHeld held;
    // The login treats an empty FULSEARCH as unset and reads FULPATH; the
    // engine looks for settings in the same folders only when the empty
    // value is gone from the environment.
    const char* fs = getenv("FULSEARCH");
    if (fs && !*fs) unsetenv("FULSEARCH");

    long opts[3] = {4, 0, -1};
    int r = ftapiini(nullptr, nullptr, opts, 3, &ftapih);
    if (r != 0) {
        ftapih = nullptr;
        syslog(LOG_SYSLOG | LOG_WARNING, "ymsvr: srchMgr - cannot initialize search engine %d", r);
        return 0;
    }
    initDBlist();
    if (_totalDBs == 0) {
        syslog(LOG_SYSLOG | LOG_WARNING,
               "ymsvr: No databases found - Is \"FULSEARCH\" environment var set?");
        return 0;
    }
    long pool = 256000;
    ftapimod(ftapih, FTAM_POOL, &pool);
    return 1;
}

YmBool YmSrchModel::init() {
    theMPS->Register(YmMsgType::SrchRestart, requestInit, this);
    theMPS->Register(YmMsgType::SrchReq, requestSrch, this);
    theMPS->Register(YmMsgType::SrchCancel, requestCancel, this);
    _srchReqMsg.init();
    _srchResultMsg.init();
    if (!_parser) {
        _parser = new YmParser;
        _parser->init();
        _parser->setThes("druskthes.fth");
    }
    _hits = 0;
    return 1;
}

void YmSrchModel::close() {
    if (_srchResH) ftshcl(ftapih, _srchResH, 0);
    _srchResH = nullptr;
}

void YmSrchModel::quit() {
    // Not twice at once: the quit message's shutdown can be interrupted by a
    // signal whose handler shuts down too.
    KillSignalsHeld held;
    close();
    for (int i = 0; i < YM_MAX_DBS; i++) {
        if (_db[i]) {
            _db[i]->close();
            delete _db[i];
        }
        _db[i] = nullptr;
    }
    _totalDBs = 0;
    _srchDBs = 0;
    if (ftapih) ftapitrm(ftapih);
    ftapih = nullptr;
}

int YmSrchModel::requestInit(void* svcThis, int, char*, int, char**, int*) {
    YmSrchModel* m = static_cast<YmSrchModel*>(svcThis);
    KillSignalsHeld held;  // across both halves: no shutdown in between
    m->quit();
    m->initFT();
    return 1;
}

// ---- the database table ----

int YmSrchModel::findDB(const YmStr& dbName) {
    for (int i = 0; i < _totalDBs; i++)
        if (_db[i]->_name == dbName) return i;
    return -1;
}

void YmSrchModel::dropDB(int i) {
    _db[i]->close();
    delete _db[i];
    for (int k = i; k + 1 < _totalDBs; k++) _db[k] = _db[k + 1];
    _db[--_totalDBs] = nullptr;
}

void YmSrchModel::initDBlist() {
    YmDB* old[YM_MAX_DBS];
    int nOld = _totalDBs;
    memcpy(old, _db, sizeof old);
    memset(_db, 0, sizeof _db);
    _totalDBs = 0;

    std::string leftOut;
    for (const std::string& dir : ymSplitDataDirs(ymDataDirsValue())) {
        DIR* d = opendir(dir.c_str());
        if (!d) continue;
        while (struct dirent* e = readdir(d)) {
            std::string name = announcedName(e->d_name);
            if (name.empty()) continue;
            YmDB* db = new YmDB;
            // A name announced twice (in two folders, or as x.cfg and y.x.cfg)
            // is one database: the engine reads the first settings it finds.
            if (!db->init(name.c_str()) || findDB(db->_name) >= 0) {
                delete db;
                continue;
            }
            if (_totalDBs == YM_MAX_DBS) {
                leftOut += " " + std::string(ymText(db->_name));
                delete db;
                continue;
            }
            // Unchanged settings: keep the old object, and with it the open
            // base, so that a search does not pay for reopening it. A rebuilt
            // database is noticed by its reference file when it is searched.
            for (int k = 0; k < nOld; k++) {
                if (old[k] && old[k]->sameSettings(*db)) {
                    delete db;
                    db = old[k];
                    old[k] = nullptr;
                    break;
                }
            }
            _db[_totalDBs++] = db;
        }
        closedir(d);
    }
    for (int k = 0; k < nOld; k++) {
        if (!old[k]) continue;
        old[k]->close();
        delete old[k];
    }
    if (!leftOut.empty())
        syslog(LOG_USER | LOG_WARNING, "ymsvr: more than %d databases, left out:%s", YM_MAX_DBS,
               leftOut.c_str());
}

YmBool YmSrchModel::getBaseVec(const char* indbList) {
    memset(_baseH, 0, sizeof _baseH);
    _srchDBs = 0;
    std::string list(indbList ? indbList : "");
    std::string leftOut;
    int k = 0;
    size_t at = 0;
    while (at < list.size()) {
        size_t lf = list.find('\n', at);
        if (lf == std::string::npos) lf = list.size();
        YmStr name(list.data() + at, unsigned(lf - at));
        at = lf + 1;
        if (name.slength <= 1) break;
        if (k == YM_MAX_DBS) {
            leftOut += " " + std::string(ymText(name));
            continue;
        }
        YmDB* db = nullptr;
        int i = findDB(name);
        if (i >= 0) {
            db = _db[i];
            if (db->_baseH == 0 || db->getTime()) {
                db->close();
                if (!db->open("r")) {
                    dropDB(i);
                    db = nullptr;
                }
            }
        } else if (_totalDBs < YM_MAX_DBS) {
            db = new YmDB;
            if (db->init(ymText(name)) && db->open("r")) {
                _db[_totalDBs++] = db;
            } else {
                delete db;
                db = nullptr;
            }
        } else {
            leftOut += " " + std::string(ymText(name));
        }
        long docs = 0;
        if (db && ftbhgi(ftapih, db->_baseH, FTBI_DOCS, &docs) == 0 && docs > 0)
            _baseH[k++] = db->_baseH;
    }
    if (!leftOut.empty())
        syslog(LOG_USER | LOG_WARNING, "ymsvr: more than %d databases in one search, left out:%s",
               YM_MAX_DBS, leftOut.c_str());
    _srchDBs = k;
    return k > 0;
}

// ---- a search ----

int YmSrchModel::requestCancel(void*, int, char*, int, char**, int*) {
    requestCancel(SIGIO);
    return 1;
}

void YmSrchModel::requestCancel(int) {
    _bCancel = 1;
    // Whatever else the client sends is read by the main loop later.
    setSigio(SIG_IGN);
}

// A kill signal held during the search acts only once the answer is out, and
// the search may have far to go (the client may even have stopped reading):
// it ends the search as a cancel does, so that a short answer and then the
// server-down notice follow at once.
YmBool YmSrchModel::cancelled() {
    if (!_bCancel && KillSignalsHeld::pending()) _bCancel = 1;
    return _bCancel;
}

int YmSrchModel::requestSrch(void* svcThis, int, char* data, int dlen, char**, int*) {
    YmSrchModel* m = static_cast<YmSrchModel*>(svcThis);
    KillSignalsHeld held;
    _bCancel = 0;
    setSigio(requestCancel);

    m->_srchReqMsg.init();
    m->_srchResultMsg.init();
    m->_srchReqMsg.readIn(data, dlen > 0 ? unsigned(dlen) : 0u);
    m->_parser->setNearDistance(int(m->_srchReqMsg._near));
    m->_parser->useThes(m->_srchReqMsg._bThes);
    m->_maxHits = long(m->_srchReqMsg._maxHits);
    m->_count = m->_srchReqMsg._bCount;

    m->initDBlist();
    if (!m->search(ymText(m->_srchReqMsg._srchDBs), ymText(m->_srchReqMsg._query))) m->_sError = 1;
    m->createSRMsg();
    m->close();
    m->_srchResultMsg.send(_bCancel ? 1 : 0);
    setSigio(SIG_IGN);
    return 1;
}

YmBool YmSrchModel::search(const char* dbList, const char* qVec) {
    close();
    _sError = 0;
    _hits = 0;
    _engineHits = 0;
    // A query error must not report an earlier engine failure.
    _sErrCol.resize(0, 0);
    _sFtError = 0;

    if (!getBaseVec(dbList)) return 0;
    if (!_parser->parse(qVec)) return 0;

    FTSH sh = nullptr;
    long flags = _count ? FTSS_RANKED | FTSS_COUNT : FTSS_RANKED;
    if (ftshstrt(ftapih, _baseH, _srchDBs, _maxHits, flags, ymText(_parser->_qry), 0, 0, &sh) < 0 ||
        !sh) {
        srchError("ftshstrt", -1);
        return 0;
    }
    _srchResH = sh;

    _FTSDATA sd;
    memset(&sd, 0, sizeof sd);
    int rc;
    while ((rc = ftshresm(ftapih, _srchResH, 1000, cancelled(), &sd)) == 0) {
        if (sd.sflags & FTSF_WAIT) {
            ftusleep(ftapih, 1000);
            if (cancelled()) break;
        }
    }
    if (cancelled()) {
        close();
        return 0;
    }
    if (rc <= 0) {
        int err = ftegerr(ftapih);
        if (err != FTE_OK && err != FTE_MAXHITS && err != FTE_CANCEL && err != FTE_EMPTY) {
            // A handle the engine says is gone is not to be released again.
            if (err == FTE_GONE) _srchResH = nullptr;
            srchError("ftshresm", sd.scndx);
            return 0;
        }
    }
    if (_count) {
        _hits = sd.sndocs;
    } else {
        long n = 0;
        ftshgi(ftapih, _srchResH, FTSI_HITS, &n);
        _hits = n;
    }
    if (_hits < 0) _hits = 0;
    _engineHits = _hits;
    if (_hits == 0) close();
    return 1;
}

void YmSrchModel::srchError(const char*, int colidx) {
    _sError = 1;
    _sFtError = ftegerr(ftapih);
    _sErrCol.resize(0, 0);
    close();
    if (colidx >= 0 && colidx < _srchDBs && _totalDBs > 0) {
        for (int i = 0; i < _totalDBs; i++) {
            if (_db[i]->_baseH == _baseH[colidx]) {
                _sErrCol = _db[i]->_name;
                break;
            }
        }
    }
}

// ---- the answer ----

void YmSrchModel::freeBuffers() {
    free(_srBuf);
    free(_offsetBuf);
    free(_titleBuf);
    _srBuf = _offsetBuf = _titleBuf = nullptr;
    _srSz = _offsetSz = _offsetCurrSz = _titleSz = _srCurrSz = _titleCap = 0;
}

namespace {

// Appends n bytes (cleaned of bytes that break the text when clean is 1 or
// 2, 2 also cleaning line feeds) to a NUL-terminated buffer, growing it.
YmBool appendTo(char*& buf, unsigned int& cap, unsigned int& used, const char* s, size_t n,
                int clean) {
    if (n >= size_t(UINT_MAX / 2) - used) return 0;
    size_t need = size_t(used) + n + 1;
    if (need > cap) {
        size_t grown = cap ? size_t(cap) * 2 : 1024;
        while (grown < need) grown *= 2;
        if (grown > UINT_MAX / 2) grown = UINT_MAX / 2;
        char* p = static_cast<char*>(realloc(buf, grown));
        if (!p) return 0;
        buf = p;
        cap = unsigned(grown);
    }
    char* out = buf + used;
    memcpy(out, s, n);
    if (clean)
        for (size_t i = 0; i < n; i++)
            if (breaksText(out[i], clean == 2)) out[i] = ' ';
    used += unsigned(n);
    buf[used] = '\0';
    return 1;
}

}  // namespace

YmBool YmSrchModel::appendSr(const char* s, size_t n, YmBool value) {
    if (!appendTo(_srBuf, _srSz, _srCurrSz, s, n, value ? 2 : 0)) _outOfMemory = 1;
    return !_outOfMemory;
}

YmBool YmSrchModel::appendTitle(const char* s, size_t n, YmBool value) {
    if (!appendTo(_titleBuf, _titleCap, _titleSz, s, n, value ? 1 : 0)) _outOfMemory = 1;
    return !_outOfMemory;
}

YmBool YmSrchModel::appendOffset(const char* s, size_t n) {
    if (!appendTo(_offsetBuf, _offsetSz, _offsetCurrSz, s, n, 0)) _outOfMemory = 1;
    return !_outOfMemory;
}

void YmSrchModel::createSRMsg() {
    _srchResultMsg.init();
    if (_hits > 0 && !_sError && !cancelled() && !_count) {
        long first = _hits < kBatch ? _hits : kBatch;
        _srSz = unsigned(kRecordBytes * size_t(first));
        _offsetSz = unsigned(kOffsetBytes * size_t(first));
        _titleCap = unsigned(kTitleBytes * size_t(first));
        _srBuf = static_cast<char*>(calloc(_srSz, 1));
        _offsetBuf = static_cast<char*>(calloc(_offsetSz, 1));
        _titleBuf = static_cast<char*>(calloc(_titleCap, 1));
        _srCurrSz = _offsetCurrSz = _titleSz = 0;
        _outOfMemory = 0;
        unsigned int bytes = 0;
        if (_srBuf && _offsetBuf && _titleBuf) {
            bytes = getResult();
        } else {
            _outOfMemory = 1;
        }
        if (_outOfMemory) srchError("getResult", -1);
        close();
        if (bytes && !_bCancel && !_outOfMemory) {
            _srchResultMsg.setResult(_srBuf);
            _srchResultMsg.setOffsets(_offsetBuf);
            _srchResultMsg.setTitles(_titleBuf);
        }
        freeBuffers();
    }
    _srchResultMsg.setErrCode(_sError);
    _srchResultMsg.setHits(unsigned(_hits));
    if (_sError == 1 && (_sErrCol.slength > 1 || _sFtError != 0)) {
        YmStr info("\n\nAdditional Information:\n");
        if (_sErrCol.slength > 1) info = info | "    Database = " | _sErrCol;
        if (_sFtError != 0) info = info | YmStr(_sFtError, "    FT Error Code = %d");
        _srchResultMsg.setSrBkTag(ymText(info));
    }
}

unsigned int YmSrchModel::getResult() {
    if (_engineHits <= 0 || cancelled()) return 0;
    size_t workSz = kWorkPerHit * size_t(_engineHits < kBatch ? _engineHits : kBatch);
    char* work = static_cast<char*>(calloc(workSz, 1));
    if (!work) {
        _outOfMemory = 1;
        return 0;
    }
    _FTCFLDS asked[kNumHitFields];
    for (int f = 0; f < kNumHitFields; f++) {
        asked[f].cffldid = kHitFields[f];
        asked[f].cffmt = 0;
        asked[f].cffldln = 0;
        asked[f].cfbuf = nullptr;
    }
    _FTCINFO info[kBatch];
    char num[32];
    int recno = 0;
    int curDb = 0;
    YmBool full = 0;  // the texts hold all the hits one answer can carry
    // The engine's index runs over every hit it listed; _hits counts only
    // the ones that still have a document.
    long i = 0;
    while (i < _engineHits && !cancelled() && !full) {
        memset(info, 0, sizeof info);
        info[0].cinflds = kNumHitFields;
        info[0].cicflds = asked;
        long n = _engineHits - i < kBatch ? _engineHits - i : kBatch;
        if (!_srchResH || ftshcfld(ftapih, _srchResH, i, info, 0, work, long(workSz), 1, &n) != 0 ||
            n <= 0) {
            free(work);
            srchError("ftshcfld", -1);
            return 0;
        }
        // A single hit that filled the buffer to its end may have been cut:
        // fetch it again with more room.
        if (n == 1 && info[0].cinflds > 0 && workSz < kMaxWork) {
            const _FTCFLDS& last = info[0].cicflds[info[0].cinflds - 1];
            if (last.cfbuf + last.cffldln + 1 >= work + workSz) {
                char* bigger = static_cast<char*>(realloc(work, workSz * 4));
                if (bigger) {
                    work = bigger;
                    workSz *= 4;
                    continue;
                }
            }
        }
        for (long j = 0; j < n && !cancelled() && !_outOfMemory; j++) {
            const _FTCINFO& hit = info[j];
            unsigned int status = hit.cistatus & 0xffffu;
            if (status == 0x4000u || status == 0x8000u || hit.cinflds <= 0) {
                _hits--;
                continue;
            }
            const unsigned int srMark = _srCurrSz, titleMark = _titleSz, offsetMark = _offsetCurrSz;
            char* e = num;
            *e++ = YM_RECORD_MARK;
            e = putLine(e, kRecordNumberField);
            e = putLine(e, recno++);
            appendSr(num, size_t(e - num));
            YmBool titled = 0;
            for (int f = 0; f < hit.cinflds; f++) {
                const _FTCFLDS& fld = hit.cicflds[f];
                int id = fld.cffldid;
                if (id != FTF_TITLE) {
                    e = putLine(num, id == FTF_SCORE ? kScoreField : id);
                    appendSr(num, size_t(e - num));
                }
                const char* v = fld.cfbuf;
                size_t vlen = v && fld.cffldln > 0 ? size_t(fld.cffldln) : 0;
                if (vlen == 0) {
                    if (id != FTF_TITLE) appendSr(" \n", 2);
                    continue;
                }
                if (id == FTF_TITLE) {
                    appendTitle(&YM_RECORD_MARK, 1);
                    appendTitle(v, vlen, 1);
                    titled = 1;
                    continue;
                }
                if (id == FTF_CODE) {
                    size_t w = 0;
                    while (w < vlen && v[w] != ' ') w++;
                    curDb = findDB(YmStr(v, unsigned(w)));
                }
                if (id == FTF_FILE && curDb >= 0) {
                    // The client sends the record back to view the document:
                    // the file name must stand on its own.
                    const YmStr& path = _db[curDb]->_path;
                    appendSr(ymText(path), path.slength - 1, 1);
                    if (path.slength > 1 && path[path.slength - 2] != '/' && v[0] != '/')
                        appendSr("/", 1);
                }
                appendSr(v, vlen, 1);
                appendSr("\n", 1);
            }
            // Titles are paired with records by position: a record without
            // a title still gets its (blank) entry.
            if (!titled) appendTitle("\x01 ", 2);
            e = putLine(num, kRecordEndField);
            appendSr(num, size_t(e - num));
            getMarks(i + j, curDb);
            if (size_t(_srCurrSz) + _titleSz + _offsetCurrSz > _textLimit) {
                // Past what one frame carries: the answer ends with the hit
                // before this one.
                _srCurrSz = srMark;
                _titleSz = titleMark;
                _offsetCurrSz = offsetMark;
                _srBuf[_srCurrSz] = _titleBuf[_titleSz] = _offsetBuf[_offsetCurrSz] = '\0';
                recno--;
                full = 1;
                break;
            }
        }
        if (_outOfMemory) break;
        i += n;
    }
    free(work);
    if (_outOfMemory) return 0;
    if (full) {
        syslog(LOG_USER | LOG_WARNING, "ymsvr: search answer holds %d of %ld hits (%zu bytes at most)",
               recno, _hits, _textLimit);
        _hits = recno;
    }
    return _srCurrSz;
}

void YmSrchModel::appendNoMarks() { appendOffset("0;0;0\t\n", 7); }

void YmSrchModel::getMarks(long id, int dbId) {
    if (cancelled()) return;
    if (dbId < 0 || dbId >= _totalDBs || id >= _engineHits) srchError("ftsgetc", -1);
    long offset = 0;
    if (!_sError) {
        ftbhgi(ftapih, _db[dbId]->_baseH, FTBI_POSOFFSET, &offset);
        int nmatch = 0;
        if (!ftshgf(ftapih, _srchResH, id, &nmatch)) srchError("ftsgetc", -1);
    }
    YmBool finished = 0;
    FTVCC prev = -1;
    char entry[64];
    while (!_sError) {
        FTVCC end = 0;
        FTVCC start = ftshrd(ftapih, _srchResH, &end);
        if (start == FTVCC_END) {
            finished = 1;
            break;
        }
        if (start <= 0) break;
        if (start != prev && start >= offset) {
            char* e = entry;
            *e++ = '0';
            *e++ = ';';
            e = putNumber(e, long(start - offset));
            *e++ = ';';
            e = putNumber(e, long(end - start));
            *e++ = '\t';
            appendOffset(entry, size_t(e - entry));
        }
        prev = start;
    }
    if (finished && !_sError) {
        appendOffset("\n", 1);
        return;
    }
    srchError("ftsgev", -1);
    appendNoMarks();
}
