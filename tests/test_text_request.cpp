// The quote request text and the ticker check.
#include "stocks/request.h"

#include <gtest/gtest.h>

#include <string.h>
#include <string>
#include <vector>

#include "stocks/stock_item.h"

namespace {

struct StockListFixture {
    List list;
    StockListFixture() { ListClear(&list); }
    ~StockListFixture() { ListFreeAll(&list); }
    void Add(const char *ticker)
    {
        StockItem item;
        memset(&item, 0, sizeof item);
        snprintf(item.ticker, sizeof item.ticker, "%s", ticker);
        ListNode *node = ListAppendCopy(&list, &item, sizeof item);
        ((StockItem *)node->data)->node = node;
    }
};

TEST(QuoteRequest, ExactBytes)
{
    struct Case {
        std::vector<const char *> tickers;
        const char *request;
    } cases[] = {
        {{"GOOG"}, "GET /finance/info?client=ig&q=GOOG, HTTP/1.0\r\n\r\n"},
        {{"GOOG", "XYZ"}, "GET /finance/info?client=ig&q=GOOG,XYZ, HTTP/1.0\r\n\r\n"},
        {{""}, "GET /finance/info?client=ig&q=, HTTP/1.0\r\n\r\n"},
        {{"goog", "BRK.B", "^GSPC"}, "GET /finance/info?client=ig&q=goog,BRK.B,^GSPC, HTTP/1.0\r\n\r\n"},
        // A ticker only another program could store is left out, not sent broken.
        {{"A B", "MSFT"}, "GET /finance/info?client=ig&q=MSFT, HTTP/1.0\r\n\r\n"},
    };
    for (const Case &c : cases) {
        StockListFixture f;
        for (const char *t : c.tickers)
            f.Add(t);
        char out[QUOTE_REQUEST_SIZE];
        QuoteRequestFormat(out, sizeof out, &f.list);
        EXPECT_STREQ(out, c.request);
    }
}

TEST(QuoteRequest, EmptyListGivesAllZeroBytes)
{
    StockListFixture f;
    char out[QUOTE_REQUEST_SIZE];
    memset(out, 'x', sizeof out);
    EXPECT_EQ(QuoteRequestFormat(out, sizeof out, &f.list), 0);
    for (size_t i = 0; i < sizeof out; i++)
        ASSERT_EQ(out[i], 0) << i;
}

TEST(QuoteRequest, HoldsExactly253LongestTickersAndNeverWritesPastTheBuffer)
{
    StockListFixture f;
    for (int i = 0; i < 253; i++) {
        char t[16];
        snprintf(t, sizeof t, "T%014d", i);  // 15 characters
        ASSERT_TRUE(QuoteRequestHasRoom(&f.list, t, QUOTE_REQUEST_SIZE)) << i;
        f.Add(t);
    }
    EXPECT_FALSE(QuoteRequestHasRoom(&f.list, "X", QUOTE_REQUEST_SIZE - 14));
    EXPECT_FALSE(QuoteRequestHasRoom(&f.list, "T00000000000253", QUOTE_REQUEST_SIZE));
    std::vector<char> out(QUOTE_REQUEST_SIZE + 64, '#');
    EXPECT_EQ(QuoteRequestFormat(out.data(), QUOTE_REQUEST_SIZE, &f.list), 253);
    size_t length = strlen(out.data());
    EXPECT_EQ(length + 1, 30u + 253u * 16u + 14u);  // 14: the suffix and the terminating zero
    EXPECT_EQ(std::string(out.data() + length - 15), "2, HTTP/1.0\r\n\r\n");
    for (size_t i = QUOTE_REQUEST_SIZE; i < out.size(); i++)
        ASSERT_EQ(out[i], '#');

    // A list written by another program may hold more: the rest is left out.
    f.Add("T00000000000253");
    f.Add("T00000000000254");
    EXPECT_EQ(QuoteRequestFormat(out.data(), QUOTE_REQUEST_SIZE, &f.list), 253);
    EXPECT_LT(strlen(out.data()), (size_t)QUOTE_REQUEST_SIZE);
    for (size_t i = QUOTE_REQUEST_SIZE; i < out.size(); i++)
        ASSERT_EQ(out[i], '#');
}

TEST(QuoteRequest, TickerCharacters)
{
    for (const char *ok : {"", "GOOG", "goog", "BRK.B", "^GSPC", "EURUSD=X", "NASDAQ:GOOG", "BF-B", "A_1"})
        EXPECT_TRUE(TickerIsValid(ok)) << ok;
    for (const char *bad : {"A B", "A?B", "A&B", "A#", "50%", "A/B", "A+B", "\t", "A\r\n", "\"", "'", "\x80"})
        EXPECT_FALSE(TickerIsValid(bad)) << bad;
}

}  // namespace
