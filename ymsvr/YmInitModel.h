// The server's login service. Answers the init request (201) with the user's
// capability flags, configuration texts and the directory trees this user
// may browse (205), answers the help request (601) with the help text (602),
// and finds out which user holds a document's lock (getLockInfo).
//
// Everything comes from plain text files in the data directories listed in
// FULSEARCH (else FULPATH), read anew at every request so that edits take
// effect at the next login:
//   druskvers       first line: the data version (the last directory wins)
//   druskadmin      name:excludes:f0:f1:f2:f3:f4:f5:f6:editSrc lines for
//                   groups and users; then druskadmin.local
//   druskdiradmin   directory command lines (the last directory wins)
//   drusktree       level|name|x|y|database lines; drusktree.local appended
//   druskhelp       help text, first directory only; druskhelp.local appended
//   <database>.cfg  a tree node naming a database without it is hidden
// Empty lines and lines starting with '#' are skipped everywhere.
#ifndef YM_INIT_MODEL_H
#define YM_INIT_MODEL_H

#include "YmInitMsg.h"
#include "YmStr.h"
#include "YmStrArray.h"
#include "YmTypes.h"

class YmInitModel {
  public:
    YmInitModel();
    virtual void read();
    virtual void readTree(const YmStr& path);
    virtual void readHelp();
    virtual void readAdmin(const YmStr& path);
    virtual void readAdminFile(int fd);
    virtual void readCfgAdmin(const YmStr& path);
    virtual void readVersion(const YmStr& path);
    virtual void setCaps(const YmStr& line);
    virtual void setExclude(const YmStr& list);
    virtual ~YmInitModel();
    virtual const char* className() const { return "YmInitModel"; }

    // Registers 201 and 601, reads the directory list and the data version.
    // Returns 0, after printing why, when neither FULSEARCH nor FULPATH is
    // set.
    int init();

    static int requestInit(void* t, int flag, char* dataPtr, int len, char** res, int* rlen);
    static int requestHelp(void* t, int flag, char* dataPtr, int len, char** res, int* rlen);

    // The user name of the process holding a lock that conflicts with an
    // exclusive lock on the open file fd, as that process answers it (a line
    // with its newline, at most 119 characters), or null. Asks the holder
    // with SIGUSR2 and waits two seconds for its answer. The text lives in a
    // static buffer until the next call.
    static char* getLockInfo(int fd);

    // The pid holding a conflicting record lock or flock on fd, or -1.
    static int lockHolder(int fd);

    // Splits a FULSEARCH value at ",;: " into _publicPth, each ending in "/".
    void parsePath(const char* value);

    YmInitReqMsg _initReqMsg;
    YmInitResultMsg _initResultMsg;
    YmStrArray _publicPth;
    YmStr _dataVers;
    YmStr _editSrc;
    YmStr _dirCmdSrc;
    YmStr _localUsr;
    YmStr _server;
    YmStr _helpInfo;
    YmStrArray _treeExclude;
    YmStrArray _treeRoots;
    YmStrArray _treeBuff;
    YmBool _bCaps[YM_INIT_CAPS];

  private:
    unsigned int checkTree(const YmStr& line);
    int checkNode(const YmStr& inNode, const YmStr& db, const YmStr& pth);
};

#endif
