/* The monitored stocks in memory, kept in step with the store and the list view.
 *
 * StockList holds copies of StockItem records (each knows its own node); every
 * row of the stock list view carries its record's address as item data. The
 * stock list lock guards the list, every field of every record in it and the
 * quote request text; it is re-entrant and is taken before any lock of the
 * socket layer, never after one.
 *
 * Quotes arrive on the socket layer's I/O thread: StockApplyQuote copies them
 * into the record under the lock and queues one refresh of the rows on the
 * user-interface thread (one for any number of quotes arriving meanwhile). That
 * thread walks the rows, whose item data are live records (records are freed
 * only there, after their row), so a stock removed meanwhile is never read or
 * written and no row ever shows another stock's quote. */
#ifndef QUOTARION_STOCKS_STOCKS_H
#define QUOTARION_STOCKS_STOCKS_H

#include <windows.h>

#include "core/list.h"
#include "stocks/request.h"
#include "stocks/stock_item.h"


extern List StockList;               /* guarded by csStockList */
extern CRITICAL_SECTION csStockList;
extern char acQuoteRequest[QUOTE_REQUEST_SIZE];  /* guarded by csStockList */

/* Start-up and shutdown (main thread): the stock list lock. */
void StockListInit(void);
void StockListDone(void);

/* The stock list view (the panel's list; a test's list view in tests). */
HWND StockListView(void);

/* The store's row handler while the panel loads: appends a copy and its row, then
 * lets one waiting message of the main window through. UI thread. */
void StockLoadHandler(StockItem *item);

/* Appends the record's row (ticker, item data, key in column RowId). UI thread,
 * under the lock. */
void StockRowInsert(StockItem *item);

/* First record whose ticker equals the text ignoring ASCII case, or null. Takes
 * and releases the lock; a caller that keeps using the record holds it itself. */
StockItem *StockFind(const char *ticker);

/* The add-stock command: dialog, duplicate test, store, list, row, request text. */
void StockAdd(void);

/* The remove-stock command for the focused row: store, row, record, history
 * reset, request text, panel repaint. */
void StockRemove(void);

/* Rebuilds acQuoteRequest from StockList (empty when the list is empty). */
void QuoteRequestBuild(void);

/* Copies a parsed quote into the first record with its ticker (any case) and has
 * its row refreshed on the user-interface thread. Any thread. */
void StockApplyQuote(const StockItem *parsed);

/* Sets the row's Exchange, Price, Change and Last Tx cells from the record.
 * UI thread; a record that is no longer in StockList is ignored. */
void StockRowRefresh(StockItem *item);

#endif
