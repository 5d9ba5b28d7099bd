// The login service; see YmInitModel.h.
#include "YmInitModel.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <netdb.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "YmDB.h"
#include "YmIo.h"
#include "YmLimits.h"
#include "YmLockInfo.h"
#include "YmMsgTypes.h"
#include "YmPlatform.h"
#include "YmText.h"
#include "mps.h"

namespace {

// The kernel's table of file locks: the only place where the holder of a
// flock lock can be found (the record-lock query does not see them).
const char kProcLocks[] = "/proc/locks";

// The holder's answer is at most this long, newline included.
char lline[120];

// Reads the whole of fd, as long as fstat says it is, in one go. The text is
// cut at its first NUL: what follows could not travel in the answers, whose
// clients read them as C strings. A file too large for any answer is read
// only as far as one could carry. Returns 0 when nothing could be read.
int readFd(int fd, YmStr& out) {
    out.resize(0, 0);
    struct stat st;
    if (fstat(fd, &st) != 0 || st.st_size <= 0) return 0;
    size_t size = st.st_size > off_t(YM_MAX_FRAME_LENGTH) ? size_t(YM_MAX_FRAME_LENGTH) : size_t(st.st_size);
    out.resize(unsigned(size));
    long got = ymReadAll(fd, out.data, size);
    if (got <= 0) {
        out.resize(0, 0);
        return 0;
    }
    size_t n = strnlen(reinterpret_cast<const char*>(out.data), size_t(got));
    out.resize(unsigned(n));
    return n > 0;
}

// Reads the whole file. Returns 0 if it cannot be opened or is empty.
int readFile(const YmStr& path, YmStr& out) {
    out.resize(0, 0);
    int fd = open(reinterpret_cast<const char*>(path.data), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    int ok = readFd(fd, out);
    close(fd);
    return ok;
}

// Reads the file name whole and, when name.local can be opened, a newline
// and its contents after it. Returns 0 if name itself cannot be opened.
int readWithLocal(const YmStr& name, YmStr& text) {
    text.resize(0, 0);
    int fd = open(ymText(name), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    readFd(fd, text);
    close(fd);
    YmStr local(name | ".local");
    fd = open(ymText(local), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        YmStr more;
        readFd(fd, more);
        close(fd);
        text.append('\n');
        text.append(ymText(more), more.slength - 1);
    }
    return 1;
}

// Calls fn on every line that is neither empty nor a comment, until fn
// returns false.
template <class Fn>
void forEachLine(const YmStr& text, Fn fn) {
    unsigned int posn = 0;
    while (posn < text.slength - 1) {
        YmStr line = text.token(posn, '\n');
        if (line.slength <= 1 || line.data[0] == '#') continue;
        if (!fn(line)) return;
    }
}

}  // namespace

YmInitModel::YmInitModel() {
    for (int i = 0; i < YM_INIT_CAPS; i++) _bCaps[i] = i < 5 ? 1 : 0;
}

YmInitModel::~YmInitModel() {}

int YmInitModel::init() {
    theMPS->Register(YmMsgType::InitReq, requestInit, this);
    theMPS->Register(YmMsgType::HelpReq, requestHelp, this);
    _initReqMsg.init();
    _initResultMsg.init();
    _publicPth.remove(0, _publicPth.length());

    const char* dirs = ymDataDirsValue();
    if (!dirs || !*dirs) {
        fprintf(stderr, "ymsvr: No \"FULSEARCH\" environment variable is set. Exiting...\n");
        return 0;
    }
    parsePath(dirs);

    char host[HOST_NAME_MAX + 1] = "";
    gethostname(host, sizeof host - 1);
    host[sizeof host - 1] = '\0';
    struct hostent* h = gethostbyname(host);
    _server = h && h->h_name ? h->h_name : host;

    _dataVers.resize(0, 0);
    for (unsigned int i = 0; i < _publicPth.length(); i++) readVersion(_publicPth[i]);
    return 1;
}

void YmInitModel::parsePath(const char* value) {
    for (const std::string& d : ymSplitDataDirs(value)) {
        YmStr dir(d.c_str());
        if (d.back() != '/') dir.append('/');
        _publicPth.append(&dir);
    }
}

int YmInitModel::requestInit(void* t, int, char* dataPtr, int len, char**, int*) {
    YmInitModel* m = static_cast<YmInitModel*>(t);
    m->_initReqMsg.readIn(dataPtr, len);
    m->_initResultMsg.init();
    m->read();
    m->_initResultMsg.send(m->_treeBuff, m->_bCaps, m->_dataVers, m->_editSrc, m->_dirCmdSrc);
    m->_initReqMsg.init();
    m->_initResultMsg.init();
    m->_treeBuff.remove(0, m->_treeBuff.length());
    m->_treeRoots.remove(0, m->_treeRoots.length());
    m->_treeExclude.remove(0, m->_treeExclude.length());
    return 1;
}

void YmInitModel::read() {
    for (int i = 0; i < YM_INIT_CAPS; i++) _bCaps[i] = i < 5 ? 1 : 0;
    _editSrc.resize(0, 0);
    _dirCmdSrc.resize(0, 0);
    _treeBuff.remove(0, _treeBuff.length());
    _treeBuff.resize(2);
    _treeRoots.remove(0, _treeRoots.length());
    _treeExclude.remove(0, _treeExclude.length());

    for (unsigned int i = 0; i < _publicPth.length(); i++) {
        readAdmin(_publicPth[i]);
        readCfgAdmin(_publicPth[i]);
        readVersion(_publicPth[i]);
    }
    for (unsigned int i = 0; i < _publicPth.length(); i++) readTree(_publicPth[i]);

    if (_treeBuff[0].slength <= 1) _initResultMsg.setErrCode(4003);
}

void YmInitModel::readVersion(const YmStr& path) {
    YmStr name(path | "druskvers");
    FILE* f = fopen(ymText(name), "re");
    if (!f) return;
    // The first 510 characters of the line, newline included; the rest of a
    // longer line is not read.
    char line[512];
    if (fgets(line, sizeof line - 1, f) && line[0]) {
        size_t n = strlen(line);
        if (line[n - 1] == '\n') line[n - 1] = ' ';
        _dataVers = line;
    }
    fclose(f);
}

void YmInitModel::readAdmin(const YmStr& path) {
    _localUsr = _initReqMsg._usr;
    ymLockInfoSetUser(ymText(_localUsr), _localUsr.slength - 1);
    YmStr name(path | "druskadmin");
    const YmStr names[2] = {name, YmStr(name | ".local")};
    for (const YmStr& n : names) {
        int fd = open(ymText(n), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        readAdminFile(fd);
        close(fd);
    }
}

void YmInitModel::readAdminFile(int fd) {
    YmStr text;
    if (!readFd(fd, text)) return;
    const YmStr& usr = _initReqMsg._usr;
    const YmStr& group = _initReqMsg._group;
    const YmStr& groupId = _initReqMsg._groupId;
    forEachLine(text, [&](const YmStr& line) {
        unsigned int posn = 0;
        YmStr name = line.token(posn, ':');
        // An empty request field (shorter than two characters on the wire)
        // matches nothing.
        if (name.slength <= 1) return true;
        if ((group.slength > 1 && name == group) || (groupId.slength > 1 && name == groupId)) {
            setCaps(line);
            return true;
        }
        if (usr.slength > 1 && name == usr) {
            // The user's own line applies last; lines after it are not read.
            setCaps(line);
            return false;
        }
        return true;
    });
}

void YmInitModel::setCaps(const YmStr& line) {
    unsigned int end = line.slength - 1;
    unsigned int posn = 0;
    line.token(posn, ':');
    if (posn >= end) return;
    setExclude(line.token(posn, ':'));
    for (int i = 0; i < YM_INIT_CAPS; i++) {
        if (posn >= end) return;
        YmStr f = line.token(posn, ':');
        // strtol, not atoi: a huge number must not be undefined.
        _bCaps[i] = strtol(ymText(f), nullptr, 10) != 0;
    }
    if (posn < end) _editSrc = line.token(posn, ':');
}

void YmInitModel::setExclude(const YmStr& list) {
    unsigned int posn = 0;
    while (posn < list.slength - 1) {
        YmStr piece = list.token(posn, ",; ");
        if (piece.slength > 1) _treeExclude.append(&piece);
    }
}

void YmInitModel::readCfgAdmin(const YmStr& path) {
    YmStr text;
    if (!readFile(YmStr(path | "druskdiradmin"), text)) return;
    _dirCmdSrc.resize(0, 0);
    forEachLine(text, [&](const YmStr& line) {
        _dirCmdSrc.append(':');
        _dirCmdSrc.append(ymText(line), line.slength - 1);
        return true;
    });
}

void YmInitModel::readTree(const YmStr& path) {
    YmStr name(path | "drusktree");
    YmStr text;
    if (!readWithLocal(name, text)) return;

    int saveLevel = 99;  // level of the node whose subtree is hidden; 99: none
    unsigned int treeCntr = 0;
    bool bAdd = false;
    bool bNewTree = true;
    forEachLine(text, [&](const YmStr& raw) {
        // The last field keeps the line's newline, as the tree text needs it.
        YmStr line(raw | "\n");
        unsigned int posn = 0;
        YmStr f1 = line.token(posn, '|');
        int level = int(strtol(ymText(f1), nullptr, 10));
        if (level == 0) {
            treeCntr = checkTree(line);
            // A root met before, and not the newest one: its line is dropped
            // and the lines below it join that root's text.
            if (_treeRoots.length() != treeCntr + 1) bNewTree = false;
            saveLevel = 99;
        }
        if (level <= saveLevel) {
            bAdd = true;
            saveLevel = 99;
        }
        YmStr node = line.token(posn, '|');
        YmStr f3 = line.token(posn, '|');
        YmStr f4 = line.token(posn, '|');
        YmStr db;
        if (f3.slength > 1 && f4.slength > 1) db = line.token(posn, '|');
        if (checkNode(node, db, path)) {
            bAdd = false;
            saveLevel = level;
        }
        if (bAdd && bNewTree) {
            // Every root gets its own text, however many there are.
            while (_treeBuff.length() <= treeCntr) {
                YmStr empty;
                _treeBuff.append(&empty);
            }
            _treeBuff[treeCntr].append(ymText(line), line.slength - 1);
        } else {
            bNewTree = true;
        }
        return true;
    });
}

unsigned int YmInitModel::checkTree(const YmStr& line) {
    unsigned int posn = 0;
    YmStr f1 = line.token(posn, '|');
    if (f1.slength <= 1) return 0;
    YmStr root = line.token(posn, '|');
    for (unsigned int i = 0; i < _treeRoots.length(); i++)
        if (_treeRoots[i] == root) return i;
    _treeRoots.append(&root);
    return _treeRoots.length() - 1;
}

int YmInitModel::checkNode(const YmStr& inNode, const YmStr& db, const YmStr& pth) {
    for (unsigned int i = 0; i < _treeExclude.length(); i++)
        if (inNode == _treeExclude[i]) return 1;
    if (db.slength <= 1) return 0;
    YmStr cfg(pth | db);
    if (cfg.slength > 1 && cfg[cfg.slength - 2] == '\n') cfg.resize(cfg.slength - 2);
    cfg.append(".cfg");
    return access(ymText(cfg), F_OK) != 0 ? 1 : 0;
}

int YmInitModel::requestHelp(void* t, int, char*, int, char**, int*) {
    YmInitModel* m = static_cast<YmInitModel*>(t);
    m->readHelp();
    theMPS->Send(YmMsgType::HelpText, 0, reinterpret_cast<char*>(m->_helpInfo.data), int(m->_helpInfo.slength),
                 nullptr, nullptr);
    m->_helpInfo.resize(0, 0);
    return 1;
}

void YmInitModel::readHelp() {
    _helpInfo.resize(0, 0);
    // No directory at all (a FULSEARCH of separators only): the empty text.
    if (_publicPth.length() == 0) return;
    YmStr name(_publicPth[0] | "druskhelp");
    YmStr text;
    if (!readWithLocal(name, text)) return;
    forEachLine(text, [&](const YmStr& line) {
        _helpInfo.append(ymText(line), line.slength - 1);
        _helpInfo.append('\n');
        return true;
    });
}

int YmInitModel::lockHolder(int fd) {
    struct flock fl;
    memset(&fl, 0, sizeof fl);
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    if (fcntl(fd, F_GETLK, &fl) == 0 && fl.l_type != F_UNLCK && fl.l_pid > 0) return fl.l_pid;

    // flock locks: "id: FLOCK ADVISORY WRITE pid maj:min:ino start end",
    // device numbers in hex. Waiters are listed with "->" and hold nothing.
    struct stat st;
    if (fstat(fd, &st) < 0) return -1;
    FILE* f = fopen(kProcLocks, "re");
    if (!f) return -1;
    int self = -1, other = -1;
    char line[256];
    while (fgets(line, sizeof line, f)) {
        char cls[16], mode[16], type[16];
        int pid;
        unsigned int maj, min;
        unsigned long ino;
        if (sscanf(line, "%*d: %15s %15s %15s %d %x:%x:%lu", cls, mode, type, &pid, &maj, &min, &ino) != 7)
            continue;
        if (strcmp(cls, "FLOCK") != 0 || pid <= 0) continue;
        if (maj != major(st.st_dev) || min != minor(st.st_dev) || ino != (unsigned long)st.st_ino) continue;
        // The pid is the process that took the lock. Children it forked
        // share the lock but cannot answer for it, and that process may have
        // gone: only a live process is asked.
        if (kill(pid, 0) < 0 && errno != EPERM) continue;
        if (pid == getpid()) {
            self = pid;  // our own lock through another descriptor
        } else if (other < 0) {
            other = pid;
        }
    }
    fclose(f);
    return other > 0 ? other : self;
}

char* YmInitModel::getLockInfo(int fd) {
    int holder = lockHolder(fd);
    if (holder <= 0) return nullptr;

    const char* info = ymPath(YmPath::LockInfo);
    // An answer left from an earlier query must not be taken for this
    // holder's: without a fresh answer there is no answer.
    unlink(info);
    std::string cmd = ymShellQuote(ymPath(YmPath::Kill)) + " -USR2 " + std::to_string(holder);
    if (system(cmd.c_str()) != 0) return nullptr;

    struct timespec left = {2, 0};
    while (nanosleep(&left, &left) < 0 && errno == EINTR) {
    }

    FILE* f = fopen(info, "re");
    if (!f) return nullptr;
    if (!fgets(lline, sizeof lline, f)) lline[0] = '\0';
    fclose(f);
    return lline;
}
