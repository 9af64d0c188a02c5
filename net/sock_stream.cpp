/* Outgoing TCP connections of the socket layer: SockConnect, SockSend, SockClose and
 * the three setters. Everything after the connect is started happens on the I/O
 * thread, which reports to the owner's callback.
 *
 * The connect is started before the entry joins StreamList, so the I/O thread never
 * watches a socket that is not yet connecting, and the owner's handle is stored
 * before any event for it can arrive. */
#include "net/sock_internal.h"

#include <string.h>

static int OpenConnection(intptr_t userData, const char *address, uint16_t port, SockCallback callback,
                          SockHandle *handle)
{
    if (!handle || !callback || !address)
        return SOCK_INVALID_PARAM;

    struct sockaddr_in addr;
    SOCKET s = SockOpenTcp(address, port, &addr);
    if (s == INVALID_SOCKET)
        return SOCK_NO_SOCKET;
    int result = SockStartConnect(s, &addr);

    SockEntry sk;
    SockEntryInit(&sk, s, userData, callback);
    if (result == SOCK_CONNECT_FAILED)
        sk.closeRequested = 1; /* not connecting: ends with event 1 two passes later */
    else
        sk.connectPending = 1;
    if (!SockAppendStream(&sk, handle)) {
        sSockSys.CloseSocket(s);
        return SOCK_NO_MEMORY;
    }
    return result;
}

int SockConnect(intptr_t userData, const char *address, uint16_t port, SockCallback callback,
                SockHandle *handle)
{
    if (!SockEnter())
        return SOCK_NOT_STARTED;
    int result = OpenConnection(userData, address, port, callback, handle);
    SockLeave();
    return result;
}

int SockSend(SockHandle handle, const void *bytes, int32_t length, int32_t *sent)
{
    if (!SockEnter())
        return SOCK_NOT_STARTED;
    int result;
    if (!handle || !sent) {
        result = SOCK_INVALID_PARAM;
    } else if (handle->sslActive) {
        result = SslSend(handle, bytes, length, sent);
    } else if (!bytes || length <= 0) {
        result = SOCK_INVALID_PARAM;
    } else {
        int n = sSockSys.Send(handle->sock, (const char *)bytes, length, 0);
        if (n == SOCKET_ERROR) {
            *sent = 0;
            result = WSAGetLastError() == WSAEWOULDBLOCK ? SOCK_WOULD_BLOCK : SOCK_ERR_SYSTEM;
        } else {
            *sent = n;
            result = SOCK_OK;
        }
    }
    SockLeave();
    return result;
}

int SockClose(SockHandle handle)
{
    if (!SockEnter())
        return SOCK_NOT_STARTED;
    int result = SOCK_INVALID_PARAM;
    if (handle) {
        handle->closeRequested = 1;
        result = SOCK_OK;
    }
    SockLeave();
    return result;
}

int SockSetUserData(SockHandle handle, intptr_t userData)
{
    if (!SockEnter())
        return SOCK_NOT_STARTED;
    int result = SOCK_INVALID_PARAM;
    if (handle) {
        handle->userData = userData;
        result = SOCK_OK;
    }
    SockLeave();
    return result;
}

int SockSetRecvSize(SockHandle handle, int32_t size)
{
    if (!SockEnter())
        return SOCK_NOT_STARTED;
    int result = SOCK_INVALID_PARAM;
    /* A negative size would make every read fail and end the connection. */
    if (handle && size >= 0) {
        handle->recvSize = size ? size : SOCK_DEFAULT_RECV_SIZE;
        result = SOCK_OK;
    }
    SockLeave();
    return result;
}

int SockEnableRecv(SockHandle handle, int enable)
{
    if (!SockEnter())
        return SOCK_NOT_STARTED;
    int result = SOCK_INVALID_PARAM;
    if (handle) {
        handle->recvPaused = enable ? 0 : 1;
        result = SOCK_OK;
    }
    SockLeave();
    return result;
}
