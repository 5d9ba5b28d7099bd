// What the document commands of the client (view, print, copy, mail, fax)
// share: choosing the document and sending the action.
//
// A document is chosen either as a hit of a search, run in the same session
// (the same -d databases and query words as the search command; -n picks
// the hit by its number in the search's table, 1 by default), or by its file
// name on the server with -f (and its type with -t, 1 plain text by
// default). The hit's record goes back to the server, which then also
// returns where the searched words lie in the text.
#ifndef YM_CLI_DOC_ACTION_H
#define YM_CLI_DOC_ACTION_H

#include <cstdio>
#include <string>
#include <vector>

#include "YmCliSession.h"
#include "YmDocMsg.h"

struct YmCliDocTarget {
    std::vector<std::string> dbs;
    unsigned long hit = 1;
    std::string file;
    int type = 1;
    std::string words;  // the query, from the arguments after the options
};

// The getopt letters of the shared options, for a command's option string.
#define YM_CLI_DOC_OPTS "d:n:f:t:"

// Takes one shared option: 1 when c was one (taken), 0 when it is none of
// them, -1 after a message for a bad value.
int ymCliDocOption(int c, const char* arg, YmCliDocTarget* t);

// The usage lines of the shared options.
void ymCliDocUsage(FILE* out);

// Runs the search when the target is a hit and fills msg with the hit's
// record, or with the file name and type. Returns a YM_CLI_ status; prints
// why on failure.
int ymCliDocChoose(YmCliSession& session, YmCliDocTarget& t, YmDocActionMsg* msg);

// Sends action (YM_DOC_*) with its argument text and reads the answer into
// *res (its frame type and flag into *type, *flag). For the actions that
// are not answered when they succeed (print, copy, mail), a help request
// follows the action: its answer coming first means success, and *type is
// then 0. An interrupt while waiting asks the server to cancel the display
// (message 701). Returns a YM_CLI_ status; prints why on a connection
// failure.
int ymCliDocSend(YmCliSession& session, YmDocActionMsg& msg, int action, const std::string& arg,
                 int* type, int* flag, YmDocResultMsg* res);

// What every document command does after its options: takes the query
// words argv[optind..argc-1], chooses the document and sends the action
// (as ymCliDocChoose and ymCliDocSend).
int ymCliDocAct(YmCliSession& session, YmCliDocTarget& t, int argc, char** argv, int action,
                const std::string& arg, int* type, int* flag, YmDocResultMsg* res);

// The result of an action that failed, in words, on standard error, e.g.
// "drusk: print: the server could not print /a/b (type 4)". Returns
// YM_CLI_FAILED.
int ymCliDocFailed(const char* what, const YmDocResultMsg& res);

#endif
