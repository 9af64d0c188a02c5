/* Gathering and line scanning of the quote answer (see quote_scan.h).
 *
 * The scanner keeps one state, outside or inside a record. A line containing "{"
 * opens a record; inside one, a line beginning with "}" closes it (and hands it
 * to the sink when it has a ticker), and a line beginning with a key prefix fills
 * that key's field. Every prefix includes the key's closing quote, so "lt" never
 * matches "l" and "ccol" never matches "c". Lines longer than the line buffer are
 * cut, never written past it; a value is only taken when its closing quote lies
 * inside the kept part, so a cut never shortens a value. */
#include "market/quote_scan.h"

#include <string.h>

#include "market/service.h"

namespace {

const char kEndMarker[] = QUOTE_END_MARKER;
const char kStartMarker[] = QUOTE_START_MARKER;
const size_t kEndMarkerLength = sizeof kEndMarker - 1;
const size_t kStartMarkerLength = sizeof kStartMarker - 1;

/* The keys the program uses, in the order they are tried. */
struct QuoteKey {
    const char *prefix;
    size_t prefixLength;
    size_t offset;  /* of the field in StockItem */
    int size;
};

#define QUOTE_KEY(text, field) \
    {text, sizeof text - 1, offsetof(StockItem, field), (int)sizeof(((StockItem *)0)->field)}

const QuoteKey kKeys[] = {
    QUOTE_KEY(",\"t\" : \"", ticker),
    QUOTE_KEY(",\"e\" : \"", exchange),
    QUOTE_KEY(",\"l\" : \"", price),
    QUOTE_KEY(",\"c\" : \"", change),
    QUOTE_KEY(",\"lt\" : \"", lastTx),
    QUOTE_KEY(",\"ccol\" : \"", ccol),
};

/* First occurrence of needle in bytes[0..length), or null. */
const char *FindBytes(const char *bytes, size_t length, const char *needle, size_t needleLength)
{
    if (needleLength == 0 || length < needleLength)
        return NULL;
    const char *last = bytes + (length - needleLength);
    for (const char *p = bytes; p <= last; p++) {
        p = (const char *)memchr(p, needle[0], (size_t)(last - p) + 1);
        if (!p)
            return NULL;
        if (memcmp(p, needle, needleLength) == 0)
            return p;
    }
    return NULL;
}

struct LineScan {
    bool inside;
    StockItem record;
    int applied;
    QuoteRecordSink sink;
    void *context;
};

void ProcessLine(LineScan *scan, char *line, size_t lineLength)
{
    if (!scan->inside) {
        if (memchr(line, '{', lineLength)) {
            memset(&scan->record, 0, sizeof scan->record);
            scan->inside = true;
        }
        return;
    }
    if (line[0] == '}') {
        if (scan->record.ticker[0] != '\0') {
            if (scan->sink)
                scan->sink(&scan->record, scan->context);
            scan->applied++;
        }
        scan->inside = false;
        return;
    }
    for (const QuoteKey &key : kKeys) {
        if (lineLength >= key.prefixLength && memcmp(line, key.prefix, key.prefixLength) == 0) {
            QuoteCopyValue((char *)&scan->record + key.offset, key.size, line + key.prefixLength);
            return;
        }
    }
}

}  // namespace

int QuoteGather(char *buffer, size_t capacity, size_t *count, const char *bytes, size_t length)
{
    if (*count > capacity || length > capacity - *count) {
        *count = 0;
        return QUOTE_GATHER_DROPPED;
    }
    if (length > 0)
        memcpy(buffer + *count, bytes, length);
    *count += length;
    if (*count <= kEndMarkerLength)
        return QUOTE_GATHER_PENDING;
    if (memcmp(buffer + *count - kEndMarkerLength, kEndMarker, kEndMarkerLength) != 0)
        return QUOTE_GATHER_PENDING;
    return QUOTE_GATHER_COMPLETE;
}

int QuoteScanAnswer(const char *bytes, size_t length, QuoteRecordSink sink, void *context)
{
    const char *start = FindBytes(bytes, length, kStartMarker, kStartMarkerLength);
    if (!start)
        return -1;

    LineScan scan;
    memset(&scan, 0, sizeof scan);
    scan.sink = sink;
    scan.context = context;

    char line_buf[QUOTE_LINE_SIZE];
    size_t kept = 0;  /* bytes of the current line in line_buf; the rest of a long line is cut */
    const char *end = bytes + length;
    for (const char *p = start; p < end; p++) {
        if (kept < QUOTE_LINE_SIZE - 1)
            line_buf[kept++] = *p;
        if (*p == '\n') {
            line_buf[kept] = '\0';
            ProcessLine(&scan, line_buf, kept);
            kept = 0;
        }
    }
    return scan.applied;
}

void QuoteCopyValue(char *field, int size, const char *valueStart)
{
    const char *quote = strchr(valueStart, '"');
    if (!quote || size <= 0)
        return;
    size_t valueLength = (size_t)(quote - valueStart);
    if (valueLength >= (size_t)size)
        return;
    memcpy(field, valueStart, valueLength);
    field[valueLength] = '\0';
}
