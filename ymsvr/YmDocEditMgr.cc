// The document editing service; see YmDocEditMgr.h.
#include "YmDocEditMgr.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "YmDocAccess.h"
#include "YmInitModel.h"
#include "YmIo.h"
#include "YmMsgTypes.h"
#include "YmPlatform.h"
#include "YmSLinearPat.h"
#include "YmServer.h"
#include "YmShell.h"
#include "YmSrchModel.h"
#include "YmText.h"
#include "mps.h"

namespace {

// Sources whose documents nobody edits, whatever the user's list says.
const char* const kNeverEditable[] = {"calla", "callh", "pv", "doc", "parts", "news"};
const char kSourceSeps[] = ":;, ";

const char kOpenText[] = "ymsvr: editMgr - cannot open file to save changes: %s";
const char kWriteText[] = "ymsvr: editMgr - cannot write to file: %s";

void answer(int type, const char* data, int len) {
    if (theMPS) theMPS->Send(type, 0, const_cast<char*>(data), len, nullptr, nullptr);
}

// The path of a lock or probe request: the text up to its NUL, never past
// the payload.
std::string payloadPath(const char* data, int len) {
    if (!data || len <= 0) return "";
    return std::string(data, strnlen(data, size_t(len)));
}

bool sameFile(int fd, const struct stat& st) {
    struct stat o;
    return fstat(fd, &o) == 0 && o.st_dev == st.st_dev && o.st_ino == st.st_ino;
}

std::string folderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

YmDocEditMgr::YmDocEditMgr() {}

YmDocEditMgr::~YmDocEditMgr() {}

void YmDocEditMgr::init() {
    if (!theMPS) return;
    theMPS->Register(YmMsgType::DocSave, saveDoc, this);
    theMPS->Register(YmMsgType::DocMark, markDoc, this);
    theMPS->Register(YmMsgType::DocLock, lockDoc, this);
    theMPS->Register(YmMsgType::DocLockWho, lockWhoDoc, this);
    theMPS->Register(YmMsgType::DocUnlock, unlockDoc, this);
}

int YmDocEditMgr::saveDoc(void* t, int, char* dataPtr, int len, char**, int*) {
    YmDocEditMgr* self = static_cast<YmDocEditMgr*>(t);
    // A payload whose length field does not fit leaves no text: the save
    // then fails as an empty one would, and the file keeps its contents.
    self->_editMsg.readIn(dataPtr, len > 0 ? unsigned(len) : 0);
    if (!self->checkFile())
        self->_errMsg.send(YM_EDIT_NOT_EDITABLE);
    else if (self->writeFile(self->_target.c_str()) && self->_editMsg._code != -1)
        self->custMarkDoc();
    // The client waits for this, after errors too.
    answer(YmMsgType::DocSaveDone, nullptr, 0);
    return 1;
}

int YmDocEditMgr::markDoc(void* t, int, char* dataPtr, int len, char**, int*) {
    YmDocEditMgr* self = static_cast<YmDocEditMgr*>(t);
    self->_editMsg.readIn(dataPtr, len > 0 ? unsigned(len) : 0);
    self->custMarkDoc();
    return 1;
}

int YmDocEditMgr::openDoc(const std::string& path) {
    YmDocAccess access;
    access.load();
    std::string real;
    if (!access.allowed(path.c_str(), &real)) return -1;
    // Close-on-exec: a lock must not live on in the programs this process
    // starts (the field-update tool runs in the background).
    int fd = open(real.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW);
    if (fd < 0) return -1;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return -1;
    }
    return fd;
}

int YmDocEditMgr::lockDoc(void* t, int, char* dataPtr, int len, char**, int*) {
    YmDocEditMgr* self = static_cast<YmDocEditMgr*>(t);
    int fd = self->openDoc(payloadPath(dataPtr, len));
    if (fd >= 0) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
            self->_lockFds.push_back(fd);
        } else {
            close(fd);
            fd = -1;
        }
    }
    // 32 bits, most significant byte first.
    unsigned int v = static_cast<unsigned int>(fd);
    char out[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    answer(YmMsgType::DocLockAnswer, out, 4);
    return 1;
}

int YmDocEditMgr::lockWhoDoc(void* t, int, char* dataPtr, int len, char**, int*) {
    YmDocEditMgr* self = static_cast<YmDocEditMgr*>(t);
    char text[YM_LOCK_WHO_MAX];
    size_t n = 0;
    int fd = self->openDoc(payloadPath(dataPtr, len));
    if (fd >= 0) {
        if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
            const char* who = YmInitModel::getLockInfo(fd);
            if (who) {
                n = strnlen(who, sizeof text);
                memcpy(text, who, n);
            }
        }
        // Also gives up a probe lock that succeeded.
        close(fd);
    }
    answer(YmMsgType::DocLockOwner, text, int(n));
    return 1;
}

int YmDocEditMgr::unlockDoc(void* t, int flag, char*, int, char**, int*) {
    YmDocEditMgr* self = static_cast<YmDocEditMgr*>(t);
    // Any other number is ignored: the client must not close the
    // connection or a descriptor of another service.
    auto it = std::find(self->_lockFds.begin(), self->_lockFds.end(), flag);
    if (it == self->_lockFds.end()) return 1;
    close(flag);
    self->_lockFds.erase(it);
    return 1;
}

void YmDocEditMgr::custMarkDoc() {
    if (!bEditSrc(ymText(_editMsg._src))) {
        _errMsg.send(YM_EDIT_NOT_EDITABLE);
        return;
    }
    char value[32];
    snprintf(value, sizeof value, " -v %d &", _editMsg._code);
    // Source and file come from the client: quoted, they reach the tool as
    // one argument each whatever they hold.
    std::string cmd = ymShellPath(ymPath(YmPath::FieldUpd)) + " -c " +
                      ymShellQuote(ymText(_editMsg._src)) + " -d " +
                      ymShellQuote(ymText(_editMsg._fname)) + " -f FTSECURE" + value;
    execCmd(cmd.c_str());
}

YmBool YmDocEditMgr::bEditSrc(const char* src) {
    const YmStr& list = _editMsg._editSrc;
    if (!src || !*src || list.slength < 2) return 0;
    for (const char* never : kNeverEditable)
        if (strcmp(src, never) == 0) return 0;
    unsigned int posn = list.skip(0, kSourceSeps);
    while (posn < list.slength - 1) {
        if (list.token(posn, kSourceSeps) == src) return 1;
    }
    return 0;
}

YmBool YmDocEditMgr::checkFile() {
    _target.clear();
    if (!theSrchModel) return 0;
    const YmStr& fname = _editMsg._fname;
    for (int i = 0; i < theSrchModel->_totalDBs && i < YM_MAX_DBS; i++) {
        YmDB* db = theSrchModel->_db[i];
        // An empty folder name would be found in every file name.
        if (!db || db->_path.slength < 2) continue;
        YmSLinearPat pat(db->_path);
        if (pat.findBuffer(ymText(fname), fname.slength - 1) < 0) continue;
        if (!bEditSrc(ymText(db->_name))) continue;
        // The folder's name inside the file name is not enough: the file
        // must lie in the folder once links and ".." are resolved.
        YmDocAccess access;
        access.addFolder(ymText(db->_path));
        std::string real;
        if (!access.allowedTarget(ymText(fname), &real)) continue;
        _editMsg._src = db->_name;
        _target = real;
        return 1;
    }
    return 0;
}

YmBool YmDocEditMgr::fail(int code, const char* what, const char* fname) {
    syslog(LOG_USER | LOG_INFO, what, fname);
    _errMsg.send(code);
    return 0;
}

// A new file is created and written; should that fail, it is removed again.
// An existing file is never truncated: the text goes to a temporary file in
// the same folder, with the file's permissions, and only once it is wholly
// written does it replace the file (rename), so a failed write leaves the
// old contents. The lock moves with it: a lock this process holds on the
// old file is taken on the new one before the rename and the client's
// descriptor then refers to the new file, so another client can never lock
// the file in between. A file locked by another client is not saved over.
YmBool YmDocEditMgr::writeFile(const char* fname) {
    const char* text = ymText(_editMsg._docBuffer);
    size_t n = _editMsg._docBuffer.slength - 1;

    if (access(fname, F_OK) != 0) {
        int fd = open(fname, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0644);
        if (fd < 0) return fail(YM_EDIT_CANNOT_OPEN, kOpenText, fname);
        bool ok = n > 0 && ymWriteAll(fd, text, n) == 0 && fsync(fd) == 0;
        if (close(fd) != 0) ok = false;
        if (!ok) {
            unlink(fname);
            return fail(YM_EDIT_CANNOT_WRITE, kWriteText, fname);
        }
        return 0;  // a new document has no catalogue entry to mark yet
    }

    int cur = open(fname, O_RDWR | O_CLOEXEC | O_NOCTTY);
    struct stat st;
    if (cur < 0) return fail(YM_EDIT_CANNOT_OPEN, kOpenText, fname);
    if (fstat(cur, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(cur);
        return fail(YM_EDIT_CANNOT_OPEN, kOpenText, fname);
    }
    if (n == 0) {
        close(cur);
        return fail(YM_EDIT_CANNOT_WRITE, kWriteText, fname);
    }
    // Held through the rename when nobody had the lock, so that nobody can
    // take it on the old file meanwhile.
    bool ours = false;
    if (flock(cur, LOCK_EX | LOCK_NB) != 0) {
        for (int fd : _lockFds) ours = ours || sameFile(fd, st);
        if (!ours) {
            close(cur);
            return fail(YM_EDIT_CANNOT_OPEN, kOpenText, fname);
        }
    }

    std::string folder = folderOf(fname);
    std::string tmp = folder + "/.ymsave-XXXXXX";
    int fd = mkostemp(&tmp[0], O_CLOEXEC);
    if (fd < 0) {
        close(cur);
        return fail(YM_EDIT_CANNOT_OPEN, kOpenText, fname);
    }
    // Owner first, since changing it clears set-id bits. Only a privileged
    // server can give another user's file back to its owner; the mode is
    // kept either way.
    int chowned = fchown(fd, st.st_uid, st.st_gid);
    (void)chowned;
    bool ok = fchmod(fd, st.st_mode & 07777) == 0 && ymWriteAll(fd, text, n) == 0 && fsync(fd) == 0;
    if (ok && ours) ok = flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (ok) ok = rename(tmp.c_str(), fname) == 0;
    if (!ok) {
        unlink(tmp.c_str());
        close(fd);
        close(cur);
        return fail(YM_EDIT_CANNOT_WRITE, kWriteText, fname);
    }
    if (ours)
        for (int lfd : _lockFds)
            if (sameFile(lfd, st)) dup3(fd, lfd, O_CLOEXEC);
    close(fd);
    close(cur);
    int dfd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        fsync(dfd);
        close(dfd);
    }
    return 1;
}

YmBool YmDocEditMgr::execCmd(const char* buf) {
    if (ymRunShell(buf) == 0) return 1;
    _errMsg.send(YM_EDIT_CMD_FAILED);
    return 0;
}
