// Helpers shared by the parser tests: fixture files, answers in the legacy
// layout, and a stand-in for QuoteReceive that gathers blocks and scans.
#ifndef QUOTARION_TESTS_TEST_PARSERS_SUPPORT_H
#define QUOTARION_TESTS_TEST_PARSERS_SUPPORT_H

#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "market/quote_scan.h"

namespace parsers_test {

// Fixtures lie beside the test sources. Under Wine a Linux path /x/y is reached
// as /x/y on the current drive (the build folder is on Z:) or as Z:/x/y.
inline std::string FixturePath(const std::string &name)
{
    std::string file = __FILE__;
    return file.substr(0, file.find_last_of("/\\")) + "/fixtures/" + name;
}

inline std::string ReadFixture(const std::string &name)
{
    std::string path = FixturePath(name);
    FILE *f = fopen(path.c_str(), "rb");
#ifdef _WIN32
    if (!f && path[0] == '/')
        f = fopen(("Z:" + path).c_str(), "rb");
#endif
    std::string bytes;
    if (!f) {
        ADD_FAILURE() << "cannot open fixture " << path;
        return bytes;
    }
    char block[4096];
    size_t n;
    while ((n = fread(block, 1, sizeof block, f)) > 0)
        bytes.append(block, n);
    fclose(f);
    return bytes;
}

const char kHttpHeader[] = "HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=ISO-8859-1\r\n\r\n";

// One record of the quote answer: the sixteen keys the service sent, in its
// order, each on its own line with " : ", the first without a leading comma.
// Every value is distinct, so a value that lands in the wrong field shows.
struct Key {
    std::string name;
    std::string value;
};

inline std::vector<Key> SixteenKeys(const std::string &ticker, int n)
{
    std::string num = std::to_string(n);
    return {
        {"id", "1000" + num},
        {"t", ticker},
        {"e", "NASDAQ"},
        {"l", num + ".10"},
        {"l_fix", num + ".11"},
        {"l_cur", "US$" + num + ".12"},
        {"s", "0"},
        {"ltt", "4:0" + num.substr(num.size() - 1) + "PM EST"},
        {"lt", "Nov 26, 4:00PM EST"},
        {"lt_dts", "2014-11-26T16:00:00Z"},
        {"c", "+0." + num},
        {"c_fix", "0.5" + num},
        {"cp", "0.6" + num},
        {"cp_fix", "0.7" + num},
        {"ccol", (n % 2) ? "chr" : "chg"},
        {"pcls_fix", num + ".99"},
    };
}

inline std::string RecordText(const std::vector<Key> &keys)
{
    std::string text = "{\n";
    for (size_t i = 0; i < keys.size(); i++)
        text += (i == 0 ? "\"" : ",\"") + keys[i].name + "\" : \"" + keys[i].value + "\"\n";
    return text + "}\n";
}

// A whole answer: header, blank line, "// [", the records separated by "," lines, "]".
inline std::string AnswerText(const std::vector<std::string> &records)
{
    std::string text = std::string(kHttpHeader) + "\n// [\n";
    for (size_t i = 0; i < records.size(); i++)
        text += (i == 0 ? "" : ",") + records[i];
    return text + "]\n";
}

struct Quote {
    std::string ticker, exchange, price, change, lastTx, ccol;
    bool operator==(const Quote &o) const
    {
        return ticker == o.ticker && exchange == o.exchange && price == o.price && change == o.change &&
               lastTx == o.lastTx && ccol == o.ccol;
    }
};

inline std::ostream &operator<<(std::ostream &os, const Quote &q)
{
    return os << "{" << q.ticker << "|" << q.exchange << "|" << q.price << "|" << q.change << "|" << q.lastTx
              << "|" << q.ccol << "}";
}

// What the sink saw: every record in order, and whether all its other fields stayed zero.
struct Sink {
    std::vector<Quote> quotes;
    bool otherFieldsZero = true;
};

inline void CollectRecord(const StockItem *record, void *context)
{
    Sink *sink = (Sink *)context;
    sink->quotes.push_back({record->ticker, record->exchange, record->price, record->change, record->lastTx,
                            record->ccol});
    if (record->node != nullptr || record->iKey != 0)
        sink->otherFieldsZero = false;
}

// Gathers blocks as the quote connection's data events deliver them, scanning
// the answer in the block that completes it, exactly as QuoteReceive does.
struct Receiver {
    std::vector<char> buffer = std::vector<char>(QUOTE_BUFFER_SIZE);
    size_t count = 0;
    Sink sink;
    std::vector<int> states;  // QuoteGather's result for every block
    int scans = 0;            // answers scanned
    int lastScanResult = 0;

    void Reset()
    {
        count = 0;
        sink = Sink();
        states.clear();
        scans = 0;
        lastScanResult = 0;
    }

    void Receive(const char *bytes, size_t length)
    {
        int state = QuoteGather(buffer.data(), buffer.size(), &count, bytes, length);
        states.push_back(state);
        if (state == QUOTE_GATHER_COMPLETE) {
            size_t complete = count;
            count = 0;
            scans++;
            lastScanResult = QuoteScanAnswer(buffer.data(), complete, CollectRecord, &sink);
        }
    }

    // The answer in blocks of at most blockSize bytes (the socket layer hands over up to 2048).
    void ReceiveInBlocks(const std::string &answer, size_t blockSize)
    {
        for (size_t at = 0; at < answer.size(); at += blockSize)
            Receive(answer.data() + at, std::min(blockSize, answer.size() - at));
    }
};

// Scans one answer directly; returns the scanner's result.
inline int Scan(const std::string &answer, Sink *sink)
{
    return QuoteScanAnswer(answer.data(), answer.size(), CollectRecord, sink);
}

}  // namespace parsers_test

#endif
