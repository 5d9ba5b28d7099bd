// One endpoint of the message passing service; see msg.h.
//
// What crosses the wire is untrusted: the header is read whole (resuming
// after signals), checked, and only then is a block of the announced size
// allocated and filled. A frame that cannot be read whole is dropped and the
// connection is given up.
#include "msg.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "YmIo.h"
#include "YmSignals.h"

namespace {

// The pause after a failed accept or fork: long enough not to spin while
// descriptors or memory are short, short enough that clients barely notice.
constexpr long YM_ACCEPT_RETRY_MS = 100;

// How long a server-down notice waits for room in a connection whose client
// has stopped reading.
constexpr int YM_NOTICE_WAIT_MS = 2000;

// Keep-alive finds dead peers, no-delay sends small requests at once, and no
// linger makes close return at once.
int setSockOptions(int fd) {
    int one = 1;
    if (setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one) < 0) {
        perror("setsockopt(SO_KEEPALIVE)");
        return -1;
    }
    if (setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one) < 0) {
        perror("setsockopt(TCP_NODELAY)");
        return -1;
    }
    struct linger lg;
    lg.l_onoff = 0;
    lg.l_linger = 0;
    if (setsockopt(fd, SOL_SOCKET, SO_LINGER, &lg, sizeof lg) < 0) {
        perror("setsockopt(SO_LINGER)");
        return -1;
    }
    return 0;
}

// Reads exactly n bytes in pieces of at most `chunk`. Returns n, the bytes
// read before end of file, or -1 (errno kept). Signals caught meanwhile are
// resumed after.
long readFull(int fd, void* buf, size_t n, size_t chunk) {
    size_t got = 0;
    while (got < n) {
        size_t want = n - got < chunk ? n - got : chunk;
        long r = ymReadAll(fd, static_cast<char*>(buf) + got, want);
        if (r < 0) return -1;
        got += size_t(r);
        if (size_t(r) < want) break;
    }
    return long(got);
}

// The same, as a wait for the peer: the server's kill signals act here (see
// YmSignals.h), never while a frame is half written.
long readFromPeer(int fd, void* buf, size_t n, size_t chunk) {
    ymPeerWaitBegin();
    long r = readFull(fd, buf, n, chunk);
    int err = errno;
    ymPeerWaitEnd();
    errno = err;
    return r;
}

void putBE32(unsigned char* p, int v) {
    uint32_t n = htonl(uint32_t(v));
    memcpy(p, &n, 4);
}

int getBE32(const unsigned char* p) {
    uint32_t n;
    memcpy(&n, p, 4);
    return int(ntohl(n));
}

// Descriptors above the connection socket were opened by the listener and
// are not this connection's.
void closeFrom(int first) {
#ifdef __GLIBC__
#if __GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34)
    if (close_range(unsigned(first), ~0U, 0) == 0) return;
#endif
#endif
    long maxFd = sysconf(_SC_OPEN_MAX);
    if (maxFd < 0 || maxFd > 65536) maxFd = 65536;
    for (int fd = first; fd < maxFd; fd++) close(fd);
}

}  // namespace

Msg::Msg()
    : _port(0), _server(nullptr), _socket(-1), _connected(0), _errno(0), _listening(0), _frameOpen(0) {
    memset(&_msg, 0, sizeof _msg);
    memset(&_sockAddr, 0, sizeof _sockAddr);
    memset(_rhost, 0, sizeof _rhost);
}

Msg::~Msg() { free(_server); }

void Msg::Init(int port, char* server) {
    _port = port;
    // Copy before freeing: a retry passes our own _server back in.
    unsigned char* copy = server ? reinterpret_cast<unsigned char*>(strdup(server)) : nullptr;
    free(_server);
    _server = copy;

    memset(&_sockAddr, 0, sizeof _sockAddr);
    _sockAddr.sin_family = AF_INET;
    _sockAddr.sin_port = htons(uint16_t(port & 0xffff));
    _sockAddr.sin_addr.s_addr = htonl(INADDR_ANY);

    if (_socket >= 0) close(_socket);
    _socket = socket(AF_INET, SOCK_STREAM, 0);
    if (setSockOptions(_socket) < 0) exit(-1);
    _connected = 0;
    _listening = 0;
    if (server) return;

    if (bind(_socket, reinterpret_cast<struct sockaddr*>(&_sockAddr), sizeof _sockAddr) < 0) {
        perror("bind");
        exit(-1);
    }
    listen(_socket, 5);
    _listening = 1;
}

namespace {

// Failures of accept and fork that pass: descriptors or memory run short for
// a moment, or one pending connection went wrong before it was taken (Linux
// passes the network errors of a pending connection on to accept). The
// listener reports them, pauses and accepts again instead of ending.
bool transientAcceptError(int err) {
    switch (err) {
    case EMFILE: case ENFILE: case ENOBUFS: case ENOMEM: case ECONNABORTED: case EPROTO:
    case ENETDOWN: case ENOPROTOOPT: case EHOSTDOWN: case ENONET: case EHOSTUNREACH:
    case EOPNOTSUPP: case ENETUNREACH:
        return true;
    default:
        return false;
    }
}

bool transientForkError(int err) { return err == EAGAIN || err == ENOMEM; }

void pauseAfterFailure() {
    struct timespec left = {0, YM_ACCEPT_RETRY_MS * 1000000L};
    while (nanosleep(&left, &left) < 0 && errno == EINTR) {
    }
}

}  // namespace

int Msg::acceptAndFork() {
    int fd;
    pid_t pid;
    for (;;) {
        // Waiting for a client is the listener's quiet point: a kill signal
        // ends it here.
        ymPeerWaitBegin();
        fd = accept(_socket, nullptr, nullptr);
        int err = errno;
        ymPeerWaitEnd();
        if (fd < 0) {
            if (err == EINTR) {
                _errno = MPS_EINTR;
                return -1;
            }
            errno = err;
            perror("accept");
            if (transientAcceptError(err)) {
                pauseAfterFailure();
                continue;
            }
            _errno = err;
            return -1;
        }
        // Ignored before the fork, so that a child that ends at once cannot
        // become a zombie before the listener says it does not want its
        // status.
        signal(SIGCHLD, SIG_IGN);
        pid = fork();
        if (pid >= 0) break;
        int ferr = errno;
        perror("fork");
        // The client is turned away; the next ones may find room again.
        close(fd);
        if (!transientForkError(ferr)) {
            _errno = ferr;
            return -1;
        }
        pauseAfterFailure();
    }
    if (pid > 0) {
        close(fd);
        _errno = MPS_NEWCONN;
        return -1;
    }

    // The connection process. A process that ignores SIGCHLD cannot collect
    // its children's exit statuses, and every system() and popen() of the
    // models needs them.
    signal(SIGCHLD, SIG_DFL);
    close(_socket);
    _listening = 0;
    _socket = fd;
    closeFrom(fd + 1);
    // Programs the models start must not keep the client's connection open.
    fcntl(fd, F_SETFD, FD_CLOEXEC);
    // Ignored first: from F_SETOWN on, client data raises SIGIO, whose
    // default action would end the process.
    signal(SIGIO, SIG_IGN);
    if (fcntl(fd, F_SETOWN, getpid()) < 0) perror("fcntl(F_SETOWN)");
    int fl = fcntl(fd, F_GETFL);
    if (fl < 0 || fcntl(fd, F_SETFL, fl | O_ASYNC) < 0) perror("fcntl(FASYNC)");
    if (setSockOptions(fd) < 0) {
        _errno = errno;
        return -1;
    }
    _connected = 1;
    return 0;
}

void Msg::connectionLost(int err) {
    int waiting;
    // A socket that cannot even say how much it holds is gone; SIGUSR1's
    // default action ends the process.
    if (ioctl(_socket, FIONREAD, &waiting) < 0) raise(SIGUSR1);
    errno = err;
    perror("read");
    _errno = err;
}

int Msg::readFrame(char** dataPtr) {
    unsigned char hdr[YM_FRAME_HEADER_SIZE];
    long got = readFromPeer(_socket, hdr, sizeof hdr, sizeof hdr);
    if (got != long(sizeof hdr)) {
        connectionLost(got < 0 ? errno : ECONNRESET);
        return -1;
    }
    _msg.Hdr.Type = getBE32(hdr);
    _msg.Hdr.Flag = getBE32(hdr + 4);
    _msg.Hdr.Length = getBE32(hdr + 8);

    if (_msg.Hdr.Type == 0 && _msg.Hdr.Flag == 0) {
        _errno = EPROTO;
        return -1;
    }
    int len = _msg.Hdr.Length;
    if (len < 0 || len > YM_MAX_FRAME_LENGTH) {
        fprintf(stderr, "Msg::Recv: frame length %d refused (limit %d)\n", len, YM_MAX_FRAME_LENGTH);
        _errno = EMSGSIZE;
        return -1;
    }
    char* block = static_cast<char*>(malloc(size_t(len) + 1));
    if (!block) {
        _errno = ENOMEM;
        return -1;
    }
    got = readFromPeer(_socket, block, size_t(len), YM_READ_CHUNK);
    if (got != len) {
        // A half message is not a message: drop it rather than hand garbage
        // to a decoder.
        int err = got < 0 ? errno : ECONNRESET;
        free(block);
        connectionLost(err);
        return -1;
    }
    block[len] = '\0';
    *dataPtr = block;
    return len;
}

int Msg::Recv(char** dataPtr) {
    char* discard = nullptr;
    if (!dataPtr) dataPtr = &discard;
    *dataPtr = nullptr;
    if (!_connected) {
        if (!_listening) {
            _errno = ENOTCONN;
            return -1;
        }
        if (acceptAndFork() < 0) return -1;
    }
    int n = readFrame(dataPtr);
    free(discard);
    return n;
}

int Msg::Send(int type, int flag, char* data, int len, char** results) {
    if (results) *results = nullptr;
    if (len < 0) len = 0;
    if (len > 0 && !data) {
        _errno = EINVAL;
        return -1;
    }
    if (!_connected) {
        // A listener has no peer to talk to (a signal handler in the
        // listening process may try).
        if (_listening) {
            _errno = ENOTCONN;
            return -1;
        }
        if (!_server) _server = reinterpret_cast<unsigned char*>(strdup("localhost"));
        if (_socket < 0) Init(_port, reinterpret_cast<char*>(_server));
        errno = 0;
        struct hostent* h = gethostbyname(reinterpret_cast<char*>(_server));
        if (!h || h->h_addrtype != AF_INET || h->h_length != 4 || !h->h_addr_list[0]) {
            _errno = errno ? errno : EHOSTUNREACH;
            return -1;
        }
        memcpy(&_sockAddr.sin_addr, h->h_addr_list[0], 4);
        if (connect(_socket, reinterpret_cast<struct sockaddr*>(&_sockAddr), sizeof _sockAddr) < 0) {
            _errno = errno;
            // The next attempt starts from a fresh socket.
            Init(_port, reinterpret_cast<char*>(_server));
            return -1;
        }
        _connected = 1;
    }

    _msg.Hdr.Type = type;
    _msg.Hdr.Flag = flag;
    _msg.Hdr.Length = len;
    unsigned char hdr[YM_FRAME_HEADER_SIZE];
    putBE32(hdr, type);
    putBE32(hdr + 4, flag);
    putBE32(hdr + 8, len);
    // Left set when the frame cannot be written whole: the stream is then
    // broken and SendNotice must not add to it.
    _frameOpen = 1;
    if (ymWriteAll(_socket, hdr, sizeof hdr) < 0 || (len > 0 && ymWriteAll(_socket, data, size_t(len)) < 0)) {
        _errno = errno;
        return -1;
    }
    _frameOpen = 0;
    if (results) return Recv(results);
    return len;
}

int Msg::SendNotice(int type, int flag) {
    if (!_connected || _socket < 0 || _frameOpen) return -1;
    unsigned char hdr[YM_FRAME_HEADER_SIZE];
    putBE32(hdr, type);
    putBE32(hdr + 4, flag);
    putBE32(hdr + 8, 0);
    // A client that reads nothing must not keep a process that is going
    // down: wait a while for room, then give up. With room, the 12 bytes go
    // in one piece.
    struct pollfd p = {_socket, POLLOUT, 0};
    int r;
    while ((r = poll(&p, 1, YM_NOTICE_WAIT_MS)) < 0 && errno == EINTR) {
    }
    if (r != 1 || !(p.revents & POLLOUT)) return -1;
    return ymWriteAll(_socket, hdr, sizeof hdr);
}

void Msg::Close() {
    sleep(1);
    if (_socket >= 0) {
        shutdown(_socket, SHUT_RDWR);
        close(_socket);
    }
    _socket = -1;
    _connected = 0;
}

char* Msg::RHost() {
    memset(_rhost, 0, sizeof _rhost);
    struct sockaddr_in peer;
    socklen_t plen = sizeof peer;
    if (getpeername(_socket, reinterpret_cast<struct sockaddr*>(&peer), &plen) < 0) {
        _errno = errno;
        return nullptr;
    }
    struct hostent* h = gethostbyaddr(&peer.sin_addr, 4, AF_INET);
    char dotted[INET_ADDRSTRLEN] = "";
    const char* name = h && h->h_name ? h->h_name : inet_ntop(AF_INET, &peer.sin_addr, dotted, sizeof dotted);
    snprintf(_rhost, sizeof _rhost, "%s", name ? name : "");
    return _rhost;
}

void Msg::Attach(int fd) {
    if (_socket >= 0 && _socket != fd) close(_socket);
    _socket = fd;
    _listening = 0;
    _connected = 1;
}
