/* The pure part of the one-year history: finding the CSV body of the answer,
 * turning its closing prices into a series of fixed-point values, reading one
 * price text, and writing a price label. No Windows headers.
 *
 * Prices are signed 64-bit integers in hundredths; no floating point is used. The
 * service lists the newest day first, so the first 366 data lines are the latest
 * year; the series holds them oldest first (index 0 = last kept line). */
#ifndef QUOTARION_MARKET_HISTORY_PARSE_H
#define QUOTARION_MARKET_HISTORY_PARSE_H

#include <stddef.h>
#include <stdint.h>

#define HISTORY_MAX_VALUES 366
/* One CSV line with its line feed and the terminating zero; a longer line is cut
 * to its first HISTORY_LINE_SIZE - 1 bytes. */
#define HISTORY_LINE_SIZE 512
/* A price text with its terminating zero; a longer fifth field adds no value. */
#define HISTORY_PRICE_TEXT_SIZE 40
/* Largest whole part a price may have; larger ones are clamped to it. Keeps every
 * value below 10^14 hundredths, so value * 100 (the chart's percentage) stays far
 * inside 64 bits. */
#define HISTORY_PRICE_WHOLE_MAX 999999999999LL

struct HistoryData {
    int64_t values[HISTORY_MAX_VALUES];  /* hundredths; index 0 = last kept data line */
    int64_t maxValue;                    /* largest of the values, never below 0 */
    int32_t count;                       /* valid values, 0..366 */
};

/* 1 and *bodyOffset just after the first "\r\n\r\n" of the answer; 0 (and
 * *bodyOffset untouched) when there is none. */
int HistoryFindBody(const char *answer, size_t length, size_t *bodyOffset);

/* Parses a CSV body into *out, which is overwritten whole (values past count are
 * zero). Line 0 (the header) is skipped; every later line ending in a line feed
 * with at least five commas gives the value of its fifth field; a fifth field of
 * 40 or more characters gives none. Only the first 366 such lines are kept and
 * maxValue is taken over them. Bytes after the last line feed are ignored. Cannot
 * fail; no allocation; any thread. */
void HistoryParseBody(const char *body, size_t length, HistoryData *out);

/* Reads a price text: blanks, an optional sign, whole digits, then after the
 * first point up to two fraction digits (one digit means tenths, more are cut).
 * whole * 100 + fraction is the price in hundredths; fraction carries the text's
 * sign ("-0.50" gives 0 and -50). "12" is 12.00; null or a text without digits
 * gives 0 and 0. Whole parts beyond HISTORY_PRICE_WHOLE_MAX are clamped. */
void ParsePrice(const char *text, int64_t *whole, int32_t *fraction);

/* Writes a value in hundredths with two decimals ("12.05", "0.00", "-1.25") into
 * out, cut to size - 1 characters and zero-terminated when size > 0. */
void FormatPriceLabel(int64_t cents, char *out, size_t size);

#endif
