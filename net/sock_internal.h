/* Internals shared by the socket layer's units and by its tests: the global state,
 * the gate that keeps new work out while the layer stops, the seam through which
 * the layer reaches Winsock (and the heap and thread creation), the SSL engine's
 * hook table and the chunk queues. Owners of the layer use net/sock.h only.
 *
 * Lock order: csStreamList may be held while csChunkQueues is taken, never the
 * reverse; csListenList is never held together with another lock. No owner's
 * callback is ever called while one of the three is held. */
#ifndef QUOTARION_NET_SOCK_INTERNAL_H
#define QUOTARION_NET_SOCK_INTERNAL_H

#include "net/sock.h"

#include <windows.h>
#include <stddef.h>

/* ---- The system seam ----
 * Every Winsock call that can fail in a way the loopback never shows goes through this
 * table, as do the entry allocations and the thread starts. The defaults are the real
 * functions; a test swaps single entries (before SockStartup, or while the layer runs:
 * each is a pointer-sized store) and puts them back with SockSysReset. */
struct SockSysCalls {
    decltype(&::WSAStartup) WsaStartup;
    decltype(&::socket) Socket;
    decltype(&::closesocket) CloseSocket;
    decltype(&::connect) Connect;
    decltype(&::send) Send;
    decltype(&::recv) Recv;
    decltype(&::recvfrom) RecvFrom;
    decltype(&::sendto) SendTo;
    decltype(&::select) Select;
    decltype(&::shutdown) Shutdown;
    decltype(&::accept) Accept;
    decltype(&::bind) Bind;
    decltype(&::getsockopt) GetSockOpt;
    decltype(&::CreateThread) StartThread;
    ListNode *(*AppendCopy)(List *list, const void *bytes, int32_t size);
    void *(*Alloc)(size_t size);
    void (*Free)(void *block);
};
extern SockSysCalls sSockSys;
void SockSysReset(void);

/* ---- Global state (one layer per process) ----
 * Zeroed by SockStartup, except the three critical sections (initialised there) and
 * the gate below. */
extern int32_t bSslEnabled;                 /* set before the threads start */
extern List ListenList;                     /* guarded by csListenList */
extern List StreamList;                     /* guarded by csStreamList */
extern WSADATA wsaData;
extern SockBufferProvider pfnGetBuffer;     /* set before the threads start */
extern volatile long nOpenEntries;          /* changed only with Interlocked operations */
extern volatile long bIoStop, bIoEnded;     /* stop request / I/O thread has left its loop */
extern volatile long bListenStop, bListenEnded;
extern volatile long bSockInitialized;
extern volatile long bSslRetry;             /* a pump left plaintext in its engine: retry next pass */
extern CRITICAL_SECTION csStreamList;
extern CRITICAL_SECTION csListenList;
extern CRITICAL_SECTION csChunkQueues;

/* ---- The gate ----
 * Every operation of the layer runs between SockEnter and SockLeave. SockCleanup sets
 * bSockStopping first, so from then on SockEnter refuses; it frees nothing before the
 * threads have ended and nSockInFlight has drained. Neither field is touched by
 * SockStartup: a refused call may still be on its way out when a new start begins. */
extern volatile long bSockStopping;
extern volatile long nSockInFlight;
int SockEnter(void);   /* 1: go on and call SockLeave after; 0: refused (layer stopped or stopping) */
void SockLeave(void);

/* Every change of nOpenEntries goes through here. Stream entries are counted under
 * csStreamList and listening entries under csListenList, so the two kinds of update
 * are not serialised by any lock: the change is one interlocked operation. */
static inline void CountOpenEntry(long delta)
{
    InterlockedExchangeAdd(&nOpenEntries, delta);
}

static inline SockEntry *EntryOf(ListNode *node)
{
    return (SockEntry *)node->data;
}

/* ---- Core (sock_core.cpp) ---- */
DWORD WINAPI SockIoThread(LPVOID unused);
int BuildIoSets(void);               /* I/O thread: fills its three sets; returns the entries counted */
int HandleReadable(SockEntry *e);    /* I/O thread: 1 the entry stays open, 0 close it */
void GracefulClose(SOCKET s);        /* shut the sending side, drain what is waiting, close */
/* Fills a zeroed record for a new socket: the socket, the owner's value and
 * callback, the default read size. */
void SockEntryInit(SockEntry *sk, SOCKET s, intptr_t userData, SockCallback callback);
void SockSetNonBlocking(SOCKET s);
/* A non-blocking TCP socket, and in *addr the IPv4 address of the dotted text and
 * port (no name lookup: other text gives INADDR_NONE and the connect fails as the
 * system reports it). INVALID_SOCKET when no socket can be made. */
SOCKET SockOpenTcp(const char *address, uint16_t port, struct sockaddr_in *addr);
/* Starts a non-blocking connect: SOCK_OK, SOCK_CONNECT_PENDING, or
 * SOCK_CONNECT_FAILED when it failed at once. */
int SockStartConnect(SOCKET s, const struct sockaddr_in *addr);
/* Appends a copy of the finished record *sk to StreamList, sets its node, stores the
 * handle through handle (if given) and counts it, all under csStreamList, so the
 * record is complete before the I/O thread can see it. Null when memory is short
 * (nothing changed). */
SockEntry *SockAppendStream(const SockEntry *sk, SockHandle *handle);

/* ---- Listening sockets (sock_listen.cpp) ---- */
DWORD WINAPI SockListenThread(LPVOID unused);
int BuildListenSet(void);            /* listener thread: fills its read set; returns the entries placed */

/* ---- SSL mode (sock_ssl.cpp) ---- */

/* The SSL engine behind the layer. The handles are the engine's own; the layer only
 * stores and returns them. A table whose entries all answer as the inert engine
 * does (sslInertEngine) is what this program runs with. */
struct SslEngineHooks {
    void (*Init)(void);
    void (*Cleanup)(void);
    /* Fills the three handles and returns the context, or 0 (handles untouched). */
    void *(*Create)(void **ssl, void **sslIn, void **sslOut, int32_t value0, int32_t value2, int32_t value3,
                    int32_t value4, int32_t value5, int32_t value6, int32_t client);
    void (*Free)(void *ctx, void *ssl, void *sslIn, void *sslOut);
    int (*Handshake)(void *ssl);
    int (*Feed)(void *sslIn, const char *bytes, int length);      /* encrypted bytes accepted */
    int (*Read)(void *ssl, char *buffer, int capacity);           /* plaintext produced, <= 0 none */
    int (*Write)(void *ssl, const char *bytes, int length);       /* plaintext accepted, < 0 error */
    int (*WantsRead)(void *ssl);
    int (*Pending)(void *sslOut);                                 /* encrypted bytes waiting */
    int (*Take)(void *sslOut, char *buffer, int capacity);        /* encrypted bytes taken */
    int32_t (*Peer)(void *ssl);
    int32_t (*PeerDetail)(void *ssl, int32_t argument);
    int (*TextA)(void *ssl, int32_t value, char *text);
    int (*TextB)(void *ssl, int32_t value, char *text);
};
extern const SslEngineHooks sslInertEngine;
/* The engine in use; changed only while the layer is stopped (tests install their own). */
extern const SslEngineHooks *pSslEngine;

/* Chunk queues, each operation atomic under csChunkQueues. */
int ChunkQueueAppend(SockChunkQueue *queue, const void *bytes, int32_t length);  /* 1, or 0 refused */
SockChunk *ChunkQueueTake(SockChunkQueue *queue);                  /* first chunk or null */
void ChunkQueuePutBack(SockChunkQueue *queue, SockChunk *chunk);   /* becomes first again */
int ChunkQueueIsFull(SockChunkQueue *queue);
int ChunkQueueCount(SockChunkQueue *queue);
/* Frees a chunk wholly consumed; otherwise advances it and puts it back in front. */
void ChunkDispose(SockChunkQueue *queue, SockChunk *chunk, int32_t consumed);
void ChunkQueueFreeAll(SockChunkQueue *queue);

void SslPump(SockEntry *e);          /* any thread; runs of one entry never overlap */
void SslDrainAtClose(SockEntry *e);  /* I/O thread, peer closed: deliver what the engine holds */
void SslRelease(SockEntry *e);       /* entry removal or stop: engine freed, queues emptied */
int SslSend(SockEntry *e, const void *bytes, int32_t length, int32_t *sent);
void SslEngineStartup(void);         /* SockStartup, switch on */
void SslEngineShutdown(void);        /* SockCleanup, switch on */

#endif
