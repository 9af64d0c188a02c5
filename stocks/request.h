/* The quote request text and what a ticker may hold.
 * Pure: no Windows headers. */
#ifndef QUOTARION_STOCKS_REQUEST_H
#define QUOTARION_STOCKS_REQUEST_H

#include <stddef.h>

#include "core/list.h"

#define QUOTE_REQUEST_SIZE 4096

/* What the add-stock dialog tells the user a ticker may hold. */
#define TICKER_ALLOWED_TEXT "letters, digits and . - ^ = _ :"

/* 1 when every character is a letter, a digit or one of . - ^ = _ : (what real
 * tickers use: BRK.B, ^GSPC, EURUSD=X, NASDAQ:GOOG); the empty ticker is allowed.
 * Anything else (a space, a control character, ? & # % / + ...) would break the
 * request line, so it is refused at input. */
int TickerIsValid(const char *ticker);

/* Writes the quote request for the StockItem records of the list into out:
 * QUOTE_REQUEST_PREFIX, every ticker followed by a comma, QUOTE_REQUEST_SUFFIX;
 * an empty text (all size bytes zero) for an empty list. Tickers that are not
 * valid (only another program can store one) are left out, and so are tickers
 * that no longer fit: nothing is ever written past size bytes. Returns the
 * number of tickers requested. */
int QuoteRequestFormat(char *out, size_t size, List *stocks);

/* 1 when the request for the list plus one more ticker still fits size bytes. */
int QuoteRequestHasRoom(List *stocks, const char *ticker, size_t size);

#endif
