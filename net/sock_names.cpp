/* Name and address helpers of the socket layer: turning a host name into dotted
 * text, the local host name, and dotted text into a 32-bit address. The layer
 * connects only to dotted addresses, so owners resolve once and keep the text.
 * The dotted-text test and the formatting live in addr_text.cpp (pure). */
#include "net/sock_internal.h"

#include <string.h>

static int Resolve(const char *name, char *dotted)
{
    if (!dotted || !name || !name[0])
        return SOCK_INVALID_PARAM;
    if (SockIsDottedQuad(name)) {
        dotted[0] = '\0';
        strcpy(dotted, name); /* at most 15 characters */
        return SOCK_OK;
    }
    struct hostent *host = gethostbyname(name);
    if (!host || host->h_addrtype != AF_INET || host->h_length != 4 || !host->h_addr_list ||
        !host->h_addr_list[0])
        return SOCK_ERR_SYSTEM; /* the buffer stays untouched */
    struct in_addr first;
    memcpy(&first, host->h_addr_list[0], sizeof first);
    SockAddrToText(first.s_addr, dotted);
    return SOCK_OK;
}

int SockResolve(const char *name, char *dotted)
{
    if (!SockEnter())
        return SOCK_NOT_STARTED;
    int result = Resolve(name, dotted);
    SockLeave();
    return result;
}

int SockGetHostName(char *buffer, int size)
{
    if (!SockEnter())
        return SOCK_NOT_STARTED;
    int result;
    if (!buffer || size <= 0)
        result = SOCK_INVALID_PARAM;
    else
        result = gethostname(buffer, size) == 0 ? SOCK_OK : SOCK_ERR_SYSTEM;
    SockLeave();
    return result;
}

uint32_t SockAddrFromText(const char *dotted)
{
    if (!dotted)
        return INADDR_NONE;
    return inet_addr(dotted);
}
