// YmDocModelMgr: the server's document service.
//
// Answers the document action (405): picks the model class by the
// document's type, lets the model view, print, copy, fax or mail the
// document, and answers 407 with the document's data or 408 with an error
// code (1 failure, 2 the fax went to the fax service, whose text comes as
// the attribute). A print, copy or mail that succeeds gets no answer. A
// request may name a file list ("path;type" lines) instead of one document;
// then only the files that fail are answered, one 408 each.
//
// Display cancel: while a request is worked on, data arriving from the
// client (normally the cancel message 701) raise SIGIO, whose handler marks
// the display cancelled; the request still runs to its end and its 407 goes
// out with the type -1.
//
// Types and their models:
//   1 2 6 7 text   3 troff   4 manual page   5 mm   8 packed   9 compressed
// The media types (10 11 13 14 16 17 19 20 21) have no model yet and are
// answered, like 12, 15, 18 and any number outside 1 to 21, with 408 and
// error code 1. A file outside the document folders of the known databases
// is answered as a missing file.
#ifndef YM_DOC_MODEL_MGR_H
#define YM_DOC_MODEL_MGR_H

#include <signal.h>

#include "YmStr.h"
#include "YmTypes.h"

class YmDocModel;

class YmDocModelMgr {
  public:
    YmDocModelMgr();
    virtual ~YmDocModelMgr();
    virtual const char* className() const { return "YmDocModelMgr"; }
    // Registers 405 (requestAction) and 701 (requestCancelDisplay).
    virtual void init();

    static int requestAction(void* t, int flag, char* dataPtr, int len, char** res, int* rlen);
    // Message 701; changes nothing that outlives the request in progress.
    static int requestCancelDisplay(void* t, int flag, char* dataPtr, int len, char** res,
                                    int* rlen);
    // The SIGIO handler: marks the display cancelled and ignores SIGIO from
    // then on.
    static void cancelDisplaySignal(int sig);

    // Makes the model for type, runs action da with its argument, and
    // returns the model when it holds a document to display (the caller
    // closes and destroys it), else null. Sets *docErr to 1 on failure and to
    // 2 after a fax the fax service took; never to 0. fname is the resolved
    // file; reqName, when given, the name the client asked for.
    YmDocModel* create(const char* fname, int type, const char* client, int da, const char* action,
                       const YmStr& marks, int* docErr, const char* reqName = nullptr);

    // A new model of the class for type, or null for a type without one.
    static YmDocModel* modelFor(int type);

    // The fax service's text of the last fax, sent as the attribute.
    static YmStr _infoString;
    static volatile sig_atomic_t _dCancel;
};

#endif
