// The commands of the client program, each in a file of its own. A command
// gets a logged-in session and its own arguments (argv[0] is the command's
// name) and returns the program's exit status:
//   0 done, 1 the server refused or failed the request (or it was
//   cancelled), 2 wrong usage, 3 the connection failed.
// A new command is a new file with its function and a line in the table of
// drusk.cc.
#ifndef YM_CLI_COMMANDS_H
#define YM_CLI_COMMANDS_H

#include <cstdio>

class YmCliSession;

enum { YM_CLI_OK = 0, YM_CLI_FAILED = 1, YM_CLI_USAGE = 2, YM_CLI_NOCONN = 3 };

struct YmCliCommand {
    const char* name;
    int (*run)(YmCliSession& session, int argc, char** argv);
    void (*usage)(FILE* out);
    const char* summary;
};

// search: runs a query and prints the hits.
int ymCliSearch(YmCliSession& session, int argc, char** argv);
void ymCliSearchUsage(FILE* out);

// view, print, copy, mail, fax: the document commands (YmCliDocAction.h).
int ymCliView(YmCliSession& session, int argc, char** argv);
void ymCliViewUsage(FILE* out);
int ymCliPrint(YmCliSession& session, int argc, char** argv);
void ymCliPrintUsage(FILE* out);
int ymCliCopy(YmCliSession& session, int argc, char** argv);
void ymCliCopyUsage(FILE* out);
int ymCliMail(YmCliSession& session, int argc, char** argv);
void ymCliMailUsage(FILE* out);
int ymCliFax(YmCliSession& session, int argc, char** argv);
void ymCliFaxUsage(FILE* out);

// lock, who, save, mark: the edit commands (YmCliEdit.h).
int ymCliLockDoc(YmCliSession& session, int argc, char** argv);
void ymCliLockUsage(FILE* out);
int ymCliWhoDoc(YmCliSession& session, int argc, char** argv);
void ymCliWhoUsage(FILE* out);
int ymCliSaveDoc(YmCliSession& session, int argc, char** argv);
void ymCliSaveUsage(FILE* out);
int ymCliMarkDoc(YmCliSession& session, int argc, char** argv);
void ymCliMarkUsage(FILE* out);

#endif
