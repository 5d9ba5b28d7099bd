// The message type numbers of the protocol, shared by client and server,
// sorted by number. The frame's Type field carries them.
#ifndef YM_MSG_TYPES_H
#define YM_MSG_TYPES_H

namespace YmMsgType {

constexpr int Quit = 101;            // client: end the session; payload ignored
constexpr int ServerDown = 102;      // server: going down on a signal; no payload
constexpr int InitReq = 201;         // client: login (user, group, group id)
constexpr int GetInit = 202;         // client-side state message; echoed by the server
constexpr int SetInit = 203;         // client-side state message; echoed by the server
constexpr int SetPref = 204;         // client-side state message; echoed by the server
constexpr int InitResult = 205;      // server: login answer
constexpr int SrchReq = 301;         // client: search; answered by 304
constexpr int SrchCancel = 302;      // client: cancel the search in progress; no answer
constexpr int SrchResult = 304;      // server: hits; flag 1 when cancelled
constexpr int SrchRestart = 307;     // client: restart the engine, rescan databases
constexpr int DocAction = 405;       // client: view/print/copy/fax/mail; flag = action
constexpr int DocResult = 407;       // server: document with data; flag = document type
constexpr int DocError = 408;        // server: document action failed
constexpr int DocSave = 413;         // client: save an edited document
constexpr int DocMark = 414;         // client: set a document's security value
constexpr int EditError = 415;       // server: edit error code
constexpr int DocLock = 416;         // client: lock a document
constexpr int DocLockAnswer = 417;   // server: lock descriptor or -1
constexpr int DocUnlock = 418;       // client: unlock; flag = descriptor
constexpr int DocLockWho = 420;      // client: who holds the lock
constexpr int DocLockOwner = 421;    // server: lock holder's description
constexpr int DocSaveDone = 422;     // server: save finished
constexpr int HelpReq = 601;         // client: help; answered by 602
constexpr int HelpText = 602;        // server: help text
constexpr int DisplayCancel = 701;   // client: cancel the display in progress

}  // namespace YmMsgType

#endif
