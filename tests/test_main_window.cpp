// The main window with its panel, in process and driven with messages: the
// layout's arithmetic on the panel's real client size, the commands, the tray,
// the About command, Exit, colours of the Change cells on pixels, clicks in the
// list, and screenshots of what a user sees.
#include "ui/main_window.h"

#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <math.h>
#include <string>
#include <vector>

#include "core/app.h"
#include "core/ui_call.h"
#include "market/history.h"
#include "market/quote.h"
#include "net/sock.h"
#include "stocks/stocks.h"
#include "stocks/store.h"
#include "support/fake_service.h"
#include "support/program_services.h"
#include "support/stock_view.h"
#include "timer/timer.h"
#include "ui/panel.h"
#include "ui/product.h"
#include "ui/resource.h"
#include "ui_test_support.h"

namespace {

// ---- dialogs that appear inside modal loops -----------------------------------------

std::function<void(HWND)> *onAddDialog;

void CALLBACK DriveAddDialog(HWND, UINT, UINT_PTR, DWORD)
{
    for (HWND d : stockview::ThreadDialogs()) {
        if (GetDlgItem(d, IDC_TICKER_EDIT) && onAddDialog && *onAddDialog) {
            std::function<void(HWND)> step = *onAddDialog;
            *onAddDialog = nullptr;
            step(d);
        }
    }
}

// Sends a command that opens the modal add-stock dialog, which types the ticker and
// presses Add.
void AddThrough(HWND target, WPARAM command, const char *ticker)
{
    std::string t = ticker;
    std::function<void(HWND)> step = [t](HWND d) {
        SetDlgItemTextA(d, IDC_TICKER_EDIT, t.c_str());
        SendMessageA(d, WM_COMMAND, MAKEWPARAM(IDC_ADD, BN_CLICKED), (LPARAM)GetDlgItem(d, IDC_ADD));
    };
    onAddDialog = &step;
    UINT_PTR timer = SetTimer(NULL, 0, 30, DriveAddDialog);
    SendMessageA(target, WM_COMMAND, command, 0);
    KillTimer(NULL, timer);
    onAddDialog = nullptr;
}

BOOL CALLBACK CountAboutDialogs(HWND window, LPARAM count)
{
    char title[64];
    GetWindowTextA(window, title, sizeof title);
    if (strcmp(title, "About Quotarion") == 0 && IsWindow(window))
        (*(int *)count)++;
    return TRUE;
}

class MainWindowTest : public ::testing::Test {
protected:
    services::TempStore store;
    bool destroyed = false;

    void SetUp() override
    {
        uitest::InitProcess();
        bAboutOpen = 0;
        hAboutDlg = NULL;
        ASSERT_TRUE(services::Start());
        hBrushWhite = CreateSolidBrush(RGB(255, 255, 255));
        hBrushGrey = CreateSolidBrush(RGB(188, 194, 200));
        hPenRed = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));

        char error[STORE_ERROR_SIZE];
        ASSERT_TRUE(store.Open("ui", error)) << error;
        for (const char *t : Stored()) {
            StockItem item = {};
            strcpy(item.ticker, t);
            ASSERT_EQ(StoreInsert(&item, error), 1) << error;
        }

        RegisterWindowClass(hInst, CS_HREDRAW | CS_VREDRAW, MainWndProc, 32512,
                            (HBRUSH)(INT_PTR)(COLOR_APPWORKSPACE + 1), APP_CLASS_NAME, IDI_QUOTARION, NULL);
        ASSERT_EQ(CreateMainWindow(hInst, SW_SHOWNOACTIVATE, &hMainWnd), 1);
        uitest::PumpUntil([] { return false; }, 200);  // WM_AFTER_CREATE
    }

    virtual std::vector<const char *> Stored() { return {"GOOG", "MSFT", "AAPL"}; }

    void TearDown() override
    {
        if (!destroyed && IsWindow(hMainWnd))
            DestroyWindow(hMainWnd);
        MSG msg;
        while (PeekMessageA(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
        services::Stop();
        store.Close();
        UnregisterClassA(APP_CLASS_NAME, hInst);
        hMainWnd = NULL;
    }

    HWND List() { return StockListColumns.listWindow; }
    int Rows() { return (int)SendMessageA(List(), LVM_GETITEMCOUNT, 0, 0); }

    std::string Cell(int row, int column) { return stockview::Cell(List(), row, column); }

    // A child's rectangle in the panel's client coordinates: {left, top, width, height}.
    std::vector<int> Rect(HWND child)
    {
        RECT r;
        GetWindowRect(child, &r);
        MapWindowPoints(NULL, hPanelDlg, (POINT *)&r, 2);
        return {r.left, r.top, r.right - r.left, r.bottom - r.top};
    }

    void Apply(const char *ticker, const char *price, const char *change, const char *ccol)
    {
        StockItem q = {};
        strcpy(q.ticker, ticker);
        strcpy(q.exchange, "NASDAQ");
        strcpy(q.price, price);
        strcpy(q.change, change);
        strcpy(q.lastTx, "Dec 10, 4:00PM EST");
        strcpy(q.ccol, ccol);
        StockApplyQuote(&q);
    }

    void Focus(int row, bool select) { stockview::Focus(List(), row, select); }

    // What the screen shows of a window, after it painted.
    uitest::Picture Capture(HWND window)
    {
        SetWindowPos(hMainWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        RedrawWindow(hMainWnd, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        uitest::PumpUntil([] { return false; }, 300);
        RECT r;
        GetWindowRect(window, &r);
        return uitest::CaptureScreen(r);
    }
};

TEST_F(MainWindowTest, WindowClassTitleStyleAndMenu)
{
    char text[64];
    GetClassNameA(hMainWnd, text, sizeof text);
    EXPECT_STREQ(text, " ");
    GetWindowTextA(hMainWnd, text, sizeof text);
    EXPECT_STREQ(text, "Quotarion v1.2");
    LONG style = GetWindowLongA(hMainWnd, GWL_STYLE);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);
    HMENU menu = GetMenu(hMainWnd);
    ASSERT_NE(menu, (HMENU)NULL);
    struct Item {
        int popup, position, id;
        const char *text;
    } items[] = {{0, 0, IDM_ADDSTOCK, "Add Stock"}, {0, 1, IDM_REMOVESTOCK, "Remove Stock"},
                 {0, 3, IDM_EXIT, "Exit"},          {1, 0, IDM_ABOUT, "About"},
                 {1, 1, IDM_PRODUCTWEB, "Product on the web"}};
    for (const Item &i : items) {
        HMENU sub = GetSubMenu(menu, i.popup);
        EXPECT_EQ((int)GetMenuItemID(sub, i.position), i.id) << i.text;
        GetMenuStringA(sub, i.position, text, sizeof text, MF_BYPOSITION);
        EXPECT_STREQ(text, i.text);
    }
    GetMenuStringA(menu, 0, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ(text, "Tools");
    GetMenuStringA(menu, 1, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ(text, "About");

    // The semibold font is 8 points at the display's vertical resolution.
    HDC dc = GetDC(hMainWnd);
    int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(hMainWnd, dc);
    LOGFONTA lf;
    ASSERT_EQ(GetObjectA(hFontSemibold, sizeof lf, &lf), (int)sizeof lf);
    EXPECT_EQ(lf.lfHeight, -MulDiv(8, dpi, 72));
    EXPECT_EQ(lf.lfWeight, 600);
    EXPECT_STREQ(lf.lfFaceName, "MS Sans Serif");
}

TEST_F(MainWindowTest, LayoutFollowsThePanelsClientSize)
{
    RECT client;
    GetClientRect(hPanelDlg, &client);
    const int W = client.right, H = client.bottom;
    ASSERT_NE(hPanelToolbar, (HWND)NULL);
    RECT tb;
    GetWindowRect(hPanelToolbar, &tb);
    const int T = tb.bottom - tb.top;
    EXPECT_GT(T, 32);  // pictures of 32 pixels with their text under them

    std::vector<int> caption = {0, T, W, 20};
    EXPECT_EQ(Rect(hCaptionStocks), caption);
    int listTop = T + 20 + 1;
    int listHeight = H - listTop - 40 * H / 100;
    EXPECT_EQ(Rect(List()), (std::vector<int>{0, listTop, W, listHeight}));
    int historyTop = listTop + listHeight + 1;
    EXPECT_EQ(Rect(hCaptionHistory), (std::vector<int>{0, historyTop, W, 20}));
    int Y0 = historyTop + 20 + 1;

    std::vector<int> bottom = Rect(GetDlgItem(hPanelDlg, IDC_PRICE_BOTTOM));
    int w = bottom[2], h = bottom[3];
    EXPECT_EQ(Rect(GetDlgItem(hPanelDlg, IDC_PRICE_TOP)), (std::vector<int>{0, Y0, w, h}));
    EXPECT_EQ(bottom, (std::vector<int>{0, H - h, w, h}));
    EXPECT_EQ(Rect(GetDlgItem(hPanelDlg, IDC_PRICE_MIDDLE)), (std::vector<int>{0, (H - Y0) / 2 + Y0 - h / 2, w, h}));
    EXPECT_EQ(Rect(GetDlgItem(hPanelDlg, IDC_CHART)), (std::vector<int>{w, Y0, W - w - 2, H - Y0 - 5}));

    // The main window ends where the panel ends.
    RECT mainRect, panelRect;
    GetWindowRect(hMainWnd, &mainRect);
    GetWindowRect(hPanelDlg, &panelRect);
    EXPECT_EQ(mainRect.right, panelRect.right);
    EXPECT_EQ(mainRect.bottom, panelRect.bottom);

    // Columns: texts, formats and widths as percentages of the list's client width.
    RECT listClient;
    GetClientRect(List(), &listClient);
    const int widths[] = {15, 20, 20, 20, 25, 15, 0};
    const char *texts[] = {"Ticker", "Exchange", "Price", "Change", "Last Tx", "RowId", ""};
    for (int i = 0; i < 7; i++) {
        char text[64] = "";
        LVCOLUMNA col = {};
        col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        col.pszText = text;
        col.cchTextMax = sizeof text;
        ASSERT_TRUE(SendMessageA(List(), LVM_GETCOLUMNA, i, (LPARAM)&col)) << i;
        EXPECT_STREQ(text, texts[i]);
        EXPECT_EQ(col.cx, widths[i] * listClient.right / 100) << texts[i];
        EXPECT_EQ(col.fmt & LVCFMT_JUSTIFYMASK, i == 5 ? LVCFMT_RIGHT : LVCFMT_LEFT) << texts[i];
    }
    LVCOLUMNA none = {};
    none.mask = LVCF_WIDTH;
    EXPECT_FALSE(SendMessageA(List(), LVM_GETCOLUMNA, 7, (LPARAM)&none));
    EXPECT_EQ(SendMessageA(List(), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0), LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);

    // The stored stocks, in the store's order, with their keys.
    ASSERT_EQ(Rows(), 3);
    EXPECT_EQ(Cell(0, 0) + Cell(0, 5), "GOOG1");
    EXPECT_EQ(Cell(2, 0) + Cell(2, 5), "AAPL3");
    EXPECT_STREQ(acQuoteRequest, "GET /finance/info?client=ig&q=GOOG,MSFT,AAPL, HTTP/1.0\r\n\r\n");
}

TEST_F(MainWindowTest, ToolbarAndMenuAddAndRemove)
{
    AddThrough(hPanelDlg, IDC_TB_ADDSTOCK, "xyz");
    ASSERT_EQ(Rows(), 4);
    EXPECT_EQ(Cell(3, 0) + Cell(3, 5), "xyz4");
    AddThrough(hMainWnd, IDM_ADDSTOCK, "IBM");
    ASSERT_EQ(Rows(), 5);
    AddThrough(hMainWnd, IDM_ADDSTOCK, "ibm");  // a duplicate in another case
    EXPECT_EQ(Rows(), 5);
    EXPECT_STREQ(acQuoteRequest, "GET /finance/info?client=ig&q=GOOG,MSFT,AAPL,xyz,IBM, HTTP/1.0\r\n\r\n");

    Focus(1, /*select=*/true);
    SendMessageA(hPanelDlg, WM_COMMAND, IDC_TB_DELETESTOCK, 0);
    EXPECT_EQ(Rows(), 4);
    EXPECT_EQ(Cell(1, 0), "AAPL");
    Focus(0, /*select=*/false);  // focused but not selected
    SendMessageA(hMainWnd, WM_COMMAND, IDM_REMOVESTOCK, 0);
    EXPECT_EQ(Rows(), 3);
    EXPECT_EQ(Cell(0, 0), "AAPL");
    EXPECT_STREQ(acQuoteRequest, "GET /finance/info?client=ig&q=AAPL,xyz,IBM, HTTP/1.0\r\n\r\n");

    // Enter and Escape reach the panel without any dialog handling: nothing is removed.
    Focus(0, true);
    SendMessageA(List(), WM_KEYDOWN, VK_RETURN, 0);
    SendMessageA(List(), WM_KEYDOWN, VK_ESCAPE, 0);
    uitest::PumpMessages();
    EXPECT_EQ(Rows(), 3);
}

TEST_F(MainWindowTest, CloseHidesInTheTrayAndALeftPressRestores)
{
    ASSERT_TRUE(IsWindowVisible(hMainWnd));
    SendMessageA(hMainWnd, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindowVisible(hMainWnd));
    EXPECT_TRUE(IsWindow(hMainWnd));
    EXPECT_EQ(bHiddenInTray, 1);

    for (LPARAM ignored : {(LPARAM)WM_RBUTTONDOWN, (LPARAM)WM_LBUTTONUP, (LPARAM)WM_MOUSEMOVE, (LPARAM)WM_MBUTTONDOWN}) {
        SendMessageA(hMainWnd, WM_TRAY_CALLBACK, TRAY_ICON_ID, ignored);
        EXPECT_FALSE(IsWindowVisible(hMainWnd)) << ignored;
    }
    SendMessageA(hMainWnd, WM_TRAY_CALLBACK, TRAY_ICON_ID, WM_LBUTTONDOWN);
    EXPECT_TRUE(IsWindowVisible(hMainWnd));
    EXPECT_EQ(bHiddenInTray, 0);

    // Again after a restore.
    SendMessageA(hMainWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_FALSE(IsWindowVisible(hMainWnd));
    EXPECT_EQ(bHiddenInTray, 1);
    SendMessageA(hMainWnd, WM_TRAY_CALLBACK, TRAY_ICON_ID, WM_LBUTTONDOWN);
    EXPECT_TRUE(IsWindowVisible(hMainWnd));
}

TEST_F(MainWindowTest, TrayRecordsAreCutToTheirFields)
{
    NOTIFYICONDATAA nid;
    TrayIconFill(&nid, hMainWnd, WM_TRAY_CALLBACK, TRAY_ICON_ID, NULL, TRAY_TIP, TRAY_BALLOON);
    EXPECT_EQ(nid.cbSize, sizeof nid);
    EXPECT_EQ(nid.uFlags, (UINT)(NIF_MESSAGE | NIF_TIP | NIF_INFO));
    EXPECT_STREQ(nid.szTip, "Quotarion - Stock Market Monitoring App");
    EXPECT_STREQ(nid.szInfoTitle, "Quotarion - Stock Market Monitoring App");
    EXPECT_STREQ(nid.szInfo, "Quotarion is running in the background");
    EXPECT_EQ(nid.uTimeout, 3000u);
    EXPECT_EQ(nid.dwInfoFlags, (DWORD)NIIF_INFO);

    // Texts longer than their fields are cut, and nothing is written past a field.
    struct Guarded {
        NOTIFYICONDATAA nid;
        char guard[64];
    } g;
    memset(&g, 0x5A, sizeof g);
    std::string tip(300, 't'), balloon(600, 'b');
    TrayIconFill(&g.nid, hMainWnd, WM_TRAY_CALLBACK, TRAY_ICON_ID, (HICON)1, tip.c_str(), balloon.c_str());
    EXPECT_EQ(std::string(g.nid.szTip), std::string(sizeof g.nid.szTip - 1, 't'));
    EXPECT_EQ(std::string(g.nid.szInfoTitle), std::string(sizeof g.nid.szInfoTitle - 1, 't'));
    EXPECT_EQ(std::string(g.nid.szInfo), std::string(sizeof g.nid.szInfo - 1, 'b'));
    EXPECT_EQ(g.nid.uFlags, (UINT)(NIF_MESSAGE | NIF_TIP | NIF_ICON | NIF_INFO));
    for (char c : g.guard)
        ASSERT_EQ(c, 0x5A);
    TrayIconFill(&nid, hMainWnd, WM_TRAY_CALLBACK, TRAY_ICON_ID, NULL, NULL, NULL);
    EXPECT_STREQ(nid.szTip, "");
    EXPECT_EQ(nid.uFlags, (UINT)(NIF_MESSAGE | NIF_TIP));
}

TEST_F(MainWindowTest, AboutTwiceGivesOneDialogAndAFreshOneAfterClose)
{
    SendMessageA(hMainWnd, WM_COMMAND, IDM_ABOUT, 0);
    HWND first = hAboutDlg;
    ASSERT_NE(first, (HWND)NULL);
    SendMessageA(hMainWnd, WM_COMMAND, IDM_ABOUT, 0);
    EXPECT_EQ(hAboutDlg, first);
    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountAboutDialogs, (LPARAM)&count);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(GetWindow(first, GW_OWNER), hMainWnd);
    EXPECT_TRUE(IsWindowEnabled(hMainWnd));  // modeless: the main window stays usable

    // What the user sees: the dialog centred over the main window.
    SetWindowPos(first, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    uitest::Picture shot = Capture(hMainWnd);
    EXPECT_TRUE(uitest::WritePng(shot, uitest::ProgramFolder() + "about-over-main-window.png"));

    SendMessageA(first, WM_COMMAND, IDCANCEL, 0);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(bAboutOpen, 0);
    SendMessageA(hMainWnd, WM_COMMAND, IDM_ABOUT, 0);
    ASSERT_NE(hAboutDlg, (HWND)NULL);
    EXPECT_TRUE(IsWindow(hAboutDlg));
    SendMessageA(hAboutDlg, WM_COMMAND, IDCANCEL, 0);
}

TEST_F(MainWindowTest, ProductOnTheWebOpensTheProductPage)
{
    uitest::BrowserRecorder browser;
    if (!browser.Install())
        GTEST_SKIP() << "needs Wine's browser setting";
    SendMessageA(hMainWnd, WM_COMMAND, IDM_PRODUCTWEB, 0);
    ASSERT_TRUE(uitest::PumpUntil([&] { return !browser.Opened().empty(); }));
    EXPECT_EQ(browser.Opened(), std::vector<std::string>{PRODUCT_WEB_URL});
}

TEST_F(MainWindowTest, ExitDestroysTheWindowAndEverythingItOwns)
{
    HGDIOBJ owned[] = {hFontRegular, hFontSemibold, hFontBold, hBrushWhite, hBrushGrey, hPenRed};
    for (HGDIOBJ o : owned)
        ASSERT_NE(GetObjectType(o), 0u);
    SendMessageA(hMainWnd, WM_COMMAND, IDM_EXIT, 0);
    destroyed = true;
    EXPECT_FALSE(IsWindow(hMainWnd));
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 0u);
    for (HGDIOBJ o : owned)
        EXPECT_EQ(GetObjectType(o), 0u) << "deleted with the window";
    EXPECT_EQ(hFontRegular, (HFONT)NULL);
    EXPECT_EQ(hFontSemibold, (HFONT)NULL);
    EXPECT_EQ(hFontBold, (HFONT)NULL);
    // The panel went with it: its toolbar and the chart's subclass are undone.
    EXPECT_FALSE(IsWindow(hPanelDlg));
    for (ToolbarButtonDef &b : PanelToolbarButtons)
        EXPECT_EQ(b.bitmap, (HBITMAP)NULL);
}

// The Change cell's text colour follows the stock's colour code: "chr" red,
// "chg" green, anything else black; every other cell is black on white.
TEST_F(MainWindowTest, ChangeCellsAreColouredByTheQuotesColourCode)
{
    Apply("GOOG", "1,258.60", "-4.29", "chr");
    Apply("MSFT", "47.75", "+0.28", "chg");
    Apply("AAPL", "393.78", "0.00", "");
    ASSERT_TRUE(uitest::PumpUntil([&] { return Cell(2, 2) == "393.78"; }));
    uitest::Picture picture = Capture(List());
    RECT listOnScreen;
    GetWindowRect(List(), &listOnScreen);
    RECT clientOnScreen;
    GetClientRect(List(), &clientOnScreen);
    MapWindowPoints(List(), NULL, (POINT *)&clientOnScreen, 2);

    auto coloursIn = [&](int row, int column) {
        RECT cell = {};
        cell.top = column;
        cell.left = LVIR_LABEL;
        SendMessageA(List(), LVM_GETSUBITEMRECT, row, (LPARAM)&cell);
        int ox = clientOnScreen.left - listOnScreen.left, oy = clientOnScreen.top - listOnScreen.top;
        std::vector<COLORREF> seen;
        for (int y = cell.top + 1; y < cell.bottom - 1; y++)
            for (int x = cell.left + 1; x < cell.right - 1; x++)
                seen.push_back(picture.At(x + ox, y + oy));
        return seen;
    };
    auto has = [](const std::vector<COLORREF> &v, COLORREF c) {
        return std::find(v.begin(), v.end(), c) != v.end();
    };
    const COLORREF red = RGB(255, 51, 0), green = RGB(0, 102, 0), black = RGB(0, 0, 0);
    std::vector<COLORREF> fall = coloursIn(0, 3), rise = coloursIn(1, 3), plain = coloursIn(2, 3);
    EXPECT_TRUE(has(fall, red));
    EXPECT_FALSE(has(fall, green));
    EXPECT_TRUE(has(rise, green));
    EXPECT_FALSE(has(rise, red));
    EXPECT_TRUE(has(plain, black));
    EXPECT_FALSE(has(plain, red) || has(plain, green));
    for (int row = 0; row < 3; row++) {
        std::vector<COLORREF> price = coloursIn(row, 2);
        EXPECT_TRUE(has(price, black)) << row;
        EXPECT_FALSE(has(price, red) || has(price, green)) << row;
        EXPECT_TRUE(has(price, RGB(255, 255, 255))) << row;
    }
}

class MainWindowWithServiceTest : public MainWindowTest {
protected:
    FakeService service;
    void TearDown() override
    {
        service.Stop();
        MainWindowTest::TearDown();
    }
};

// A real click on a row starts the history of that row; moving the selection with
// the keyboard starts nothing. Also the screenshots a user would see.
TEST_F(MainWindowWithServiceTest, ClickStartsTheHistoryAndKeysDoNot)
{
    service.handler = [](FakeService &, SOCKET s, const std::string &request) {
        if (request.find("/finance/historical?q=MSFT") != std::string::npos) {
            std::string csv = "Date,Open,High,Low,Close,Volume\n";
            for (int i = 0; i < 252; i++) {
                char line[96];
                double close = 380.0 + 40.0 * sin(i / 19.0) + i * 0.35;
                snprintf(line, sizeof line, "%d-Dec-26,1.00,2.00,0.50,%.2f,1000\n", 1 + i % 28, close);
                csv += line;
            }
            FakeService::SendAll(s, HttpOk(csv));
        }
    };
    ASSERT_TRUE(service.Start());
    Apply("GOOG", "1,258.60", "-4.29", "chr");
    Apply("MSFT", "47.75", "+0.28", "chg");
    Apply("AAPL", "393.78", "+1.02", "chg");
    ASSERT_TRUE(uitest::PumpUntil([&] { return Cell(2, 2) == "393.78"; }));

    RECT row = {};
    row.left = LVIR_BOUNDS;
    SendMessageA(List(), LVM_GETITEMRECT, 1, (LPARAM)&row);
    LPARAM at = MAKELPARAM(row.left + 20, (row.top + row.bottom) / 2);
    SendMessageA(List(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageA(List(), WM_LBUTTONUP, 0, at);
    ASSERT_TRUE(uitest::PumpUntil([&] { return service.RequestCount() >= 1; }));
    EXPECT_EQ(service.Requests()[0], "GET /finance/historical?q=MSFT&output=csv HTTP/1.0\r\n\r\n");
    char label[32];
    ASSERT_TRUE(uitest::PumpUntil([&] {
        GetDlgItemTextA(hPanelDlg, IDC_PRICE_TOP, label, sizeof label);
        return strcmp(label, "0.00") != 0;
    }));

    SendMessageA(List(), WM_KEYDOWN, VK_DOWN, 0);
    SendMessageA(List(), WM_KEYUP, VK_DOWN, 0);
    uitest::PumpUntil([] { return false; }, 1000);
    EXPECT_EQ(service.RequestCount(), 1u);

    // What the user sees: quotes with coloured changes, and a year of history.
    RECT mainRect;
    GetWindowRect(hMainWnd, &mainRect);
    uitest::Picture window = Capture(hMainWnd);
    EXPECT_GT(window.Count(RGB(255, 0, 0)), 100);  // the curve
    std::string file = uitest::ProgramFolder() + "quotarion-main-window.png";
    EXPECT_TRUE(uitest::WritePng(window, file)) << file;
}

}  // namespace
