/* The quote service's answers; see svc_answer.h. */
#include "service/svc_answer.h"

#include "service/svc_csv.h"
#include "service/svc_time.h"

#include <stdlib.h>
#include <string.h>

int SvcSourceQuote(const SvcSource *source, const char *ticker, int64_t utc, SvcQuote *quote)
{
    SvcHistory history;
    if (!source->dataDir) {
        SvcSimQuote(ticker, utc, quote);
        return 1;
    }
    if (!SvcCsvLoad(source->dataDir, ticker, &history))
        return 0;
    SvcCsvQuote(ticker, &history, quote);
    return 1;
}

int SvcSourceHistory(const SvcSource *source, const char *ticker, int64_t utc, SvcHistory *history)
{
    if (!source->dataDir) {
        SvcSimHistory(ticker, utc, history);
        return 1;
    }
    return SvcCsvLoad(source->dataDir, ticker, history);
}

static void AddKey(SvcText *text, const char *key, int first)
{
    if (!first)
        SvcTextAdd(text, ",");
    SvcTextAdd(text, "\"");
    SvcTextAdd(text, key);
    SvcTextAdd(text, "\" : \"");
}

static void AddTextValue(SvcText *text, const char *key, const char *value)
{
    AddKey(text, key, 0);
    SvcTextAdd(text, value);
    SvcTextAdd(text, "\"\n");
}

static void AddCentsValue(SvcText *text, const char *key, int64_t cents, int grouped, int plus)
{
    AddKey(text, key, 0);
    if (plus && cents > 0)
        SvcTextAdd(text, "+");
    if (grouped)
        SvcTextAddCentsGrouped(text, cents);
    else
        SvcTextAddCents(text, cents);
    SvcTextAdd(text, "\"\n");
}

/* Percent change in hundredths of a percent, rounded half away from zero. */
static int64_t PercentHundredths(int64_t change, int64_t base)
{
    if (base <= 0)
        return 0;
    int64_t scaled = change * 10000;
    int64_t q = scaled / base;
    int64_t r = scaled % base;
    if (r < 0)
        r = -r;
    if (2 * r >= base)
        q += change < 0 ? -1 : 1;
    return q;
}

void SvcFormatQuoteRecord(const SvcQuote *quote, int first, SvcText *text)
{
    char buf[48];
    int64_t change = quote->last - quote->prevClose;
    int64_t percent = PercentHundredths(change, quote->prevClose);

    SvcTextAdd(text, first ? "{\n" : ",{\n");
    AddKey(text, "id", 1);
    SvcTextAddInt(text, quote->id);
    SvcTextAdd(text, "\"\n");
    AddTextValue(text, "t", quote->ticker);
    AddTextValue(text, "e", quote->exchange);
    AddCentsValue(text, "l", quote->last, 1, 0);
    AddCentsValue(text, "l_fix", quote->last, 0, 0);
    AddCentsValue(text, "l_cur", quote->last, 1, 0);
    AddTextValue(text, "s", "0");
    SvcFormatTradeTime(quote->tradeDay, quote->tradeSecond, buf, sizeof buf);
    AddTextValue(text, "ltt", buf);
    SvcFormatTradeLong(quote->tradeDay, quote->tradeSecond, buf, sizeof buf);
    AddTextValue(text, "lt", buf);
    SvcFormatTradeStamp(quote->tradeDay, quote->tradeSecond, buf, sizeof buf);
    AddTextValue(text, "lt_dts", buf);
    AddCentsValue(text, "c", change, 0, 1);
    AddCentsValue(text, "c_fix", change, 0, 0);
    AddCentsValue(text, "cp", percent, 0, 0);
    AddCentsValue(text, "cp_fix", percent, 0, 0);
    /* Red for a fall, green for a rise; an unchanged price is neither and gets the
     * legacy service's neutral code, which the program draws in black. */
    AddTextValue(text, "ccol", change < 0 ? "chr" : change > 0 ? "chg" : "chb");
    AddCentsValue(text, "pcls_fix", quote->prevClose, 0, 0);
    SvcTextAdd(text, "}\n");
}

void SvcFormatQuoteBody(const SvcQuote *quotes, int count, SvcText *text)
{
    SvcTextAdd(text, "// [\n");
    for (int i = 0; i < count; i++)
        SvcFormatQuoteRecord(&quotes[i], i == 0, text);
    SvcTextAdd(text, "]\n");
}

static void AddPriceField(SvcText *text, int64_t cents)
{
    SvcTextAdd(text, ",");
    if (cents == SVC_MISSING)
        SvcTextAdd(text, "-");
    else
        SvcTextAddCents(text, cents);
}

void SvcFormatHistoryBody(const SvcHistory *history, size_t maxBytes, SvcText *text)
{
    static const char kHeader[] = "Date,Open,High,Low,Close,Volume\n";
    size_t start = text->length;
    SvcTextAdd(text, kHeader);
    for (int32_t i = 0; i < history->count; i++) {
        char row[160];
        char date[16];
        SvcText r;
        const SvcDay *d = &history->days[i];
        SvcTextInit(&r, row, sizeof row);
        SvcFormatCsvDate(d->day, date, sizeof date);
        SvcTextAdd(&r, date);
        AddPriceField(&r, d->open);
        AddPriceField(&r, d->high);
        AddPriceField(&r, d->low);
        AddPriceField(&r, d->close);
        SvcTextAdd(&r, ",");
        if (d->volume == SVC_MISSING)
            SvcTextAdd(&r, "-");
        else
            SvcTextAddInt(&r, d->volume);
        SvcTextAdd(&r, "\n");
        if (r.overflow || text->length - start + r.length > maxBytes)
            break;
        SvcTextAddBytes(text, row, r.length);
    }
}

void SvcFormatHeader(int status, const char *contentType, size_t bodyLength, SvcText *text)
{
    SvcTextAdd(text, status == 200 ? "HTTP/1.0 200 OK\r\n"
                     : status == 404 ? "HTTP/1.0 404 Not Found\r\n"
                                     : "HTTP/1.0 400 Bad Request\r\n");
    SvcTextAdd(text, "Content-Type: ");
    SvcTextAdd(text, contentType);
    SvcTextAdd(text, "\r\nContent-Length: ");
    SvcTextAddInt(text, (int64_t)bodyLength);
    SvcTextAdd(text, "\r\nConnection: close\r\n\r\n");
}

/* Puts the header in front of a body that was written at offset SVC_HEADER_MAX of
 * the same allocation, and hands the whole over to the answer. */
static int Finish(int status, const char *contentType, char *block, size_t bodyLength, SvcAnswer *answer)
{
    char header[SVC_HEADER_MAX];
    SvcText h;
    SvcTextInit(&h, header, sizeof header);
    SvcFormatHeader(status, contentType, bodyLength, &h);
    memcpy(block, header, h.length);
    memmove(block + h.length, block + SVC_HEADER_MAX, bodyLength);
    answer->bytes = block;
    answer->length = h.length + bodyLength;
    answer->status = status;
    return 1;
}

int SvcBuildError(int status, SvcAnswer *answer)
{
    const char *body = status == 404 ? "Not Found\n" : "Bad Request\n";
    size_t n = strlen(body);
    char *block = (char *)malloc(SVC_HEADER_MAX + n + 1);
    memset(answer, 0, sizeof *answer);
    if (!block)
        return 0;
    memcpy(block + SVC_HEADER_MAX, body, n);
    return Finish(status == 404 ? 404 : 400, "text/plain", block, n, answer);
}

int SvcBuildAnswer(const SvcSource *source, const SvcRequest *request, int64_t utc, SvcAnswer *answer)
{
    SvcText body;
    char *block;
    size_t capacity;
    memset(answer, 0, sizeof *answer);
    if (request->status != 200)
        return SvcBuildError(request->status, answer);

    if (request->kind == SVC_REQ_HISTORY) {
        SvcHistory history;
        if (!SvcSourceHistory(source, request->tickers[0], utc, &history))
            return SvcBuildError(404, answer);
        capacity = SVC_HISTORY_ANSWER_MAX + 1;
        block = (char *)malloc(SVC_HEADER_MAX + capacity);
        if (!block)
            return 0;
        SvcTextInit(&body, block + SVC_HEADER_MAX, capacity);
        SvcFormatHistoryBody(&history, SVC_HISTORY_ANSWER_MAX - SVC_HEADER_MAX, &body);
        return Finish(200, "text/csv; charset=ISO-8859-1", block, body.length, answer);
    }

    capacity = (size_t)request->tickerCount * SVC_QUOTE_RECORD_MAX + 16;
    block = (char *)malloc(SVC_HEADER_MAX + capacity);
    if (!block)
        return 0;
    SvcTextInit(&body, block + SVC_HEADER_MAX, capacity);
    SvcTextAdd(&body, "// [\n");
    int written = 0;
    for (int i = 0; i < request->tickerCount; i++) {
        SvcQuote quote;
        if (SvcSourceQuote(source, request->tickers[i], utc, &quote))
            SvcFormatQuoteRecord(&quote, written++ == 0, &body);
    }
    SvcTextAdd(&body, "]\n");
    /* A record cannot outgrow its share (values are bounded), so this is a
     * fault of the bounds above, never of the input: refuse rather than send a
     * cut answer. */
    if (body.overflow) {
        free(block);
        return SvcBuildError(400, answer);
    }
    return Finish(200, "text/javascript; charset=ISO-8859-1", block, body.length, answer);
}

void SvcAnswerFree(SvcAnswer *answer)
{
    free(answer->bytes);
    memset(answer, 0, sizeof *answer);
}
