/* The one-year history of the clicked stock: one HTTP/1.0 connection per click,
 * the CSV answer's closing prices turned into HistorySeries, the top and middle
 * price labels, and a repaint of the panel so the chart draws it.
 *
 * Every request carries its own generation number as the connection's userData;
 * events of any other generation (an abandoned connection) are ignored, so a
 * late event can neither clear the current connection nor parse a stale answer.
 * The answer is parsed on the I/O thread into a private copy and handed whole to
 * the user-interface thread by a posted message: the chart's paint never sees a
 * half-filled series. HistorySeries is written and read on the UI thread only. */
#ifndef QUOTARION_MARKET_HISTORY_H
#define QUOTARION_MARKET_HISTORY_H

#include <windows.h>
#include <stdint.h>

#include "market/history_parse.h"
#include "net/sock.h"

#define HISTORY_BUFFER_SIZE 32000

extern char szHistoryTicker[16];
extern SockHandle hHistoryConn;          /* guarded by the history lock */
extern char acHistoryBuf[HISTORY_BUFFER_SIZE];  /* I/O thread */
extern volatile int32_t nHistoryBytes;   /* I/O thread; reset by HistoryReset */
extern HistoryData HistorySeries;        /* UI thread only */

/* Fetches the history of the focused row of the stock list view; nothing when no
 * row has the focus. Abandons the previous request. UI thread. */
void HistoryRequest(HWND panel);

/* The history connection's SockCallback. I/O thread. */
intptr_t HistorySocketEvent(intptr_t userData, int event, intptr_t info1, intptr_t info2, intptr_t info3);

void HistoryReceive(int32_t length);
void HistoryComplete(void);
void HistoryParse(const char *body, int32_t length);

/* Back to the start state whichever stock was shown: closes the connection,
 * forgets any answer in flight, empties the series (count 366, maxValue 0).
 * Leaves the labels' texts. UI thread. */
void HistoryReset(void);

#endif
