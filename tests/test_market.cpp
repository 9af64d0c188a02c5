// Live quotes and the one-year history, in process: the real socket layer, the
// real timer service and the real panel, against a fake service on 127.0.0.1:80.
#include "market/chart.h"
#include "market/history.h"
#include "market/quote.h"

#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "core/app.h"
#include "core/ui_call.h"
#include "net/sock_internal.h"
#include "stocks/stocks.h"
#include "stocks/store.h"
#include "support/fake_service.h"
#include "support/program_services.h"
#include "support/stock_view.h"
#include "timer/timer.h"
#include "ui/layout.h"
#include "ui/main_window.h"
#include "ui/panel.h"
#include "ui/resource.h"
#include "ui_test_support.h"

namespace {

std::string CsvYear(int lines, double first, double step, double maxAt = -1, int maxIndex = -1)
{
    std::string csv = "\xEF\xBB\xBF" "Date,Open,High,Low,Close,Volume\n";
    for (int i = 0; i < lines; i++) {
        double close = (i == maxIndex) ? maxAt : first + step * i;
        char line[128];
        snprintf(line, sizeof line, "%d-Dec-26,1.00,2.00,0.50,%.2f,1000\n", 1 + i % 28, close);
        csv += line;
    }
    return csv;
}

std::string TickerOf(const std::string &request)
{
    size_t q = request.find("q=");
    size_t end = request.find_first_of("&, ", q + 2);
    return q == std::string::npos ? "" : request.substr(q + 2, end - q - 2);
}

class MarketTest : public ::testing::Test {
protected:
    FakeService service;
    HWND owner = NULL;
    services::TempStore store;

    void SetUp() override
    {
        uitest::InitProcess();
        uitest::CreateFonts();
        LOGFONTA semibold = {};
        semibold.lfHeight = -11;
        semibold.lfWeight = 600;
        strcpy(semibold.lfFaceName, "MS Sans Serif");
        hFontSemibold = CreateFontIndirectA(&semibold);
        hBrushWhite = CreateSolidBrush(RGB(255, 255, 255));
        hBrushGrey = CreateSolidBrush(RGB(188, 194, 200));
        hPenRed = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
        ASSERT_TRUE(services::Start());
        char error[STORE_ERROR_SIZE];
        ASSERT_TRUE(store.Open("market", error)) << error;

        owner = uitest::CreatePlainWindow(WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE, 20, 20, 700, 700, NULL, "market");
        hMainWnd = owner;
        hPanelDlg = CreateModelessDialog(hInst, owner, PanelDlgProc, IDD_PANEL);
        ASSERT_NE(hPanelDlg, (HWND)NULL);
    }

    void TearDown() override
    {
        service.Stop();
        DestroyWindow(owner);
        services::Stop();
        store.Close();
        DeleteObject(hFontSemibold);
        hFontSemibold = NULL;
        uitest::DeleteFonts();
        DeleteObject(hBrushWhite);
        DeleteObject(hBrushGrey);
        DeleteObject(hPenRed);
        SockSysReset();
        bShuttingDown = 0;
    }

    HWND List() { return StockListColumns.listWindow; }

    void Load(const char *ticker)
    {
        stockview::LoadStored(ticker);
        QuoteRequestBuild();
    }

    std::string Cell(int row, int column) { return stockview::Cell(List(), row, column); }

    std::string Label(int id)
    {
        char text[64] = "";
        GetDlgItemTextA(hPanelDlg, id, text, sizeof text);
        return text;
    }

    void Click(int row)
    {
        stockview::Focus(List(), row, true);
        HistoryRequest(hPanelDlg);
    }

    bool WaitRequests(size_t n, DWORD ms) { return uitest::PumpUntil([&] { return service.RequestCount() >= n; }, ms); }

    // Pumps for a while without expecting anything.
    void Idle(DWORD ms) { uitest::PumpUntil([] { return false; }, ms); }

    void AnswerQuotes()
    {
        service.handler = [](FakeService &, SOCKET s, const std::string &request) {
            std::vector<QuoteRecordText> records;
            size_t q = request.find("q=");
            size_t end = q == std::string::npos ? q : request.find(' ', q);
            if (end == std::string::npos)
                return;  // not a quote request (or nothing was sent)
            std::string list = request.substr(q + 2, end - q - 2);
            size_t start = 0;
            int n = 0;
            while (start < list.size()) {
                size_t comma = list.find(',', start);
                std::string t = list.substr(start, comma - start);
                for (char &c : t)
                    c = (char)toupper((unsigned char)c);
                char price[32];
                snprintf(price, sizeof price, "%d.%02d", 100 + n, n);
                records.push_back({t, "NASDAQ", price, n % 2 ? "-1.25" : "+2.50", "Dec 10, 4:00PM EST",
                                   n % 2 ? "chr" : "chg"});
                n++;
                start = comma + 1;
            }
            FakeService::SendAll(s, HttpOk(LegacyQuoteBody(records)));
        };
    }

    void AnswerHistory(std::function<std::string(const std::string &ticker)> csv, DWORD delayMs = 0,
                       const std::string &slowTicker = "")
    {
        service.handler = [=](FakeService &self, SOCKET s, const std::string &request) {
            std::string ticker = TickerOf(request);
            if (ticker == slowTicker)
                self.Pause(delayMs);
            FakeService::SendAll(s, HttpOk(csv(ticker), "text/csv"));
        };
    }
};

// ---- the refresh cycle -------------------------------------------------------------

TEST_F(MarketTest, EmptyListOpensNothingThenFetchesAfterTheFirstAdd)
{
    AnswerQuotes();
    ASSERT_TRUE(service.Start());
    QuoteRefreshStart();
    Idle(4500);  // one and a half periods
    EXPECT_EQ(service.connections.load(), 0);

    Load("goog");
    ASSERT_TRUE(WaitRequests(1, 8000));
    EXPECT_EQ(service.Requests()[0], "GET /finance/info?client=ig&q=goog, HTTP/1.0\r\n\r\n");
    // The record says GOOG: it updates the stock typed as goog.
    ASSERT_TRUE(uitest::PumpUntil([&] { return Cell(0, 2) == "100.00"; }));
    EXPECT_EQ(Cell(0, 1), "NASDAQ");
    EXPECT_EQ(Cell(0, 3), "+2.50");
    EXPECT_EQ(Cell(0, 4), "Dec 10, 4:00PM EST");
    EXPECT_EQ(nServiceLookups, 1);  // looked up once in this process, then reused
}

TEST_F(MarketTest, HiddenInTheTraySendsNothingAndResumesAfterRestore)
{
    AnswerQuotes();
    ASSERT_TRUE(service.Start());
    Load("MSFT");
    bHiddenInTray = 1;
    QuoteRefreshStart();
    Idle(4500);
    EXPECT_EQ(service.connections.load(), 0);
    bHiddenInTray = 0;
    ASSERT_TRUE(WaitRequests(1, 8000));
    ASSERT_TRUE(WaitRequests(2, 10000));  // and the chain goes on
    EXPECT_EQ(nServiceLookups, 1);
}

TEST_F(MarketTest, ServerThatClosesWithoutAnsweringEndsTheCycleNormally)
{
    service.handler = [](FakeService &, SOCKET, const std::string &) {};  // read, then close
    ASSERT_TRUE(service.Start());
    Load("IBM");
    QuoteRefreshStart();
    ASSERT_TRUE(WaitRequests(2, 15000));
    EXPECT_EQ(Cell(0, 2), "");  // nothing was applied
}

TEST_F(MarketTest, FailedSendClosesTheConnectionAndTheNextCycleFollows)
{
    static std::atomic<int> sends;
    sends = 0;
    sSockSys.Send = [](SOCKET s, const char *buf, int len, int flags) -> int {
        if (sends++ == 0) {
            WSASetLastError(WSAECONNRESET);
            return SOCKET_ERROR;
        }
        return send(s, buf, len, flags);
    };
    AnswerQuotes();
    ASSERT_TRUE(service.Start());
    Load("AAPL");
    QuoteRefreshStart();
    ASSERT_TRUE(WaitRequests(2, 15000));
    std::vector<std::string> requests = service.Requests();
    EXPECT_EQ(requests[0], "");  // nothing went out: the connection was closed
    EXPECT_EQ(requests[1], "GET /finance/info?client=ig&q=AAPL, HTTP/1.0\r\n\r\n");
    ASSERT_TRUE(uitest::PumpUntil([&] { return Cell(0, 2) == "100.00"; }));
}

TEST_F(MarketTest, WatchdogClosesAConnectionThatNeverEnds)
{
    std::atomic<bool> firstClosedByClient(false);
    std::atomic<int> served(0);
    service.handler = [&](FakeService &self, SOCKET s, const std::string &) {
        if (served++ == 0) {
            self.HoldUntilClosed(s);  // accept, never answer, never close
            firstClosedByClient = !self.stopping;
        }
    };
    ASSERT_TRUE(service.Start());
    Load("GOOG");
    QuoteRefreshStart();
    ASSERT_TRUE(WaitRequests(1, 8000));
    // The watchdog (15 s) closes it; its closed event arms the next cycle (3 s).
    ASSERT_TRUE(WaitRequests(2, 40000));
    EXPECT_TRUE(firstClosedByClient.load());
}

TEST_F(MarketTest, ConnectThatFailsBeforeAnyConnectionExistsStillArmsTheNextCycle)
{
    static std::atomic<int> sockets;
    sockets = 0;
    sSockSys.Socket = [](int af, int type, int protocol) -> SOCKET {
        if (sockets++ < 2)
            return INVALID_SOCKET;  // no connection, so no event will follow
        return socket(af, type, protocol);
    };
    AnswerQuotes();
    ASSERT_TRUE(service.Start());
    Load("GOOG");
    QuoteRefreshStart();
    ASSERT_TRUE(WaitRequests(1, 20000));  // the third attempt connects
    EXPECT_GE(sockets.load(), 3);
}

TEST_F(MarketTest, WhileShuttingDownAFailedConnectEndsTheChain)
{
    static std::atomic<int> sockets;
    sockets = 0;
    sSockSys.Socket = [](int, int, int) -> SOCKET {
        sockets++;
        return INVALID_SOCKET;
    };
    Load("GOOG");
    bShuttingDown = 1;
    QuoteRefreshStart();
    ASSERT_TRUE(uitest::PumpUntil([&] { return sockets.load() >= 1; }, 8000));
    Idle(7000);  // two more periods: nothing tries again
    EXPECT_EQ(sockets.load(), 1);
}

TEST_F(MarketTest, SixtyTickersWithSixteenKeysAreAppliedInFull)
{
    AnswerQuotes();
    ASSERT_TRUE(service.Start());
    for (int i = 0; i < 60; i++) {
        char t[16];
        snprintf(t, sizeof t, "TICK%02d", i);
        Load(t);
    }
    QuoteRefreshStart();
    ASSERT_TRUE(uitest::PumpUntil([&] { return Cell(59, 2) != ""; }, 15000));
    for (int i = 0; i < 60; i++) {
        char price[32];
        snprintf(price, sizeof price, "%d.%02d", 100 + i, i);
        EXPECT_EQ(Cell(i, 2), price) << i;
        EXPECT_EQ(Cell(i, 3), i % 2 ? "-1.25" : "+2.50") << i;
    }
}

// ---- the one-year history ------------------------------------------------------------

TEST_F(MarketTest, ClickShowsTheYearAndItsLabels)
{
    AnswerHistory([](const std::string &) { return CsvYear(252, 400.00, 0.25, 523.40, 7); });
    ASSERT_TRUE(service.Start());
    Load("GOOG");
    Click(0);
    ASSERT_TRUE(uitest::PumpUntil([&] { return Label(IDC_PRICE_TOP) == "523.40"; }));
    EXPECT_EQ(service.Requests()[0], "GET /finance/historical?q=GOOG&output=csv HTTP/1.0\r\n\r\n");
    EXPECT_EQ(Label(IDC_PRICE_MIDDLE), "261.70");
    EXPECT_EQ(Label(IDC_PRICE_BOTTOM), "0.00");
    EXPECT_EQ(HistorySeries.count, 252);
    EXPECT_EQ(HistorySeries.maxValue, 52340);
    EXPECT_EQ(HistorySeries.values[0], 40000 + 25 * 251);  // the last data line is index 0
    EXPECT_EQ(HistorySeries.values[251], 40000);

    // Prices with a single decimal and labels with a leading zero after the point.
    AnswerHistory([](const std::string &) { return CsvYear(3, 1.0, 0.0, 12.05, 1); });
    Click(0);
    ASSERT_TRUE(uitest::PumpUntil([&] { return Label(IDC_PRICE_TOP) == "12.05"; }));
    EXPECT_EQ(Label(IDC_PRICE_MIDDLE), "6.02");

    // An answer without a single data line empties the chart: 0.00, like the bottom label.
    AnswerHistory([](const std::string &) { return std::string("Date,Open,High,Low,Close,Volume\n"); });
    Click(0);
    ASSERT_TRUE(uitest::PumpUntil([&] { return Label(IDC_PRICE_TOP) == "0.00"; }));
    EXPECT_EQ(Label(IDC_PRICE_MIDDLE), "0.00");
    EXPECT_EQ(HistorySeries.count, 0);
}

TEST_F(MarketTest, SecondClickWinsAgainstASlowService)
{
    std::atomic<int> firstSent(0);
    service.handler = [&](FakeService &self, SOCKET s, const std::string &request) {
        std::string ticker = TickerOf(request);
        if (ticker == "SLOW") {
            self.Pause(1500);
            firstSent += FakeService::SendAll(s, HttpOk(CsvYear(10, 100.0, 1.0, 111.11, 3)));
        } else {
            FakeService::SendAll(s, HttpOk(CsvYear(10, 100.0, 1.0, 222.22, 3)));
        }
    };
    ASSERT_TRUE(service.Start());
    Load("SLOW");
    Load("FAST");
    Click(0);
    Click(1);  // abandons the first request at once
    ASSERT_TRUE(uitest::PumpUntil([&] { return Label(IDC_PRICE_TOP) == "222.22"; }));
    Idle(3000);  // the slow answer's time has long passed
    EXPECT_EQ(Label(IDC_PRICE_TOP), "222.22");
    EXPECT_EQ(HistorySeries.maxValue, 22222);
    EXPECT_EQ(service.RequestCount(), 2u);
}

TEST_F(MarketTest, AConnectionThatOnlyClosesDoesNotParseAnEarlierAnswer)
{
    AnswerHistory([](const std::string &) { return CsvYear(20, 500.0, 1.0, 523.40, 2); });
    ASSERT_TRUE(service.Start());
    Load("GOOG");
    Click(0);
    ASSERT_TRUE(uitest::PumpUntil([&] { return Label(IDC_PRICE_TOP) == "523.40"; }));
    SetDlgItemTextA(hPanelDlg, IDC_PRICE_TOP, "--");

    // A connect that fails at once (the broadcast address cannot be connected to):
    // its only event is the final one, and the buffer still holds the earlier answer.
    char saved[SERVICE_ADDR_SIZE];
    memcpy(saved, szServiceAddr, sizeof saved);
    strcpy(szServiceAddr, "255.255.255.255");
    Click(0);
    memcpy(szServiceAddr, saved, sizeof saved);
    Idle(2000);
    EXPECT_EQ(Label(IDC_PRICE_TOP), "--");
    EXPECT_EQ(service.RequestCount(), 1u);
}

// ---- the chart ---------------------------------------------------------------------

COLORREF kRed = RGB(255, 0, 0);
COLORREF kBlack = RGB(0, 0, 0);

// The real chart procedure on a control whose client area is exactly w x h,
// captured from the screen after it painted.
uitest::Picture PaintChart(int w, int h)
{
    HWND host = uitest::CreatePlainWindow(WS_POPUP | WS_VISIBLE, 100, 100, w + 40, h + 40, NULL, "chart");
    HWND chart = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 20, 20, w, h, host, NULL, hInst, NULL);
    SetPropA(chart, CHART_PREV_PROC_PROP, (HANDLE)GetWindowLongPtrA(chart, GWLP_WNDPROC));
    SetWindowLongPtrA(chart, GWLP_WNDPROC, (LONG_PTR)ChartWndProc);
    SetWindowPos(host, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    InvalidateRect(chart, NULL, TRUE);
    UpdateWindow(host);
    UpdateWindow(chart);
    uitest::PumpUntil([] { return false; }, 300);
    RECT r;
    GetWindowRect(chart, &r);
    uitest::Picture picture = uitest::CaptureScreen(r);
    DestroyWindow(host);
    return picture;
}

TEST_F(MarketTest, ChartGeometryOnPixels)
{
    // 252 values: three quarters of the maximum everywhere (y = 25), the maximum at
    // index 100, a drop to zero and a jump back to the maximum for the last two.
    HistorySeries.count = 252;
    HistorySeries.maxValue = 20000;
    for (int i = 0; i < 252; i++)
        HistorySeries.values[i] = 15000;
    HistorySeries.values[100] = 20000;
    HistorySeries.values[250] = 0;
    HistorySeries.values[251] = 20000;
    uitest::Picture p = PaintChart(330, 100);
    ASSERT_EQ(p.width, 330);
    ASSERT_EQ(p.height, 100);

    // Horizontal ticks every (330 - 10) / 11 = 29 pixels: x = 0, 29, ..., 319, from the
    // bottom edge up 10 pixels (the axis itself lies on y = 100, just outside).
    for (int i = 0; i < 12; i++)
        EXPECT_EQ(p.At(i * 29, 95), kBlack) << "tick " << i;
    EXPECT_NE(p.At(320, 95), kBlack);
    EXPECT_NE(p.At(29 * 12, 95), kBlack);
    // Vertical ticks at y = 50 and 0 (the one at y = 100 lies on the bottom edge).
    EXPECT_EQ(p.At(5, 50), kBlack);
    EXPECT_EQ(p.At(5, 0), kBlack);
    EXPECT_NE(p.At(5, 25), kBlack);
    for (int y = 0; y < 100; y++) {
        if (y != 25) {  // where the curve starts, red over the axis
            ASSERT_EQ(p.At(0, y), kBlack) << "vertical axis at y " << y;
        }
    }

    // The maximum touches the top edge; three quarters of it lie on y = 25.
    int x100 = (int)(330 * ((100 * 100) / 252.0) / 100.0);
    EXPECT_EQ(p.At(x100, 0), kRed);
    EXPECT_EQ(p.At(0, 25), kRed);
    EXPECT_EQ(p.At(200, 25), kRed);
    // The last point is at x = 328: the last segment climbs there, nothing lies beyond.
    int redAt328 = 0;
    for (int y = 0; y < 100; y++)
        redAt328 += p.At(328, y) == kRed;
    EXPECT_GT(redAt328, 10);
    for (int y = 0; y < 100; y++)
        EXPECT_NE(p.At(329, y), kRed);
}

TEST_F(MarketTest, ChartWithoutHistoryDrawsAxesOnly)
{
    HistorySeries.count = 252;
    HistorySeries.maxValue = 0;  // the start state: values are never read
    for (int i = 0; i < 252; i++)
        HistorySeries.values[i] = 5000;
    uitest::Picture p = PaintChart(200, 80);
    EXPECT_EQ(p.Count(kRed), 0);
    EXPECT_GT(p.Count(kBlack), 80);
}

TEST_F(MarketTest, RemoveResetsTheChartToAxesOnly)
{
    AnswerHistory([](const std::string &) { return CsvYear(100, 50.0, 0.5, 200.0, 50); });
    ASSERT_TRUE(service.Start());
    Load("GOOG");
    Click(0);
    ASSERT_TRUE(uitest::PumpUntil([&] { return Label(IDC_PRICE_TOP) == "200.00"; }));
    HWND chart = GetDlgItem(hPanelDlg, IDC_CHART);
    RECT r;
    GetWindowRect(chart, &r);
    SetWindowPos(owner, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    Idle(300);
    EXPECT_GT(uitest::CaptureScreen(r).Count(kRed), 50);

    StockRemove();  // the focused row
    Idle(300);
    EXPECT_EQ(uitest::CaptureScreen(r).Count(kRed), 0);
    EXPECT_EQ(HistorySeries.count, 366);
    EXPECT_EQ(HistorySeries.maxValue, 0);
}

}  // namespace
