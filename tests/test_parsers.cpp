// The quote answer's gathering and line scanning, over recorded answers of the
// legacy service and answers written in its layout with all sixteen keys.
// Runs natively under AddressSanitizer/UBSan and under Wine. The history CSV
// parse, ParsePrice and the labels are in test_parsers_history.cpp.
#include "test_parsers_support.h"

#include <algorithm>

using namespace parsers_test;

namespace {

const Quote kGoog = {"GOOG", "NASDAQ", "541.08", "-0.31", "Nov 26, 4:00PM EST", "chr"};
const Quote kMsft = {"MSFT", "NASDAQ", "47.75", "+0.28", "Nov 26, 4:08PM EST", "chg"};
const Quote kBrk = {"BRK.B", "NYSE", "149.33", "+1.05", "Nov 26, 4:02PM EST", "chg"};

// ---- Whole answers ----

TEST(QuoteScan, RecordedLegacyAnswersApplyEveryRecord)
{
    struct Case {
        const char *file;
        std::vector<Quote> quotes;
    } cases[] = {
        {"legacy/info-MSFT-2014-11-26.txt", {kMsft}},
        {"legacy/info-AAPL-ATVI-HPQ-IBM-2013-06.txt",
         {{"AAPL", "NASDAQ", "393.78", "-4.29", "Jun 27, 4:00PM EDT", "chr"},
          {"ATVI", "NASDAQ", "13.55", "-0.33", "Jun 21, 3:59PM EDT", "chr"},
          {"HPQ", "NYSE", "24.15", "0.57", "Jun 21, 4:01PM EDT", "chr"},
          {"IBM", "NYSE", "195.46", "-1.89", "Jun 21, 4:02PM EDT", "chr"}}},
    };
    for (const Case &c : cases) {
        std::string answer = kHttpHeader + ReadFixture(c.file);
        Receiver r;
        r.ReceiveInBlocks(answer, 2048);
        EXPECT_EQ(r.scans, 1) << c.file;
        EXPECT_EQ(r.lastScanResult, (int)c.quotes.size()) << c.file;
        EXPECT_EQ(r.sink.quotes, c.quotes) << c.file;
        EXPECT_TRUE(r.sink.otherFieldsZero) << c.file;
        EXPECT_EQ(r.count, 0u) << "a parsed answer leaves the buffer empty";
    }
}

TEST(QuoteScan, SixteenKeyAnswerFillsOnlyTheSixUsedFields)
{
    std::string answer = ReadFixture("quote-GOOG-MSFT-BRK.B-16-keys.txt");
    Sink sink;
    EXPECT_EQ(Scan(answer, &sink), 3);
    EXPECT_EQ(sink.quotes, (std::vector<Quote>{kGoog, kMsft, kBrk}));
    EXPECT_TRUE(sink.otherFieldsZero);
    EXPECT_EQ(QuoteScanAnswer(answer.data(), answer.size(), nullptr, nullptr), 3) << "a null sink only counts";
}

TEST(QuoteScan, SplitAnswerIsParsedOnceInTheBlockThatCompletesIt)
{
    std::string answer = ReadFixture("quote-GOOG-MSFT-BRK.B-16-keys.txt");
    Sink whole;
    ASSERT_EQ(Scan(answer, &whole), 3);

    // Every split into two blocks, then a few uneven splittings into many.
    Receiver r;
    for (size_t cut = 1; cut < answer.size(); cut++) {
        r.Reset();
        r.Receive(answer.data(), cut);
        r.Receive(answer.data() + cut, answer.size() - cut);
        ASSERT_EQ(r.states, (std::vector<int>{QUOTE_GATHER_PENDING, QUOTE_GATHER_COMPLETE})) << "cut " << cut;
        ASSERT_EQ(r.sink.quotes, whole.quotes) << "cut " << cut;
    }
    for (size_t block : {1, 3, 7, 64, 2048}) {
        r.Reset();
        r.ReceiveInBlocks(answer, block);
        EXPECT_EQ(r.scans, 1) << "blocks of " << block;
        EXPECT_EQ(r.states.back(), QUOTE_GATHER_COMPLETE);
        EXPECT_EQ(std::count(r.states.begin(), r.states.end(), QUOTE_GATHER_PENDING), (long)r.states.size() - 1);
        EXPECT_EQ(r.sink.quotes, whole.quotes) << "blocks of " << block;
    }
}

TEST(QuoteScan, AnswerFollowedByAnyByteIsNeverParsed)
{
    std::string answer = ReadFixture("quote-GOOG-MSFT-BRK.B-16-keys.txt");
    for (const char *tail : {"\n", " ", "]", "x", "\r"}) {
        Receiver r;
        r.ReceiveInBlocks(answer + tail, 2048);
        EXPECT_EQ(r.scans, 0) << "tail " << (int)tail[0];
        EXPECT_TRUE(r.sink.quotes.empty());
    }
    // A zero byte too.
    Receiver r;
    r.ReceiveInBlocks(answer + std::string(1, '\0'), 2048);
    EXPECT_EQ(r.scans, 0);
}

TEST(QuoteScan, AnswerWithoutStartMarkerIsDropped)
{
    std::string records = RecordText(SixteenKeys("GOOG", 1)) + "]\n";
    struct Case {
        const char *label;
        std::string answer;
    } cases[] = {
        {"error page", "HTTP/1.0 404 Not Found\r\n\r\n<html>no such page</html>\n}\n]\n"},
        {"no marker line", std::string(kHttpHeader) + records},
        {"no space", std::string(kHttpHeader) + "//[\n" + records},
        {"CR before the brace", std::string(kHttpHeader) + "// [\r\n" + records},
        {"blank line before the brace", std::string(kHttpHeader) + "// [\n\n" + records},
    };
    for (const Case &c : cases) {
        Receiver r;
        r.ReceiveInBlocks(c.answer, 2048);
        EXPECT_EQ(r.scans, 1) << c.label;
        EXPECT_EQ(r.lastScanResult, -1) << c.label;
        EXPECT_TRUE(r.sink.quotes.empty()) << c.label;
        EXPECT_EQ(r.count, 0u) << c.label;
    }
}

TEST(QuoteScan, ScanStartsAtTheFirstStartMarker)
{
    // Records before the marker are not part of the answer.
    std::string early = RecordText(SixteenKeys("EARLY", 1));
    std::string answer = std::string(kHttpHeader) + early + "// [\n" + RecordText(SixteenKeys("LATE", 2)) + "]\n";
    Sink sink;
    ASSERT_EQ(Scan(answer, &sink), 1);
    EXPECT_EQ(sink.quotes[0].ticker, "LATE");
}

TEST(QuoteScan, CrlfAnswerIsNeverParsed)
{
    std::string answer = ReadFixture("quote-GOOG-MSFT-BRK.B-16-keys.txt");
    std::string crlf;
    for (char c : answer) {
        if (c == '\n' && (crlf.empty() || crlf.back() != '\r'))
            crlf += '\r';
        crlf += c;
    }
    Receiver r;
    r.ReceiveInBlocks(crlf, 2048);
    EXPECT_EQ(r.scans, 0);
    Sink sink;
    EXPECT_EQ(Scan(crlf, &sink), -1) << "not even when scanned directly";
    EXPECT_TRUE(sink.quotes.empty());
}

TEST(QuoteScan, OneLineAnswerAppliesNothing)
{
    std::string oneLine = ReadFixture("legacy/info-USDBTC-2017-02-27-one-line.txt");
    ASSERT_FALSE(oneLine.empty());
    for (const std::string &answer : {kHttpHeader + oneLine, kHttpHeader + oneLine + "\n"}) {
        Receiver r;
        r.ReceiveInBlocks(answer, 2048);
        EXPECT_EQ(r.scans, 0);
        Sink sink;
        EXPECT_EQ(Scan(answer, &sink), -1);
        EXPECT_TRUE(sink.quotes.empty());
    }
}

// ---- Records and keys ----

std::vector<Key> Without(std::vector<Key> keys, const std::string &name)
{
    keys.erase(std::remove_if(keys.begin(), keys.end(), [&](const Key &k) { return k.name == name; }), keys.end());
    return keys;
}

TEST(QuoteScan, KeysThatOnlyBeginLikeUsedKeysGoNowhere)
{
    // With a used key missing, the keys that begin like it must not fill its field.
    const std::vector<Key> full = SixteenKeys("GOOG", 7);
    const Quote all = {"GOOG", "NASDAQ", "7.10", "+0.7", "Nov 26, 4:00PM EST", "chr"};
    struct Case {
        const char *missing;
        Quote expected;
    } cases[] = {
        {"l", {"GOOG", "NASDAQ", "", "+0.7", "Nov 26, 4:00PM EST", "chr"}},    // l_fix, l_cur, lt, lt_dts
        {"lt", {"GOOG", "NASDAQ", "7.10", "+0.7", "", "chr"}},                  // lt_dts, ltt, l
        {"c", {"GOOG", "NASDAQ", "7.10", "", "Nov 26, 4:00PM EST", "chr"}},     // c_fix, cp, cp_fix, ccol
        {"ccol", {"GOOG", "NASDAQ", "7.10", "+0.7", "Nov 26, 4:00PM EST", ""}}, // c
        {"e", {"GOOG", "", "7.10", "+0.7", "Nov 26, 4:00PM EST", "chr"}},
    };
    for (const Case &c : cases) {
        Sink sink;
        EXPECT_EQ(Scan(AnswerText({RecordText(Without(full, c.missing))}), &sink), 1) << c.missing;
        ASSERT_EQ(sink.quotes.size(), 1u) << c.missing;
        EXPECT_EQ(sink.quotes[0], c.expected) << "without " << c.missing;
    }

    // The look-alikes before and after the real keys change nothing either.
    std::vector<Key> shuffled = full;
    std::reverse(shuffled.begin() + 1, shuffled.end());
    Sink sink;
    EXPECT_EQ(Scan(AnswerText({RecordText(shuffled)}), &sink), 1);
    EXPECT_EQ(sink.quotes, std::vector<Quote>{all});
}

TEST(QuoteScan, RecordsWithoutATickerAreNotApplied)
{
    std::vector<Key> noTicker = Without(SixteenKeys("X", 1), "t");
    std::vector<Key> emptyTicker = SixteenKeys("", 2);
    // The ticker as the record's first line has no leading comma, so it is skipped like "id".
    std::vector<Key> tickerFirst = Without(SixteenKeys("FIRST", 3), "id");
    std::vector<Key> msftWithoutExchange = Without(SixteenKeys("MSFT", 4), "e");
    std::string answer = AnswerText({RecordText(noTicker), RecordText(msftWithoutExchange), RecordText(emptyTicker),
                                     RecordText(tickerFirst), RecordText(SixteenKeys("UNKNOWN", 5))});
    Sink sink;
    EXPECT_EQ(Scan(answer, &sink), 2);
    ASSERT_EQ(sink.quotes.size(), 2u);
    EXPECT_EQ(sink.quotes[0].ticker, "MSFT");
    EXPECT_EQ(sink.quotes[0].price, "4.10");
    EXPECT_EQ(sink.quotes[0].exchange, "") << "nothing carried over from the record before";
    // A ticker the list does not hold is still handed over: the apply step ignores it.
    EXPECT_EQ(sink.quotes[1].ticker, "UNKNOWN");
}

TEST(QuoteScan, ValuesTooLongForTheirFieldAreNotCopied)
{
    struct Case {
        const char *key;
        std::string value;
        int records;  // records handed over
        Quote expected;
    } cases[] = {
        {"t", std::string(15, 'T'), 1, {std::string(15, 'T'), "NASDAQ", "1.10", "+0.1", "Nov 26, 4:00PM EST", "chr"}},
        {"t", std::string(16, 'T'), 0, {}},
        {"t", std::string(40, 'T'), 0, {}},
        {"ccol", "chrchrc", 1, {"GOOG", "NASDAQ", "1.10", "+0.1", "Nov 26, 4:00PM EST", "chrchrc"}},
        {"ccol", "chrchrch", 1, {"GOOG", "NASDAQ", "1.10", "+0.1", "Nov 26, 4:00PM EST", ""}},
        {"e", std::string(31, 'E'), 1, {"GOOG", std::string(31, 'E'), "1.10", "+0.1", "Nov 26, 4:00PM EST", "chr"}},
        {"e", std::string(32, 'E'), 1, {"GOOG", "", "1.10", "+0.1", "Nov 26, 4:00PM EST", "chr"}},
        {"lt", std::string(32, 'L'), 1, {"GOOG", "NASDAQ", "1.10", "+0.1", "", "chr"}},
        {"l", "", 1, {"GOOG", "NASDAQ", "", "+0.1", "Nov 26, 4:00PM EST", "chr"}},
    };
    for (const Case &c : cases) {
        std::vector<Key> keys = SixteenKeys("GOOG", 1);
        for (Key &k : keys) {
            if (k.name == c.key)
                k.value = c.value;
        }
        Sink sink;
        EXPECT_EQ(Scan(AnswerText({RecordText(keys)}), &sink), c.records) << c.key << "=" << c.value;
        if (c.records == 1 && sink.quotes.size() == 1) {
            EXPECT_EQ(sink.quotes[0], c.expected) << c.key << "=" << c.value;
        }
    }
}

TEST(QuoteScan, RepeatedKeyKeepsTheLastValueThatFits)
{
    std::string record = "{\n\"id\" : \"1\"\n,\"t\" : \"GOOG\"\n,\"l\" : \"1.00\"\n,\"l\" : \"2.00\"\n"
                         ",\"l\" : \"" + std::string(40, '9') + "\"\n,\"ccol\" : \"chg\"\n,\"ccol\" : \"chr\n}\n";
    Sink sink;
    ASSERT_EQ(Scan(AnswerText({record}), &sink), 1);
    EXPECT_EQ(sink.quotes[0].price, "2.00") << "a value too long leaves the earlier one";
    EXPECT_EQ(sink.quotes[0].ccol, "chg") << "a value without closing quote leaves the earlier one";
}

TEST(QuoteScan, RecordLayoutLines)
{
    // A closing line may carry more after its "}", a record opens at any line
    // holding "{", and a line holding "{" inside a record does not restart it.
    std::string answer = std::string(kHttpHeader) +
                         "// [\n{\n,\"t\" : \"A\"\n,\"l\" : \"1\"\n} trailing\nnoise { here\n,\"t\" : \"B\"\n"
                         ",{\n,\"l\" : \"2\"\n}\n,\"t\" : \"OUTSIDE\"\n}\n]\n";
    Sink sink;
    EXPECT_EQ(Scan(answer, &sink), 2);
    ASSERT_EQ(sink.quotes.size(), 2u);
    EXPECT_EQ(sink.quotes[0], (Quote{"A", "", "1", "", "", ""}));
    EXPECT_EQ(sink.quotes[1], (Quote{"B", "", "2", "", "", ""}));
}

TEST(QuoteScan, BytesAfterTheLastLineFeedFormNoLine)
{
    std::string answer = std::string(kHttpHeader) + "// [\n{\n,\"t\" : \"A\"\n}";  // the closing line never ends
    Sink sink;
    EXPECT_EQ(Scan(answer, &sink), 0);
    EXPECT_TRUE(sink.quotes.empty());
}

TEST(QuoteScan, LongLinesAreCutAndTheRestStillParses)
{
    // The line buffer keeps 511 bytes of a line; nothing is written past it
    // (AddressSanitizer watches), and a value whose closing quote was cut off
    // is not taken.
    std::string pad(QUOTE_LINE_SIZE * 3, ' ');
    std::string record1 = "{\n\"id\" : \"" + std::string(5000, '1') + "\"\n"  // long unused line
                          ",\"t\" : \"LONG\"" + pad + "\n"                        // value before the cut
                          ",\"e\" : \"" + std::string(600, 'E') + "\"\n"          // closing quote cut off
                          ",\"l\" : \"" + std::string(QUOTE_LINE_SIZE - 11, ' ') + "x\"\n"  // too long anyway
                          ",\"c\" : \"+1\"\n"
                          "}" + pad + "\n";                                     // long closing line still closes
    std::string record2 = RecordText(SixteenKeys("NEXT", 2));
    Sink sink;
    EXPECT_EQ(Scan(AnswerText({record1, record2}), &sink), 2);
    ASSERT_EQ(sink.quotes.size(), 2u);
    EXPECT_EQ(sink.quotes[0], (Quote{"LONG", "", "", "+1", "", ""}));
    EXPECT_EQ(sink.quotes[1].ticker, "NEXT");
    EXPECT_EQ(sink.quotes[1].price, "2.10");
}

TEST(QuoteCopyValue, CopiesUpToTheQuoteWhenItFits)
{
    struct Case {
        const char *value;
        int size;
        const char *expected;
    } cases[] = {
        {"abc\"\n", 8, "abc"},   {"abcdefg\"\n", 8, "abcdefg"}, {"abcdefgh\"\n", 8, "old"},
        {"\"\n", 8, ""},         {"abc\n", 8, "old"},           {"", 8, "old"},
        {"a\"b\"\n", 8, "a"},    {"abc\"", 4, "abc"},           {"abc\"", 0, "old"},
    };
    for (const Case &c : cases) {
        char field[16];
        memset(field, '#', sizeof field);
        strcpy(field, "old");
        QuoteCopyValue(field, c.size, c.value);
        EXPECT_STREQ(field, c.expected) << c.value << " size " << c.size;
        // Nothing written past the terminating zero of the copy (or of "old").
        size_t used = std::max(strlen(field) + 1, (size_t)4);
        for (size_t i = used; i < sizeof field; i++)
            EXPECT_EQ(field[i], '#') << "byte " << i << " of " << c.value;
    }
}

// ---- Gathering ----

TEST(QuoteGather, CompleteOnlyWhenMoreThanFourBytesEndWithTheEndMarker)
{
    struct Case {
        std::string bytes;
        int state;
    } cases[] = {
        {"}\n]\n", QUOTE_GATHER_PENDING},  {"x}\n]\n", QUOTE_GATHER_COMPLETE}, {"}\n]", QUOTE_GATHER_PENDING},
        {"}\n]\n\n", QUOTE_GATHER_PENDING}, {"}\r\n]\r\n", QUOTE_GATHER_PENDING}, {"", QUOTE_GATHER_PENDING},
    };
    for (const Case &c : cases) {
        char buffer[16];
        size_t count = 0;
        EXPECT_EQ(QuoteGather(buffer, sizeof buffer, &count, c.bytes.data(), c.bytes.size()), c.state) << c.bytes;
        EXPECT_EQ(count, c.bytes.size());
    }
    // The end marker spread over blocks counts as well.
    char buffer[16];
    size_t count = 0;
    EXPECT_EQ(QuoteGather(buffer, sizeof buffer, &count, "ab}", 3), QUOTE_GATHER_PENDING);
    EXPECT_EQ(QuoteGather(buffer, sizeof buffer, &count, "\n]", 2), QUOTE_GATHER_PENDING);
    EXPECT_EQ(QuoteGather(buffer, sizeof buffer, &count, "\n", 1), QUOTE_GATHER_COMPLETE);
    EXPECT_EQ(count, 6u);
    EXPECT_EQ(memcmp(buffer, "ab}\n]\n", 6), 0);
}

TEST(QuoteGather, OverflowDropsTheBlockAndEverythingBefore)
{
    char buffer[8];
    size_t count = 0;
    EXPECT_EQ(QuoteGather(buffer, sizeof buffer, &count, "abcde", 5), QUOTE_GATHER_PENDING);
    EXPECT_EQ(QuoteGather(buffer, sizeof buffer, &count, "x}\n]\n", 5), QUOTE_GATHER_DROPPED);
    EXPECT_EQ(count, 0u);
    // Later blocks gather from the start again.
    EXPECT_EQ(QuoteGather(buffer, sizeof buffer, &count, "12}\n]\n", 6), QUOTE_GATHER_COMPLETE);
    EXPECT_EQ(count, 6u);
    count = 0;
    EXPECT_EQ(QuoteGather(buffer, sizeof buffer, &count, "12345678", 8), QUOTE_GATHER_PENDING) << "exactly full";
    EXPECT_EQ(QuoteGather(buffer, sizeof buffer, &count, "9", 1), QUOTE_GATHER_DROPPED);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(QuoteGather(buffer, sizeof buffer, &count, "x", (size_t)-1), QUOTE_GATHER_DROPPED)
        << "a length that would wrap the count";
}

std::string SixtyTickerAnswer(std::vector<Quote> *expected)
{
    std::vector<std::string> records;
    for (int i = 0; i < 60; i++) {
        std::string ticker = "TK" + std::to_string(i);
        records.push_back(RecordText(SixteenKeys(ticker, i + 10)));
        std::string num = std::to_string(i + 10);
        expected->push_back({ticker, "NASDAQ", num + ".10", "+0." + num, "Nov 26, 4:00PM EST", (i % 2) ? "chr" : "chg"});
    }
    return AnswerText(records);
}

TEST(QuoteGather, SixtyTickersWithSixteenKeysAreAppliedInFull)
{
    std::vector<Quote> expected;
    std::string answer = SixtyTickerAnswer(&expected);
    ASSERT_GT(answer.size(), 8192u * 2) << "far more than the old 8192-byte buffer";
    Receiver r;
    r.ReceiveInBlocks(answer, 2048);
    EXPECT_EQ(r.scans, 1);
    EXPECT_EQ(r.lastScanResult, 60);
    EXPECT_EQ(r.sink.quotes, expected);
}

// An answer of exactly `size` bytes: 253 records of 1 KiB (the most a full request
// asks for), padded in the header.
std::string AnswerOfSize(size_t size)
{
    std::vector<std::string> records;
    for (int i = 0; i < 253; i++) {
        std::vector<Key> keys = SixteenKeys("T" + std::to_string(i), i);
        std::string record = RecordText(keys);
        keys.push_back({"div", std::string(1024 - record.size() - 12, '0')});  // 12: ,"div" : "" and its line feed
        record = RecordText(keys);
        EXPECT_EQ(record.size(), 1024u);
        records.push_back(record);
    }
    std::string answer = AnswerText(records);
    std::string header = kHttpHeader;
    std::string pad = "X-Pad: " + std::string(size - answer.size() - 9, 'p') + "\r\n";
    answer.insert(header.size() - 2, pad);
    EXPECT_EQ(answer.size(), size);
    return answer;
}

TEST(QuoteGather, LargestAnswerIsParsedAndOneByteMoreIsDroppedWhole)
{
    Receiver fits;
    fits.ReceiveInBlocks(AnswerOfSize(QUOTE_BUFFER_SIZE), 2048);
    EXPECT_EQ(fits.scans, 1);
    EXPECT_EQ(fits.lastScanResult, 253);
    ASSERT_EQ(fits.sink.quotes.size(), 253u);
    EXPECT_EQ(fits.sink.quotes[252].ticker, "T252");

    Receiver over;
    over.ReceiveInBlocks(AnswerOfSize(QUOTE_BUFFER_SIZE + 1), 2048);
    EXPECT_EQ(over.scans, 0);
    EXPECT_EQ(over.states.back(), QUOTE_GATHER_DROPPED);
    EXPECT_TRUE(over.sink.quotes.empty());
    EXPECT_EQ(over.count, 0u);
}

}  // namespace
