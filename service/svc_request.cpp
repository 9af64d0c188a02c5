/* Gathering and reading a request of the quote service; see svc_request.h. */
#include "service/svc_request.h"

#include <string.h>

/* The request line's last blank-separated word, e.g. "HTTP/1.0". */
static const char *LastWord(const char *line, size_t length, size_t *wordLength)
{
    size_t end = length;
    size_t start = end;
    while (start > 0 && line[start - 1] != ' ')
        start--;
    *wordLength = end - start;
    return line + start;
}

static int HasVersion(const char *line, size_t length)
{
    size_t n;
    const char *word = LastWord(line, length, &n);
    return word != line && n >= 5 && memcmp(word, "HTTP/", 5) == 0;
}

int SvcGatherFeed(SvcGather *gather, const char *bytes, size_t count, size_t *used)
{
    size_t i = 0;
    for (; i < count && gather->state == SVC_GATHER_MORE; i++) {
        char c = bytes[i];
        if (!gather->lineDone) {
            if (c == '\n') {
                size_t n = gather->lineLength;
                if (n > 0 && gather->line[n - 1] == '\r')
                    n--;
                gather->line[n] = '\0';
                gather->lineLength = (uint32_t)n;
                if (n == 0) {
                    /* An empty line before the request line: skipped, but counted
                     * so that a stream of them ends too. */
                    if (++gather->headerBytes > SVC_MAX_HEADER_BYTES)
                        gather->state = SVC_GATHER_BAD;
                    continue;
                }
                gather->lineDone = 1;
                if (!HasVersion(gather->line, n))
                    gather->state = SVC_GATHER_DONE;
            } else if (gather->lineLength > SVC_MAX_REQUEST_LINE ||
                       (gather->lineLength == SVC_MAX_REQUEST_LINE && c != '\r')) {
                /* The buffer's extra byte only ever takes the carriage return of a
                 * line of exactly the largest length. */
                gather->state = SVC_GATHER_BAD;
            } else {
                gather->line[gather->lineLength++] = c;
            }
            continue;
        }
        if (++gather->headerBytes > SVC_MAX_HEADER_BYTES) {
            gather->state = SVC_GATHER_BAD;
            continue;
        }
        if (c == '\n') {
            if (gather->headerLineLength == 0)
                gather->state = SVC_GATHER_DONE;
            gather->headerLineLength = 0;
        } else if (c != '\r') {
            gather->headerLineLength++;
        }
    }
    if (used)
        *used = i;
    return gather->state;
}

static int TickerChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '^' || c == '=' || c == '_';
}

int SvcTickerIsValid(const char *text, size_t length)
{
    if (length == 0 || length >= SVC_TICKER_SIZE)
        return 0;
    for (size_t i = 0; i < length; i++) {
        if (!TickerChar(text[i]))
            return 0;
    }
    return 1;
}

static int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

/* %XX decoding; other bytes, and a % not followed by two hex digits, are kept.
 * out must hold length bytes; returns the decoded length. */
static size_t Decode(const char *text, size_t length, char *out)
{
    size_t n = 0;
    for (size_t i = 0; i < length; i++) {
        if (text[i] == '%' && i + 2 < length && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
            out[n++] = (char)(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out[n++] = text[i];
        }
    }
    return n;
}

/* Finds parameter name in the query; 1 and its raw value when present. */
static int FindParam(const char *query, size_t length, const char *name, const char **value,
                     size_t *valueLength)
{
    size_t nameLength = strlen(name);
    size_t pos = 0;
    while (pos <= length) {
        size_t end = pos;
        while (end < length && query[end] != '&')
            end++;
        if (end - pos > nameLength && memcmp(query + pos, name, nameLength) == 0 && query[pos + nameLength] == '=') {
            *value = query + pos + nameLength + 1;
            *valueLength = end - pos - nameLength - 1;
            return 1;
        }
        if (end - pos == nameLength && memcmp(query + pos, name, nameLength) == 0) {
            *value = query + end;
            *valueLength = 0;
            return 1;
        }
        pos = end + 1;
    }
    return 0;
}

static int Finish(SvcRequest *request, int status, int kind)
{
    request->status = status;
    request->kind = status == 200 ? kind : SVC_REQ_NONE;
    if (status != 200)
        request->tickerCount = 0;
    return status;
}

static int ParseTickers(const char *value, size_t length, SvcRequest *request, int kind)
{
    static const size_t kDecodedSize = SVC_MAX_REQUEST_LINE;
    char decoded[SVC_MAX_REQUEST_LINE];
    size_t n;
    int pieces = 0;
    if (length > kDecodedSize)
        return Finish(request, 400, kind);
    n = Decode(value, length, decoded);
    for (size_t pos = 0; pos < n;) {
        size_t end = pos;
        while (end < n && decoded[end] != ',')
            end++;
        if (end > pos) {
            pieces++;
            if (kind == SVC_REQ_HISTORY && pieces > 1)
                return Finish(request, 404, kind);  /* "A,B" is no ticker */
            if (pieces > SVC_MAX_TICKERS)
                return Finish(request, 400, kind);
            if (SvcTickerIsValid(decoded + pos, end - pos)) {
                memcpy(request->tickers[request->tickerCount], decoded + pos, end - pos);
                request->tickers[request->tickerCount][end - pos] = '\0';
                request->tickerCount++;
            } else if (kind == SVC_REQ_HISTORY) {
                return Finish(request, 404, kind);
            }
        }
        pos = end + 1;
    }
    if (kind == SVC_REQ_HISTORY && request->tickerCount != 1)
        return Finish(request, pieces == 0 ? 400 : 404, kind);
    return Finish(request, 200, kind);
}

int SvcParseRequestLine(const char *line, size_t length, SvcRequest *request)
{
    const char *target;
    size_t targetLength, versionLength, pathLength, queryLength = 0;
    const char *version, *query = 0, *q, *output;
    size_t qLength, outputLength;
    int kind;

    request->tickerCount = 0;
    if (length > SVC_MAX_REQUEST_LINE)
        return Finish(request, 400, SVC_REQ_NONE);
    for (size_t i = 0; i < length; i++) {
        unsigned char c = (unsigned char)line[i];
        if (c < 0x20 || c == 0x7f)
            return Finish(request, 400, SVC_REQ_NONE);
    }
    /* METHOD SP TARGET SP VERSION. The target is everything between the first and
     * the last blank, so that a ticker typed with a blank in it (the program sends
     * tickers unencoded) spoils only that ticker, not the request. */
    if (length < 4 || memcmp(line, "GET ", 4) != 0)
        return Finish(request, 400, SVC_REQ_NONE);
    version = LastWord(line, length, &versionLength);
    if (version <= line + 4 || !((versionLength == 8 && (memcmp(version, "HTTP/1.0", 8) == 0 ||
                                                         memcmp(version, "HTTP/1.1", 8) == 0))))
        return Finish(request, 400, SVC_REQ_NONE);
    target = line + 4;
    targetLength = (size_t)(version - 1 - target);
    while (targetLength > 0 && *target == ' ') {
        target++;
        targetLength--;
    }
    while (targetLength > 0 && target[targetLength - 1] == ' ')
        targetLength--;
    if (targetLength == 0 || target[0] != '/')
        return Finish(request, 400, SVC_REQ_NONE);

    pathLength = 0;
    while (pathLength < targetLength && target[pathLength] != '?')
        pathLength++;
    if (pathLength < targetLength) {
        query = target + pathLength + 1;
        queryLength = targetLength - pathLength - 1;
    }
    if (pathLength == 13 && memcmp(target, "/finance/info", 13) == 0)
        kind = SVC_REQ_QUOTE;
    else if (pathLength == 19 && memcmp(target, "/finance/historical", 19) == 0)
        kind = SVC_REQ_HISTORY;
    else
        return Finish(request, 404, SVC_REQ_NONE);

    if (!query || !FindParam(query, queryLength, "q", &q, &qLength))
        return Finish(request, 400, kind);
    if (kind == SVC_REQ_HISTORY && FindParam(query, queryLength, "output", &output, &outputLength) &&
        !(outputLength == 3 && memcmp(output, "csv", 3) == 0))
        return Finish(request, 400, kind);
    return ParseTickers(q, qLength, request, kind);
}
