/* The stock store: the user's tickers in table stocks of a SQLite 3 database.
 *
 * SQLite is bound when the store opens, not when the program is built:
 * "sqlite3.dll" is loaded by name and five entry points are looked up. One
 * library and one connection, module-wide. No lock: user-interface thread only.
 * Operations that return int give 1 on success and 0 on failure; on failure they
 * write one zero-terminated message into the caller's 128-byte error text (cut to
 * fit) and leave everything else unchanged, unless said otherwise. */
#ifndef QUOTARION_STOCKS_STORE_H
#define QUOTARION_STOCKS_STORE_H

#include "stocks/stock_item.h"

#define STORE_ERROR_SIZE 128

/* Receives each stored row as a temporary record; copies what it keeps. */
typedef void (*StoreRowHandler)(StockItem *item);

/* Loads the library, opens or creates the database, creates table stocks if
 * missing. On failure the store stays closed. */
int StoreOpen(const char *fileName, char *errorText);

/* Closes the connection and unloads the library; harmless when closed. */
void StoreClose(void);

/* Adds a row for item->ticker (stored literally, quotes included) and writes the
 * new key into item->iKey. On failure the item is unchanged. */
int StoreInsert(StockItem *item, char *errorText);

/* Deletes the row whose key is item->iKey; a key without a row still succeeds. */
int StoreDelete(const StockItem *item, char *errorText);

/* Calls the handler once per row, in SQLite's order, before it returns. Rows
 * handed on before a failure stay handed on. */
int StoreLoadAll(StoreRowHandler handler, char *errorText);

#endif
