// Which files a client may have viewed, printed, copied, mailed or faxed:
// only documents of the knowledge base, that is, files that lie, once links
// and ".." are resolved, inside the document folder (the engine setting
// PTH) of a database the server knows. Every other name is answered as a
// missing file, so a client can neither read nor probe the rest of the
// server's file system.
#ifndef YM_DOC_ACCESS_H
#define YM_DOC_ACCESS_H

#include <string>
#include <vector>

class YmDocAccess {
  public:
    // Collects the document folders of the databases in the search model's
    // table (built at start-up and again by every search) and the data
    // directories the init model read, each resolved to its real path.
    // Without a search model no file is allowed.
    void load();
    // True, with the file's real path in *resolved, when path names an
    // existing file inside one of the folders.
    bool allowed(const char* path, std::string* resolved) const;
    // The same for a file that is to be written: an existing name as
    // allowed() takes it, or a new name in an existing folder inside one of
    // the folders (*resolved is then that folder's real path and the name).
    bool allowedTarget(const char* path, std::string* resolved) const;

    // Where a document may be copied to (a path of the client's choice on
    // the server's machine): not into a data directory (FULSEARCH, else
    // FULPATH: settings, indexes, users and trees) or a document folder, or
    // below one, and not through a symbolic link, so that a copy can neither
    // replace a document nor the server's own files. True, with the path cp
    // will write in *resolved (the target's real folder and its name; for
    // an existing folder, that folder and the source's name), when target
    // is none of those; false for them, and for a target whose folder does
    // not exist.
    bool allowedCopyTarget(const char* target, const char* source, std::string* resolved) const;

    // The folders load() found, for tests.
    const std::vector<std::string>& folders() const { return _folders; }
    // Adds a folder (resolved; ignored when it does not exist).
    void addFolder(const std::string& folder);
    // Adds a data directory (resolved; ignored when it does not exist).
    void addDataDir(const std::string& dir);

  private:
    // True when the resolved path r lies below one of the folders.
    bool inside(const std::string& r) const;
    std::vector<std::string> _folders;
    std::vector<std::string> _dataDirs;
};

#endif
