// Fuzzes what the quote service reads from the network and from data files: the
// input is fed to the request gatherer in pieces (sizes from its first byte), the
// gathered line is parsed and, for small requests, answered from the simulated
// market; the same bytes are also read as a CSV data file and formatted as a
// history answer. Every result must stay inside its bounds and keep its layout.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "service/svc_answer.h"
#include "service/svc_csv.h"
#include "service/svc_request.h"

namespace {

const int64_t kNow = 1796922200;  // a Thursday in December 2026, during the session

void Require(bool condition)
{
    if (!condition)
        abort();
}

void FuzzRequest(const uint8_t *data, size_t size)
{
    static SvcGather gather;
    static SvcRequest request;
    memset(&gather, 0, sizeof gather);
    size_t piece = size > 0 ? (data[0] % 17) + 1 : 1;
    int state = SVC_GATHER_MORE;
    size_t taken = 0;
    for (size_t pos = 0; pos < size; pos += piece) {
        size_t n = size - pos < piece ? size - pos : piece;
        size_t used = 0;
        int before = state;
        state = SvcGatherFeed(&gather, (const char *)data + pos, n, &used);
        Require(used <= n);
        Require(before == SVC_GATHER_MORE || used == 0);
        taken += used;
    }
    Require(taken <= size);
    Require(gather.lineLength <= SVC_MAX_REQUEST_LINE + 1);
    if (state != SVC_GATHER_DONE)
        return;
    Require(gather.lineLength <= SVC_MAX_REQUEST_LINE);
    Require(strlen(gather.line) <= gather.lineLength);
    int status = SvcParseRequestLine(gather.line, gather.lineLength, &request);
    Require(status == 200 || status == 400 || status == 404);
    Require(request.status == status);
    Require(request.tickerCount >= 0 && request.tickerCount <= SVC_MAX_TICKERS);
    for (int i = 0; i < request.tickerCount; i++)
        Require(SvcTickerIsValid(request.tickers[i], strlen(request.tickers[i])));
    if (status != 200 || request.tickerCount > 4)
        return;
    SvcSource sim = {nullptr};
    SvcAnswer answer;
    Require(SvcBuildAnswer(&sim, &request, kNow, &answer) == 1);
    Require(answer.length > 4 && memcmp(answer.bytes, "HTTP/1.0 200 OK\r\n", 17) == 0);
    if (request.kind == SVC_REQ_QUOTE)
        Require(memcmp(answer.bytes + answer.length - 2, "]\n", 2) == 0);
    else
        Require(answer.length <= SVC_HISTORY_ANSWER_MAX);
    SvcAnswerFree(&answer);
}

void FuzzCsv(const uint8_t *data, size_t size)
{
    static SvcHistory history;
    static char body[SVC_HISTORY_ANSWER_MAX + 1];
    int32_t count = SvcCsvParseText((const char *)data, size, &history);
    Require(count == history.count && count >= 0 && count <= SVC_HISTORY_DAYS);
    for (int32_t i = 0; i < count; i++) {
        Require(history.days[i].close >= 0);
        if (i > 0) {
            Require(history.days[i].day < history.days[i - 1].day);
            Require(history.days[i].day > history.days[0].day - 365);
        }
    }
    SvcText text;
    SvcTextInit(&text, body, sizeof body);
    SvcFormatHistoryBody(&history, 32000 - SVC_HEADER_MAX, &text);
    Require(!text.overflow && text.length <= 32000 - SVC_HEADER_MAX);
    Require(memcmp(body, "Date,Open,High,Low,Close,Volume\n", 32) == 0);
    if (count > 0) {
        SvcQuote quote;
        SvcCsvQuote("FUZZ", &history, &quote);
        Require(quote.last == history.days[0].close);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzRequest(data, size);
    FuzzCsv(data, size);
    return 0;
}
