/* The socket layer: the program's own asynchronous networking over Windows Sockets 2.
 *
 * The owner starts it once (SockStartup), opens connections, datagram sockets and
 * listening sockets through it, and learns everything that happens on them through
 * one event callback per socket. Two threads of the layer do all the waiting: the
 * I/O thread serves every connection and datagram socket, the listener thread every
 * listening socket. All sockets are non-blocking and polled with select.
 *
 * Handles are the addresses of SockEntry records; a handle is valid until its final
 * event (1 or 5) has returned. Received bytes go straight into the memory the
 * owner's buffer provider returns; the data event only says how many arrived.
 *
 * Lock order: an owner's own locks may be held while calling in (the stock list
 * lock before any lock of the layer); csStreamList may be held while csChunkQueues
 * is taken, never the reverse; csListenList is never held with another lock. */
#ifndef QUOTARION_NET_SOCK_H
#define QUOTARION_NET_SOCK_H

#include <winsock2.h>
#include <stdint.h>

#include "core/list.h"

/* Event codes given to a SockCallback. */
enum {
    SOCK_EV_DATA = 0,           /* info1 bytes are in the provider's buffer */
    SOCK_EV_CLOSED = 1,         /* final: the entry is being removed */
    SOCK_EV_CONNECTED = 2,      /* the outgoing connect completed */
    SOCK_EV_ACCEPT_QUERY = 3,   /* listener thread: result 0 refuses, else the new userData */
    SOCK_EV_ACCEPTED = 4,       /* listener thread: info1 is the new entry's handle */
    SOCK_EV_CONNECT_FAILED = 5  /* final: the outgoing connect did not complete */
};

/* Result codes of every operation that returns one. */
enum {
    SOCK_ERR_SYSTEM = 0,        /* the operating system refused */
    SOCK_OK = 1,
    SOCK_ALREADY_STARTED = 2,
    SOCK_INVALID_PARAM = 3,
    SOCK_NOT_STARTED = 4,
    SOCK_WSA_FAILED = 5,
    SOCK_NO_SOCKET = 6,
    SOCK_BIND_FAILED = 7,
    SOCK_NO_MEMORY = 8,
    SOCK_CONNECT_FAILED = 9,
    SOCK_CONNECT_PENDING = 10,
    SOCK_WOULD_BLOCK = 12,
    SOCK_NO_SSL = 13,
    SOCK_SSL_CONTEXT = 14
};

#define SOCK_DEFAULT_RECV_SIZE 2048
#define SOCK_CHUNK_QUEUE_MAX 10

/* userData and the info arguments are pointer-wide so that they can carry an
 * owner's pointer, a handle (event 4) or a text pointer (event 3). */
typedef intptr_t (*SockCallback)(intptr_t userData, int event, intptr_t info1, intptr_t info2,
                                 intptr_t info3);

/* Returns memory for count bytes, or null to delay the read. Called on the I/O
 * thread right before every read (and on the caller's thread by the SSL pump). */
typedef void *(*SockBufferProvider)(intptr_t userData, int count);

struct SockInitParams {
    SockBufferProvider getBuffer;  /* required */
    int32_t sslEnabled;            /* 0 in this program */
};

struct SockChunk {
    char *bytes;         /* the chunk's own copy */
    int32_t offset;      /* first unconsumed byte */
    int32_t length;      /* unconsumed bytes */
    SockChunk *next;
};

struct SockChunkQueue {
    int32_t count;       /* at most SOCK_CHUNK_QUEUE_MAX; guarded by csChunkQueues */
    SockChunk *first;
    SockChunk *last;
};

/* One socket. Created by an opening operation under its list's lock; removed only by
 * the layer's own threads (or SockCleanup). Owners set closeRequested, recvPaused,
 * recvSize and userData through the operations below, as plain stores.
 * A handle may be used until its final event (1 or 5) has returned; an owner that
 * calls in on a handle from another thread must not let that call overlap the final
 * event (the layer cannot know a handle that has been freed). */
struct SockEntry {
    ListNode *node;
    SOCKET sock;                 /* 0 once the layer has closed it */
    intptr_t userData;
    volatile long connectPending;
    volatile int32_t recvSize;
    volatile long recvPaused;
    volatile long closeRequested;
    volatile long closing;       /* sending side shut down; closed at the next pass */
    volatile long sslActive;
    int32_t sslConfig;
    void *sslCtx;
    void *ssl;
    void *sslIn;
    void *sslOut;
    long sslServer;
    SockChunkQueue sendQueue;
    SockChunkQueue recvQueue;
    volatile long sslWriteBlocked;
    volatile long doConnect;
    SockCallback callback;
    /* Below: the layer's own bookkeeping, after the record's fixed fields. */
    volatile long sslPumpRequests;  /* pump runs asked for; the thread that raised it from 0 runs them all */
    volatile long sslPlainWaiting;  /* plaintext is held in the engine: the provider gave no buffer */
    volatile long sslReleasing;     /* the SSL state is being released; no new pump run starts */
};

typedef SockEntry *SockHandle;

struct SslSettings {
    int32_t value[7];
};

/* Start and stop, from the owner's thread (one at a time, never from a callback).
 * SockStartup: 1, 2 already started, 3 null params or provider, 5 WSAStartup failed,
 * 0 a thread of the layer could not be created; on any failure the layer stays
 * stopped and nothing is left behind. SockCleanup: from its first instant every new
 * operation is refused with 4 (the text queries write "socket layer not
 * initialized"); it waits for operations already under way, ends both threads and
 * closes every open socket without events. No callback runs after it returns. */
int SockStartup(const SockInitParams *params);
void SockCleanup(void);
/* Copies the number of open entries when started; leaves *count untouched otherwise. */
void SockGetCount(int32_t *count);

/* Stream connections; any thread. SockConnect: 10 under way (or 1 connected at once),
 * then event 2 or 5; 9 failed at once (event 1 follows); 3, 4, 6, 8: no entry, no event.
 * SockSend (plain): one send; 1 with *sent the count taken (maybe fewer), 12 would
 * block, 0 other error (*sent 0 for both); 3 for a null pointer or a length <= 0.
 * SockClose and the setters: 1, or 3 for a null handle (SockSetRecvSize: also for a
 * negative size; 0 restores 2048). */
int SockConnect(intptr_t userData, const char *address, uint16_t port, SockCallback callback,
                SockHandle *handle);
int SockSend(SockHandle handle, const void *bytes, int32_t length, int32_t *sent);
int SockClose(SockHandle handle);
int SockSetUserData(SockHandle handle, intptr_t userData);
int SockSetRecvSize(SockHandle handle, int32_t size);
int SockEnableRecv(SockHandle handle, int enable);

/* Names and addresses. SockResolve and SockGetHostName need a started layer and block
 * while the system resolves; SockResolve leaves the buffer untouched when it returns 0.
 * The three conversions work at any time, on any thread. */
int SockResolve(const char *name, char *dotted /* >= 16 bytes */);
int SockIsDottedQuad(const char *text);
int SockGetHostName(char *buffer, int size);
uint32_t SockAddrFromText(const char *dotted);
void SockAddrToText(uint32_t address, char *dotted /* >= 16 bytes */);

/* Listening sockets and datagrams. SockListen: 1 listening on every local interface,
 * 0 no host name or address, 6 no socket, 7 bind failed, 8 no memory; on failure no
 * entry is left and no handle stored. Events 3 and 4 come on the listener thread; an
 * accepted connection joins the I/O thread only after its event 4 has returned (if
 * its entry cannot be made, event 1 comes instead, on the listener thread, and the
 * peer is closed). SockSendTo: 1 whatever sendto says. SockGetLocalAddr: host order. */
int SockListen(uint16_t port, intptr_t userData, SockCallback callback, SockHandle *handle);
int SockCreateUdp(intptr_t userData, uint16_t port, SockCallback callback, SockHandle *handle);
int SockSendTo(SockHandle handle, uint32_t address, uint16_t port, const void *bytes, int32_t length);
int SockGetLocalAddr(SockHandle handle, uint32_t *address, uint16_t *port);

/* SSL mode (the engine behind the hooks is inert in this program: with the switch on,
 * SockConnectSsl stores a handle and gives 14, the entry then ends with event 1, and
 * SockStartSsl gives 14 and leaves the connection plain). SockSend on an SSL entry
 * queues a copy (at most 10 pieces), reports the whole length and gives 1, or 12 while
 * the queue stays full. Data events of an SSL entry may also come on the thread that
 * called SockSend or SockStartSsl, never two at once for one entry. */
int SockConnectSsl(intptr_t userData, const char *address, uint16_t port, const SslSettings *settings,
                   SockCallback callback, SockHandle *handle);
int SockStartSsl(SockHandle handle, const SslSettings *settings);
int SockSslPeerInfo(SockHandle handle, int32_t *credential, int32_t *detail, int32_t argument);
int SockSslGetText1(SockHandle handle, int32_t value, char *text /* >= 29 bytes */);
int SockSslGetText2(SockHandle handle, int32_t value, char *text /* >= 29 bytes */);

#endif
