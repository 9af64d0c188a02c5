/* The quote service's answers: the HTTP/1.0 header, the quote body in the legacy
 * line layout, the history CSV, and the short error answers.
 *
 * The quote body is what the program's line scanner relies on: a line "// [",
 * one record per ticker between a line "{" (",{" after the first) and a line
 * "}", one key per line written ,"key" : "value" (the first without the comma),
 * and the last bytes "}\n]\n". The history body is CSV with line feeds: the
 * header "Date,Open,High,Low,Close,Volume", then one row per day, newest first,
 * prices with two decimals; a history answer never exceeds 32000 bytes, the
 * program's buffer, so the oldest rows are left out if it would.
 * Every answer says Content-Length and is followed by the close of the
 * connection. Pure: no Windows headers. */
#ifndef QUOTARION_SERVICE_SVC_ANSWER_H
#define QUOTARION_SERVICE_SVC_ANSWER_H

#include <stddef.h>
#include <stdint.h>

#include "service/svc_market.h"
#include "service/svc_request.h"
#include "service/svc_text.h"

#define SVC_QUOTE_RECORD_MAX 1024       /* bytes of one record at most */
#define SVC_HISTORY_ANSWER_MAX 32000    /* bytes of a whole history answer at most */
#define SVC_HEADER_MAX 192              /* bytes of an answer's header at most */

/* Where answers come from: the simulated market, or CSV files in dataDir. */
struct SvcSource {
    const char *dataDir;  /* null: simulated market; set once before serving starts */
};

/* One answer, ready to send. bytes is the caller's to free with SvcAnswerFree. */
struct SvcAnswer {
    char *bytes;
    size_t length;
    int status;  /* 200, 400 or 404 */
};

/* The quote of one ticker from the source; 0 when the source does not know it
 * (a ticker without a data file). Any thread. */
int SvcSourceQuote(const SvcSource *source, const char *ticker, int64_t utc, SvcQuote *quote);

/* The history of one ticker from the source; 0 when unknown. Any thread. */
int SvcSourceHistory(const SvcSource *source, const char *ticker, int64_t utc, SvcHistory *history);

/* Appends one record; first says whether it opens the list (no leading comma). */
void SvcFormatQuoteRecord(const SvcQuote *quote, int first, SvcText *text);

/* The whole quote body for count records (count may be 0: "// [\n]\n"). */
void SvcFormatQuoteBody(const SvcQuote *quotes, int count, SvcText *text);

/* The history CSV; rows that would take the body past maxBytes are left out
 * (oldest first, since rows are newest first). */
void SvcFormatHistoryBody(const SvcHistory *history, size_t maxBytes, SvcText *text);

/* "HTTP/1.0 200 OK\r\n" ... "\r\n\r\n" for a body of bodyLength bytes. */
void SvcFormatHeader(int status, const char *contentType, size_t bodyLength, SvcText *text);

/* Builds the whole answer to a parsed request (a 400 or 404 request gets its
 * error answer). Returns 1, or 0 when memory ran out (answer->bytes null).
 * Reads data files when the source has a folder. Any thread. */
int SvcBuildAnswer(const SvcSource *source, const SvcRequest *request, int64_t utc, SvcAnswer *answer);

/* The short error answer for 400 or 404. Returns 1, or 0 without memory. */
int SvcBuildError(int status, SvcAnswer *answer);

/* Frees the bytes (null allowed) and clears the record. */
void SvcAnswerFree(SvcAnswer *answer);

#endif
