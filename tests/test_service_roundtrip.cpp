// Round trip: every answer the quote service gives, from the simulated market and
// from data files, read back by the program's own quote scanner and history parse,
// must give exactly the values the service meant. Pure: built natively (with
// test_service_core) and under Wine (part of test_service).
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "market/history_parse.h"
#include "market/quote_scan.h"
#include "service/svc_answer.h"
#include "service/svc_csv.h"
#include "service/svc_market.h"
#include "service/svc_time.h"
#include "stocks/stock_item.h"
#include "test_service_support.h"

namespace {

using svctest::ExpectSame;
using svctest::FixturePath;
using svctest::Meant;
using svctest::MeantOf;
using svctest::ProgramReadsQuotes;
using svctest::ReadFile;
using svctest::Utc;

static SvcAnswer Answer(const SvcSource &source, const std::string &line, int64_t utc)
{
    SvcRequest *request = (SvcRequest *)malloc(sizeof(SvcRequest));
    SvcAnswer answer;
    SvcParseRequestLine(line.c_str(), line.size(), request);
    EXPECT_EQ(1, SvcBuildAnswer(&source, request, utc, &answer)) << line;
    free(request);
    return answer;
}

// The program's parse of a history answer against the rows the service meant:
// index 0 holds the oldest row, the newest is last.
static void ExpectHistoryReadBack(const SvcAnswer &answer, const SvcHistory &meant, const std::string &label)
{
    size_t body = 0;
    HistoryData *read = (HistoryData *)malloc(sizeof(HistoryData));
    ASSERT_EQ(1, HistoryFindBody(answer.bytes, answer.length, &body)) << label;
    HistoryParseBody(answer.bytes + body, answer.length - body, read);
    ASSERT_EQ(meant.count, read->count) << label;
    int64_t max = 0;
    for (int32_t i = 0; i < meant.count; i++) {
        ASSERT_EQ(meant.days[i].close, read->values[meant.count - 1 - i]) << label << " row " << i;
        if (meant.days[i].close > max)
            max = meant.days[i].close;
    }
    EXPECT_EQ(max, read->maxValue) << label;
    free(read);
}

TEST(ServiceRoundTrip, SimulatedQuotesReadBackExactly)
{
    SvcSource sim = {nullptr};
    const int64_t times[] = {Utc(2026, 12, 10, 14, 30, 0),   Utc(2026, 12, 10, 17, 3, 20),
                             Utc(2026, 12, 10, 21, 0, 0),    Utc(2026, 12, 12, 9, 0, 0),
                             Utc(2026, 7, 1, 19, 59, 59),    Utc(2026, 3, 9, 13, 29, 59)};
    // Mixed letter case, the longest ticker the program keeps, and a full list
    // of 253 tickers (the most the program's request holds).
    std::vector<std::string> lists = {"GOOG,msft,BRK.B,", "A", "ABCDEFGHIJKLMNO,^GSPC,x_y=z,"};
    std::string full;
    for (int i = 0; i < 253; i++)
        full += "S" + std::to_string(i * 7919 % 100000) + ",";
    lists.push_back(full);
    for (int64_t now : times) {
        for (const std::string &list : lists) {
            SvcAnswer answer = Answer(sim, "GET /finance/info?client=ig&q=" + list + " HTTP/1.0", now);
            ASSERT_EQ(200, answer.status);
            std::vector<Meant> meant;
            for (size_t start = 0; start < list.size();) {
                size_t comma = list.find(',', start);
                if (comma == std::string::npos)
                    comma = list.size();
                SvcQuote q;
                SvcSimQuote(list.substr(start, comma - start).c_str(), now, &q);
                meant.push_back(MeantOf(q));
                start = comma + 1;
            }
            ExpectSame(meant, ProgramReadsQuotes(answer.bytes, answer.length), list.substr(0, 30));
            SvcAnswerFree(&answer);
        }
    }
}

TEST(ServiceRoundTrip, PricesOverAThousandKeepTheirSeparatorAsText)
{
    // The legacy service wrote "1,258.60"; the program shows the text as sent.
    SvcSource sim = {nullptr};
    int64_t now = Utc(2026, 12, 10, 21, 0, 0);
    std::string ticker;
    for (int i = 0; i < 2000 && ticker.empty(); i++) {
        SvcQuote q;
        std::string t = "K" + std::to_string(i);
        SvcSimQuote(t.c_str(), now, &q);
        if (q.last >= 100000)
            ticker = t;
    }
    ASSERT_FALSE(ticker.empty());
    SvcAnswer answer = Answer(sim, "GET /finance/info?client=ig&q=" + ticker + ", HTTP/1.0", now);
    std::vector<Meant> read = ProgramReadsQuotes(answer.bytes, answer.length);
    ASSERT_EQ(1u, read.size());
    EXPECT_NE(std::string::npos, read[0].price.find(','));
    SvcQuote q;
    SvcSimQuote(ticker.c_str(), now, &q);
    EXPECT_EQ(MeantOf(q).price, read[0].price);
    SvcAnswerFree(&answer);
}

TEST(ServiceRoundTrip, SimulatedHistoryReadsBackExactly)
{
    SvcSource sim = {nullptr};
    SvcHistory *meant = (SvcHistory *)malloc(sizeof(SvcHistory));
    const int64_t times[] = {Utc(2026, 12, 10, 17, 3, 20), Utc(2026, 12, 13, 12, 0, 0), Utc(2027, 2, 28, 23, 0, 0)};
    for (int64_t now : times) {
        for (const char *ticker : {"GOOG", "ibm", "ABCDEFGHIJKLMNO"}) {
            SvcAnswer answer =
                Answer(sim, std::string("GET /finance/historical?q=") + ticker + "&output=csv HTTP/1.0", now);
            ASSERT_EQ(200, answer.status);
            EXPECT_LE(answer.length, 32000u);  // the program's history buffer
            SvcSimHistory(ticker, now, meant);
            ExpectHistoryReadBack(answer, *meant, ticker);
            SvcAnswerFree(&answer);
        }
    }
    free(meant);
}

TEST(ServiceRoundTrip, DataFileAnswersReadBackExactly)
{
    std::string dir = svctest::TempDir("svc_roundtrip");
    ASSERT_FALSE(dir.empty());
    for (const char *name : {"AAPL", "DIS", "GOOG"}) {
        std::string text =
            ReadFile(FixturePath(std::string("legacy/history-") + name + "-2012-04-03-to-2017-04-28.csv"));
        ASSERT_FALSE(text.empty()) << name;
        ASSERT_TRUE(svctest::WriteFile(dir + "/" + name + ".csv", text));
    }
    // Prices with more decimals than two, and a huge one, from some other exporter.
    ASSERT_TRUE(svctest::WriteFile(dir + "/ODD.csv", "Date,Open,High,Low,Close,Adj Close,Volume\n"
                                                     "2026-12-10,1.1,1.2,1.0,12345678.905,1,1\n"
                                                     "2026-12-09,1.1,1.2,1.0,0.004,1,1\n"
                                                     "2026-12-08,1.1,1.2,1.0,7,1,1\n"));
    SvcSource csv = {dir.c_str()};
    int64_t now = Utc(2026, 12, 10, 17, 3, 20);
    SvcHistory *meant = (SvcHistory *)malloc(sizeof(SvcHistory));

    SvcAnswer answer = Answer(csv, "GET /finance/info?client=ig&q=aapl,NONE,DIS,goog,odd, HTTP/1.0", now);
    std::vector<Meant> expected;
    for (const char *t : {"aapl", "DIS", "goog", "odd"}) {
        ASSERT_EQ(1, SvcCsvLoad(dir.c_str(), t, meant)) << t;
        SvcQuote q;
        SvcCsvQuote(t, meant, &q);
        expected.push_back(MeantOf(q));
    }
    std::vector<Meant> read = ProgramReadsQuotes(answer.bytes, answer.length);
    ExpectSame(expected, read, "data files");
    ASSERT_EQ(4u, read.size());
    EXPECT_EQ("143.65", read[0].price);
    EXPECT_EQ("-0.14", read[0].change);
    EXPECT_EQ("Apr 28, 4:00PM EDT", read[0].lastTx);
    EXPECT_EQ("12,345,678.91", read[3].price);
    SvcAnswerFree(&answer);

    for (const char *t : {"AAPL", "dis", "GOOG", "ODD"}) {
        answer = Answer(csv, std::string("GET /finance/historical?q=") + t + "&output=csv HTTP/1.0", now);
        ASSERT_EQ(200, answer.status) << t;
        ASSERT_EQ(1, SvcCsvLoad(dir.c_str(), t, meant));
        ExpectHistoryReadBack(answer, *meant, t);
        SvcAnswerFree(&answer);
    }
    free(meant);
    svctest::RemoveTree(dir);
}

}  // namespace
