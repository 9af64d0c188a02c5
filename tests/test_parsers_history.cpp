// The one-year history's pure part: finding the body, the CSV scan into the
// series, ParsePrice and the price labels. Recorded answers of the legacy
// service (newest day first, more than a year of rows) beside small bodies
// written for one rule each.
#include "market/history_parse.h"

#include "test_parsers_support.h"

#include <memory>

using namespace parsers_test;

namespace {

const char kCsvHeader[] = "\xEF\xBB\xBF" "Date,Open,High,Low,Close,Volume\n";

// A data line with the given close (fifth field).
std::string Row(int day, const std::string &close)
{
    return std::to_string(day) + "-Apr-17,1.00,2.00,0.50," + close + ",1000\n";
}

// Parses into a heap copy filled with garbage first, so that stale values show.
std::unique_ptr<HistoryData> Parse(const std::string &body)
{
    std::unique_ptr<HistoryData> out(new HistoryData);
    memset(out.get(), 0x5A, sizeof *out);
    HistoryParseBody(body.data(), body.size(), out.get());
    return out;
}

std::string Label(int64_t cents)
{
    char text[64];
    FormatPriceLabel(cents, text, sizeof text);
    return text;
}

TEST(HistoryParse, YearOfLinesIsStoredOldestFirst)
{
    std::string body = kCsvHeader;
    for (int i = 0; i < 252; i++)
        body += Row(i, std::to_string(100 + i) + "." + (i % 10 < 5 ? "25" : "5"));
    auto h = Parse(body);
    ASSERT_EQ(h->count, 252);
    EXPECT_EQ(h->values[0], 35125) << "index 0 holds the last data line (351.25)";
    EXPECT_EQ(h->values[251], 10025) << "the first data line (100.25) is at count - 1";
    EXPECT_EQ(h->values[250], 10125);
    EXPECT_EQ(h->maxValue, 35125);
    for (int i = 252; i < HISTORY_MAX_VALUES; i++)
        ASSERT_EQ(h->values[i], 0) << "nothing stale past count, index " << i;
}

TEST(HistoryParse, LargestCloseGivesTheTopAndMiddleLabels)
{
    struct Case {
        const char *largest;
        int64_t maxValue;
        const char *top;
        const char *middle;
    } cases[] = {
        {"523.40", 52340, "523.40", "261.70"},
        {"12.05", 1205, "12.05", "6.02"},
        {"12.5", 1250, "12.50", "6.25"},
        {"12", 1200, "12.00", "6.00"},
        {"0.01", 1, "0.01", "0.00"},
    };
    for (const Case &c : cases) {
        std::string body = std::string(kCsvHeader) + Row(3, "0.01") + Row(2, c.largest) + Row(1, "-5.00") + Row(0, "0");
        auto h = Parse(body);
        EXPECT_EQ(h->count, 4) << c.largest;
        EXPECT_EQ(h->maxValue, c.maxValue) << c.largest;
        EXPECT_EQ(Label(h->maxValue), c.top);
        EXPECT_EQ(Label(h->maxValue / 2), c.middle);
    }
}

TEST(HistoryParse, NoPositiveValueLeavesTheMaximumAtZero)
{
    auto h = Parse(std::string(kCsvHeader) + Row(2, "0.00") + Row(1, "-3.25") + Row(0, "-0.50"));
    EXPECT_EQ(h->count, 3);
    EXPECT_EQ(h->maxValue, 0);
    EXPECT_EQ(h->values[0], -50);
    EXPECT_EQ(h->values[1], -325);
    EXPECT_EQ(Label(h->maxValue), "0.00");
    EXPECT_EQ(Label(h->maxValue / 2), "0.00");

    auto empty = Parse("");
    EXPECT_EQ(empty->count, 0);
    EXPECT_EQ(empty->maxValue, 0);
}

TEST(HistoryParse, WhichLinesGiveAValue)
{
    struct Case {
        const char *label;
        std::string body;
        std::vector<int64_t> values;  // in line order
    } cases[] = {
        {"header only", "Date,Open,High,Low,Close,Volume\n", {}},
        {"header line is skipped even with a price", "a,b,c,d,9.99,f\n" + Row(1, "1.50"), {150}},
        {"last line without line feed", std::string(kCsvHeader) + Row(1, "1.50") + "0-Apr-17,1,2,3,7.77,5", {150}},
        {"fewer than five commas", std::string(kCsvHeader) + "1-Apr-17,1,2,3,7.77\n" + Row(0, "2.00"), {200}},
        {"exactly five commas", std::string(kCsvHeader) + "x,1,2,3,4.25,\n", {425}},
        {"rest of the line not looked at", std::string(kCsvHeader) + "x,1,2,3,4.25,6,7,8.5\n", {425}},
        {"empty fifth field", std::string(kCsvHeader) + "x,1,2,3,,6\n", {0}},
        {"missing values as dashes", std::string(kCsvHeader) + "1-Aug-12,-,-,-,49.14,0\n", {4914}},
        {"dash as close", std::string(kCsvHeader) + "1-Aug-12,1,1,1,-,0\n", {0}},
        {"CRLF lines", std::string("Date,Open,High,Low,Close,Volume\r\n") + "x,1,2,3,4.25,6\r\n", {425}},
        {"blank lines add nothing", std::string(kCsvHeader) + "\n\n" + Row(0, "3.00") + "\n", {300}},
    };
    for (const Case &c : cases) {
        auto h = Parse(c.body);
        std::vector<int64_t> lineOrder(h->values, h->values + h->count);
        std::reverse(lineOrder.begin(), lineOrder.end());
        EXPECT_EQ(lineOrder, c.values) << c.label;
    }
}

TEST(HistoryParse, OnlyTheFirst366DataLinesAreKept)
{
    std::string body = kCsvHeader;
    for (int i = 0; i < 400; i++)
        body += Row(i, i == 380 ? "99999.00" : std::to_string(i + 1) + ".00");
    auto h = Parse(body);
    ASSERT_EQ(h->count, HISTORY_MAX_VALUES);
    EXPECT_EQ(h->values[HISTORY_MAX_VALUES - 1], 100) << "the first (newest) line";
    EXPECT_EQ(h->values[0], 36600) << "the 366th line";
    EXPECT_EQ(h->maxValue, 36600) << "the maximum over the kept lines only";
}

TEST(HistoryParse, LongLinesAndFieldsStayInsideTheirBuffers)
{
    std::string longTail(3 * HISTORY_LINE_SIZE, '9');
    struct Case {
        const char *label;
        std::string line;
        std::vector<int64_t> values;
    } cases[] = {
        // Cut after 511 bytes: the fifth field before the cut still counts.
        {"long sixth field", "x,1,2,3,4.25," + longTail + "\n", {425}},
        {"fifth comma beyond the cut", "x," + longTail + ",2,3,4.25,6\n", {}},
        {"fifth field of 39 characters", "x,1,2,3," + std::string(35, ' ') + "4.25,6\n", {425}},
        {"fifth field of 40 characters", "x,1,2,3," + std::string(36, ' ') + "4.25,6\n", {}},
        {"fifth field far too long", "x,1,2,3," + std::string(300, '7') + ",6\n", {}},
    };
    for (const Case &c : cases) {
        auto h = Parse(std::string(kCsvHeader) + c.line + Row(0, "1.00"));
        std::vector<int64_t> expected = {100};  // the row after must still parse
        expected.insert(expected.end(), c.values.begin(), c.values.end());
        std::vector<int64_t> values(h->values, h->values + h->count);
        EXPECT_EQ(values, expected) << c.label;
    }
}

TEST(HistoryParse, RecordedLegacyHistories)
{
    // Newest day first, 1276 rows: the 366 newest are kept. Sums and maxima were
    // taken from the files with awk.
    struct Case {
        const char *file;
        int64_t newest;  // close of the first data row
        int64_t oldest;  // close of the 366th data row
        int64_t sum;
        int64_t maxValue;
    } cases[] = {
        {"legacy/history-AAPL-2012-04-03-to-2017-04-28.csv", 14365, 11234, 4098557, 14477},
        {"legacy/history-DIS-2012-04-03-to-2017-04-28.csv", 11560, 11484, 3725639, 12007},
        {"legacy/history-GOOG-2012-04-03-to-2017-04-28.csv", 90596, 71700, 27902875, 90596},
    };
    for (const Case &c : cases) {
        std::string answer = "HTTP/1.0 200 OK\r\nContent-Type: text/csv\r\n\r\n" + ReadFixture(c.file);
        size_t offset = 0;
        ASSERT_EQ(HistoryFindBody(answer.data(), answer.size(), &offset), 1);
        auto h = Parse(answer.substr(offset));
        ASSERT_EQ(h->count, HISTORY_MAX_VALUES) << c.file;
        EXPECT_EQ(h->values[HISTORY_MAX_VALUES - 1], c.newest) << c.file;
        EXPECT_EQ(h->values[0], c.oldest) << c.file;
        int64_t sum = 0;
        for (int i = 0; i < h->count; i++)
            sum += h->values[i];
        EXPECT_EQ(sum, c.sum) << c.file;
        EXPECT_EQ(h->maxValue, c.maxValue) << c.file;
    }
}

TEST(HistoryParse, DashesInOtherFieldsOfARecordedRow)
{
    // Disney's row of 1 Aug 2012 lacks open, high and low; its close counts.
    std::string file = ReadFixture("legacy/history-DIS-2012-04-03-to-2017-04-28.csv");
    size_t row = file.find("\n1-Aug-12,-,-,-,49.14,0\n");
    ASSERT_NE(row, std::string::npos);
    size_t from = file.rfind('\n', row - 1);       // the line before: 2-Aug-12
    size_t to = file.find('\n', row + 1);          // end of the dash row
    to = file.find('\n', to + 1);                  // and of the line after: 31-Jul-12
    auto h = Parse(file.substr(0, file.find('\n') + 1) + file.substr(from + 1, to - from));
    std::vector<int64_t> values(h->values, h->values + h->count);
    EXPECT_EQ(values, (std::vector<int64_t>{4914, 4914, 4898}));
}

TEST(HistoryFindBody, BodyStartsAfterTheFirstBlankLine)
{
    struct Case {
        std::string answer;
        int found;
        size_t offset;
    } cases[] = {
        {"HTTP/1.0 200 OK\r\n\r\nDate\n", 1, 19},
        {"HTTP/1.0 200 OK\r\n\r\n", 1, 19},
        {"\r\n\r\n\r\n\r\n", 1, 4},
        {"HTTP/1.0 200 OK\r\nX: y\r\n\nDate\n", 0, 0},
        {"HTTP/1.0 200 OK\n\nDate\n", 0, 0},
        {"\r\n\r", 0, 0},
        {"", 0, 0},
    };
    for (const Case &c : cases) {
        size_t offset = 12345;
        EXPECT_EQ(HistoryFindBody(c.answer.data(), c.answer.size(), &offset), c.found) << c.answer;
        EXPECT_EQ(offset, c.found ? c.offset : 12345u) << "untouched when there is no body";
    }
}

// ---- Prices ----

TEST(ParsePrice, ReadsDecimalFractionsAndKeepsTheSign)
{
    struct Case {
        const char *text;
        int64_t whole;
        int32_t fraction;
    } cases[] = {
        {"12.50", 12, 50},   {"12.5", 12, 50},    {"12.05", 12, 5},    {"12", 12, 0},     {"12.", 12, 0},
        {"0.999", 0, 99},    {".5", 0, 50},       {"-1.25", -1, -25},  {"-0.50", 0, -50}, {"-.5", 0, -50},
        {"+3.5", 3, 50},     {"  7.25", 7, 25},   {"\t8.00", 8, 0},    {"49.14", 49, 14}, {"1,258.60", 1, 60},
        {"", 0, 0},          {"-", 0, 0},         {".", 0, 0},         {"abc", 0, 0},     {"--1.5", 0, -50},
        {"12.5x", 12, 50},   {"12.x5", 12, 0},    {"1e5", 1, 0},       {"1.2.3", 1, 20},  {"007.07", 7, 7},
    };
    for (const Case &c : cases) {
        int64_t whole = 77;
        int32_t fraction = 77;
        ParsePrice(c.text, &whole, &fraction);
        EXPECT_EQ(whole, c.whole) << '"' << c.text << '"';
        EXPECT_EQ(fraction, c.fraction) << '"' << c.text << '"';
    }
    int64_t whole = 77;
    int32_t fraction = 77;
    ParsePrice(nullptr, &whole, &fraction);
    EXPECT_EQ(whole, 0);
    EXPECT_EQ(fraction, 0);
}

TEST(ParsePrice, AbsurdMagnitudesAreClampedSoHundredfoldValuesFit)
{
    for (const char *text : {"99999999999999999999999999.99", "1000000000000", "9223372036854775807.99",
                             "-99999999999999999999999999.99", "-9223372036854775808"}) {
        int64_t whole;
        int32_t fraction;
        ParsePrice(text, &whole, &fraction);
        int64_t limit = HISTORY_PRICE_WHOLE_MAX;
        EXPECT_EQ(whole, text[0] == '-' ? -limit : limit) << text;
        int64_t value = whole * 100 + fraction;
        EXPECT_LT(value < 0 ? -value : value, INT64_MAX / 100) << text;
    }
    int64_t whole;
    int32_t fraction;
    ParsePrice("999999999999.99", &whole, &fraction);
    EXPECT_EQ(whole, 999999999999LL) << "the largest kept whole part is not clamped";
    EXPECT_EQ(fraction, 99);
}

TEST(FormatPriceLabel, AlwaysTwoDecimals)
{
    struct Case {
        int64_t cents;
        const char *text;
    } cases[] = {
        {1205, "12.05"}, {602, "6.02"},   {52340, "523.40"}, {26170, "261.70"}, {0, "0.00"},
        {1, "0.01"},     {10, "0.10"},    {100, "1.00"},     {-125, "-1.25"},   {-50, "-0.50"},
        {-5, "-0.05"},   {INT64_MAX, "92233720368547758.07"},  {INT64_MIN, "-92233720368547758.08"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Label(c.cents), c.text) << c.cents;

    char small[5];
    memset(small, '#', sizeof small);
    FormatPriceLabel(52340, small, 4);
    EXPECT_STREQ(small, "523") << "cut and terminated";
    EXPECT_EQ(small[4], '#');
    FormatPriceLabel(52340, small, 0);  // nothing written, nothing breaks
    EXPECT_EQ(small[0], '5');
}

}  // namespace
