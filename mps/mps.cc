// The message passing service; see mps.h.
#include "mps.h"

#include <cstdlib>
#include <cstring>

MPS* theMPS = nullptr;

MPS::MPS() : _port(0), _server(nullptr), _errno(0) {}

MPS::~MPS() { free(_server); }

void MPS::Init(int port, char* server) {
    _port = port;
    // Our own copy: the caller's buffer may not outlive us, and the
    // endpoint replaces its copy when it re-creates its socket.
    free(_server);
    _server = server ? reinterpret_cast<unsigned char*>(strdup(server)) : nullptr;
    _msg.Init(port, server);
}

int MPS::Register(int type, SVCPTR svcFunc, void* svcThis) {
    return _svcList.Register(type, svcFunc, svcThis);
}

int MPS::Unregister(int type, SVCPTR svcFunc, void* svcThis) {
    return _svcList.Remove(type, svcFunc, svcThis);
}

int MPS::Send(int type, int flag, char* data, int dlen, char** res, int* rlen) {
    if (SvcList* svcs = _svcList.Find(type)) {
        // Dispatch from the copy: a handler may change the table.
        for (int i = 0; i < svcs->_sz; i++) {
            SVCENTRY& e = svcs->_svc[i];
            if (e.svcType != 0) e.svcFunc(e.svcThis, flag, data, dlen, res, rlen);
        }
        delete svcs;
        return 0;
    }
    if (_port == 0) {
        _errno = MPS_NOINIT;
        return -1;
    }
    int ret = _msg.Send(type, flag, data, dlen, res);
    if (ret < 0) {
        _errno = _msg.Errno();
        if (rlen) *rlen = 0;
    } else if (rlen) {
        *rlen = ret;
    }
    return ret;
}

int MPS::Send(int type, char** res, int* rlen) { return Send(type, 0, nullptr, 0, res, rlen); }

int MPS::Send(int type, int flag, char** res, int* rlen) { return Send(type, flag, nullptr, 0, res, rlen); }

int MPS::Send(int type, char* data, int dlen, char** res, int* rlen) { return Send(type, 0, data, dlen, res, rlen); }

int MPS::Recv(char** dataPtr) {
    if (_port == 0) {
        if (dataPtr) *dataPtr = nullptr;
        _errno = MPS_NOINIT;
        return -1;
    }
    int n = _msg.Recv(dataPtr);
    if (n < 0) _errno = _msg.Errno();
    return n;
}

int MPS::GetType() { return _port ? _msg.GetType() : -1; }
int MPS::GetFlag() { return _port ? _msg.GetFlag() : -1; }
int MPS::GetLength() { return _port ? _msg.GetLength() : -1; }
int MPS::GetSock() { return _port ? _msg.GetSock() : -1; }
unsigned char* MPS::Server() { return _port ? _msg.Server() : nullptr; }
int MPS::Connected() { return _msg.Connected(); }

void MPS::Close() {
    if (_port) _msg.Close();
}
