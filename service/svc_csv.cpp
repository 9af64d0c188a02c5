/* Daily prices from CSV files; see svc_csv.h. */
#include "service/svc_csv.h"

#include "service/svc_text.h"
#include "service/svc_time.h"

#include <stdio.h>
#include <string.h>

#define MAX_FIELDS 16

enum { COL_DATE, COL_OPEN, COL_HIGH, COL_LOW, COL_CLOSE, COL_VOLUME };

static const char *const kColumnNames[6] = {"Date", "Open", "High", "Low", "Close", "Volume"};

struct Field {
    const char *text;
    size_t length;
};

void SvcCsvStart(SvcCsvReader *reader)
{
    memset(reader, 0, sizeof *reader);
    for (int i = 0; i < 6; i++)
        reader->columns[i] = i;
}

/* Splits at commas, each field trimmed of blanks and of one pair of double quotes. */
static int SplitFields(const char *line, size_t length, Field *fields)
{
    int n = 0;
    size_t pos = 0;
    for (;;) {
        size_t end = pos;
        while (end < length && line[end] != ',')
            end++;
        if (n < MAX_FIELDS) {
            const char *t = line + pos;
            size_t l = end - pos;
            while (l > 0 && (*t == ' ' || *t == '\t')) {
                t++;
                l--;
            }
            while (l > 0 && (t[l - 1] == ' ' || t[l - 1] == '\t'))
                l--;
            if (l >= 2 && t[0] == '"' && t[l - 1] == '"') {
                t++;
                l -= 2;
            }
            fields[n].text = t;
            fields[n].length = l;
            n++;
        }
        if (end >= length)
            break;
        pos = end + 1;
    }
    return n;
}

static int NameIs(const Field *field, const char *name)
{
    size_t n = strlen(name);
    if (field->length != n)
        return 0;
    for (size_t i = 0; i < n; i++) {
        if (SvcUpper(field->text[i]) != SvcUpper(name[i]))
            return 0;
    }
    return 1;
}

/* A header line names at least the date and the close column. */
static int TakeHeader(SvcCsvReader *reader, const Field *fields, int count)
{
    int32_t columns[6];
    for (int c = 0; c < 6; c++) {
        columns[c] = -1;
        for (int i = 0; i < count; i++) {
            if (NameIs(&fields[i], kColumnNames[c])) {
                columns[c] = i;
                break;
            }
        }
    }
    if (columns[COL_DATE] < 0 || columns[COL_CLOSE] < 0)
        return 0;
    memcpy(reader->columns, columns, sizeof columns);
    reader->headerSeen = 1;
    return 1;
}

/* A price or volume field; missing ("-", empty, absent column, unreadable) gives SVC_MISSING. */
static int64_t Value(const Field *fields, int count, int32_t column, int isPrice)
{
    int64_t v;
    if (column < 0 || column >= count)
        return SVC_MISSING;
    if (isPrice ? SvcParseCents(fields[column].text, fields[column].length, 0, &v)
                : SvcParseCount(fields[column].text, fields[column].length, &v))
        return v;
    return SVC_MISSING;
}

static void Keep(SvcHistory *newest, const SvcDay *row)
{
    int32_t pos = 0;
    while (pos < newest->count && newest->days[pos].day > row->day)
        pos++;
    if (pos < newest->count && newest->days[pos].day == row->day)
        return;  /* the first row of a date wins */
    if (pos >= SVC_HISTORY_DAYS)
        return;  /* older than the newest year's worth of dates */
    int32_t moved = newest->count - pos;
    if (newest->count == SVC_HISTORY_DAYS)
        moved--;
    if (moved > 0)
        memmove(&newest->days[pos + 1], &newest->days[pos], (size_t)moved * sizeof(SvcDay));
    newest->days[pos] = *row;
    if (newest->count < SVC_HISTORY_DAYS)
        newest->count++;
}

void SvcCsvAddLine(SvcCsvReader *reader, const char *line, size_t length)
{
    Field fields[MAX_FIELDS];
    int count;
    SvcDay row;
    int32_t dateColumn = reader->columns[COL_DATE];
    if (reader->lines++ == 0 && length >= 3 && memcmp(line, "\xEF\xBB\xBF", 3) == 0) {
        line += 3;
        length -= 3;
    }
    if (length > 0 && line[length - 1] == '\r')
        length--;
    count = SplitFields(line, length, fields);
    if (dateColumn >= count || !SvcParseDate(fields[dateColumn].text, fields[dateColumn].length, &row.day)) {
        if (!reader->headerSeen && reader->newest.count == 0)
            TakeHeader(reader, fields, count);
        return;
    }
    row.close = Value(fields, count, reader->columns[COL_CLOSE], 1);
    if (row.close == SVC_MISSING)
        return;
    row.open = Value(fields, count, reader->columns[COL_OPEN], 1);
    row.high = Value(fields, count, reader->columns[COL_HIGH], 1);
    row.low = Value(fields, count, reader->columns[COL_LOW], 1);
    row.volume = Value(fields, count, reader->columns[COL_VOLUME], 0);
    Keep(&reader->newest, &row);
}

int32_t SvcCsvFinish(SvcCsvReader *reader, SvcHistory *history)
{
    int32_t n = 0;
    if (reader->newest.count > 0) {
        int32_t oldest = reader->newest.days[0].day - 365;
        while (n < reader->newest.count && reader->newest.days[n].day > oldest)
            n++;
    }
    if (history != &reader->newest)
        memcpy(history->days, reader->newest.days, (size_t)n * sizeof(SvcDay));
    history->count = n;
    return n;
}

int32_t SvcCsvParseText(const char *text, size_t length, SvcHistory *history)
{
    SvcCsvReader reader;
    size_t start = 0;
    SvcCsvStart(&reader);
    for (size_t i = 0; i <= length; i++) {
        if (i == length || text[i] == '\n') {
            if (i > start || i < length)
                SvcCsvAddLine(&reader, text + start, i - start);
            start = i + 1;
        }
    }
    return SvcCsvFinish(&reader, history);
}

static int IsDeviceName(const char *ticker)
{
    static const char *const kDevices[] = {"CON", "PRN", "AUX", "NUL"};
    char base[SVC_TICKER_SIZE];
    size_t n = 0;
    while (ticker[n] && ticker[n] != '.' && n < sizeof base - 1) {
        base[n] = SvcUpper(ticker[n]);
        n++;
    }
    base[n] = '\0';
    for (int i = 0; i < 4; i++) {
        if (strcmp(base, kDevices[i]) == 0)
            return 1;
    }
    return n == 4 && (memcmp(base, "COM", 3) == 0 || memcmp(base, "LPT", 3) == 0) && base[3] >= '0' &&
           base[3] <= '9';
}

static int LoadFile(const char *path, SvcCsvReader *reader)
{
    char chunk[4096];
    char line[SVC_CSV_LINE];
    size_t lineLength = 0;
    size_t got;
    FILE *file = fopen(path, "rb");
    if (!file)
        return 0;
    SvcCsvStart(reader);
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) {
        for (size_t i = 0; i < got; i++) {
            if (chunk[i] == '\n') {
                SvcCsvAddLine(reader, line, lineLength);
                lineLength = 0;
            } else if (lineLength < sizeof line) {
                line[lineLength++] = chunk[i];
            }
        }
    }
    if (lineLength > 0)
        SvcCsvAddLine(reader, line, lineLength);
    fclose(file);
    return 1;
}

int SvcCsvLoad(const char *dir, const char *ticker, SvcHistory *history)
{
    char path[1200];
    char upper[SVC_TICKER_SIZE];
    size_t dirLength = strlen(dir);
    size_t tickerLength = strlen(ticker);
    SvcCsvReader reader;
    history->count = 0;
    if (!SvcTickerIsValid(ticker, tickerLength) || IsDeviceName(ticker))
        return 0;
    if (dirLength + tickerLength + 8 > sizeof path)
        return 0;
    for (size_t i = 0; i <= tickerLength; i++)
        upper[i] = SvcUpper(ticker[i]);
    int found = 0;
    for (int attempt = 0; attempt < 2 && !found; attempt++) {
        const char *name = attempt == 0 ? upper : ticker;
        if (attempt == 1 && strcmp(upper, ticker) == 0)
            break;
        memcpy(path, dir, dirLength);
        size_t n = dirLength;
        if (n > 0 && path[n - 1] != '/' && path[n - 1] != '\\')
            path[n++] = '/';
        memcpy(path + n, name, tickerLength);
        memcpy(path + n + tickerLength, ".csv", 5);
        found = LoadFile(path, &reader);
    }
    if (found)
        found = SvcCsvFinish(&reader, history) > 0;
    return found;
}

void SvcCsvQuote(const char *ticker, const SvcHistory *history, SvcQuote *quote)
{
    SvcQuoteBegin(ticker, quote);
    quote->last = history->days[0].close;
    quote->prevClose = history->count > 1 ? history->days[1].close : history->days[0].close;
    quote->tradeDay = history->days[0].day;
    quote->tradeSecond = SVC_SESSION_CLOSE;
}
