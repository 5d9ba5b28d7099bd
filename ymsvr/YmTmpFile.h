// Temporary files of the server's external commands, made safely.
//
// A name is never guessed and then opened: mkstemp creates the file, empty
// and readable by this user only, and the name returned is that file's. The
// folder is the system's one for temporary files: TMPDIR when it names a
// folder, else the C library's default.
#ifndef YM_TMP_FILE_H
#define YM_TMP_FILE_H

#include "YmStr.h"

// Creates "<folder>/<prefix>XXXXXX" and returns its name; empty when no file
// could be made. The caller removes the file.
YmStr ymTmpFile(const char* prefix);

#endif
