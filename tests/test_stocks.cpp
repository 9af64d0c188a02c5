// The monitored stocks in memory, kept in step with the store and a real
// report list view; the add-stock dialog driven by messages; quotes applied
// from another thread while the user-interface thread adds and removes stocks.
#include "stocks/stocks.h"

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "core/app.h"
#include "core/ui_call.h"
#include "market/history.h"
#include "stocks/store.h"
#include "ui/main_window.h"
#include "ui/panel.h"
#include "ui/resource.h"
#include "support/program_services.h"
#include "support/stock_view.h"
#include "ui_test_support.h"

namespace {

// ---- the add-stock dialog and message boxes, driven from a thread timer ---------

struct DialogScript {
    std::vector<std::function<void(HWND)>> steps;  // one per appearance of the add dialog
    size_t next = 0;
    std::vector<std::string> boxes;  // texts of the message boxes that appeared
} *script;

void CALLBACK DriveDialogs(HWND, UINT, UINT_PTR, DWORD)
{
    std::vector<HWND> dialogs = stockview::ThreadDialogs();
    for (HWND d : dialogs) {
        HWND text = GetDlgItem(d, 0xFFFF);  // a message box's text
        if (text && !GetDlgItem(d, IDC_TICKER_EDIT)) {
            char buf[512];
            GetWindowTextA(text, buf, sizeof buf);
            script->boxes.push_back(buf);
            SendMessageA(d, WM_COMMAND, IDOK, 0);
            return;
        }
    }
    for (HWND d : dialogs) {
        if (GetDlgItem(d, IDC_TICKER_EDIT) && script->next < script->steps.size()) {
            script->steps[script->next++](d);
            return;
        }
    }
}

// Runs StockAdd with the dialog driven by the given steps; returns the message boxes seen.
std::vector<std::string> RunAdd(std::vector<std::function<void(HWND)>> steps)
{
    DialogScript s;
    s.steps = std::move(steps);
    script = &s;
    UINT_PTR timer = SetTimer(NULL, 0, 30, DriveDialogs);
    StockAdd();
    KillTimer(NULL, timer);
    script = nullptr;
    EXPECT_EQ(s.next, s.steps.size()) << "the dialog did not appear as often as expected";
    return s.boxes;
}

std::function<void(HWND)> TypeAndAdd(const char *ticker)
{
    std::string t = ticker;
    return [t](HWND d) {
        SetDlgItemTextA(d, IDC_TICKER_EDIT, t.c_str());
        SendMessageA(d, WM_COMMAND, MAKEWPARAM(IDC_ADD, BN_CLICKED), (LPARAM)GetDlgItem(d, IDC_ADD));
    };
}

std::function<void(HWND)> PressKey(const char *typed, WPARAM key)
{
    std::string t = typed;
    return [t, key](HWND d) {
        HWND edit = GetDlgItem(d, IDC_TICKER_EDIT);
        SetFocus(edit);
        for (char c : t)
            SendMessageA(edit, WM_CHAR, (WPARAM)(unsigned char)c, 0);
        // Through the dialog manager, as a real key press would go.
        PostMessageA(edit, WM_KEYDOWN, key, 0);
    };
}

// ---- a list view and a store, as the panel would have them ----------------------

class StocksTest : public ::testing::Test {
protected:
    HWND owner = NULL;
    HWND list = NULL;
    services::TempStore store;

    void SetUp() override
    {
        uitest::InitProcess();
        UiCallInit();
        StockListInit();
        owner = uitest::CreatePlainWindow(WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 600, 400, NULL, "stocks");
        list = CreateWindowExA(0, WC_LISTVIEWA, "", WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SINGLESEL, 0, 0, 580,
                               360, owner, (HMENU)(INT_PTR)IDC_STOCKLIST, hInst, NULL);
        for (int i = 0; i < StockListColumns.columnCount; i++) {
            LVCOLUMNA col = {};
            col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
            col.pszText = StockListColumns.columns[i].text;
            col.cx = 80;
            col.iSubItem = i;
            SendMessageA(list, LVM_INSERTCOLUMNA, i, (LPARAM)&col);
        }
        StockListColumns.listWindow = list;
        hMainWnd = owner;
        hPanelDlg = owner;

        char error[STORE_ERROR_SIZE];
        ASSERT_TRUE(store.Open("stocks", error)) << error;
    }

    void TearDown() override
    {
        store.Close();
        EnterCriticalSection(&csStockList);
        ListFreeAll(&StockList);
        LeaveCriticalSection(&csStockList);
        memset(acQuoteRequest, 0, sizeof acQuoteRequest);
        DestroyWindow(owner);
        UiCallDone();
        StockListDone();
        StockListColumns.listWindow = NULL;
        hMainWnd = NULL;
        hPanelDlg = NULL;
    }

    // A stored row handed to the load handler, as the panel's load does.
    void Load(const char *ticker) { stockview::LoadStored(ticker); }

    int Rows() { return (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0); }

    std::string Cell(int row, int column) { return stockview::Cell(list, row, column); }

    std::string Row(int row)
    {
        std::string r;
        for (int c = 0; c < 6; c++)
            r += (c ? "|" : "") + Cell(row, c);
        return r;
    }

    std::vector<std::string> StoredRows()
    {
        std::vector<std::string> rows;
        static std::vector<std::string> *target;
        target = &rows;
        char error[STORE_ERROR_SIZE];
        StoreLoadAll([](StockItem *item) { target->push_back(std::to_string(item->iKey) + ":" + item->ticker); },
                     error);
        return rows;
    }

    void Focus(int row, bool select) { stockview::Focus(list, row, select); }

    static StockItem Quote(const char *ticker, const char *exchange, const char *price, const char *change,
                           const char *lastTx, const char *ccol)
    {
        StockItem q = {};
        strcpy(q.ticker, ticker);
        strcpy(q.exchange, exchange);
        strcpy(q.price, price);
        strcpy(q.change, change);
        strcpy(q.lastTx, lastTx);
        strcpy(q.ccol, ccol);
        return q;
    }
};

TEST_F(StocksTest, LoadShowsTickerAndKeyAndBuildsTheRequest)
{
    Load("GOOG");
    Load("xyz");
    ASSERT_EQ(Rows(), 2);
    EXPECT_EQ(Row(0), "GOOG|||||1");
    EXPECT_EQ(Row(1), "xyz|||||2");
    QuoteRequestBuild();
    EXPECT_STREQ(acQuoteRequest, "GET /finance/info?client=ig&q=GOOG,xyz, HTTP/1.0\r\n\r\n");
    // Each row carries its record, and each record its own node.
    for (int i = 0; i < 2; i++) {
        LVITEMA item = {};
        item.mask = LVIF_PARAM;
        item.iItem = i;
        SendMessageA(list, LVM_GETITEMA, 0, (LPARAM)&item);
        StockItem *record = (StockItem *)item.lParam;
        ASSERT_NE(record, nullptr);
        EXPECT_EQ((StockItem *)record->node->data, record);
    }
}

TEST_F(StocksTest, AddThroughTheDialogStoresListsAndRequests)
{
    Load("GOOG");
    EXPECT_TRUE(RunAdd({TypeAndAdd("xyz")}).empty());
    ASSERT_EQ(Rows(), 2);
    EXPECT_EQ(Row(1), "xyz|||||2");
    EXPECT_EQ(StoredRows(), (std::vector<std::string>{"1:GOOG", "2:xyz"}));
    EXPECT_STREQ(acQuoteRequest, "GET /finance/info?client=ig&q=GOOG,xyz, HTTP/1.0\r\n\r\n");

    // An empty ticker is added like any other: a store row, an empty cell, a lone comma.
    EXPECT_TRUE(RunAdd({TypeAndAdd("")}).empty());
    EXPECT_EQ(Row(2), "|||||3");
    EXPECT_STREQ(acQuoteRequest, "GET /finance/info?client=ig&q=GOOG,xyz,, HTTP/1.0\r\n\r\n");
}

TEST_F(StocksTest, DuplicateInAnotherCaseDoesNothingAndShowsNothing)
{
    Load("GOOG");
    QuoteRequestBuild();
    EXPECT_TRUE(RunAdd({TypeAndAdd("goog")}).empty());
    EXPECT_EQ(Rows(), 1);
    EXPECT_EQ(StoredRows(), std::vector<std::string>{"1:GOOG"});
    EXPECT_STREQ(acQuoteRequest, "GET /finance/info?client=ig&q=GOOG, HTTP/1.0\r\n\r\n");
}

TEST_F(StocksTest, DialogKeysAndLimits)
{
    // Escape cancels, Enter adds (the default button), typing stops at 15 characters.
    EXPECT_TRUE(RunAdd({PressKey("ESC", VK_ESCAPE)}).empty());
    EXPECT_EQ(Rows(), 0);
    EXPECT_TRUE(RunAdd({PressKey("ABCDEFGHIJKLMNOPQRST", VK_RETURN)}).empty());
    ASSERT_EQ(Rows(), 1);
    EXPECT_EQ(Cell(0, 0), "ABCDEFGHIJKLMNO");
    // Cancel adds nothing.
    EXPECT_TRUE(RunAdd({[](HWND d) { SendMessageA(d, WM_COMMAND, IDCANCEL, 0); }}).empty());
    EXPECT_EQ(Rows(), 1);
}

TEST_F(StocksTest, TickerThatWouldBreakTheRequestIsRefusedAtInput)
{
    // The refusal keeps the dialog open: the second step cancels it.
    std::vector<std::string> boxes =
        RunAdd({TypeAndAdd("BRK B"), [](HWND d) { SendMessageA(d, WM_COMMAND, IDCANCEL, 0); }});
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("letters, digits and . - ^ = _ :"), std::string::npos) << boxes[0];
    EXPECT_EQ(Rows(), 0);
    EXPECT_TRUE(StoredRows().empty());

    // Real tickers' characters pass.
    for (const char *t : {"BRK.B", "^GSPC", "EURUSD=X", "NASDAQ:GOOG"})
        EXPECT_TRUE(RunAdd({TypeAndAdd(t)}).empty()) << t;
    EXPECT_EQ(Rows(), 4);
}

TEST_F(StocksTest, AddIsRefusedWhenTheRequestIsFullAndNothingIsStored)
{
    for (int i = 0; i < 253; i++) {
        StockItem item = {};
        snprintf(item.ticker, sizeof item.ticker, "T%014d", i);
        item.iKey = 1000 + i;  // in the list only; the store stays empty
        StockLoadHandler(&item);
    }
    QuoteRequestBuild();
    std::string before = acQuoteRequest;
    std::vector<std::string> boxes = RunAdd({TypeAndAdd("NEWNEWNEWNEWNEW")});
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("full"), std::string::npos) << boxes[0];
    EXPECT_EQ(Rows(), 253);
    EXPECT_TRUE(StoredRows().empty());
    EXPECT_EQ(before, acQuoteRequest);
}

TEST_F(StocksTest, RemoveTakesTheFocusedRowEvenWhenNotSelected)
{
    Load("AAA");
    Load("BBB");
    Load("CCC");
    QuoteRequestBuild();
    HistorySeries.maxValue = 500;
    HistorySeries.count = 3;
    HistorySeries.values[0] = 500;

    Focus(1, /*select=*/false);
    StockRemove();
    ASSERT_EQ(Rows(), 2);
    EXPECT_EQ(Cell(0, 0), "AAA");
    EXPECT_EQ(Cell(1, 0), "CCC");
    EXPECT_EQ(StoredRows(), (std::vector<std::string>{"1:AAA", "3:CCC"}));
    EXPECT_STREQ(acQuoteRequest, "GET /finance/info?client=ig&q=AAA,CCC, HTTP/1.0\r\n\r\n");
    // The history is back to its start state, whichever stock it showed.
    EXPECT_EQ(HistorySeries.maxValue, 0);
    EXPECT_EQ(HistorySeries.count, 366);
    EXPECT_EQ(HistorySeries.values[0], 0);

    // Both other records are still whole and linked.
    int n = 0;
    for (ListNode *node = ListFirst(&StockList); node; node = ListNext(node), n++)
        EXPECT_EQ(((StockItem *)node->data)->node, node);
    EXPECT_EQ(n, 2);
}

TEST_F(StocksTest, RemoveWithoutRowsOrFocusDoesNothing)
{
    StockRemove();  // no rows
    Load("AAA");
    Load("BBB");
    StockRemove();  // rows, none focused
    EXPECT_EQ(Rows(), 2);
    EXPECT_EQ(StoredRows().size(), 2u);
}

TEST_F(StocksTest, QuotesUpdateTheMatchingRowOnTheUserInterfaceThread)
{
    Load("goog");
    Load("MSFT");
    StockItem q = Quote("GOOG", "NASDAQ", "1,258.60", "+4.29", "Dec 10, 4:00PM EST", "chg");
    std::thread([&] { StockApplyQuote(&q); }).join();  // as the I/O thread would
    ASSERT_TRUE(uitest::PumpUntil([&] { return Cell(0, 2) == "1,258.60"; }));
    EXPECT_EQ(Row(0), "goog|NASDAQ|1,258.60|+4.29|Dec 10, 4:00PM EST|1");
    EXPECT_EQ(Row(1), "MSFT|||||2");

    // A quote without "lt" empties Last Tx; one for an unknown ticker changes nothing.
    StockItem second = Quote("goog", "NASDAQ", "1,260.00", "+5.69", "", "chg");
    StockItem unknown = Quote("IBM", "NYSE", "1", "2", "3", "chr");
    StockApplyQuote(&unknown);
    StockApplyQuote(&second);
    ASSERT_TRUE(uitest::PumpUntil([&] { return Cell(0, 2) == "1,260.00"; }));
    EXPECT_EQ(Row(0), "goog|NASDAQ|1,260.00|+5.69||1");
    EXPECT_EQ(Row(1), "MSFT|||||2");
    StockItem *record = StockFind("GOOG");
    ASSERT_NE(record, nullptr);
    EXPECT_STREQ(record->ccol, "chg");
    EXPECT_EQ(StockFind("IBM"), nullptr);
}

TEST_F(StocksTest, TwoRecordsWithOneTickerOnlyTheFirstIsUpdated)
{
    Load("DUP");
    Load("dup");  // only a database written by another program holds both
    StockItem q = Quote("Dup", "NYSE", "10.00", "-1.00", "now", "chr");
    StockApplyQuote(&q);
    ASSERT_TRUE(uitest::PumpUntil([&] { return Cell(0, 2) == "10.00"; }));
    EXPECT_EQ(Row(1), "dup|||||2");
}

TEST_F(StocksTest, RefreshOfARemovedStockTouchesNoRow)
{
    Load("OLD");
    StockItem q = Quote("OLD", "NYSE", "1.00", "+0.01", "t", "chg");
    StockApplyQuote(&q);  // its row refresh is now queued for the UI thread
    Focus(0, true);
    StockRemove();        // ... and the record is gone before it runs
    Load("NEW");          // a new record may even reuse the freed address
    uitest::PumpMessages();
    ASSERT_EQ(Rows(), 1);
    EXPECT_EQ(Row(0), "NEW|||||1");
}

// One thread applies quotes in a loop (as the I/O thread does) while the UI thread
// adds and removes stocks; every row must keep cells of its own ticker.
TEST_F(StocksTest, QuotesAppliedWhileStocksComeAndGo)
{
    const int kTickers = 12;
    std::atomic<bool> stop(false);
    std::atomic<long> applied(0);
    std::thread quoter([&] {
        while (!stop) {
            for (int i = 0; i < kTickers; i++) {
                char t[16];
                snprintf(t, sizeof t, "S%d", i);
                std::string e = std::string("E-") + t, p = std::string("P-") + t;
                std::string c = std::string("C-") + t, l = std::string("L-") + t;
                StockItem q = Quote(t, e.c_str(), p.c_str(), c.c_str(), l.c_str(), (i % 2) ? "chr" : "chg");
                StockApplyQuote(&q);
                applied++;
            }
        }
    });
    unsigned seed = 12345;
    for (int round = 0; round < 300; round++) {
        seed = seed * 1103515245u + 12345u;
        int rows = Rows();
        if (rows < kTickers / 2 || (rows < kTickers && (seed >> 16) % 2)) {
            // add one of the tickers not listed now
            for (int i = 0; i < kTickers; i++) {
                char t[16];
                snprintf(t, sizeof t, "S%d", (int)((seed >> 8) + i) % kTickers);
                if (!StockFind(t)) {
                    Load(t);
                    break;
                }
            }
        } else {
            Focus((int)((seed >> 12) % rows), (seed >> 20) % 2);
            StockRemove();
        }
        uitest::PumpMessages();
    }
    stop = true;
    quoter.join();
    // Calls run in the order they were posted: once this one ran, every refresh
    // the quoter caused has run too.
    static std::atomic<bool> drained;
    drained = false;
    UiCallPost([](intptr_t) { drained = true; }, 0);
    ASSERT_TRUE(uitest::PumpUntil([&] { return drained.load(); }));
    EXPECT_GT(applied.load(), 0);
    int checked = 0;
    for (int r = 0; r < Rows(); r++) {
        std::string t = Cell(r, 0);
        std::string cells[4] = {Cell(r, 1), Cell(r, 2), Cell(r, 3), Cell(r, 4)};
        const char *prefixes[4] = {"E-", "P-", "C-", "L-"};
        for (int c = 0; c < 4; c++) {
            if (!cells[c].empty()) {
                EXPECT_EQ(cells[c], prefixes[c] + t) << "row " << r;
                checked++;
            }
        }
    }
    EXPECT_GT(checked, 0);
    // The list, the view and the store agree.
    int listed = 0;
    for (ListNode *node = ListFirst(&StockList); node; node = ListNext(node))
        listed++;
    EXPECT_EQ(listed, Rows());
    EXPECT_EQ((int)StoredRows().size(), Rows());
}

}  // namespace
