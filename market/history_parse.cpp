/* The pure part of the one-year history (see history_parse.h).
 *
 * The CSV body is walked once, line by line through a fixed line buffer: a line
 * longer than the buffer is cut (its fifth field still counts when its fifth
 * comma lies in the kept part, and such a field is whole), and a fifth field too
 * long for the price text adds no value instead of a cut, wrong one. The first
 * 366 values are stored in line order and then reversed in place, so index 0 is
 * the oldest kept day. */
#include "market/history_parse.h"

#include <inttypes.h>
#include <stdio.h>
#include <string.h>

namespace {

const char kHeaderEnd[] = "\r\n\r\n";

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

/* The fifth field of a line, or false when the line has fewer than five commas. */
bool FindFifthField(const char *line, size_t length, const char **field, size_t *fieldLength)
{
    int commas = 0;
    const char *fieldStart = NULL;
    for (size_t i = 0; i < length; i++) {
        if (line[i] != ',')
            continue;
        commas++;
        if (commas == 4) {
            fieldStart = line + i + 1;
        } else if (commas == 5) {
            *field = fieldStart;
            *fieldLength = (size_t)(line + i - fieldStart);
            return true;
        }
    }
    return false;
}

}  // namespace

int HistoryFindBody(const char *answer, size_t length, size_t *bodyOffset)
{
    const size_t markerLength = sizeof kHeaderEnd - 1;
    if (length < markerLength)
        return 0;
    for (size_t i = 0; i + markerLength <= length; i++) {
        if (memcmp(answer + i, kHeaderEnd, markerLength) == 0) {
            *bodyOffset = i + markerLength;
            return 1;
        }
    }
    return 0;
}

void HistoryParseBody(const char *body, size_t length, HistoryData *out)
{
    memset(out, 0, sizeof *out);
    int64_t maximum = 0;
    int32_t n = 0;
    size_t lineNumber = 0;
    char line_buf[HISTORY_LINE_SIZE];
    size_t kept = 0;

    for (size_t i = 0; i < length && n < HISTORY_MAX_VALUES; i++) {
        if (kept < HISTORY_LINE_SIZE - 1)
            line_buf[kept++] = body[i];
        if (body[i] != '\n')
            continue;
        const char *field;
        size_t fieldLength;
        if (lineNumber != 0 && FindFifthField(line_buf, kept, &field, &fieldLength) &&
            fieldLength < HISTORY_PRICE_TEXT_SIZE) {
            char price[HISTORY_PRICE_TEXT_SIZE];
            memcpy(price, field, fieldLength);
            price[fieldLength] = '\0';
            int64_t euro;
            int32_t cents;
            ParsePrice(price, &euro, &cents);
            int64_t value = euro * 100 + cents;
            out->values[n++] = value;
            if (value > maximum)
                maximum = value;
        }
        kept = 0;
        lineNumber++;
    }

    for (int32_t i = 0, j = n - 1; i < j; i++, j--) {
        int64_t swap = out->values[i];
        out->values[i] = out->values[j];
        out->values[j] = swap;
    }
    out->maxValue = maximum;
    out->count = n;
}

void ParsePrice(const char *text, int64_t *whole, int32_t *fraction)
{
    *whole = 0;
    *fraction = 0;
    if (!text)
        return;

    const char *p = text;
    while (IsBlank(*p))
        p++;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        p++;
    }
    int64_t w = 0;
    for (; IsDigit(*p); p++) {
        if (w <= HISTORY_PRICE_WHOLE_MAX)
            w = w * 10 + (*p - '0');  /* at most about 10^13: cannot overflow */
    }
    if (w > HISTORY_PRICE_WHOLE_MAX)
        w = HISTORY_PRICE_WHOLE_MAX;

    int32_t f = 0;
    const char *point = strchr(text, '.');
    if (point) {
        if (IsDigit(point[1])) {
            f = (point[1] - '0') * 10;
            if (IsDigit(point[2]))
                f += point[2] - '0';
        }
    }
    *whole = negative ? -w : w;
    *fraction = negative ? -f : f;
}

void FormatPriceLabel(int64_t cents, char *out, size_t size)
{
    if (!out || size == 0)
        return;
    /* Unsigned magnitude, so that even INT64_MIN formats without overflow. */
    uint64_t magnitude = cents < 0 ? (uint64_t)0 - (uint64_t)cents : (uint64_t)cents;
    snprintf(out, size, "%s%" PRIu64 ".%02u", cents < 0 ? "-" : "", magnitude / 100, (unsigned)(magnitude % 100));
}
