// The message passing service that programs use: one handler table and one
// connection.
//
// Send first looks for handlers registered for the message type and calls
// them, in slot order, with (object, flag, payload, length, res, rlen); only
// when there is none does the message go over the connection. A server's main
// loop therefore dispatches a received message by handing it to Send, and
// handlers answer by sending result types that have no local handler. A
// message of a type nobody registered goes back to the peer unchanged.
#ifndef YM_MPS_H
#define YM_MPS_H

#include "msg.h"
#include "svc.h"

class MPS {
  public:
    MPS();
    virtual ~MPS();  // does not close the socket
    MPS(const MPS&) = delete;
    MPS& operator=(const MPS&) = delete;

    // A null server selects the server role (listen on port).
    void Init(int port, char* server);
    int Register(int type, SVCPTR svcFunc, void* svcThis);
    int Unregister(int type, SVCPTR svcFunc, void* svcThis);

    // Local handlers run and 0 is returned; otherwise the frame is sent and
    // the result of Msg::Send returned (*rlen = that result, or 0 on error).
    // Replies through res are the caller's to free().
    int Send(int type, int flag, char* data, int dlen, char** res, int* rlen);
    int Send(int type, char** res, int* rlen);
    int Send(int type, int flag, char** res, int* rlen);
    int Send(int type, char* data, int dlen, char** res, int* rlen);

    // Msg::Recv; -1 with MPS_NOINIT before Init.
    int Recv(char** dataPtr);

    int GetType();
    int GetFlag();
    int GetLength();
    int GetSock();
    unsigned char* Server();
    int Connected();
    int Errno() { return _errno; }
    void Close();

    SvcList _svcList;
    Msg _msg;
    int _port;  // 0: not initialised
    unsigned char* _server;  // own copy of the server name; null in the server role
    int _errno;
};

// The process's service. Message classes send through it; a program sets it
// once at start-up.
extern MPS* theMPS;

#endif
