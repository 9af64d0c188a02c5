/* The monitored stocks in memory; see stocks.h.
 *
 * Three things are kept in step: the rows of table stocks, the records of
 * StockList and the rows of the stock list view. Records are freed only on the
 * user-interface thread, after their row is gone, so a row's item data always
 * points to a live record. Quotes arrive on the I/O thread, which never touches
 * the list view: it posts the row refresh to the UI thread. */
#include "stocks/stocks.h"

#include <commctrl.h>
#include <stdio.h>
#include <string.h>

#include "core/app.h"
#include "core/ui_call.h"
#include "market/history.h"
#include "stocks/store.h"
#include "stocks/store_text.h"
#include "ui/main_window.h"
#include "ui/panel.h"
#include "ui/resource.h"

List StockList;
CRITICAL_SECTION csStockList;
char acQuoteRequest[QUOTE_REQUEST_SIZE];

void StockListInit(void)
{
    InitializeCriticalSection(&csStockList);
}

void StockListDone(void)
{
    DeleteCriticalSection(&csStockList);
}

HWND StockListView(void)
{
    return StockListColumns.listWindow;
}

static void ShowMessage(const char *text)
{
    MessageBoxA(NULL, text, NULL, MB_OK);
}

/* Appends a copy of the record and its row. Caller holds the lock. Null when the
 * copy cannot be allocated. */
static StockItem *AppendStock(const StockItem *item)
{
    ListNode *node = ListAppendCopy(&StockList, item, (int32_t)sizeof *item);
    if (!node)
        return NULL;
    StockItem *record = (StockItem *)node->data;
    record->node = node;
    StockRowInsert(record);
    return record;
}

void StockLoadHandler(StockItem *item)
{
    EnterCriticalSection(&csStockList);
    StockItem *record = AppendStock(item);
    LeaveCriticalSection(&csStockList);
    if (!record)
        return;

    /* Let the user interface breathe: one waiting message of the main window per
     * loaded row, so a long load does not freeze the window. */
    MSG msg;
    if (hMainWnd && PeekMessageA(&msg, hMainWnd, 0, 0, PM_NOREMOVE)) {
        BOOL got = GetMessageA(&msg, NULL, 0, 0);
        if (got == 0) {
            PostQuitMessage((int)msg.wParam);  /* give the quit request back to the message loop */
        } else if (got > 0) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

void StockRowInsert(StockItem *item)
{
    HWND list = StockListView();
    LVITEMA row;
    ZeroMemory(&row, sizeof row);
    row.mask = LVIF_TEXT | LVIF_PARAM;
    row.iItem = 65535;  /* the list view places it after the last row */
    row.pszText = item->ticker;
    row.lParam = (LPARAM)item;
    int index = (int)SendMessageA(list, LVM_INSERTITEMA, 0, (LPARAM)&row);
    if (index < 0)
        return;
    char key[64];
    snprintf(key, sizeof key, "%lld", (long long)item->iKey);
    LVITEMA cell;
    ZeroMemory(&cell, sizeof cell);
    cell.iSubItem = 5;
    cell.pszText = key;
    SendMessageA(list, LVM_SETITEMTEXTA, (WPARAM)index, (LPARAM)&cell);
}

StockItem *StockFind(const char *ticker)
{
    EnterCriticalSection(&csStockList);
    for (ListNode *node = ListFirst(&StockList); node; node = ListNext(node)) {
        StockItem *item = (StockItem *)node->data;
        if (AsciiEqualIgnoreCase(item->ticker, ticker)) {
            LeaveCriticalSection(&csStockList);
            return item;
        }
    }
    LeaveCriticalSection(&csStockList);
    return NULL;
}

void StockAdd(void)
{
    if (DialogBoxParamA(hInst, MAKEINTRESOURCEA(IDD_ADDSTOCK), hMainWnd, AddStockDlgProc, 0) != 1)
        return;

    StockItem item;
    ZeroMemory(&item, sizeof item);
    if (StockFind(szNewTicker))
        return;  /* a duplicate (in any letter case) is dropped without a word */

    /* The dialog refuses such tickers already; this keeps the request line sound
     * whoever calls. */
    if (!TickerIsValid(szNewTicker)) {
        ShowMessage("A ticker may contain only " TICKER_ALLOWED_TEXT ".");
        return;
    }
    /* Refused before anything is stored, so the store never keeps a row the list
     * cannot request. */
    EnterCriticalSection(&csStockList);
    int room = QuoteRequestHasRoom(&StockList, szNewTicker, QUOTE_REQUEST_SIZE);
    LeaveCriticalSection(&csStockList);
    if (!room) {
        ShowMessage("Cannot add another stock: the list is full. Remove a stock first.");
        return;
    }

    CopyTextCut(item.ticker, sizeof item.ticker, szNewTicker);

    char errorText[STORE_ERROR_SIZE] = "";
    if (!StoreInsert(&item, errorText)) {
        char message[256];
        snprintf(message, sizeof message, "Failed to add stock entry to database: %s", errorText);
        ShowMessage(message);
        return;
    }

    EnterCriticalSection(&csStockList);
    StockItem *record = AppendStock(&item);
    LeaveCriticalSection(&csStockList);
    if (!record) {
        /* The stored row stays and comes back at the next start. The message is
         * shown without the lock, so no other thread waits on an open box. */
        ShowMessage("Failed to alloc ram for stock item");
        return;
    }
    QuoteRequestBuild();
}

void StockRemove(void)
{
    HWND list = StockListView();
    if (SendMessageA(list, LVM_GETITEMCOUNT, 0, 0) == 0)
        return;
    /* The focused row, selected or not: after a click it is the clicked row. */
    int index = (int)SendMessageA(list, LVM_GETNEXTITEM, (WPARAM)-1, MAKELPARAM(LVNI_FOCUSED, 0));
    if (index < 0)
        return;
    LVITEMA row;
    ZeroMemory(&row, sizeof row);
    row.mask = LVIF_PARAM;
    row.iItem = index;
    SendMessageA(list, LVM_GETITEMA, 0, (LPARAM)&row);

    EnterCriticalSection(&csStockList);
    StockItem *record = (StockItem *)row.lParam;
    if (!record) {
        LeaveCriticalSection(&csStockList);
        return;
    }
    char errorText[STORE_ERROR_SIZE];
    if (!StoreDelete(record, errorText)) {
        LeaveCriticalSection(&csStockList);
        return;
    }
    SendMessageA(list, LVM_DELETEITEM, (WPARAM)index, 0);
    ListRemove(&StockList, record->node);
    LeaveCriticalSection(&csStockList);

    HistoryReset();
    QuoteRequestBuild();
    RedrawWindow(hPanelDlg, NULL, NULL, RDW_INVALIDATE | RDW_INTERNALPAINT | RDW_ERASE | RDW_ERASENOW);
}

void QuoteRequestBuild(void)
{
    EnterCriticalSection(&csStockList);
    QuoteRequestFormat(acQuoteRequest, sizeof acQuoteRequest, &StockList);
    LeaveCriticalSection(&csStockList);
}

/* Set while a refresh of the rows is queued for the UI thread: however many
 * quotes arrive meanwhile, one queued refresh shows them all. */
static volatile long bRowsRefreshPending;

/* Copies the four quote texts of a live record into cells of its row, touching
 * only cells whose text changed (no flicker). UI thread. */
static void SetRowTexts(HWND list, int index, StockItem *item)
{
    char texts[4][QUOTE_TEXT_SIZE];
    EnterCriticalSection(&csStockList);
    memcpy(texts[0], item->exchange, QUOTE_TEXT_SIZE);
    memcpy(texts[1], item->price, QUOTE_TEXT_SIZE);
    memcpy(texts[2], item->change, QUOTE_TEXT_SIZE);
    memcpy(texts[3], item->lastTx, QUOTE_TEXT_SIZE);
    LeaveCriticalSection(&csStockList);
    for (int i = 0; i < 4; i++) {
        char shown[QUOTE_TEXT_SIZE] = "";
        LVITEMA cell;
        ZeroMemory(&cell, sizeof cell);
        cell.iSubItem = i + 1;
        cell.pszText = shown;
        cell.cchTextMax = (int)sizeof shown;
        SendMessageA(list, LVM_GETITEMTEXTA, (WPARAM)index, (LPARAM)&cell);
        if (strcmp(shown, texts[i]) == 0)
            continue;
        cell.pszText = texts[i];
        SendMessageA(list, LVM_SETITEMTEXTA, (WPARAM)index, (LPARAM)&cell);
    }
}

/* UI thread: the posted half of StockApplyQuote, refreshing every row from the
 * record it carries (records are freed only on this thread, after their row). */
static void StockRowsRefreshCall(intptr_t argument)
{
    (void)argument;
    InterlockedExchange(&bRowsRefreshPending, 0);
    HWND list = StockListView();
    int rows = (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
    for (int index = 0; index < rows; index++) {
        LVITEMA row;
        ZeroMemory(&row, sizeof row);
        row.mask = LVIF_PARAM;
        row.iItem = index;
        SendMessageA(list, LVM_GETITEMA, 0, (LPARAM)&row);
        if (row.lParam)
            StockRowRefresh((StockItem *)row.lParam);
    }
}

void StockApplyQuote(const StockItem *parsed)
{
    EnterCriticalSection(&csStockList);
    StockItem *found = StockFind(parsed->ticker);
    if (!found) {
        LeaveCriticalSection(&csStockList);
        return;
    }
    memcpy(found->exchange, parsed->exchange, sizeof found->exchange);
    memcpy(found->price, parsed->price, sizeof found->price);
    memcpy(found->change, parsed->change, sizeof found->change);
    memcpy(found->lastTx, parsed->lastTx, sizeof found->lastTx);
    memcpy(found->ccol, parsed->ccol, sizeof found->ccol);
    LeaveCriticalSection(&csStockList);
    /* The list view belongs to the UI thread: the refresh is queued there, once
     * for any number of quotes applied meanwhile. */
    if (InterlockedExchange(&bRowsRefreshPending, 1) == 0 && !UiCallPost(StockRowsRefreshCall, 0))
        InterlockedExchange(&bRowsRefreshPending, 0);
}

/* 1 when the record is one of StockList's. Caller holds the lock. */
static int StockIsListed(const StockItem *item)
{
    for (ListNode *node = ListFirst(&StockList); node; node = ListNext(node)) {
        if ((const StockItem *)node->data == item)
            return 1;
    }
    return 0;
}

void StockRowRefresh(StockItem *item)
{
    EnterCriticalSection(&csStockList);
    int listed = StockIsListed(item);
    LeaveCriticalSection(&csStockList);
    if (!listed)
        return;
    HWND list = StockListView();
    LVFINDINFOA find;
    ZeroMemory(&find, sizeof find);
    find.flags = LVFI_PARAM;
    find.lParam = (LPARAM)item;
    int index = (int)SendMessageA(list, LVM_FINDITEMA, (WPARAM)-1, (LPARAM)&find);
    if (index >= 0)
        SetRowTexts(list, index, item);
}
