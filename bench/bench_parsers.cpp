// The parsers' speed, against the cheapest pass over the same bytes: counting
// their lines with memchr. Built natively (without sanitizers) and for Windows.
#include <stdio.h>
#include <string.h>
#include <string>

#include "bench_common.h"
#include "market/history_parse.h"
#include "market/quote_scan.h"

namespace {

std::string QuoteAnswer(int records)
{
    std::string body = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n// [\n";
    for (int i = 0; i < records; i++) {
        char t[16];
        snprintf(t, sizeof t, "T%014d", i);
        body += i ? ",{\n" : "{\n";
        body += "\"id\": \"" + std::to_string(300000 + i) + "\"\n";
        body += std::string(",\"t\" : \"") + t + "\"\n,\"e\" : \"NASDAQ\"\n,\"l\" : \"1,258.60\"\n";
        body += ",\"l_fix\" : \"1258.60\"\n,\"l_cur\" : \"1,258.60\"\n,\"s\": \"0\"\n,\"ltt\":\"4:00PM EST\"\n";
        body += ",\"lt\" : \"Dec 10, 4:00PM EST\"\n,\"lt_dts\" : \"2026-12-10T16:00:00Z\"\n,\"c\" : \"+4.29\"\n";
        body += ",\"c_fix\" : \"4.29\"\n,\"cp\" : \"0.34\"\n,\"cp_fix\" : \"0.34\"\n,\"ccol\" : \"chg\"\n";
        body += ",\"pcls_fix\" : \"1254.31\"\n}\n";
    }
    return body + "]\n";
}

std::string HistoryBody(int lines)
{
    std::string csv = "Date,Open,High,Low,Close,Volume\n";
    for (int i = 0; i < lines; i++) {
        char line[96];
        snprintf(line, sizeof line, "%d-Dec-26,1254.31,1260.00,1250.10,%d.%02d,1234567\n", 1 + i % 28, 1000 + i,
                 i % 100);
        csv += line;
    }
    return csv;
}

volatile size_t sink;

size_t CountLines(const std::string &bytes)
{
    size_t n = 0;
    const char *p = bytes.data(), *end = p + bytes.size();
    while ((p = (const char *)memchr(p, '\n', (size_t)(end - p))) != nullptr) {
        n++;
        p++;
    }
    return n;
}

void CountRecord(const StockItem *, void *context)
{
    (*(size_t *)context)++;
}

}  // namespace

int main()
{
    const int repeat = 200;
    std::string answer = QuoteAnswer(253);  // the largest request the program sends
    static char buffer[QUOTE_BUFFER_SIZE];
    double lines = BestSeconds(5, [&] {
        for (int r = 0; r < repeat; r++)
            sink = CountLines(answer);
    });
    double scan = BestSeconds(5, [&] {
        for (int r = 0; r < repeat; r++) {
            size_t count = 0, records = 0;
            QuoteGather(buffer, sizeof buffer, &count, answer.data(), answer.size());
            QuoteScanAnswer(buffer, count, CountRecord, &records);
            sink = records;
        }
    });
    char what[64];
    snprintf(what, sizeof what, "quote answer, 253 records (%zu KiB)", answer.size() / 1024);
    Report(what, scan / repeat * 1e6, "us", lines / repeat * 1e6, "memchr line count of the same bytes");

    std::string csv = HistoryBody(366);
    double csvLines = BestSeconds(5, [&] {
        for (int r = 0; r < repeat; r++)
            sink = CountLines(csv);
    });
    static HistoryData data;
    double parse = BestSeconds(5, [&] {
        for (int r = 0; r < repeat; r++) {
            HistoryParseBody(csv.data(), csv.size(), &data);
            sink = (size_t)data.count;
        }
    });
    Report("history CSV, 366 days", parse / repeat * 1e6, "us", csvLines / repeat * 1e6,
           "memchr line count of the same bytes");
    return 0;
}
