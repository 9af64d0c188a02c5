/* The one-year history; see history.h.
 *
 * Threads: HistoryRequest and HistoryReset run on the user-interface thread, the
 * socket events on the I/O thread. The history lock guards hHistoryConn,
 * szHistoryTicker and the current generation. A connection's final event clears
 * hHistoryConn under the lock before the socket layer frees the entry, so a
 * thread that finds hHistoryConn set under the lock may still close it. The
 * gathering buffer belongs to the I/O thread; the generation whose answer it
 * holds is noted when that connection comes up, so a connection that never came
 * up can never parse an earlier answer again. */
#include "market/history.h"

#include <commctrl.h>
#include <stdlib.h>
#include <stdio.h>
#include <string.h>

#include "core/app.h"
#include "core/ui_call.h"
#include "market/quote.h"
#include "market/service.h"
#include "stocks/stocks.h"
#include "ui/main_window.h"
#include "ui/resource.h"

char szHistoryTicker[16];
SockHandle hHistoryConn;
char acHistoryBuf[HISTORY_BUFFER_SIZE];
volatile int32_t nHistoryBytes;
HistoryData HistorySeries = {{0}, 0, HISTORY_MAX_VALUES};

static SRWLOCK historyLock = SRWLOCK_INIT;
static volatile long nHistoryGen;  /* generation of the current request; 0 before the first */
static long nGatherGen;            /* I/O thread: generation whose answer acHistoryBuf holds */

/* A parsed answer on its way to the user-interface thread. */
struct HistoryResult {
    long generation;
    HistoryData data;
};

void HistoryRequest(HWND panel)
{
    (void)panel;
    HWND list = StockListView();
    int index = (int)SendMessageA(list, LVM_GETNEXTITEM, (WPARAM)-1, MAKELPARAM(LVNI_FOCUSED, 0));
    if (index < 0)
        return;
    char ticker[16];
    memset(ticker, 0, sizeof ticker);
    LVITEMA cell;
    ZeroMemory(&cell, sizeof cell);
    cell.iSubItem = 0;
    cell.pszText = ticker;
    cell.cchTextMax = (int)sizeof ticker;
    SendMessageA(list, LVM_GETITEMTEXTA, (WPARAM)index, (LPARAM)&cell);

    char address[SERVICE_ADDR_SIZE];
    ServiceAddrGet(address);

    AcquireSRWLockExclusive(&historyLock);
    if (hHistoryConn) {
        SockClose(hHistoryConn);  /* abandoned: its later events are ignored */
        hHistoryConn = NULL;
    }
    long generation = ++nHistoryGen;
    memcpy(szHistoryTicker, ticker, sizeof szHistoryTicker);
    ReleaseSRWLockExclusive(&historyLock);

    /* The socket layer stores the handle before the entry becomes visible to the
     * I/O thread, so every event of this generation finds it set. */
    SockConnect(generation, address, SERVICE_PORT, HistorySocketEvent, &hHistoryConn);
}

static void HistoryConnected(long generation)
{
    AcquireSRWLockExclusive(&historyLock);
    if (generation != nHistoryGen || !hHistoryConn) {
        ReleaseSRWLockExclusive(&historyLock);
        return;  /* abandoned while connecting */
    }
    char request[256];
    snprintf(request, sizeof request, HISTORY_REQUEST_FORMAT, szHistoryTicker);
    memset(acHistoryBuf, 0, sizeof acHistoryBuf);
    nHistoryBytes = 0;
    nGatherGen = generation;
    int32_t sent = 0;
    int result = SockSend(hHistoryConn, request, (int32_t)strlen(request), &sent);
    if (result != SOCK_OK || sent != (int32_t)strlen(request)) {
        /* Nothing (or only part) went out and nobody would send the rest. */
        SockClose(hHistoryConn);
        hHistoryConn = NULL;
        nGatherGen = 0;
    }
    ReleaseSRWLockExclusive(&historyLock);
}

void HistoryReceive(int32_t length)
{
    if (length <= 0)
        return;
    if ((int64_t)nHistoryBytes + length > HISTORY_BUFFER_SIZE) {
        nHistoryBytes = 0;
        memset(acHistoryBuf, 0, sizeof acHistoryBuf);
        return;
    }
    memcpy(acHistoryBuf + nHistoryBytes, acReceiveBuffer, (size_t)length);
    nHistoryBytes += length;
}

/* UI thread: publishes a parsed history whole, unless a newer click or a reset
 * made it stale. */
static void HistoryApply(intptr_t argument)
{
    HistoryResult *result = (HistoryResult *)argument;
    if (result->generation == nHistoryGen) {
        HistorySeries = result->data;
        char text[64];
        FormatPriceLabel(HistorySeries.maxValue, text, sizeof text);
        SetDlgItemTextA(hPanelDlg, IDC_PRICE_TOP, text);
        FormatPriceLabel(HistorySeries.maxValue / 2, text, sizeof text);
        SetDlgItemTextA(hPanelDlg, IDC_PRICE_MIDDLE, text);
        RedrawWindow(hPanelDlg, NULL, NULL, RDW_INVALIDATE | RDW_INTERNALPAINT | RDW_ERASE | RDW_ERASENOW);
    }
    free(result);
}

void HistoryParse(const char *body, int32_t length)
{
    HistoryResult *result = (HistoryResult *)malloc(sizeof *result);
    if (!result)
        return;
    result->generation = nGatherGen;
    HistoryParseBody(body, (size_t)length, &result->data);
    if (!UiCallPost(HistoryApply, (intptr_t)result))
        free(result);
}

void HistoryComplete(void)
{
    if (nHistoryBytes == 0)
        return;
    size_t bodyOffset = 0;
    if (!HistoryFindBody(acHistoryBuf, (size_t)nHistoryBytes, &bodyOffset))
        return;
    HistoryParse(acHistoryBuf + bodyOffset, nHistoryBytes - (int32_t)bodyOffset);
}

intptr_t HistorySocketEvent(intptr_t userData, int event, intptr_t info1, intptr_t info2, intptr_t info3)
{
    (void)info2;
    (void)info3;
    long generation = (long)userData;
    switch (event) {
    case SOCK_EV_CONNECTED:
        HistoryConnected(generation);
        break;
    case SOCK_EV_DATA:
        if (generation == nHistoryGen && generation == nGatherGen)
            HistoryReceive((int32_t)info1);
        break;
    case SOCK_EV_CLOSED:
    case SOCK_EV_CONNECT_FAILED: {
        AcquireSRWLockExclusive(&historyLock);
        int current = generation == nHistoryGen;
        if (current)
            hHistoryConn = NULL;
        ReleaseSRWLockExclusive(&historyLock);
        if (event == SOCK_EV_CLOSED && current && generation == nGatherGen)
            HistoryComplete();
        if (generation == nGatherGen)
            nGatherGen = 0;  /* an answer is parsed at most once */
        break;
    }
    }
    return 0;
}

void HistoryReset(void)
{
    AcquireSRWLockExclusive(&historyLock);
    if (hHistoryConn) {
        SockClose(hHistoryConn);
        hHistoryConn = NULL;
    }
    ++nHistoryGen;  /* whatever is in flight is now stale */
    ReleaseSRWLockExclusive(&historyLock);
    memset(HistorySeries.values, 0, sizeof HistorySeries.values);
    HistorySeries.maxValue = 0;
    HistorySeries.count = HISTORY_MAX_VALUES;
}
