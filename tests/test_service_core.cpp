// The quote service's pure core: request gathering and parsing, number and date
// texts, the simulated market, the CSV data source and the answers' layout.
// Built natively (sanitizers) as test_service_core and, under Wine, as part of
// test_service.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "service/svc_answer.h"
#include "service/svc_csv.h"
#include "service/svc_market.h"
#include "service/svc_request.h"
#include "service/svc_text.h"
#include "service/svc_time.h"
#include "test_service_support.h"

namespace {

using svctest::FixturePath;
using svctest::ReadFile;
using svctest::Utc;

// ---------------------------------------------------------------- requests

struct LineCase {
    const char *label;
    const char *line;
    int status;
    int kind;
    std::vector<std::string> tickers;
};

TEST(ServiceRequest, RequestLinesGiveStatusKindAndTickers)
{
    const LineCase cases[] = {
        {"program's quote request", "GET /finance/info?client=ig&q=GOOG,XYZ, HTTP/1.0", 200, SVC_REQ_QUOTE,
         {"GOOG", "XYZ"}},
        {"no trailing comma, HTTP/1.1", "GET /finance/info?client=ig&q=aapl,Msft HTTP/1.1", 200, SVC_REQ_QUOTE,
         {"aapl", "Msft"}},
        {"q first, client absent", "GET /finance/info?q=IBM HTTP/1.0", 200, SVC_REQ_QUOTE, {"IBM"}},
        {"empty pieces skipped", "GET /finance/info?client=ig&q=,A,,B,, HTTP/1.0", 200, SVC_REQ_QUOTE, {"A", "B"}},
        {"percent-encoded comma and dot", "GET /finance/info?client=ig&q=BRK%2EB%2CT HTTP/1.0", 200,
         SVC_REQ_QUOTE, {"BRK.B", "T"}},
        {"invalid tickers left out", "GET /finance/info?client=ig&q=OK,bad!,SIXTEENCHARSLONG,%0A,^GSPC HTTP/1.0",
         200, SVC_REQ_QUOTE, {"OK", "^GSPC"}},
        {"blank inside a typed ticker spoils only it", "GET /finance/info?client=ig&q=A,BRK B,C, HTTP/1.0", 200,
         SVC_REQ_QUOTE, {"A", "C"}},
        {"empty q: no records", "GET /finance/info?client=ig&q= HTTP/1.0", 200, SVC_REQ_QUOTE, {}},
        {"program's history request", "GET /finance/historical?q=goog&output=csv HTTP/1.0", 200,
         SVC_REQ_HISTORY, {"goog"}},
        {"history without output", "GET /finance/historical?q=IBM HTTP/1.1", 200, SVC_REQ_HISTORY, {"IBM"}},
        {"history of two tickers", "GET /finance/historical?q=A,B&output=csv HTTP/1.0", 404, SVC_REQ_NONE, {}},
        {"history of an invalid ticker", "GET /finance/historical?q=..%2F..%2Fx&output=csv HTTP/1.0", 404,
         SVC_REQ_NONE, {}},
        {"history with empty q", "GET /finance/historical?q=&output=csv HTTP/1.0", 400, SVC_REQ_NONE, {}},
        {"history as html", "GET /finance/historical?q=A&output=html HTTP/1.0", 400, SVC_REQ_NONE, {}},
        {"unknown path", "GET /finance/news?q=A HTTP/1.0", 404, SVC_REQ_NONE, {}},
        {"root", "GET / HTTP/1.0", 404, SVC_REQ_NONE, {}},
        {"path only differs in case", "GET /Finance/Info?q=A HTTP/1.0", 404, SVC_REQ_NONE, {}},
        {"path with a suffix", "GET /finance/infox?q=A HTTP/1.0", 404, SVC_REQ_NONE, {}},
        {"missing q", "GET /finance/info?client=ig HTTP/1.0", 400, SVC_REQ_NONE, {}},
        {"no query", "GET /finance/info HTTP/1.0", 400, SVC_REQ_NONE, {}},
        {"POST", "POST /finance/info?q=A HTTP/1.0", 400, SVC_REQ_NONE, {}},
        {"lower-case method", "get /finance/info?q=A HTTP/1.0", 400, SVC_REQ_NONE, {}},
        {"no version", "GET /finance/info?q=A", 400, SVC_REQ_NONE, {}},
        {"HTTP/2", "GET /finance/info?q=A HTTP/2", 400, SVC_REQ_NONE, {}},
        {"target not a path", "GET finance/info?q=A HTTP/1.0", 400, SVC_REQ_NONE, {}},
        {"only a method", "GET", 400, SVC_REQ_NONE, {}},
        {"empty line", "", 400, SVC_REQ_NONE, {}},
        {"tab in the line", "GET /finance/info?q=A\t HTTP/1.0", 400, SVC_REQ_NONE, {}},
    };
    for (const LineCase &c : cases) {
        SvcRequest request;
        memset(&request, 0x55, sizeof request);
        int status = SvcParseRequestLine(c.line, strlen(c.line), &request);
        EXPECT_EQ(c.status, status) << c.label;
        EXPECT_EQ(c.status, request.status) << c.label;
        EXPECT_EQ(c.kind, request.kind) << c.label;
        std::vector<std::string> got;
        for (int i = 0; i < request.tickerCount; i++)
            got.push_back(request.tickers[i]);
        EXPECT_EQ(c.tickers, got) << c.label;
    }
}

TEST(ServiceRequest, TickerCountAndLineLengthAreBounded)
{
    SvcRequest request;
    std::string line = "GET /finance/info?client=ig&q=";
    for (int i = 0; i < SVC_MAX_TICKERS; i++)
        line += "T" + std::to_string(i) + ",";
    std::string ok = line + " HTTP/1.0";
    EXPECT_EQ(200, SvcParseRequestLine(ok.c_str(), ok.size(), &request));
    EXPECT_EQ(SVC_MAX_TICKERS, request.tickerCount);
    std::string tooMany = line + "X, HTTP/1.0";
    EXPECT_EQ(400, SvcParseRequestLine(tooMany.c_str(), tooMany.size(), &request));
    EXPECT_EQ(0, request.tickerCount);

    std::string longest = "GET /finance/info?q=A&pad=" + std::string(SVC_MAX_REQUEST_LINE, 'x');
    longest.resize(SVC_MAX_REQUEST_LINE - 9);
    longest += " HTTP/1.0";
    ASSERT_EQ((size_t)SVC_MAX_REQUEST_LINE, longest.size());
    EXPECT_EQ(200, SvcParseRequestLine(longest.c_str(), longest.size(), &request));
    std::string over = "GET /finance/info?q=A&pad=" + std::string(SVC_MAX_REQUEST_LINE, 'x') + " HTTP/1.0";
    EXPECT_EQ(400, SvcParseRequestLine(over.c_str(), over.size(), &request));
}

// Feeds text whole, then byte by byte; both must end the same way.
static int FeedWhole(const std::string &text, SvcGather *g, size_t *used)
{
    memset(g, 0, sizeof *g);
    return SvcGatherFeed(g, text.data(), text.size(), used);
}

static int FeedBytes(const std::string &text, SvcGather *g, size_t *used)
{
    int state = SVC_GATHER_MORE;
    memset(g, 0, sizeof *g);
    *used = 0;
    for (size_t i = 0; i < text.size(); i++) {
        size_t n = 0;
        state = SvcGatherFeed(g, text.data() + i, 1, &n);
        *used += n;
    }
    return state;
}

struct GatherCase {
    const char *label;
    std::string text;
    int state;
    const char *line;      // request line when the state is DONE
    size_t used;           // bytes taken; npos for all of them
};

TEST(ServiceRequest, GatheringEndsAtTheHeadersEndWhateverThePieces)
{
    const size_t all = std::string::npos;
    const std::string longLine = "GET /" + std::string(SVC_MAX_REQUEST_LINE - 14, 'a') + " HTTP/1.0";
    const GatherCase cases[] = {
        {"program's request", "GET /finance/info?client=ig&q=A, HTTP/1.0\r\n\r\n", SVC_GATHER_DONE,
         "GET /finance/info?client=ig&q=A, HTTP/1.0", all},
        {"curl's request with headers",
         "GET /finance/historical?q=A&output=csv HTTP/1.1\r\nHost: localhost\r\nUser-Agent: curl\r\nAccept: "
         "*/*\r\n\r\n",
         SVC_GATHER_DONE, "GET /finance/historical?q=A&output=csv HTTP/1.1", all},
        {"bare line feeds", "GET / HTTP/1.0\nHost: x\n\n", SVC_GATHER_DONE, "GET / HTTP/1.0", all},
        {"bytes after the header are not taken", "GET / HTTP/1.0\r\n\r\nGET /again", SVC_GATHER_DONE,
         "GET / HTTP/1.0", 18},
        {"empty lines before the request line", "\r\n\r\nGET / HTTP/1.0\r\n\r\n", SVC_GATHER_DONE,
         "GET / HTTP/1.0", all},
        {"a line without version needs no header", "GET /finance/info?q=A\r\nmore", SVC_GATHER_DONE,
         "GET /finance/info?q=A", 23},
        {"header not finished", "GET / HTTP/1.0\r\nHost: x\r\n", SVC_GATHER_MORE, nullptr, all},
        {"request line not finished", "GET /finance/info?q=A HTTP/1.0", SVC_GATHER_MORE, nullptr, all},
        {"a line of the largest length", longLine + "\r\n\r\n", SVC_GATHER_DONE, longLine.c_str(), all},
        {"a line one byte too long", "GET /" + std::string(SVC_MAX_REQUEST_LINE, 'a') + " HTTP/1.0\r\n\r\n",
         SVC_GATHER_BAD, nullptr, SVC_MAX_REQUEST_LINE + 1},
        {"endless header", "GET / HTTP/1.0\r\n" + std::string(SVC_MAX_HEADER_BYTES + 10, 'h'), SVC_GATHER_BAD,
         nullptr, 16 + SVC_MAX_HEADER_BYTES + 1},
        {"endless empty lines", std::string(SVC_MAX_HEADER_BYTES + 10, '\n'), SVC_GATHER_BAD, nullptr,
         SVC_MAX_HEADER_BYTES + 1},
    };
    ASSERT_EQ((size_t)SVC_MAX_REQUEST_LINE, longLine.size());
    for (const GatherCase &c : cases) {
        SvcGather *whole = (SvcGather *)malloc(sizeof(SvcGather));
        SvcGather *bytes = (SvcGather *)malloc(sizeof(SvcGather));
        size_t usedWhole = 0, usedBytes = 0;
        EXPECT_EQ(c.state, FeedWhole(c.text, whole, &usedWhole)) << c.label;
        EXPECT_EQ(c.state, FeedBytes(c.text, bytes, &usedBytes)) << c.label;
        size_t expectUsed = c.used == all ? c.text.size() : c.used;
        EXPECT_EQ(expectUsed, usedWhole) << c.label;
        EXPECT_EQ(expectUsed, usedBytes) << c.label;
        if (c.line) {
            EXPECT_STREQ(c.line, whole->line) << c.label;
            EXPECT_STREQ(c.line, bytes->line) << c.label;
            EXPECT_EQ(strlen(c.line), whole->lineLength) << c.label;
        }
        // Once finished, nothing more is taken.
        if (c.state != SVC_GATHER_MORE) {
            size_t n = 99;
            EXPECT_EQ(c.state, SvcGatherFeed(whole, "GET", 3, &n)) << c.label;
            EXPECT_EQ(0u, n) << c.label;
        }
        free(whole);
        free(bytes);
    }
}

// ---------------------------------------------------------------- texts

TEST(ServiceText, PricesAndNumbersAreFormattedLikeTheLegacyService)
{
    struct {
        int64_t cents;
        const char *plain;
        const char *grouped;
    } cases[] = {
        {4775, "47.75", "47.75"},       {5, "0.05", "0.05"},          {0, "0.00", "0.00"},
        {-429, "-4.29", "-4.29"},       {125860, "1258.60", "1,258.60"}, {100000, "1000.00", "1,000.00"},
        {99999, "999.99", "999.99"},    {123456789012, "1234567890.12", "1,234,567,890.12"},
        {-100000, "-1000.00", "-1,000.00"},
    };
    for (const auto &c : cases) {
        char a[64], b[64];
        SvcText t;
        SvcTextInit(&t, a, sizeof a);
        SvcTextAddCents(&t, c.cents);
        EXPECT_STREQ(c.plain, a);
        SvcTextInit(&t, b, sizeof b);
        SvcTextAddCentsGrouped(&t, c.cents);
        EXPECT_STREQ(c.grouped, b);
    }
    char small[8];
    SvcText t;
    SvcTextInit(&t, small, sizeof small);
    SvcTextAdd(&t, "1234");
    SvcTextAdd(&t, "5678");  // does not fit: nothing of it is written
    EXPECT_TRUE(t.overflow);
    EXPECT_STREQ("1234", small);
    SvcTextAddIntPad(&t, 7, 2);  // nothing after an overflow
    EXPECT_STREQ("1234", small);
    SvcTextInit(&t, small, sizeof small);
    SvcTextAddIntPad(&t, INT64_MIN, 1);
    EXPECT_TRUE(t.overflow);
}

TEST(ServiceText, PriceTextsAreReadIntoCents)
{
    struct {
        const char *text;
        int grouping;
        int ok;
        int64_t cents;
    } cases[] = {
        {"143.65", 0, 1, 14365},  {"12", 0, 1, 1200},      {"0.5", 0, 1, 50},     {".5", 0, 1, 50},
        {" 7.10 ", 0, 1, 710},    {"12.345", 0, 1, 1235},  {"12.344", 0, 1, 1234}, {"99.999", 0, 1, 10000},
        {"1,258.60", 1, 1, 125860}, {"1,258.60", 0, 0, 0}, {"-", 0, 0, 0},        {"", 0, 0, 0},
        {"-1.00", 0, 0, 0},       {"1.2.3", 0, 0, 0},      {"abc", 0, 0, 0},      {".", 0, 0, 0},
        {"1234567890123.00", 0, 0, 0}, {"49.14\r", 0, 1, 4914},
    };
    for (const auto &c : cases) {
        int64_t cents = -7;
        EXPECT_EQ(c.ok, SvcParseCents(c.text, strlen(c.text), c.grouping, &cents)) << c.text;
        if (c.ok) {
            EXPECT_EQ(c.cents, cents) << c.text;
        }
    }
}

// ---------------------------------------------------------------- time

TEST(ServiceTime, CivilDatesRoundTripAndKnownDays)
{
    for (int32_t d = -800000; d <= 800000; d += 13) {
        int32_t y, m, day;
        SvcCivilFromDays(d, &y, &m, &day);
        ASSERT_EQ(d, SvcDaysFromCivil(y, m, day)) << d;
    }
    EXPECT_EQ(0, SvcDaysFromCivil(1970, 1, 1));
    EXPECT_EQ(4, SvcWeekday(0));                                // Thursday
    EXPECT_EQ(4, SvcWeekday(SvcDaysFromCivil(2026, 12, 10)));   // Thursday
    EXPECT_EQ(SvcDaysFromCivil(2026, 12, 4), SvcPrevTradingDay(SvcDaysFromCivil(2026, 12, 7)));  // Mon -> Fri
    EXPECT_EQ(SvcDaysFromCivil(2026, 12, 4), SvcPrevTradingDay(SvcDaysFromCivil(2026, 12, 6)));  // Sun -> Fri
    EXPECT_FALSE(SvcIsTradingDay(SvcDaysFromCivil(2026, 12, 5)));
}

TEST(ServiceTime, NewYorkOffsetFollowsDaylightSavingTime)
{
    struct {
        int64_t utc;
        int32_t hours;
    } cases[] = {
        {Utc(2026, 3, 8, 6, 59, 59), -5},  {Utc(2026, 3, 8, 7, 0, 0), -4},    // 2:00 EST becomes 3:00 EDT
        {Utc(2026, 11, 1, 5, 59, 59), -4}, {Utc(2026, 11, 1, 6, 0, 0), -5},   // 2:00 EDT becomes 1:00 EST
        {Utc(2026, 12, 10, 21, 0, 0), -5}, {Utc(2026, 7, 1, 12, 0, 0), -4},
        {Utc(2014, 11, 26, 21, 8, 7), -5}, {Utc(2013, 6, 27, 20, 0, 0), -4},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.hours * 3600, SvcEasternOffset(c.utc)) << c.utc;
}

TEST(ServiceTime, DateAndTradeTimeTexts)
{
    char buf[64];
    int32_t dec10 = SvcDaysFromCivil(2026, 12, 10);
    SvcFormatCsvDate(SvcDaysFromCivil(2026, 12, 9), buf, sizeof buf);
    EXPECT_STREQ("9-Dec-26", buf);
    SvcFormatCsvDate(SvcDaysFromCivil(2009, 1, 28), buf, sizeof buf);
    EXPECT_STREQ("28-Jan-09", buf);
    SvcFormatTradeLong(dec10, 16 * 3600, buf, sizeof buf);
    EXPECT_STREQ("Dec 10, 4:00PM EST", buf);
    SvcFormatTradeTime(dec10, 9 * 3600 + 30 * 60, buf, sizeof buf);
    EXPECT_STREQ("9:30AM EST", buf);
    SvcFormatTradeTime(dec10, 12 * 3600 + 5 * 60 + 45, buf, sizeof buf);
    EXPECT_STREQ("12:05PM EST", buf);
    SvcFormatTradeLong(SvcDaysFromCivil(2013, 6, 27), 16 * 3600, buf, sizeof buf);
    EXPECT_STREQ("Jun 27, 4:00PM EDT", buf);
    SvcFormatTradeStamp(SvcDaysFromCivil(2014, 11, 26), 16 * 3600 + 8 * 60 + 7, buf, sizeof buf);
    EXPECT_STREQ("2014-11-26T16:08:07Z", buf);
    char tiny[5];
    size_t n = SvcFormatCsvDate(dec10, tiny, sizeof tiny);  // cut, still terminated
    EXPECT_LT(n, sizeof tiny);
    EXPECT_EQ(n, strlen(tiny));
}

TEST(ServiceTime, DatesAreReadInBothFormats)
{
    struct {
        const char *text;
        int ok;
        int32_t y, m, d;
    } cases[] = {
        {"9-Dec-26", 1, 2026, 12, 9},  {"28-Apr-17", 1, 2017, 4, 28}, {"09-dec-2026", 1, 2026, 12, 9},
        {"2026-12-09", 1, 2026, 12, 9}, {"5-Jan-95", 1, 1995, 1, 5},  {"29-Feb-24", 1, 2024, 2, 29},
        {"29-Feb-23", 0, 0, 0, 0},     {"31-Apr-17", 0, 0, 0, 0},    {"2026-13-01", 0, 0, 0, 0},
        {"Date", 0, 0, 0, 0},          {"9-Dez-26", 0, 0, 0, 0},     {"9-Dec-26x", 0, 0, 0, 0},
        {"9-Dec-", 0, 0, 0, 0},        {"", 0, 0, 0, 0},             {"123-Dec-26", 0, 0, 0, 0},
        {"9-Dec-026", 0, 0, 0, 0},     {"2026-12-9", 1, 2026, 12, 9},
    };
    for (const auto &c : cases) {
        int32_t days = -1;
        EXPECT_EQ(c.ok, SvcParseDate(c.text, strlen(c.text), &days)) << c.text;
        if (c.ok) {
            EXPECT_EQ(SvcDaysFromCivil(c.y, c.m, c.d), days) << c.text;
        }
    }
}

// ---------------------------------------------------------------- simulated market

TEST(ServiceMarket, QuoteDependsOnlyOnTickerLetterCaseIgnoredAndTime)
{
    int64_t now = Utc(2026, 12, 10, 17, 3, 20);  // 12:03:20PM EST, in the session
    SvcQuote a, b, c;
    SvcSimQuote("goog", now, &a);
    SvcSimQuote("GOOG", now, &b);
    SvcSimQuote("MSFT", now, &c);
    EXPECT_STREQ("goog", a.ticker);  // returned as asked
    EXPECT_STREQ("GOOG", b.ticker);
    EXPECT_EQ(a.last, b.last);
    EXPECT_EQ(a.prevClose, b.prevClose);
    EXPECT_STREQ(a.exchange, b.exchange);
    EXPECT_EQ(a.id, b.id);
    EXPECT_NE(a.last, c.last);
    EXPECT_NE(a.id, c.id);
    EXPECT_EQ(SvcDaysFromCivil(2026, 12, 10), a.tradeDay);
    EXPECT_EQ(12 * 3600 + 3 * 60 + 15, a.tradeSecond);  // the last 15-second step
}

TEST(ServiceMarket, LastTradeFollowsTheSession)
{
    struct {
        const char *label;
        int64_t utc;
        int y, m, d;
        int32_t second;
    } cases[] = {
        {"before the open", Utc(2026, 12, 10, 14, 29, 59), 2026, 12, 9, 16 * 3600},
        {"at the open", Utc(2026, 12, 10, 14, 30, 0), 2026, 12, 10, 9 * 3600 + 30 * 60},
        {"after the close", Utc(2026, 12, 10, 23, 0, 0), 2026, 12, 10, 16 * 3600},
        {"saturday", Utc(2026, 12, 12, 15, 0, 0), 2026, 12, 11, 16 * 3600},
        {"monday before the open", Utc(2026, 12, 14, 13, 0, 0), 2026, 12, 11, 16 * 3600},
        {"summer, during the session", Utc(2026, 7, 1, 14, 0, 0), 2026, 7, 1, 10 * 3600},
    };
    for (const auto &c : cases) {
        SvcQuote q;
        SvcSimQuote("IBM", c.utc, &q);
        EXPECT_EQ(SvcDaysFromCivil(c.y, c.m, c.d), q.tradeDay) << c.label;
        EXPECT_EQ(c.second, q.tradeSecond) << c.label;
    }
}

TEST(ServiceMarket, PriceWalksThroughTheDayFromOpenToClose)
{
    const char *ticker = "AAPL";
    int32_t day = SvcDaysFromCivil(2026, 12, 10);
    SvcDay full, at0, cut;
    SvcSimDay(ticker, day, SVC_SESSION_STEPS, &full);
    SvcSimDay(ticker, day, 0, &at0);
    EXPECT_EQ(full.open, at0.close);
    EXPECT_EQ(at0.open, at0.high);
    EXPECT_EQ(at0.open, at0.low);
    std::vector<int32_t> steps;
    for (int32_t s = 1; s <= 60; s++)
        steps.push_back(s);
    for (int32_t s = 80; s < SVC_SESSION_STEPS; s += 20)
        steps.push_back(s);
    steps.push_back(SVC_SESSION_STEPS);
    int distinct = 0;
    int64_t previous = at0.close;
    for (int32_t s : steps) {
        SvcSimDay(ticker, day, s, &cut);
        EXPECT_LE(cut.low, cut.close) << s;
        EXPECT_GE(cut.high, cut.close) << s;
        EXPECT_GE(cut.high, full.low) << s;
        // A step moves the price a little, never a jump (20 steps: at most a few percent).
        EXPECT_LT(llabs(cut.close - previous), previous / 25 + 2) << s;
        if (cut.close != previous)
            distinct++;
        previous = cut.close;
    }
    EXPECT_EQ(full.close, previous);
    EXPECT_GT(distinct, 20);
    EXPECT_GE(full.high, full.low);
    EXPECT_GT(full.volume, 0);
}

TEST(ServiceMarket, HistoryAgreesWithTheQuoteAndCoversOneYearOfTradingDays)
{
    const int64_t times[] = {Utc(2026, 12, 10, 17, 3, 20), Utc(2026, 12, 10, 23, 0, 0),
                             Utc(2026, 12, 13, 12, 0, 0), Utc(2026, 3, 9, 13, 45, 0)};
    const char *tickers[] = {"GOOG", "ibm", "BRK.B", "Z"};
    SvcHistory *h = (SvcHistory *)malloc(sizeof(SvcHistory));
    for (int64_t now : times) {
        for (const char *ticker : tickers) {
            SvcQuote q;
            SvcSimQuote(ticker, now, &q);
            SvcSimHistory(ticker, now, h);
            ASSERT_GE(h->count, 250) << ticker;
            ASSERT_LE(h->count, 262) << ticker;
            EXPECT_EQ(q.tradeDay, h->days[0].day) << ticker;
            EXPECT_EQ(q.last, h->days[0].close) << ticker << " " << now;
            EXPECT_EQ(q.prevClose, h->days[1].close) << ticker << " " << now;
            EXPECT_GT(h->days[h->count - 1].day, h->days[0].day - 365);
            for (int32_t i = 0; i < h->count; i++) {
                const SvcDay &d = h->days[i];
                ASSERT_TRUE(SvcIsTradingDay(d.day));
                if (i > 0) {
                    ASSERT_LT(d.day, h->days[i - 1].day);
                    // The walk is believable: no day moves more than a fifth.
                    int64_t before = d.close, after = h->days[i - 1].close;
                    ASSERT_LT(llabs(after - before) * 5, before + 5) << ticker << " " << i;
                }
                ASSERT_GT(d.low, 0);
                ASSERT_LE(d.low, d.open);
                ASSERT_LE(d.low, d.close);
                ASSERT_GE(d.high, d.open);
                ASSERT_GE(d.high, d.close);
                ASSERT_GE(d.volume, 0);
            }
        }
    }
    // A finished day never changes: its row is the same a week later.
    SvcSimHistory("GOOG", Utc(2026, 12, 10, 23, 0, 0), h);
    SvcDay dec10 = h->days[0];
    SvcSimHistory("GOOG", Utc(2026, 12, 17, 23, 0, 0), h);
    EXPECT_EQ(dec10.day, h->days[5].day);
    EXPECT_EQ(dec10.close, h->days[5].close);
    EXPECT_EQ(dec10.high, h->days[5].high);
    free(h);
}

TEST(ServiceMarket, TickersSpreadOverExchangesAndPriceLevels)
{
    int nasdaq = 0, nyse = 0, above1000 = 0, below20 = 0;
    int64_t now = Utc(2026, 12, 10, 23, 0, 0);
    for (int i = 0; i < 400; i++) {
        std::string t = "T" + std::to_string(i);
        SvcQuote q;
        SvcSimQuote(t.c_str(), now, &q);
        nasdaq += strcmp(q.exchange, "NASDAQ") == 0;
        nyse += strcmp(q.exchange, "NYSE") == 0;
        above1000 += q.last >= 100000;
        below20 += q.last < 2000;
        EXPECT_GT(q.last, 0);
        EXPECT_GE(q.id, 100000u);
        EXPECT_LT(q.id, 1000000u);
    }
    EXPECT_GT(nasdaq, 100);
    EXPECT_GT(nyse, 100);
    EXPECT_GT(above1000, 0);
    EXPECT_GT(below20, 0);
}

// ---------------------------------------------------------------- CSV source

TEST(ServiceCsv, LegacyHistoryKeepsTheNewestYear)
{
    std::string text = ReadFile(FixturePath("legacy/history-AAPL-2012-04-03-to-2017-04-28.csv"));
    ASSERT_FALSE(text.empty());
    SvcHistory *h = (SvcHistory *)malloc(sizeof(SvcHistory));
    EXPECT_EQ(252, SvcCsvParseText(text.data(), text.size(), h));
    EXPECT_EQ(SvcDaysFromCivil(2017, 4, 28), h->days[0].day);
    EXPECT_EQ(14409, h->days[0].open);
    EXPECT_EQ(14430, h->days[0].high);
    EXPECT_EQ(14327, h->days[0].low);
    EXPECT_EQ(14365, h->days[0].close);
    EXPECT_EQ(20860358, h->days[0].volume);
    EXPECT_EQ(SvcDaysFromCivil(2016, 4, 29), h->days[251].day);
    EXPECT_EQ(9374, h->days[251].close);

    // Missing values of the DIS file ("1-Aug-12,-,-,-,49.14,0") and GOOG's "-"
    // volumes stay missing; only the close is needed.
    text = ReadFile(FixturePath("legacy/history-DIS-2012-04-03-to-2017-04-28.csv"));
    std::string dis = "Date,Open,High,Low,Close,Volume\n1-Aug-12,-,-,-,49.14,0\n2-Aug-12,1,2,0.5,1.5,-\n";
    EXPECT_EQ(2, SvcCsvParseText(dis.data(), dis.size(), h));
    EXPECT_EQ(SVC_MISSING, h->days[1].open);
    EXPECT_EQ(4914, h->days[1].close);
    EXPECT_EQ(0, h->days[1].volume);
    EXPECT_EQ(SVC_MISSING, h->days[0].volume);
    EXPECT_EQ(252, SvcCsvParseText(text.data(), text.size(), h));
    free(h);
}

TEST(ServiceCsv, RowOrderHeaderNamesAndBadRows)
{
    const char *newestFirst = "Date,Open,High,Low,Close,Volume\n"
                              "10-Dec-26,11.00,12.00,10.00,11.50,300\n"
                              "9-Dec-26,10.00,11.00,9.00,10.50,200\n"
                              "8-Dec-26,9.00,10.00,8.00,9.50,100\n";
    const char *shuffled = "8-Dec-26,9.00,10.00,8.00,9.50,100\r\n"
                           "10-Dec-26,11.00,12.00,10.00,11.50,300\r\n"
                           "9-Dec-26,10.00,11.00,9.00,10.50,200";  // no header, last line without line feed
    const char *renamed = "\xEF\xBB\xBF\"Date\",\"Open\",\"High\",\"Low\",\"Close\",\"Adj Close\",\"Volume\"\n"
                          "2026-12-09,10.00,11.00,9.00,10.50,10.40,200\n"
                          "2026-12-10,11,12,10,11.5,11.4,300\n"
                          "garbage line\n"
                          "2026-12-08,9.00,10.00,8.00,9.50,9.40,100\n"
                          "2026-12-10,99,99,99,99,99,99\n"  // a second row for a date: the first wins
                          "2026-12-07,1,1,1,-,1,1\n"        // no close: skipped
                          "2026-13-01,1,1,1,1,1,1\n";
    const char *reordered = "volume,close,date\n100,9.50,8-Dec-26\n300,11.50,10-Dec-26\n200,10.50,9-Dec-26\n";
    SvcHistory *expected = (SvcHistory *)malloc(sizeof(SvcHistory));
    SvcHistory *h = (SvcHistory *)malloc(sizeof(SvcHistory));
    ASSERT_EQ(3, SvcCsvParseText(newestFirst, strlen(newestFirst), expected));
    EXPECT_EQ(SvcDaysFromCivil(2026, 12, 10), expected->days[0].day);
    EXPECT_EQ(1150, expected->days[0].close);
    EXPECT_EQ(950, expected->days[2].close);
    for (const char *text : {shuffled, renamed}) {
        ASSERT_EQ(3, SvcCsvParseText(text, strlen(text), h)) << text;
        EXPECT_EQ(0, memcmp(expected->days, h->days, 3 * sizeof(SvcDay))) << text;
    }
    ASSERT_EQ(3, SvcCsvParseText(reordered, strlen(reordered), h));
    EXPECT_EQ(1150, h->days[0].close);
    EXPECT_EQ(300, h->days[0].volume);
    EXPECT_EQ(SVC_MISSING, h->days[0].open);
    EXPECT_EQ(0, SvcCsvParseText("", 0, h));
    const char *noClose = "Date,Open\n9-Dec-26,1.00\n";
    EXPECT_EQ(0, SvcCsvParseText(noClose, strlen(noClose), h));
    free(expected);
    free(h);
}

TEST(ServiceCsv, OldestFirstFileOfManyYearsKeepsTheNewestYear)
{
    std::string text = "Date,Open,High,Low,Close,Volume\n";
    int32_t first = SvcDaysFromCivil(2006, 1, 2);
    int32_t last = SvcDaysFromCivil(2026, 12, 10);
    for (int32_t d = first; d <= last; d++) {
        char date[16];
        SvcFormatCsvDate(d, date, sizeof date);
        text += std::string(date) + ",1,1,1," + std::to_string(d % 1000) + ".25,5\n";
    }
    SvcHistory *h = (SvcHistory *)malloc(sizeof(SvcHistory));
    ASSERT_EQ(365, SvcCsvParseText(text.data(), text.size(), h));
    EXPECT_EQ(last, h->days[0].day);
    EXPECT_EQ(last - 364, h->days[364].day);
    EXPECT_EQ((int64_t)(last % 1000) * 100 + 25, h->days[0].close);
    free(h);
}

TEST(ServiceCsv, FilesAreFoundByTickerAndDevicesAreNeverOpened)
{
    std::string dir = svctest::TempDir("svc_csv");
    ASSERT_FALSE(dir.empty());
    svctest::WriteFile(dir + "/AAPL.csv", "Date,Open,High,Low,Close,Volume\n"
                                          "10-Dec-26,1,1,1,101.50,7\n9-Dec-26,1,1,1,100.00,7\n");
    svctest::WriteFile(dir + "/EMPTY.csv", "Date,Open,High,Low,Close,Volume\n");
    SvcHistory *h = (SvcHistory *)malloc(sizeof(SvcHistory));
    EXPECT_EQ(1, SvcCsvLoad(dir.c_str(), "aapl", h));
    EXPECT_EQ(2, h->count);
    EXPECT_EQ(1, SvcCsvLoad((dir + "/").c_str(), "AAPL", h));
    SvcQuote q;
    SvcCsvQuote("aapl", h, &q);
    EXPECT_STREQ("aapl", q.ticker);
    EXPECT_EQ(10150, q.last);
    EXPECT_EQ(10000, q.prevClose);
    EXPECT_EQ(SvcDaysFromCivil(2026, 12, 10), q.tradeDay);
    EXPECT_EQ(16 * 3600, q.tradeSecond);
    const char *unknown[] = {"MSFT", "EMPTY", "CON", "nul", "Com1", "LPT9.X", "AUX", "../AAPL", "A/B", ""};
    for (const char *t : unknown) {
        h->count = 77;
        EXPECT_EQ(0, SvcCsvLoad(dir.c_str(), t, h)) << t;
        EXPECT_EQ(0, h->count) << t;
    }
    free(h);
    svctest::RemoveTree(dir);
}

// ---------------------------------------------------------------- answers

static SvcQuote MakeQuote(const char *ticker, const char *exchange, int64_t last, int64_t prev)
{
    SvcQuote q;
    memset(&q, 0, sizeof q);
    strcpy(q.ticker, ticker);
    strcpy(q.exchange, exchange);
    q.id = 358464;
    q.last = last;
    q.prevClose = prev;
    q.tradeDay = SvcDaysFromCivil(2014, 11, 26);
    q.tradeSecond = 16 * 3600 + 8 * 60 + 7;
    return q;
}

TEST(ServiceAnswer, QuoteBodyHasTheLegacyLineLayout)
{
    SvcQuote quotes[3] = {MakeQuote("MSFT", "NASDAQ", 4775, 4747), MakeQuote("goog", "NASDAQ", 125860, 126289),
                          MakeQuote("X", "NYSE", 1000, 1000)};
    char buf[4096];
    SvcText t;
    SvcTextInit(&t, buf, sizeof buf);
    SvcFormatQuoteBody(quotes, 3, &t);
    ASSERT_FALSE(t.overflow);
    const char *expected = "// [\n"
                           "{\n"
                           "\"id\" : \"358464\"\n"
                           ",\"t\" : \"MSFT\"\n"
                           ",\"e\" : \"NASDAQ\"\n"
                           ",\"l\" : \"47.75\"\n"
                           ",\"l_fix\" : \"47.75\"\n"
                           ",\"l_cur\" : \"47.75\"\n"
                           ",\"s\" : \"0\"\n"
                           ",\"ltt\" : \"4:08PM EST\"\n"
                           ",\"lt\" : \"Nov 26, 4:08PM EST\"\n"
                           ",\"lt_dts\" : \"2014-11-26T16:08:07Z\"\n"
                           ",\"c\" : \"+0.28\"\n"
                           ",\"c_fix\" : \"0.28\"\n"
                           ",\"cp\" : \"0.59\"\n"
                           ",\"cp_fix\" : \"0.59\"\n"
                           ",\"ccol\" : \"chg\"\n"
                           ",\"pcls_fix\" : \"47.47\"\n"
                           "}\n"
                           ",{\n"
                           "\"id\" : \"358464\"\n"
                           ",\"t\" : \"goog\"\n"
                           ",\"e\" : \"NASDAQ\"\n"
                           ",\"l\" : \"1,258.60\"\n"
                           ",\"l_fix\" : \"1258.60\"\n"
                           ",\"l_cur\" : \"1,258.60\"\n"
                           ",\"s\" : \"0\"\n"
                           ",\"ltt\" : \"4:08PM EST\"\n"
                           ",\"lt\" : \"Nov 26, 4:08PM EST\"\n"
                           ",\"lt_dts\" : \"2014-11-26T16:08:07Z\"\n"
                           ",\"c\" : \"-4.29\"\n"
                           ",\"c_fix\" : \"-4.29\"\n"
                           ",\"cp\" : \"-0.34\"\n"
                           ",\"cp_fix\" : \"-0.34\"\n"
                           ",\"ccol\" : \"chr\"\n"
                           ",\"pcls_fix\" : \"1262.89\"\n"
                           "}\n"
                           ",{\n"
                           "\"id\" : \"358464\"\n"
                           ",\"t\" : \"X\"\n"
                           ",\"e\" : \"NYSE\"\n"
                           ",\"l\" : \"10.00\"\n"
                           ",\"l_fix\" : \"10.00\"\n"
                           ",\"l_cur\" : \"10.00\"\n"
                           ",\"s\" : \"0\"\n"
                           ",\"ltt\" : \"4:08PM EST\"\n"
                           ",\"lt\" : \"Nov 26, 4:08PM EST\"\n"
                           ",\"lt_dts\" : \"2014-11-26T16:08:07Z\"\n"
                           ",\"c\" : \"0.00\"\n"
                           ",\"c_fix\" : \"0.00\"\n"
                           ",\"cp\" : \"0.00\"\n"
                           ",\"cp_fix\" : \"0.00\"\n"
                           ",\"ccol\" : \"chb\"\n"
                           ",\"pcls_fix\" : \"10.00\"\n"
                           "}\n"
                           "]\n";
    EXPECT_STREQ(expected, buf);

    // The six keys the program reads start their lines exactly like the legacy
    // recording's lines do.
    std::string legacy = ReadFile(FixturePath("legacy/info-MSFT-2014-11-26.txt"));
    for (const char *prefix : {",\"t\" : \"", ",\"e\" : \"", ",\"l\" : \"", ",\"c\" : \"", ",\"lt\" : \"",
                               ",\"ccol\" : \""}) {
        EXPECT_NE(std::string::npos, legacy.find(std::string("\n") + prefix)) << prefix;
        EXPECT_NE(nullptr, strstr(buf, (std::string("\n") + prefix).c_str())) << prefix;
    }
    EXPECT_EQ(0, legacy.compare(legacy.size() - 4, 4, "}\n]\n"));

    SvcTextInit(&t, buf, sizeof buf);
    SvcFormatQuoteBody(quotes, 0, &t);
    EXPECT_STREQ("// [\n]\n", buf);
}

TEST(ServiceAnswer, HistoryBodyRowsAndLimit)
{
    SvcHistory *h = (SvcHistory *)calloc(1, sizeof(SvcHistory));
    h->count = 2;
    h->days[0] = SvcDay{SvcDaysFromCivil(2026, 12, 10), 14409, 14430, 14327, 14365, 20860358};
    h->days[1] = SvcDay{SvcDaysFromCivil(2026, 12, 9), SVC_MISSING, SVC_MISSING, SVC_MISSING, 4914, SVC_MISSING};
    std::vector<char> buf(40000);
    SvcText t;
    SvcTextInit(&t, buf.data(), buf.size());
    SvcFormatHistoryBody(h, 32000, &t);
    EXPECT_STREQ("Date,Open,High,Low,Close,Volume\n"
                 "10-Dec-26,144.09,144.30,143.27,143.65,20860358\n"
                 "9-Dec-26,-,-,-,49.14,-\n",
                 buf.data());

    // Rows that would pass the limit are left out, whole, oldest first.
    h->count = SVC_HISTORY_DAYS;
    for (int i = 0; i < SVC_HISTORY_DAYS; i++)
        h->days[i] = SvcDay{SvcDaysFromCivil(2026, 12, 10) - i, 99999999999999, 99999999999999,
                            99999999999999, 99999999999999, 999999999999999};
    SvcTextInit(&t, buf.data(), buf.size());
    SvcFormatHistoryBody(h, 31000, &t);
    EXPECT_FALSE(t.overflow);
    EXPECT_LE(t.length, 31000u);
    EXPECT_GT(t.length, 31000u - 100);
    EXPECT_EQ('\n', buf[t.length - 1]);
    free(h);
}

TEST(ServiceAnswer, WholeAnswersHaveHeaderLengthAndEndMarker)
{
    SvcSource sim = {nullptr};
    SvcRequest request;
    SvcAnswer answer;
    int64_t now = Utc(2026, 12, 10, 17, 3, 20);
    struct {
        const char *line;
        int status;
        const char *type;
        const char *bodyEnd;
    } cases[] = {
        {"GET /finance/info?client=ig&q=GOOG,xyz, HTTP/1.0", 200, "text/javascript", "}\n]\n"},
        {"GET /finance/info?client=ig&q=, HTTP/1.0", 200, "text/javascript", "// [\n]\n"},
        {"GET /finance/historical?q=GOOG&output=csv HTTP/1.0", 200, "text/csv", "\n"},
        {"GET /nothing HTTP/1.0", 404, "text/plain", "Not Found\n"},
        {"GET /finance/info?client=ig HTTP/1.0", 400, "text/plain", "Bad Request\n"},
    };
    for (const auto &c : cases) {
        SvcParseRequestLine(c.line, strlen(c.line), &request);
        ASSERT_EQ(1, SvcBuildAnswer(&sim, &request, now, &answer)) << c.line;
        std::string text(answer.bytes, answer.length);
        EXPECT_EQ(c.status, answer.status) << c.line;
        std::string status = c.status == 200 ? "HTTP/1.0 200 OK\r\n"
                             : c.status == 404 ? "HTTP/1.0 404 Not Found\r\n"
                                               : "HTTP/1.0 400 Bad Request\r\n";
        EXPECT_EQ(0, text.compare(0, status.size(), status)) << c.line;
        size_t end = text.find("\r\n\r\n");
        ASSERT_NE(std::string::npos, end) << c.line;
        std::string header = text.substr(0, end + 4);
        std::string body = text.substr(end + 4);
        EXPECT_NE(std::string::npos, header.find("Content-Type: " + std::string(c.type))) << c.line;
        EXPECT_NE(std::string::npos, header.find("Content-Length: " + std::to_string(body.size()) + "\r\n"))
            << c.line;
        EXPECT_NE(std::string::npos, header.find("Connection: close\r\n")) << c.line;
        EXPECT_EQ(0, body.compare(body.size() - strlen(c.bodyEnd), strlen(c.bodyEnd), c.bodyEnd)) << c.line;
        if (strstr(c.line, "historical")) {
            EXPECT_EQ(0, body.compare(0, 32, "Date,Open,High,Low,Close,Volume\n"));
            EXPECT_EQ(std::string::npos, body.find('\r'));
            EXPECT_LE(text.size(), (size_t)SVC_HISTORY_ANSWER_MAX);
        }
        SvcAnswerFree(&answer);
        EXPECT_EQ(nullptr, answer.bytes);
    }

    // The CSV source leaves out tickers without a file and has no history for them.
    std::string dir = svctest::TempDir("svc_answer");
    svctest::WriteFile(dir + "/IBM.csv", "9-Dec-26,1,1,1,150.00,1\n10-Dec-26,1,1,1,148.50,1\n");
    SvcSource csv = {dir.c_str()};
    const char *quoteLine = "GET /finance/info?client=ig&q=NOPE,ibm,NADA, HTTP/1.0";
    SvcParseRequestLine(quoteLine, strlen(quoteLine), &request);
    ASSERT_EQ(1, SvcBuildAnswer(&csv, &request, now, &answer));
    std::string text(answer.bytes, answer.length);
    EXPECT_EQ(std::string::npos, text.find("NOPE"));
    EXPECT_NE(std::string::npos, text.find("// [\n{\n\"id\" : \""));
    EXPECT_NE(std::string::npos, text.find(",\"t\" : \"ibm\"\n"));
    EXPECT_NE(std::string::npos, text.find(",\"c\" : \"-1.50\"\n"));
    EXPECT_NE(std::string::npos, text.find(",\"lt\" : \"Dec 10, 4:00PM EST\"\n"));
    EXPECT_EQ(0, text.compare(text.size() - 4, 4, "}\n]\n"));
    SvcAnswerFree(&answer);
    const char *historyLine = "GET /finance/historical?q=NOPE&output=csv HTTP/1.0";
    SvcParseRequestLine(historyLine, strlen(historyLine), &request);
    ASSERT_EQ(1, SvcBuildAnswer(&csv, &request, now, &answer));
    EXPECT_EQ(404, answer.status);
    SvcAnswerFree(&answer);
    svctest::RemoveTree(dir);
}

}  // namespace
