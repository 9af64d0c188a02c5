// Small pure text helpers: the store's statement formatting and row reading.
// (Other modules' pure helpers have their own test_text_*.cpp beside this file.)
#include "stocks/store_text.h"

#include <gtest/gtest.h>

#include <string.h>

namespace {

TEST(StoreText, InsertDoublesEverySingleQuote)
{
    struct Case {
        const char *ticker;
        const char *statement;
    } cases[] = {
        {"GOOG", "insert into stocks (iKey,ticker) values (NULL,'GOOG');"},
        {"", "insert into stocks (iKey,ticker) values (NULL,'');"},
        {"O'NEIL", "insert into stocks (iKey,ticker) values (NULL,'O''NEIL');"},
        {"x'); drop", "insert into stocks (iKey,ticker) values (NULL,'x''); drop');"},
        {"''", "insert into stocks (iKey,ticker) values (NULL,'''''');"},
    };
    for (const Case &c : cases) {
        char out[2048];
        ASSERT_EQ(StoreFormatInsert(out, sizeof out, c.ticker), 1) << c.ticker;
        EXPECT_STREQ(out, c.statement);
    }
}

TEST(StoreText, InsertThatDoesNotFitWritesNothingPastTheBuffer)
{
    char out[64];
    memset(out, 'Z', sizeof out);
    const char *ticker = "''''''''''''''";  // 14 quotes, doubled to 28
    EXPECT_EQ(StoreFormatInsert(out, 60, ticker), 0);
    EXPECT_STREQ(out, "");
    for (size_t i = 60; i < sizeof out; i++)
        EXPECT_EQ(out[i], 'Z');
}

TEST(StoreText, CopyTextCutAlwaysTerminates)
{
    char out[8];
    CopyTextCut(out, sizeof out, "0123456789");
    EXPECT_STREQ(out, "0123456");
    CopyTextCut(out, sizeof out, "abc");
    EXPECT_STREQ(out, "abc");
    CopyTextCut(out, sizeof out, nullptr);
    EXPECT_STREQ(out, "");
}

TEST(StoreText, CopyIfFits)
{
    char out[16] = "unchanged";
    EXPECT_EQ(CopyIfFits("0123456789abcdef", out, 16), 0);  // 16 characters do not fit 16 bytes
    EXPECT_STREQ(out, "unchanged");
    EXPECT_EQ(CopyIfFits("0123456789abcde", out, 16), 1);
    EXPECT_STREQ(out, "0123456789abcde");
}

TEST(StoreText, FillItemReadsKeyAndTickerInAnyCaseAndOrder)
{
    struct Case {
        const char *label;
        int count;
        const char *names[3];
        const char *values[3];
        long long key;
        const char *ticker;
    } cases[] = {
        {"plain", 2, {"iKey", "ticker"}, {"7", "GOOG"}, 7, "GOOG"},
        {"other case and order", 2, {"TICKER", "ikey"}, {"msft", "12"}, 12, "msft"},
        {"extra column ignored", 3, {"note", "iKey", "Ticker"}, {"x", "3", "IBM"}, 3, "IBM"},
        {"signed key with blanks", 2, {"iKey", "ticker"}, {"  -42xyz", "A"}, -42, "A"},
        {"NULL values", 2, {"iKey", "ticker"}, {nullptr, nullptr}, 0, ""},
        {"ticker of 16 characters", 2, {"iKey", "ticker"}, {"5", "0123456789abcdef"}, 5, ""},
        {"a too long ticker stops the reading", 3, {"ticker", "iKey", "x"}, {"0123456789abcdefg", "9", "y"}, 0, ""},
        {"largest key", 2, {"iKey", "ticker"}, {"9223372036854775807", "Z"}, 9223372036854775807LL, "Z"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        StockItem item;
        memset(&item, 0, sizeof item);
        StoreFillItem(c.count, (char **)c.values, (char **)c.names, &item);
        EXPECT_EQ(item.iKey, c.key);
        EXPECT_STREQ(item.ticker, c.ticker);
        EXPECT_EQ(item.node, nullptr);
        EXPECT_STREQ(item.price, "");
    }
}

}  // namespace
