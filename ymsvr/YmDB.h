// One full-text database as the search service sees it: the name the engine
// and the clients know it by, the folder its documents lie in, the engine's
// handle while it is open, and the reference file whose modification time
// tells when the database was rebuilt.
//
// The settings come from the engine's settings file of the database (keys
// PTH, the documents folder, and REF, the reference file). The search model
// owns the objects (its database table) and decides when to open and close
// them.
#ifndef YM_DB_H
#define YM_DB_H

#include <time.h>

#include <string>
#include <vector>

#include "YmStr.h"
#include "YmTypes.h"
#include "ftft.h"

class YmDB {
  public:
    YmDB();
    YmDB(const YmDB&) = delete;
    YmDB& operator=(const YmDB&) = delete;
    // Releases the strings only: an open base stays open, so the owner
    // closes it first.
    virtual ~YmDB();
    virtual const char* className() const { return "YmDB"; }

    // Reads the database's settings through the engine. A non-null dbname
    // becomes _name first; afterwards _name is the base name of the
    // reference file. False when the settings cannot be found or read, or
    // lack PTH or REF; the object is then not to be used.
    virtual YmBool init(const char* dbname);
    // Opens the base ("r": read only). False, after logging why, when the
    // engine refuses.
    virtual YmBool open(const char* mode);
    // Closes the base if it is open (a refusal is logged); _baseH is 0
    // afterwards in every case.
    virtual void close();

    // True when the reference file's modification time differs from the one
    // last recorded; records the new one. A reference file that cannot be
    // examined counts as time 0.
    YmBool getTime();

    // Whether other names the same database with the same settings text,
    // byte for byte: any edited key (the index file too) makes another
    // database.
    YmBool sameSettings(const YmDB& other) const;

    YmStr _name;
    YmStr _path;  // documents folder; hit file names are relative to it
    FTBH _baseH;  // 0 while closed
    YmStr _refFile;
    time_t _modTime;

  private:
    // The settings text as init read it.
    YmStr _settings;
    // The sub-second part of the modification time, so that a database
    // rebuilt within the second of the last look still counts as changed.
    long _modTimeNs;
};

// The data folders, which hold the login's files and the databases'
// settings: the value of FULSEARCH, or of FULPATH when FULSEARCH is unset or
// empty; null when neither is set.
const char* ymDataDirsValue();
// Such a value split at any of ",;: " (a run of them separates once), in
// order; empty for null.
std::vector<std::string> ymSplitDataDirs(const char* value);

#endif
