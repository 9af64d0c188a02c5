/* Text helpers of the stock store: statement formatting and row reading.
 * Pure: no Windows headers, no SQLite. */
#ifndef QUOTARION_STOCKS_STORE_TEXT_H
#define QUOTARION_STOCKS_STORE_TEXT_H

#include <stddef.h>

#include "stocks/stock_item.h"

#define STORE_STATEMENT_SIZE 2048

/* Copies source with its terminating zero when it is shorter than capacity and
 * returns 1; otherwise copies nothing and returns 0. */
int CopyIfFits(const char *source, char *destination, int capacity);

/* 1 when both texts are equal but for the case of ASCII letters (whatever the
 * C locale says), else 0. */
int AsciiEqualIgnoreCase(const char *a, const char *b);

/* Copies text into a buffer of size bytes, cut to fit, always terminated. */
void CopyTextCut(char *destination, size_t size, const char *text);

/* Formats the insert statement for a ticker. Every single quote of the ticker is
 * doubled, so the ticker is stored literally and can never end the SQL string.
 * Returns 0 (and writes an empty text) when the statement would not fit. */
int StoreFormatInsert(char *out, size_t size, const char *ticker);

/* Fills a zeroed record from one row: column "iKey" (any case) as a signed
 * decimal, column "ticker" (any case) when it fits 15 characters; a ticker that
 * does not fit stops the reading and leaves the ticker empty. NULL values (rows
 * written by another program) read as 0 and empty; other columns are ignored. */
void StoreFillItem(int count, char **values, char **names, StockItem *item);

#endif
