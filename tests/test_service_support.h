// Helpers shared by the quote service's tests: times, fixture files and
// scratch folders. Test code only.
#ifndef QUOTARION_TESTS_TEST_SERVICE_SUPPORT_H
#define QUOTARION_TESTS_TEST_SERVICE_SUPPORT_H

#include <stdint.h>
#include <stdio.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "market/quote_scan.h"
#include "service/svc_market.h"
#include "service/svc_text.h"
#include "service/svc_time.h"
#include "stocks/stock_item.h"

namespace svctest {

// Seconds since 1970 for a UTC date and time.
inline int64_t Utc(int y, int mo, int d, int h, int mi, int s)
{
    return (int64_t)SvcDaysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s;
}

// A file under tests/fixtures/ of the source tree (found from this header's path,
// which also works under Wine, whose Z: drive is the host's root).
inline std::string FixturePath(const std::string &relative)
{
    std::string here = __FILE__;
    size_t slash = here.find_last_of("/\\");
    return here.substr(0, slash + 1) + "fixtures/" + relative;
}

inline std::string ReadFile(const std::string &path)
{
    std::string text;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return text;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        text.append(buf, n);
    fclose(f);
    return text;
}

inline bool WriteFile(const std::string &path, const std::string &text)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
    return fclose(f) == 0 && ok;
}

// A new empty folder of the system's temporary folder; "" when none can be made.
inline std::string TempDir(const std::string &name)
{
    std::error_code ec;
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    std::filesystem::path dir =
        std::filesystem::temp_directory_path(ec) / (name + "_" + std::to_string(stamp));
    if (ec || !std::filesystem::create_directories(dir, ec))
        return "";
    return dir.string();
}

inline void RemoveTree(const std::string &dir)
{
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

// The texts the program shows for a quote, as the service means them.
struct Meant {
    std::string ticker, exchange, price, change, lastTx, ccol;
};

inline Meant MeantOf(const SvcQuote &q)
{
    char buf[64];
    SvcText t;
    Meant m;
    m.ticker = q.ticker;
    m.exchange = q.exchange;
    SvcTextInit(&t, buf, sizeof buf);
    SvcTextAddCentsGrouped(&t, q.last);
    m.price = buf;
    int64_t change = q.last - q.prevClose;
    SvcTextInit(&t, buf, sizeof buf);
    if (change > 0)
        SvcTextAdd(&t, "+");
    SvcTextAddCents(&t, change);
    m.change = buf;
    SvcFormatTradeLong(q.tradeDay, q.tradeSecond, buf, sizeof buf);
    m.lastTx = buf;
    m.ccol = change < 0 ? "chr" : change > 0 ? "chg" : "chb";
    return m;
}

inline void Collect(const StockItem *record, void *context)
{
    Meant m;
    m.ticker = record->ticker;
    m.exchange = record->exchange;
    m.price = record->price;
    m.change = record->change;
    m.lastTx = record->lastTx;
    m.ccol = record->ccol;
    static_cast<std::vector<Meant> *>(context)->push_back(m);
}

// Feeds the answer to the program's gatherer the way the socket layer hands it
// over (blocks of at most 2048 bytes) and scans it once it says complete.
inline std::vector<Meant> ProgramReadsQuotes(const char *bytes, size_t length)
{
    std::vector<Meant> records;
    std::vector<char> buffer(QUOTE_BUFFER_SIZE);
    size_t count = 0;
    int state = QUOTE_GATHER_PENDING;
    for (size_t pos = 0; pos < length; pos += 2048) {
        size_t n = length - pos < 2048 ? length - pos : 2048;
        EXPECT_EQ(QUOTE_GATHER_PENDING, state) << "complete before the last block";
        state = QuoteGather(buffer.data(), buffer.size(), &count, bytes + pos, n);
    }
    EXPECT_EQ(QUOTE_GATHER_COMPLETE, state);
    if (state == QUOTE_GATHER_COMPLETE) {
        EXPECT_LE(0, QuoteScanAnswer(buffer.data(), count, Collect, &records));
    }
    return records;
}

inline void ExpectSame(const std::vector<Meant> &meant, const std::vector<Meant> &read, const std::string &label)
{
    ASSERT_EQ(meant.size(), read.size()) << label;
    for (size_t i = 0; i < meant.size(); i++) {
        EXPECT_EQ(meant[i].ticker, read[i].ticker) << label << " #" << i;
        EXPECT_EQ(meant[i].exchange, read[i].exchange) << label << " #" << i;
        EXPECT_EQ(meant[i].price, read[i].price) << label << " #" << i;
        EXPECT_EQ(meant[i].change, read[i].change) << label << " #" << i;
        EXPECT_EQ(meant[i].lastTx, read[i].lastTx) << label << " #" << i;
        EXPECT_EQ(meant[i].ccol, read[i].ccol) << label << " #" << i;
    }
}

}  // namespace svctest

#endif
