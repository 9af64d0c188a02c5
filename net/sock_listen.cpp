/* Listening sockets and datagrams of the socket layer. Listening sockets live in
 * ListenList and are served by the listener thread, which accepts one peer per
 * socket per pass, asks the owner about it (event 3) and turns a kept peer into an
 * ordinary stream entry (event 4). Datagram sockets live in StreamList beside the
 * connections and are read by the I/O thread.
 *
 * An accepted entry is built off the list and joins StreamList only after its event 4
 * has returned: until then the I/O thread cannot deliver data for it, or end it and
 * free the record whose address event 4 hands to the owner. */
#include "net/sock_internal.h"

#include <string.h>

/* The listener thread's read set. Listener thread only. */
static fd_set ListenReadFDs;

/* Undoes a failed SockListen: the entry is taken out again under the lock still held. */
static int DropListener(ListNode *node, int result)
{
    ListRemove(&ListenList, node);
    return result;
}

static int OpenListener(uint16_t port, intptr_t userData, SockCallback callback, SockHandle *handle)
{
    SockEntry sk;
    memset(&sk, 0, sizeof sk);
    ListNode *node = sSockSys.AppendCopy(&ListenList, &sk, (int32_t)sizeof sk);
    if (!node)
        return SOCK_NO_MEMORY;
    SockEntry *e = EntryOf(node);
    e->node = node;
    e->recvSize = SOCK_DEFAULT_RECV_SIZE;
    e->userData = userData;
    e->callback = callback;

    /* The lookup only confirms that the host has an address and gives its family;
     * the socket listens on every local interface. */
    char myname[256];
    if (gethostname(myname, (int)sizeof myname) != 0)
        return DropListener(node, SOCK_ERR_SYSTEM);
    struct hostent *host = gethostbyname(myname);
    if (!host)
        return DropListener(node, SOCK_ERR_SYSTEM);
    struct sockaddr_in addr;
    memset(&addr, 0, sizeof addr);
    addr.sin_family = (short)host->h_addrtype;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_ANY);

    SOCKET s = sSockSys.Socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return DropListener(node, SOCK_NO_SOCKET);
    e->sock = s;
    SockSetNonBlocking(s);
    if (sSockSys.Bind(s, (const struct sockaddr *)&addr, (int)sizeof addr) != 0) {
        sSockSys.CloseSocket(s);
        e->sock = 0;
        return DropListener(node, SOCK_BIND_FAILED);
    }
    listen(s, 3);
    if (handle)
        *handle = e;
    CountOpenEntry(1);
    return SOCK_OK;
}

int SockListen(uint16_t port, intptr_t userData, SockCallback callback, SockHandle *handle)
{
    if (!SockEnter())
        return SOCK_NOT_STARTED;
    int result = SOCK_INVALID_PARAM;
    if (callback) {
        if (handle)
            *handle = NULL;
        /* Held for the whole run, so the listener thread never sees a half-made entry. */
        EnterCriticalSection(&csListenList);
        result = OpenListener(port, userData, callback, handle);
        LeaveCriticalSection(&csListenList);
    }
    SockLeave();
    return result;
}

static int OpenDatagram(intptr_t userData, uint16_t port, SockCallback callback, SockHandle *handle)
{
    if (!handle || !callback)
        return SOCK_INVALID_PARAM;
    SOCKET s = sSockSys.Socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET)
        return SOCK_NO_SOCKET;
    struct sockaddr_in addr;
    memset(&addr, 0, sizeof addr);
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    if (sSockSys.Bind(s, (const struct sockaddr *)&addr, (int)sizeof addr) != 0) {
        sSockSys.CloseSocket(s);
        return SOCK_BIND_FAILED;
    }
    SockSetNonBlocking(s);

    SockEntry sk;
    SockEntryInit(&sk, s, userData, callback);
    if (!SockAppendStream(&sk, handle)) {
        sSockSys.CloseSocket(s);
        return SOCK_NO_MEMORY;
    }
    return SOCK_OK;
}

int SockCreateUdp(intptr_t userData, uint16_t port, SockCallback callback, SockHandle *handle)
{
    if (!SockEnter())
        return SOCK_NOT_STARTED;
    int result = OpenDatagram(userData, port, callback, handle);
    SockLeave();
    return result;
}

int SockSendTo(SockHandle handle, uint32_t address, uint16_t port, const void *bytes, int32_t length)
{
    if (!SockEnter())
        return SOCK_NOT_STARTED;
    int result = SOCK_INVALID_PARAM;
    if (handle && bytes && length > 0) {
        struct sockaddr_in addr;
        memset(&addr, 0, sizeof addr);
        addr.sin_family = AF_INET;
        addr.sin_port = htons(port);
        addr.sin_addr.s_addr = address;
        sSockSys.SendTo(handle->sock, (const char *)bytes, length, 0, (const struct sockaddr *)&addr,
                        (int)sizeof addr);
        result = SOCK_OK; /* a datagram may be lost anyway; send errors are not reported */
    }
    SockLeave();
    return result;
}

int SockGetLocalAddr(SockHandle handle, uint32_t *address, uint16_t *port)
{
    if (!SockEnter())
        return SOCK_NOT_STARTED;
    int result = SOCK_INVALID_PARAM;
    if (handle && address && port) {
        struct sockaddr_in addr;
        memset(&addr, 0, sizeof addr);
        int addrSize = (int)sizeof addr;
        if (getsockname(handle->sock, (struct sockaddr *)&addr, &addrSize) != 0) {
            result = SOCK_ERR_SYSTEM;
        } else {
            *address = ntohl(addr.sin_addr.s_addr);
            *port = ntohs(addr.sin_port);
            result = SOCK_OK;
        }
    }
    SockLeave();
    return result;
}

/* ---- The listener thread ---- */
int BuildListenSet(void)
{
    int placed = 0;
    FD_ZERO(&ListenReadFDs);
    EnterCriticalSection(&csListenList);
    ListNode *node = ListenList.first;
    while (node) {
        ListNode *next = node->next;
        SockEntry *e = EntryOf(node);
        if (e->closeRequested) {
            /* A listening entry ends silently: no event. */
            if (e->sock)
                sSockSys.CloseSocket(e->sock);
            e->sock = 0;
            ListRemove(&ListenList, node);
            CountOpenEntry(-1);
        } else {
            FD_SET(e->sock, &ListenReadFDs);
            placed++;
        }
        node = next;
    }
    LeaveCriticalSection(&csListenList);
    return placed;
}

/* Accepts one peer of a readable listening socket and settles it with the owner. */
static void AcceptOne(SockEntry *listener)
{
    struct sockaddr_in Addr;
    memset(&Addr, 0, sizeof Addr);
    int AddrSize = (int)sizeof Addr;
    SOCKET s = sSockSys.Accept(listener->sock, (struct sockaddr *)&Addr, &AddrSize);
    if (s == INVALID_SOCKET)
        return;

    char peerText[16];
    SockAddrToText(Addr.sin_addr.s_addr, peerText);
    intptr_t userData = listener->callback(listener->userData, SOCK_EV_ACCEPT_QUERY, 0, ntohs(Addr.sin_port),
                                           (intptr_t)peerText);
    if (!userData) {
        GracefulClose(s);
        return;
    }

    SockSetNonBlocking(s);
    SockEntry sk;
    SockEntryInit(&sk, s, userData, listener->callback);

    List pending;
    ListClear(&pending);
    ListNode *node = sSockSys.AppendCopy(&pending, &sk, (int32_t)sizeof sk);
    if (!node) {
        /* The owner approved the peer and waits for a word on it: the final event,
         * here on the listener thread, and the peer is closed. */
        sk.callback(userData, SOCK_EV_CLOSED, 0, 0, 0);
        GracefulClose(s);
        return;
    }
    SockEntry *e = EntryOf(node);
    e->node = node;
    e->callback(e->userData, SOCK_EV_ACCEPTED, (intptr_t)e, 0, 0);

    ListPopFront(&pending);
    EnterCriticalSection(&csStreamList);
    ListLinkNode(&StreamList, node);
    CountOpenEntry(1);
    LeaveCriticalSection(&csStreamList);
}

DWORD WINAPI SockListenThread(LPVOID unused)
{
    (void)unused;
    bListenEnded = 0;
    while (!bListenStop) {
        if (BuildListenSet() == 0) {
            Sleep(1);
            continue;
        }
        TIMEVAL selTimeout;
        selTimeout.tv_sec = 0;
        selTimeout.tv_usec = 20000;
        if (sSockSys.Select(0, &ListenReadFDs, NULL, NULL, &selTimeout) <= 0)
            continue;

        EnterCriticalSection(&csListenList);
        ListNode *node = ListenList.first;
        LeaveCriticalSection(&csListenList);
        while (node) {
            SockEntry *listener = EntryOf(node);
            if (FD_ISSET(listener->sock, &ListenReadFDs)) {
                AcceptOne(listener);
                FD_CLR(listener->sock, &ListenReadFDs);
            }
            EnterCriticalSection(&csListenList);
            node = node->next;
            LeaveCriticalSection(&csListenList);
        }
    }
    InterlockedExchange(&bListenEnded, 1);
    return 0;
}
