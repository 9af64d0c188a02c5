/* The quote service's second data source: daily prices from CSV files, one file
 * TICKER.csv per ticker in a folder the user names (--data DIR).
 *
 * A file has the columns Date, Open, High, Low, Close, Volume, in that order when
 * it has no header line; with a header line the columns are found by those names
 * (any letter case, other columns such as "Adj Close" ignored), so exports of
 * most providers are read as they are. Rows may come in any order; dates are
 * "9-Dec-26" or "2026-12-09"; "-" or an empty field is a missing value. Rows
 * without a readable date or close are skipped, and of several rows for one date
 * the first is kept. Only the newest year of rows is kept while reading, so a
 * file of any length needs one fixed record.
 * Pure: no Windows headers (files are read with the C library). */
#ifndef QUOTARION_SERVICE_SVC_CSV_H
#define QUOTARION_SERVICE_SVC_CSV_H

#include <stddef.h>
#include <stdint.h>

#include "service/svc_market.h"

#define SVC_CSV_LINE 512  /* bytes of a line kept; the rest of a longer line is ignored */

/* Reads one file's rows. Zero-filled (or SvcCsvStart) before the first line. */
struct SvcCsvReader {
    int32_t lines;             /* lines seen */
    int32_t columns[6];        /* field index of date, open, high, low, close, volume; -1 absent */
    int headerSeen;
    SvcHistory newest;         /* the newest distinct dates so far, newest first */
};

void SvcCsvStart(SvcCsvReader *reader);

/* One line without its line end (a carriage return at its end is ignored; a
 * byte-order mark before the first line too). Cannot fail: a line that is not
 * a usable row is skipped. */
void SvcCsvAddLine(SvcCsvReader *reader, const char *line, size_t length);

/* The rows of the last year of the file: dates after its newest date minus 365
 * days, newest first. Returns their count (0: the file has no usable row). */
int32_t SvcCsvFinish(SvcCsvReader *reader, SvcHistory *history);

/* Reads a whole text (line feeds, optionally carriage returns) into a history. */
int32_t SvcCsvParseText(const char *text, size_t length, SvcHistory *history);

/* Reads DIR/TICKER.csv, trying the ticker upper-cased first and then as given.
 * Returns 1 with the history filled, or 0 (history empty) when the ticker is not
 * a valid ticker or names a device of Windows (CON, NUL, COM1...), or no such
 * file can be opened, or it has no usable row. dir may end with a slash or not.
 * Blocks while the file is read; any thread. */
int SvcCsvLoad(const char *dir, const char *ticker, SvcHistory *history);

/* The quote of a loaded history: the newest close against the one before (the
 * same close when there is only one row), last trade at 4:00PM New York time of
 * the newest date. history must hold at least one row. */
void SvcCsvQuote(const char *ticker, const SvcHistory *history, SvcQuote *quote);

#endif
