/* The quote service's side of a request: gathering it from a connection and
 * reading its request line.
 *
 * A connection's bytes are fed to SvcGatherFeed as they arrive, in pieces of any
 * size; it keeps the request line (at most 8 KiB) and only counts the header lines
 * after it, so a connection never holds more than one fixed record. The request
 * is complete at the empty line that ends the header; the service then answers
 * and closes, so nothing after it is read as a request.
 *
 * Two requests are served, with any letter case in the tickers:
 *   GET /finance/info?client=ig&q=T1,T2,...,   (trailing comma allowed)
 *   GET /finance/historical?q=T&output=csv
 * Pure: no Windows headers. */
#ifndef QUOTARION_SERVICE_SVC_REQUEST_H
#define QUOTARION_SERVICE_SVC_REQUEST_H

#include <stddef.h>
#include <stdint.h>

#define SVC_MAX_REQUEST_LINE 8192   /* bytes of the request line, its line end not counted */
#define SVC_MAX_HEADER_BYTES 16384  /* bytes of header lines after the request line */
#define SVC_MAX_TICKERS 300         /* tickers of one quote request (the program sends at most 253) */
#define SVC_TICKER_SIZE 16          /* 15 characters and the terminating zero, as the program keeps them */

enum {
    SVC_GATHER_MORE = 0,  /* the request is not complete yet */
    SVC_GATHER_DONE = 1,  /* request line and header are in: answer now */
    SVC_GATHER_BAD = 2    /* request line or header too long: answer 400 now */
};

/* One connection's request being gathered. Zero-filled means empty. */
struct SvcGather {
    char line[SVC_MAX_REQUEST_LINE + 1];  /* request line, no line end; terminated once lineDone */
    uint32_t lineLength;
    uint32_t headerBytes;      /* bytes seen after the request line */
    uint32_t headerLineLength; /* bytes of the header line being read, carriage return not counted */
    int lineDone;
    int state;                 /* SVC_GATHER_*; no more bytes are taken once it is not MORE */
};

/* Feeds count bytes. Returns the new state; once it is DONE or BAD, further calls
 * take nothing and return the same state. *used (may be null) receives how many
 * of the bytes belonged to the request. A request line that is not followed by an
 * HTTP version ("GET /x" alone) ends the request at its line end, since such a
 * client sends no header. Empty lines before the request line are skipped. */
int SvcGatherFeed(SvcGather *gather, const char *bytes, size_t count, size_t *used);

enum { SVC_REQ_NONE = 0, SVC_REQ_QUOTE = 1, SVC_REQ_HISTORY = 2 };

struct SvcRequest {
    int kind;                                          /* SVC_REQ_*; NONE unless status is 200 */
    int status;                                        /* 200, 400 or 404 */
    int tickerCount;                                   /* tickers kept, in the order asked */
    char tickers[SVC_MAX_TICKERS][SVC_TICKER_SIZE];   /* as asked (letter case kept) */
};

/* Reads a request line (without its line end). Returns the status, also stored in
 * the request:
 *   200  a quote request (kind QUOTE) or a history request (kind HISTORY);
 *   404  an unknown path, or a history request for a ticker that cannot exist;
 *   400  anything malformed: not "METHOD TARGET HTTP/1.x", a method other than
 *        GET, a missing q, an output other than csv, more than 300 tickers, a
 *        control byte in the line, a line over 8 KiB.
 * Tickers are taken from q after %XX decoding, split at commas; empty pieces
 * (the trailing comma) are skipped. A ticker is 1 to 15 of the characters
 * A-Z a-z 0-9 . - ^ = _; other pieces are left out of a quote request (it then
 * answers the others) and make a history request 404. Never fails otherwise. */
int SvcParseRequestLine(const char *line, size_t length, SvcRequest *request);

/* 1 when the text is a ticker the service can answer for (see above). */
int SvcTickerIsValid(const char *text, size_t length);

#endif
