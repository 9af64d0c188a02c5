/* Gathering and scanning of the quote service's answer, as pure functions over
 * bytes (no Windows headers), so they build natively for tests and fuzzing.
 *
 * The answer is not read as JSON: it is scanned line by line from the start
 * marker "// [\n{", and only lines beginning with one of six exact key prefixes
 * (",\"t\" : \"" and so on, each ending with the value's opening quote) carry
 * values. An answer counts as complete once its last four bytes are "}\n]\n". */
#ifndef QUOTARION_MARKET_QUOTE_SCAN_H
#define QUOTARION_MARKET_QUOTE_SCAN_H

#include <stddef.h>

#include "stocks/stock_item.h"

/* The gathering buffer holds the largest answer the request can ask for: 253
 * tickers (a full 4096-byte request), each record up to 1 KiB. */
#define QUOTE_BUFFER_SIZE (256 * 1024)

/* One line of the answer, its line feed and the terminating zero. A longer line
 * is cut: only its first QUOTE_LINE_SIZE - 1 bytes are looked at. */
#define QUOTE_LINE_SIZE 512

enum { QUOTE_GATHER_PENDING = 0, QUOTE_GATHER_COMPLETE = 1, QUOTE_GATHER_DROPPED = 2 };

/* Appends one received block to the answer gathered in buffer[0..*count).
 * DROPPED: the block does not fit; *count is set to 0, so the block and all
 * gathered before it are gone. COMPLETE: more than 4 bytes are gathered and the
 * last four are "}\n]\n"; the caller scans buffer[0..*count) and then sets *count
 * to 0. PENDING: wait for more. Needs *count <= capacity. Any thread, on its own
 * buffer. */
int QuoteGather(char *buffer, size_t capacity, size_t *count, const char *bytes, size_t length);

/* Receives every record of an answer that has a ticker, in answer order. The
 * record is the scanner's own: copy what is needed before returning. */
typedef void (*QuoteRecordSink)(const StockItem *record, void *context);

/* Scans an answer from its first start marker "// [\n{". Returns -1 when there is
 * none (nothing handed to the sink), else the number of records handed to the
 * sink. A record is handed over at its closing "}" line, only when it has a
 * ticker; its other fields are the values found (zero when absent, too long, or
 * without a closing quote on their line). Bytes after the last line feed form no
 * line. A null sink only counts. Any thread; no allocation, no state kept
 * between calls. */
int QuoteScanAnswer(const char *bytes, size_t length, QuoteRecordSink sink, void *context);

/* Copies the value that starts at valueStart (inside a zero-terminated line) up
 * to the next double quote into field, with a terminating zero, when it is
 * shorter than size. Without a closing quote, or when the value would not fit,
 * the field is left as it was. */
void QuoteCopyValue(char *field, int size, const char *valueStart);

#endif
