// What the edit commands of the client (lock, who, save, mark) share: the
// document they work on and the lock exchange with the server.
//
// The document is chosen as for the document commands (YmCliDocAction.h):
// a hit of a search, or a file on the server with -f. A hit also names its
// source (database); with -f the source comes from -s where it matters.
//
// A lock belongs to the server's connection process of one session: it ends
// with an unlock or when the session ends.
#ifndef YM_CLI_EDIT_H
#define YM_CLI_EDIT_H

#include <string>
#include <vector>

#include "YmCliDocAction.h"
#include "YmCliSession.h"

struct YmCliEditDoc {
    std::string file;
    std::string src;
};

// Takes the query words argv[optind..argc-1] and chooses the document.
// Returns a YM_CLI_ status; prints why on failure.
int ymCliEditChoose(YmCliSession& session, YmCliDocTarget& t, int argc, char** argv,
                    YmCliEditDoc* doc);

// For a command with no options but the document's: reads them (usage
// prints the command's usage on a wrong one) and chooses the document.
// Returns a YM_CLI_ status.
int ymCliEditDocOnly(YmCliSession& session, int argc, char** argv, void (*usage)(FILE*),
                     YmCliEditDoc* doc);

// 416: the lock's descriptor number, or -1 when the server refused it, in
// *fd. Returns a YM_CLI_ status.
int ymCliLock(YmCliSession& session, const std::string& file, int* fd);
// 420: the lock holder's description (empty: nobody else holds it), its
// line end removed. Returns a YM_CLI_ status.
int ymCliWho(YmCliSession& session, const std::string& file, std::string* who);
// 418 for the descriptor from ymCliLock. Returns a YM_CLI_ status.
int ymCliUnlock(YmCliSession& session, int fd);

// The payload of a save (413) or mark (414) of doc: its file and source,
// the sources the login allows this user to edit, code and text.
std::string ymCliEditPayload(YmCliSession& session, const YmCliEditDoc& doc, int code,
                             const std::string& text);

// Reads answers until one of type end comes, collecting the edit error
// codes (415) before it. Returns a YM_CLI_ status.
int ymCliEditErrors(YmCliSession& session, int end, std::vector<int>* codes);
// Prints each edit error in words, as "drusk: what: file: ..."; returns
// YM_CLI_FAILED when there is one, else YM_CLI_OK.
int ymCliEditReport(const char* what, const std::string& file, const std::vector<int>& codes);

// Says why a lock was refused: who holds it, or that it cannot be taken.
// Returns YM_CLI_FAILED.
int ymCliLockRefused(YmCliSession& session, const char* what, const std::string& file);

// Reads the security value of -c (a decimal int); prints why it refuses.
bool ymCliCodeOption(const char* arg, int* code);

// The usage line of -s.
void ymCliEditSrcUsage(FILE* out);

#endif
