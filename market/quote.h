/* The quote refresh cycle: a chain of one-shot timers. Each cycle opens one
 * connection to the quote service, sends the request for all tickers when it
 * comes up, gathers the answer and applies it record by record as soon as it is
 * complete; the connection's end arms the next cycle 3000 ms later. While the
 * stock list is empty or the window is hidden in the notification area, a cycle
 * only arms the next one.
 *
 * A watchdog closes a quote connection still open 15 s after it was opened, so a
 * service that accepts and never answers cannot stop the refreshing; a connect
 * that fails before any connection exists arms the next cycle itself (except
 * while the program shuts down). */
#ifndef QUOTARION_MARKET_QUOTE_H
#define QUOTARION_MARKET_QUOTE_H

#include <stdint.h>

#include "net/sock.h"

#define QUOTE_REFRESH_MS 3000
#define QUOTE_WATCHDOG_MS 15000
#define SERVICE_ADDR_SIZE 16

/* The service's dotted address: empty until the first successful look-up, then
 * kept for the life of the process; shared with the history. Written under its
 * own lock (ServiceAddrGet), so the timer and UI threads never write it at once. */
extern char szServiceAddr[SERVICE_ADDR_SIZE];
extern SockHandle hQuoteConn;        /* cleared under the quote lock */
extern volatile int32_t nQuoteBytes; /* bytes gathered of the current answer */
extern volatile long nServiceLookups;  /* name look-ups made so far (diagnostics) */

/* Copies the service's address into out, looking the host name up first while
 * it is still unknown. Any thread; blocks while a look-up runs. */
void ServiceAddrGet(char *out);

/* The cycle's TimerCallback (timer thread). */
void QuoteRefreshTimer(intptr_t argument);

/* The quote connection's SockCallback (I/O thread). */
intptr_t QuoteSocketEvent(intptr_t userData, int event, intptr_t info1, intptr_t info2, intptr_t info3);

/* Gathers length bytes from the shared receive buffer; applies the answer when
 * it is complete. I/O thread. */
void QuoteReceive(int32_t length);

/* Arms the first cycle; the main window calls it once after creation. */
void QuoteRefreshStart(void);

#endif
