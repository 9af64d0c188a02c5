/* Market data of the quote service: the records both data sources fill, and the
 * simulated market that the service answers from by default.
 *
 * The simulated market knows every ticker. Everything it says is a pure
 * function of the ticker (upper-cased, hashed into a seed) and the time, so two
 * requests at the same instant get the same answer, and a day's history never
 * changes once the day is over:
 *  - daily closes follow a random walk in the logarithm of the price, built from
 *    noise at scales of 1 to 2048 days, so any day's close is computed directly
 *    without walking from some first day;
 *  - a day opens near the previous trading day's close and moves to its close
 *    along a Brownian bridge of 15-second steps through the session (9:30AM to
 *    4:00PM New York time); high and low are the extremes of that path;
 *  - during the session the quote is the path's value at the current step, and
 *    today's history row is the session so far, so the newest history close is
 *    always the quote's price and the one before it the quote's previous close.
 * Pure: no Windows headers. */
#ifndef QUOTARION_SERVICE_SVC_MARKET_H
#define QUOTARION_SERVICE_SVC_MARKET_H

#include <stddef.h>
#include <stdint.h>

#include "service/svc_request.h"

#define SVC_MISSING (-1)        /* a price or volume that the data does not have */
#define SVC_HISTORY_DAYS 366    /* rows of a history answer at most: one year of days */
#define SVC_EXCHANGE_SIZE 16
#define SVC_SESSION_STEP 15     /* seconds between two simulated trades */
#define SVC_SESSION_STEPS ((16 * 3600 - (9 * 3600 + 30 * 60)) / SVC_SESSION_STEP)  /* 1560 */

/* One trading day. Prices in cents; open, high, low and volume may be SVC_MISSING
 * (data files may lack them), close never is. */
struct SvcDay {
    int32_t day;     /* day number (days since 1970-01-01) */
    int64_t open;
    int64_t high;
    int64_t low;
    int64_t close;
    int64_t volume;
};

/* Up to one year of days, newest first, each date once. */
struct SvcHistory {
    int32_t count;
    SvcDay days[SVC_HISTORY_DAYS];
};

/* What one quote record says. */
struct SvcQuote {
    char ticker[SVC_TICKER_SIZE];       /* as asked, letter case kept */
    char exchange[SVC_EXCHANGE_SIZE];
    uint32_t id;                        /* the record's "id": a number fixed per ticker */
    int64_t last;                       /* cents */
    int64_t prevClose;                  /* cents: the close of the trading day before the last trade's */
    int32_t tradeDay;                   /* New York day number of the last trade */
    int32_t tradeSecond;                /* its New York time, seconds after midnight */
};

/* 64-bit seed of a ticker: letter case ignored. */
uint64_t SvcTickerSeed(const char *ticker);

/* The number the service gives a ticker as its record's "id" (six digits). */
uint32_t SvcTickerId(const char *ticker);

/* The exchange the service names for a ticker ("NASDAQ", "NYSE", "NYSEARCA",
 * "NYSEMKT"), fixed per ticker. Never null. */
const char *SvcExchangeFor(const char *ticker);

/* Clears a quote and gives it the ticker's identity: the ticker as asked (cut to
 * fit), its exchange and its id. */
void SvcQuoteBegin(const char *ticker, SvcQuote *quote);

/* The newest trading day whose session has begun at utc (the day the quote
 * speaks of), and the number of session steps done on it (SVC_SESSION_STEPS once
 * it closed). */
void SvcMarketDay(int64_t utc, int32_t *day, int32_t *steps);

/* The simulated day of a ticker, the session cut after steps steps (0..1560):
 * open, high and low of the path so far, close = its value at the cut, volume
 * in proportion. Cannot fail. */
void SvcSimDay(const char *ticker, int32_t day, int32_t steps, SvcDay *out);

/* The simulated quote at utc. ticker is copied as given (cut to 15 characters).
 * Cannot fail: every ticker is known. */
void SvcSimQuote(const char *ticker, int64_t utc, SvcQuote *quote);

/* The simulated history at utc: every trading day from one year before the
 * quote's day up to it, newest first, the newest one cut where the quote is.
 * Cannot fail. */
void SvcSimHistory(const char *ticker, int64_t utc, SvcHistory *history);

#endif
