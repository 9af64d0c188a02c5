/* The socket layer's core: its state, start and stop, the gate that keeps new work
 * out while it stops, and the I/O thread that serves every connection and datagram
 * socket with one select per pass.
 *
 * One decision shapes this file: an owner's callback never runs while csStreamList
 * is held. Entries whose requested close is due are unlinked under the lock and get
 * their final event once it is released, so a callback may take its own locks (the
 * stock list lock, a SendMessage to the window thread) without inverting the order.
 * The pass itself allocates nothing; plain bytes go straight from the socket into
 * the owner's buffer. */
#include "net/sock_internal.h"

#include <stdlib.h>
#include <string.h>

/* ---- State ---- */
int32_t bSslEnabled;
List ListenList;
List StreamList;
WSADATA wsaData;
SockBufferProvider pfnGetBuffer;
volatile long nOpenEntries;
volatile long bIoStop, bIoEnded;
volatile long bListenStop, bListenEnded;
volatile long bSockInitialized;
volatile long bSslRetry;
CRITICAL_SECTION csStreamList;
CRITICAL_SECTION csListenList;
CRITICAL_SECTION csChunkQueues;

volatile long bSockStopping;
volatile long nSockInFlight;

/* Where the next pass's window of FD_SETSIZE entries begins when more entries are
 * open than a set holds. I/O thread only. */
static int nIoRotate;

/* Wine 8's select lists a socket once per set it is in, and its server fails an
 * assertion (ending every program of the session) when such a socket turns ready
 * between the checks of its two entries and nothing else happens before the
 * time-out. Under Wine an entry watched for reading is therefore not watched for
 * exceptions as well: out-of-band data is never used, and a reset or a close shows
 * as readable all the same. Set by SockStartup, before the threads start. */
static int bWineSelect;

/* The I/O thread's three sets. I/O thread only. */
static fd_set ReadFDs, WriteFDs, ExceptFDs;

/* ---- The system seam ---- */
static void *SysAlloc(size_t size)
{
    return malloc(size);
}

static void SysFree(void *block)
{
    free(block);
}

static const SockSysCalls sysDefaults = {
    ::WSAStartup, ::socket, ::closesocket, ::connect, ::send, ::recv, ::recvfrom, ::sendto, ::select,
    ::shutdown, ::accept, ::bind, ::getsockopt, ::CreateThread, ListAppendCopy, SysAlloc, SysFree,
};

SockSysCalls sSockSys = sysDefaults;

void SockSysReset(void)
{
    sSockSys = sysDefaults;
}

/* ---- The gate ---- */
int SockEnter(void)
{
    /* The increment is a full barrier, and SockCleanup sets bSockStopping before it
     * reads nSockInFlight: either cleanup waits for this call, or this call sees the
     * flag and stays out. */
    InterlockedIncrement(&nSockInFlight);
    if (bSockStopping || !bSockInitialized) {
        InterlockedDecrement(&nSockInFlight);
        return 0;
    }
    return 1;
}

void SockLeave(void)
{
    InterlockedDecrement(&nSockInFlight);
}

/* ---- Start and stop ---- */
static void ZeroState(void)
{
    bSslEnabled = 0;
    ListClear(&ListenList);
    ListClear(&StreamList);
    memset(&wsaData, 0, sizeof wsaData);
    pfnGetBuffer = NULL;
    nOpenEntries = 0;
    bIoStop = bIoEnded = 0;
    bListenStop = bListenEnded = 0;
    bSslRetry = 0;
    nIoRotate = 0;
}

/* Starts one of the layer's threads and lets its handle go: the threads end by flags. */
static int StartLayerThread(LPTHREAD_START_ROUTINE proc)
{
    HANDLE thread = sSockSys.StartThread(NULL, 0, proc, NULL, 0, NULL);
    if (!thread)
        return 0;
    CloseHandle(thread);
    return 1;
}

static void StopThread(volatile long *stop, volatile long *ended)
{
    InterlockedExchange(stop, 1);
    while (!*ended)
        Sleep(10);
}

static void DeleteLocks(void)
{
    DeleteCriticalSection(&csChunkQueues);
    DeleteCriticalSection(&csListenList);
    DeleteCriticalSection(&csStreamList);
}

int SockStartup(const SockInitParams *params)
{
    if (bSockInitialized)
        return SOCK_ALREADY_STARTED;
    if (!params || !params->getBuffer)
        return SOCK_INVALID_PARAM;
    ZeroState();
    bWineSelect = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != NULL;
    if (sSockSys.WsaStartup(MAKEWORD(2, 2), &wsaData) != 0)
        return SOCK_WSA_FAILED;
    InitializeCriticalSection(&csStreamList);
    InitializeCriticalSection(&csListenList);
    InitializeCriticalSection(&csChunkQueues);
    ListClear(&StreamList);
    ListClear(&ListenList);
    pfnGetBuffer = params->getBuffer;
    bSslEnabled = params->sslEnabled;

    /* A thread that cannot be started would leave SockCleanup waiting for it forever
     * and the layer deaf: undo everything and report the system's refusal. */
    if (!StartLayerThread(SockIoThread)) {
        WSACleanup();
        DeleteLocks();
        return SOCK_ERR_SYSTEM;
    }
    if (!StartLayerThread(SockListenThread)) {
        StopThread(&bIoStop, &bIoEnded);
        WSACleanup();
        DeleteLocks();
        return SOCK_ERR_SYSTEM;
    }
    if (bSslEnabled)
        SslEngineStartup();
    InterlockedExchange(&bSockInitialized, 1);
    return SOCK_OK;
}

void SockCleanup(void)
{
    if (!bSockInitialized)
        return;
    if (InterlockedExchange(&bSockStopping, 1))
        return; /* another thread is already stopping the layer */

    StopThread(&bIoStop, &bIoEnded);
    StopThread(&bListenStop, &bListenEnded);
    /* Operations that passed the gate before it closed may still append an entry;
     * they are done before anything is freed. */
    while (nSockInFlight)
        Sleep(1);

    /* Both threads have ended and no operation is inside: the lists are walked
     * without their locks. No events are delivered. */
    for (ListNode *node = StreamList.first; node; node = node->next) {
        SockEntry *e = EntryOf(node);
        SslRelease(e);
        if (e->sock)
            sSockSys.CloseSocket(e->sock);
        e->sock = 0;
    }
    ListFreeAll(&StreamList);
    for (ListNode *node = ListenList.first; node; node = node->next) {
        SockEntry *e = EntryOf(node);
        if (e->sock)
            sSockSys.CloseSocket(e->sock);
        e->sock = 0;
    }
    ListFreeAll(&ListenList);
    InterlockedExchange(&nOpenEntries, 0);

    WSACleanup();
    if (bSslEnabled)
        SslEngineShutdown();
    DeleteLocks();
    InterlockedExchange(&bSockInitialized, 0);
    InterlockedExchange(&bSockStopping, 0);
}

void SockGetCount(int32_t *count)
{
    if (!count || !SockEnter())
        return;
    EnterCriticalSection(&csStreamList);
    *count = InterlockedCompareExchange(&nOpenEntries, 0, 0);
    LeaveCriticalSection(&csStreamList);
    SockLeave();
}

void SockEntryInit(SockEntry *sk, SOCKET s, intptr_t userData, SockCallback callback)
{
    memset(sk, 0, sizeof *sk);
    sk->sock = s;
    sk->userData = userData;
    sk->callback = callback;
    sk->recvSize = SOCK_DEFAULT_RECV_SIZE;
}

void SockSetNonBlocking(SOCKET s)
{
    u_long iMode = 1;
    ioctlsocket(s, FIONBIO, &iMode);
}

SOCKET SockOpenTcp(const char *address, uint16_t port, struct sockaddr_in *addr)
{
    memset(addr, 0, sizeof *addr);
    addr->sin_family = AF_INET;
    addr->sin_addr.s_addr = inet_addr(address);
    addr->sin_port = htons(port);
    SOCKET s = sSockSys.Socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s != INVALID_SOCKET)
        SockSetNonBlocking(s);
    return s;
}

int SockStartConnect(SOCKET s, const struct sockaddr_in *addr)
{
    if (sSockSys.Connect(s, (const struct sockaddr *)addr, (int)sizeof *addr) == 0)
        return SOCK_OK;
    if (WSAGetLastError() == WSAEWOULDBLOCK)
        return SOCK_CONNECT_PENDING;
    return SOCK_CONNECT_FAILED;
}

SockEntry *SockAppendStream(const SockEntry *sk, SockHandle *handle)
{
    SockEntry *e = NULL;
    EnterCriticalSection(&csStreamList);
    ListNode *node = sSockSys.AppendCopy(&StreamList, sk, (int32_t)sizeof *sk);
    if (node) {
        e = EntryOf(node);
        e->node = node;
        if (handle)
            *handle = e;
        CountOpenEntry(1);
    }
    LeaveCriticalSection(&csStreamList);
    return e;
}

/* ---- Closing ---- */
void GracefulClose(SOCKET s)
{
    /* A local buffer: the I/O thread and the listener thread both close this way. */
    char acReadBuffer[1024];
    sSockSys.Shutdown(s, SD_SEND);
    /* Bounded, so that a peer that keeps sending cannot hold the thread here. */
    for (int i = 0; i < 64; i++) {
        if (sSockSys.Recv(s, acReadBuffer, (int)sizeof acReadBuffer, 0) <= 0)
            break;
    }
    sSockSys.CloseSocket(s);
}

/* Takes the node out of the list without freeing it (I/O thread, under csStreamList). */
static void UnlinkNode(List *list, ListNode *node)
{
    if (node->prev)
        node->prev->next = node->next;
    else
        list->first = node->next;
    if (node->next)
        node->next->prev = node->prev;
    else
        list->last = node->prev;
    node->next = NULL;
    node->prev = NULL;
}

/* Final step of a requested close, outside csStreamList: event 1 while the record
 * still exists, then the SSL state, the socket and the record go. */
static void FinishRequestedCloses(List *due)
{
    ListNode *node;
    while ((node = ListPopFront(due)) != NULL) {
        SockEntry *e = EntryOf(node);
        e->callback(e->userData, SOCK_EV_CLOSED, 0, 0, 0);
        SslRelease(e);
        sSockSys.CloseSocket(e->sock);
        e->sock = 0;
        CountOpenEntry(-1);
        ListFreeNode(node);
    }
}

/* ---- The I/O thread ---- */
int BuildIoSets(void)
{
    List due;
    ListClear(&due);
    FD_ZERO(&ReadFDs);
    FD_ZERO(&WriteFDs);
    FD_ZERO(&ExceptFDs);
    int count = 0;

    EnterCriticalSection(&csStreamList);
    ListNode *node = StreamList.first;
    while (node) {
        ListNode *next = node->next;
        SockEntry *e = EntryOf(node);
        if (e->closing) {
            UnlinkNode(&StreamList, node);
            ListLinkNode(&due, node);
        } else {
            if (e->closeRequested) {
                e->closing = 1;
                sSockSys.Shutdown(e->sock, SD_SEND);
            }
            count++;
        }
        node = next;
    }

    /* A set holds FD_SETSIZE (64) sockets. With more entries open, each pass watches
     * the next FD_SETSIZE of them in list order, wrapping round, so that entries far
     * down the list are served within a few passes instead of never. */
    int start = count > FD_SETSIZE ? nIoRotate % count : 0;
    int index = 0;
    for (node = StreamList.first; node; node = node->next, index++) {
        if ((index - start + count) % count >= FD_SETSIZE)
            continue;
        SockEntry *e = EntryOf(node);
        if (e->connectPending)
            FD_SET(e->sock, &WriteFDs);
        /* A paused entry, or an SSL entry whose queue is full, would read nothing:
         * watching it for reading would only make select return at once, every pass. */
        else if (!e->recvPaused && !(e->sslActive && ChunkQueueIsFull(&e->recvQueue)))
            FD_SET(e->sock, &ReadFDs);
        if (!bWineSelect || !FD_ISSET(e->sock, &ReadFDs))
            FD_SET(e->sock, &ExceptFDs);
    }
    nIoRotate = count > FD_SETSIZE ? (start + FD_SETSIZE) % count : 0;
    LeaveCriticalSection(&csStreamList);

    FinishRequestedCloses(&due);
    return count;
}

/* Whether the entry's socket is a datagram socket (asked only on the error path). */
static int IsDatagram(SockEntry *e)
{
    int type = 0;
    int typeSize = (int)sizeof type;
    if (sSockSys.GetSockOpt(e->sock, SOL_SOCKET, SO_TYPE, (char *)&type, &typeSize) != 0)
        return 0;
    return type == SOCK_DGRAM;
}

int HandleReadable(SockEntry *e)
{
    if (e->recvPaused)
        return 1;
    int size = e->recvSize;
    char *buffer = (char *)pfnGetBuffer(e->userData, size);
    if (!buffer)
        return 1; /* the bytes wait in the socket for a later pass */
    if (e->sslActive && ChunkQueueIsFull(&e->recvQueue))
        return 1;

    /* Zeroed, so plain stream entries (whose sender is not filled in) get 0 and 0. */
    struct sockaddr_in Addr;
    memset(&Addr, 0, sizeof Addr);
    int AddrSize = (int)sizeof Addr;
    int got = sSockSys.RecvFrom(e->sock, buffer, size, 0, (struct sockaddr *)&Addr, &AddrSize);
    if (got > 0) {
        if (e->sslActive) {
            /* Encrypted bytes that cannot be kept would corrupt the stream for good. */
            if (!ChunkQueueAppend(&e->recvQueue, buffer, got))
                return 0;
            SslPump(e);
        } else {
            e->callback(e->userData, SOCK_EV_DATA, got, (intptr_t)Addr.sin_port, (intptr_t)Addr.sin_addr.s_addr);
        }
        return 1;
    }
    if (got == 0) {
        if (e->sslActive)
            SslDrainAtClose(e);
        return 0;
    }
    /* Would-block is reported by the call, not by the socket's pending error. */
    int err = WSAGetLastError();
    if (err == WSAEWOULDBLOCK)
        return 1;
    /* A datagram socket outlives an oversized datagram (dropped) and the port-unreachable
     * report of an earlier send; neither says anything about the socket itself. */
    if ((err == WSAEMSGSIZE || err == WSAECONNRESET) && IsDatagram(e))
        return 1;
    return 0;
}

/* Serves every entry in list order after select. The walk reads first and next
 * under the lock; only this thread removes entries, so the current node stays. */
static void ServeEntries(void)
{
    EnterCriticalSection(&csStreamList);
    ListNode *node = StreamList.first;
    LeaveCriticalSection(&csStreamList);

    while (node) {
        SockEntry *e = EntryOf(node);
        SOCKET s = e->sock;
        int open = 1;
        if (FD_ISSET(s, &ExceptFDs)) {
            open = 0;
        } else {
            if (FD_ISSET(s, &WriteFDs)) {
                if (e->connectPending) {
                    e->connectPending = 0;
                    e->callback(e->userData, SOCK_EV_CONNECTED, 0, 0, 0);
                }
                FD_CLR(s, &WriteFDs);
            }
            if (FD_ISSET(s, &ReadFDs)) {
                open = HandleReadable(e);
                FD_CLR(s, &ReadFDs);
            } else if (e->sslActive && e->sslPlainWaiting) {
                SslPump(e);
            }
        }

        if (open) {
            EnterCriticalSection(&csStreamList);
            node = node->next;
            LeaveCriticalSection(&csStreamList);
            continue;
        }

        /* Out of every set: a socket created meanwhile may get the same value. */
        FD_CLR(s, &ReadFDs);
        FD_CLR(s, &WriteFDs);
        FD_CLR(s, &ExceptFDs);
        GracefulClose(s);
        e->sock = 0;
        if (e->connectPending) {
            e->connectPending = 0;
            e->callback(e->userData, SOCK_EV_CONNECT_FAILED, 0, 0, 0);
        } else {
            e->callback(e->userData, SOCK_EV_CLOSED, 0, 0, 0);
        }
        SslRelease(e);
        EnterCriticalSection(&csStreamList);
        ListNode *next = node->next;
        ListRemove(&StreamList, node);
        CountOpenEntry(-1);
        LeaveCriticalSection(&csStreamList);
        node = next;
    }
}

DWORD WINAPI SockIoThread(LPVOID unused)
{
    (void)unused;
    bIoEnded = 0;
    while (!bIoStop) {
        if (BuildIoSets() == 0) {
            Sleep(1); /* select with three empty sets fails at once */
            continue;
        }
        TIMEVAL selTimeout;
        selTimeout.tv_sec = 0;
        selTimeout.tv_usec = 20000;
        int ready = sSockSys.Select(0, &ReadFDs, &WriteFDs, &ExceptFDs, &selTimeout);
        int retry = InterlockedExchange(&bSslRetry, 0);
        if (ready <= 0) {
            if (!retry)
                continue;
            /* Nothing is ready; the walk only retries plaintext held for a buffer. */
            FD_ZERO(&ReadFDs);
            FD_ZERO(&WriteFDs);
            FD_ZERO(&ExceptFDs);
        }
        ServeEntries();
    }
    InterlockedExchange(&bIoEnded, 1);
    return 0;
}
