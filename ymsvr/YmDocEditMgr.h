// YmDocEditMgr: the server's document editing service.
//
//   416 lock      exclusive, non-blocking flock on the file through a
//                 descriptor kept open; 417 answers its number (the
//                 client's handle for the lock) or -1
//   420 who       421 answers the lock holder's user name, asked from the
//                 holder's connection process (YmInitModel::getLockInfo);
//                 empty when nobody else holds the lock
//   418 unlock    the flag names the descriptor from 417; no answer
//   413 save      writes the edited text over the file, then sets the
//                 security value unless the code is -1; 415 for each error,
//                 then always 422
//   414 mark      sets the security value; 415 on error
//
// Error codes (415): 2012 the document belongs to no source this user may
// edit, 2013 the field-update command failed, 2014 the file cannot be
// opened to save the changes, 2015 the text cannot be written.
//
// Locks, probes and saves take only files inside the document folder of a
// database the server knows, once links and ".." are resolved (as viewing
// does, YmDocAccess). A lock lives in its descriptor and so in the
// connection process that took it; it ends with unlock or with the process.
#ifndef YM_DOC_EDIT_MGR_H
#define YM_DOC_EDIT_MGR_H

#include <string>
#include <vector>

#include "YmDocMsg.h"
#include "YmTypes.h"

// Edit error codes sent with 415.
enum {
    YM_EDIT_NOT_EDITABLE = 2012,
    YM_EDIT_CMD_FAILED = 2013,
    YM_EDIT_CANNOT_OPEN = 2014,
    YM_EDIT_CANNOT_WRITE = 2015,
};

// The longest lock holder's description that 421 carries.
constexpr size_t YM_LOCK_WHO_MAX = 79;

class YmDocEditMgr {
  public:
    YmDocEditMgr();
    virtual ~YmDocEditMgr();
    virtual const char* className() const { return "YmDocEditMgr"; }
    // Registers 413, 414, 416, 420 and 418, in that order.
    virtual void init();

    static int saveDoc(void* t, int flag, char* dataPtr, int len, char** res, int* rlen);
    static int markDoc(void* t, int flag, char* dataPtr, int len, char** res, int* rlen);
    static int lockDoc(void* t, int flag, char* dataPtr, int len, char** res, int* rlen);
    static int lockWhoDoc(void* t, int flag, char* dataPtr, int len, char** res, int* rlen);
    static int unlockDoc(void* t, int flag, char* dataPtr, int len, char** res, int* rlen);

    // Runs the field-update tool in the background to set the security
    // value of _editMsg's document; 2012 when _src is not editable.
    void custMarkDoc();
    // True when src is one of the user's editable sources (_editMsg's
    // _editSrc, items separated by ":;, ") and not one that can never be
    // edited.
    YmBool bEditSrc(const char* src);
    // Finds the editable database whose document folder holds _editMsg's
    // file; sets _editMsg._src to its name and _target to the file's real
    // path. False (nothing set) when there is none.
    YmBool checkFile();
    // Writes _editMsg's text to fname, which is replaced only once the whole
    // text is on disk (see the .cc). False, after 2014 or 2015, when it
    // could not; false also for a file it had to create.
    YmBool writeFile(const char* fname);
    // Runs buf through the shell; false, after 2013, unless it exits 0.
    YmBool execCmd(const char* buf);

    YmDocEditMsg _editMsg;
    YmDocEditErrMsg _errMsg;

    // The descriptors lockDoc handed out in this process: the only ones
    // unlockDoc closes.
    std::vector<int> _lockFds;
    // The real path of the file checkFile accepted.
    std::string _target;

  private:
    // Opens a document for reading and writing, or -1.
    int openDoc(const std::string& path);
    YmBool fail(int code, const char* what, const char* fname);
};

#endif
