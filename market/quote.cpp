/* The quote refresh cycle; see quote.h.
 *
 * The chain keeps at most one quote connection: the timer thread opens it, the
 * I/O thread serves it and, on its final event, arms the next cycle. Each
 * connection carries its own generation number as userData; the watchdog (timer
 * thread) closes a connection only while it is still the current one, and the
 * final event clears hQuoteConn under the quote lock before the socket layer
 * frees the entry, so the watchdog never touches a dead handle. */
#include "market/quote.h"

#include <windows.h>
#include <string.h>

#include "core/app.h"
#include "market/quote_scan.h"
#include "market/service.h"
#include "stocks/stocks.h"
#include "timer/timer.h"
#include "ui/main_window.h"

char szServiceAddr[SERVICE_ADDR_SIZE];
SockHandle hQuoteConn;
volatile int32_t nQuoteBytes;
volatile long nServiceLookups;

static SRWLOCK serviceAddrLock = SRWLOCK_INIT;
static SRWLOCK quoteLock = SRWLOCK_INIT;  /* guards hQuoteConn against the watchdog */
static volatile long nQuoteGen;           /* generation of the current quote connection */
static char acQuoteBuf[QUOTE_BUFFER_SIZE];  /* I/O thread only */

void ServiceAddrGet(char *out)
{
    AcquireSRWLockExclusive(&serviceAddrLock);
    if (!szServiceAddr[0]) {
        InterlockedIncrement(&nServiceLookups);
        SockResolve(SERVICE_HOST, szServiceAddr);  /* a failure leaves it empty: tried again next time */
    }
    memcpy(out, szServiceAddr, SERVICE_ADDR_SIZE);
    ReleaseSRWLockExclusive(&serviceAddrLock);
}

static void QuoteArmNext(void)
{
    TimerAdd(QUOTE_REFRESH_MS, 0, QuoteRefreshTimer);
}

void QuoteRefreshStart(void)
{
    QuoteArmNext();
}

static void QuoteWatchdog(intptr_t generation)
{
    AcquireSRWLockExclusive(&quoteLock);
    if (generation == nQuoteGen && hQuoteConn)
        SockClose(hQuoteConn);  /* its closed event then arms the next cycle */
    ReleaseSRWLockExclusive(&quoteLock);
}

void QuoteRefreshTimer(intptr_t argument)
{
    (void)argument;
    char address[SERVICE_ADDR_SIZE];
    ServiceAddrGet(address);

    EnterCriticalSection(&csStockList);
    if (!ListFirst(&StockList) || bHiddenInTray) {
        LeaveCriticalSection(&csStockList);
        QuoteArmNext();
        return;
    }
    nQuoteBytes = 0;
    LeaveCriticalSection(&csStockList);

    long generation = InterlockedIncrement(&nQuoteGen);
    int result = SockConnect(generation, address, SERVICE_PORT, QuoteSocketEvent, &hQuoteConn);
    if (result == SOCK_OK || result == SOCK_CONNECT_PENDING || result == SOCK_CONNECT_FAILED) {
        /* A connection exists and will end with exactly one final event. */
        TimerAdd(QUOTE_WATCHDOG_MS, generation, QuoteWatchdog);
    } else if (!bShuttingDown) {
        /* No connection, so no event will ever arm the next cycle: arm it here. */
        QuoteArmNext();
    }
}

/* Sends the whole request text; 1 when every byte went out. A send the socket
 * cannot take now, or takes only in part without taking the rest, counts as a
 * failure: nobody would ever send the remainder, and the service would wait. */
static int QuoteSendRequest(SockHandle conn, const char *text, int32_t length)
{
    int32_t done = 0;
    while (done < length) {
        int32_t sent = 0;
        int result = SockSend(conn, text + done, length - done, &sent);
        if (result != SOCK_OK || sent <= 0)
            return 0;
        done += sent;
    }
    return 1;
}

static void QuoteConnected(void)
{
    EnterCriticalSection(&csStockList);
    int32_t length = (int32_t)strnlen(acQuoteRequest, sizeof acQuoteRequest);
    if (length != 0 && QuoteSendRequest(hQuoteConn, acQuoteRequest, length)) {
        LeaveCriticalSection(&csStockList);
        return;  /* now wait for the answer and for the service to close */
    }
    /* Nothing to ask (the last stock was removed meanwhile) or the send failed:
     * give up on this connection; its closed event arms the next cycle. */
    AcquireSRWLockExclusive(&quoteLock);
    if (hQuoteConn) {
        SockClose(hQuoteConn);
        hQuoteConn = NULL;
    }
    ReleaseSRWLockExclusive(&quoteLock);
    LeaveCriticalSection(&csStockList);
}

static void QuoteApplyRecord(const StockItem *record, void *context)
{
    (void)context;
    StockApplyQuote(record);
}

void QuoteReceive(int32_t length)
{
    if (length <= 0)
        return;
    size_t count = (size_t)nQuoteBytes;
    int state = QuoteGather(acQuoteBuf, sizeof acQuoteBuf, &count, acReceiveBuffer, (size_t)length);
    if (state == QUOTE_GATHER_COMPLETE) {
        size_t complete = count;
        nQuoteBytes = 0;
        QuoteScanAnswer(acQuoteBuf, complete, QuoteApplyRecord, NULL);
        return;
    }
    nQuoteBytes = (int32_t)count;
}

intptr_t QuoteSocketEvent(intptr_t userData, int event, intptr_t info1, intptr_t info2, intptr_t info3)
{
    (void)info2;
    (void)info3;
    switch (event) {
    case SOCK_EV_CONNECTED:
        if (userData == nQuoteGen)
            QuoteConnected();
        break;
    case SOCK_EV_DATA:
        if (userData == nQuoteGen)
            QuoteReceive((int32_t)info1);
        break;
    case SOCK_EV_CLOSED:
    case SOCK_EV_CONNECT_FAILED:
        AcquireSRWLockExclusive(&quoteLock);
        if (userData == nQuoteGen)
            hQuoteConn = NULL;
        ReleaseSRWLockExclusive(&quoteLock);
        QuoteArmNext();
        break;
    }
    return 0;
}
