// One TCP endpoint of the message passing service, with framed send and
// receive.
//
// A frame is a 12-byte header (Type, Flag, Length: signed 32-bit, big-endian
// on the wire whatever the host) followed by Length payload bytes, back to
// back on the stream. In the server role the endpoint listens, and each
// receive while unconnected accepts a connection and forks: the child becomes
// the connection process of that client, the parent keeps listening. In the
// client role the first send connects.
#ifndef YM_MSG_H
#define YM_MSG_H

#include <netinet/in.h>

#include "YmLimits.h"

struct MSGHDR {
    int Type;
    int Flag;
    int Length;
};

struct MSG {
    MSGHDR Hdr;           // the last frame sent or received, host order
    unsigned char* Data;  // unused: payloads are handed to the caller
};

// Error codes of the library's own, kept beside errno values in _errno.
enum {
    MPS_NEWCONN = 1,  // listener handed a connection to a child: not a failure
    MPS_EINTR = 4,    // accept interrupted by a signal: receive again
    MPS_NOINIT = 16,  // service used before Init
};

class Msg {
  public:
    Msg();
    ~Msg();  // frees the server name; does not close the socket
    Msg(const Msg&) = delete;
    Msg& operator=(const Msg&) = delete;

    // A fresh socket with keep-alive, no-delay and no linger. A null server
    // selects the server role: bind on every address and listen. A failing
    // socket option or bind ends the process with status -1 (perror names
    // the call).
    void Init(int port, char* server);

    // Sends one frame; len <= 0 sends the header only. In the client role the
    // first send connects ("localhost" when no server name is known). With
    // results given, waits for one frame back and returns its length, the
    // payload in *results (the caller's, free()); otherwise returns the
    // payload bytes written. -1 on failure with the code in Errno(). Never
    // raises SIGPIPE.
    int Send(int type, int flag, char* data, int len, char** results);

    // Receives one frame and returns its Length, the payload in *dataPtr: a
    // malloc'd block of Length bytes plus one NUL byte behind them (so a
    // decoder that takes the payload as a C string cannot run off it), which
    // the caller frees. On -1, *dataPtr is null and Errno() tells why:
    // MPS_NEWCONN in the listener after a fork, MPS_EINTR for an interrupted
    // accept, EPROTO for a header with Type and Flag both 0, EMSGSIZE for a
    // Length below 0 or above YM_MAX_FRAME_LENGTH (nothing is allocated),
    // ECONNRESET for end of file before the frame was complete (a half
    // payload is dropped), else the errno of the failing call. Reads cut
    // short by a signal are resumed, so a signal never splits a frame. The
    // waits for the peer (accept, and the reads of a frame) are the quiet
    // points at which kill signals act (YmSignals.h). A failed accept or
    // fork that can pass (descriptors or memory short, a connection that
    // went wrong while pending) is reported and retried after a pause
    // instead of being returned.
    int Recv(char** dataPtr);

    // Sends a frame without payload, from a signal handler too: nothing is
    // allocated and only poll and send are called. Refused (-1) when not
    // connected or when a frame could not be written whole; when the peer
    // has read nothing for a couple of seconds and there is no room, the
    // notice is given up (-1) rather than waited for.
    int SendNotice(int type, int flag);

    // Waits one second, then shuts the connection down and closes it.
    void Close();

    // The peer's host name (or dotted address), cut to 63 characters; null
    // when the socket has no peer.
    char* RHost();

    // Takes an already connected stream socket as this endpoint's connection
    // (test harnesses and programs that set up their own socket).
    void Attach(int fd);

    int GetType() { return _msg.Hdr.Type; }
    int GetFlag() { return _msg.Hdr.Flag; }
    int GetLength() { return _msg.Hdr.Length; }
    int GetSock() { return _socket; }
    unsigned char* Server() { return _server; }
    int Errno() { return _errno; }
    int Connected() { return _connected; }

    MSG _msg;
    int _port;
    unsigned char* _server;  // client role: host name (own copy); server role: null
    int _socket;             // -1: none yet
    struct sockaddr_in _sockAddr;
    int _connected;
    int _errno;
    char _rhost[YM_RHOST_SIZE];

  private:
    int acceptAndFork();
    int readFrame(char** dataPtr);
    void connectionLost(int err);
    int _listening;  // 1 while this endpoint holds a listening socket
    volatile int _frameOpen;  // 1 while (or after failing) writing a frame
};

#endif
