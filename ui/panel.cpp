/* The monitored-stocks panel; see panel.h.
 *
 * The layout is computed once, at initialisation, from the panel's client size:
 * toolbar, caption, list view (ending 40 per cent above the bottom), caption,
 * then the chart with its three price labels on the left. The main window fits
 * itself to the panel afterwards, so the panel handles no size changes. */
#include "ui/panel.h"

#include <stdio.h>
#include <string.h>

#include "core/app.h"
#include "market/chart.h"
#include "market/history.h"
#include "stocks/stocks.h"
#include "stocks/store.h"
#include "ui/main_window.h"
#include "ui/resource.h"

#define CAPTION_TEXT_COLOUR RGB(128, 0, 0)
#define PRICE_TEXT_COLOUR RGB(0, 0, 255)
#define CHANGE_FALL_COLOUR RGB(255, 51, 0)
#define CHANGE_RISE_COLOUR RGB(0, 102, 0)

int IsPriceLabel(HWND dialog, HWND control)
{
    for (int i = 0; i < PRICE_LABELS; i++) {
        if (GetDlgItem(dialog, aPriceLabelIds[i]) == control)
            return 1;
    }
    return 0;
}

static void MoveKeepingSize(HWND window, int x, int y)
{
    int width, height, top, left;
    GetChildRect(window, &width, &height, &top, &left);
    MoveWindow(window, x, y, width, height, TRUE);
}

static void PanelLayout(HWND dialog)
{
    RECT client;
    GetClientRect(dialog, &client);
    const int H = client.bottom;
    int width, height, top, left;

    HWND chart = GetDlgItem(dialog, IDC_CHART);
    SetPropA(chart, CHART_PREV_PROC_PROP, (HANDLE)GetWindowLongPtrA(chart, GWLP_WNDPROC));
    SetWindowLongPtrA(chart, GWLP_WNDPROC, (LONG_PTR)ChartWndProc);

    hPanelToolbar = CreateBitmapToolbar(hInst, dialog, PanelToolbarButtons, PANEL_TOOLBAR_BUTTONS, 0, 0, 32);
    int toolbarHeight = 0;  /* without a toolbar the captions start at the top */
    if (hPanelToolbar) {
        SendMessageA(hPanelToolbar, WM_SETFONT, (WPARAM)hFontSemibold, TRUE);
        RECT rt;
        GetWindowRect(hPanelToolbar, &rt);
        toolbarHeight = rt.bottom - rt.top;
    }

    hCaptionStocks = CreateStaticText(hInst, dialog, 0, toolbarHeight, 390, 20, SS_RIGHT | SS_CENTERIMAGE, 0);
    SetWindowTextMsg(hCaptionStocks, "Monitored Stocks  ");
    SendMessageA(hCaptionStocks, WM_SETFONT, (WPARAM)hFontBold, TRUE);
    StretchToRight(hCaptionStocks, 0);

    HWND list = GetDlgItem(dialog, IDC_STOCKLIST);
    GetChildRect(hCaptionStocks, &width, &height, &top, &left);
    MoveWindow(list, 0, top + height + 1, width, 200, TRUE);
    SetupListColumns(dialog, &StockListColumns);
    SendMessageA(list, WM_SETFONT, (WPARAM)hFontSemibold, TRUE);
    StretchToBottom(dialog, list, 0, 40);

    hCaptionHistory = CreateStaticText(hInst, dialog, 0, toolbarHeight, 390, 20, SS_RIGHT | SS_CENTERIMAGE, 0);
    GetChildRect(list, &width, &height, &top, &left);
    MoveWindow(hCaptionHistory, 0, top + height + 1, width, 20, TRUE);
    SetWindowTextMsg(hCaptionHistory, "1Yr Historical  ");
    SendMessageA(hCaptionHistory, WM_SETFONT, (WPARAM)hFontBold, TRUE);

    GetChildRect(hCaptionHistory, &width, &height, &top, &left);
    const int Y0 = top + height + 1;
    const int captionWidth = width;
    MoveKeepingSize(GetDlgItem(dialog, IDC_PRICE_TOP), 0, Y0);

    HWND bottomLabel = GetDlgItem(dialog, IDC_PRICE_BOTTOM);
    int w, h;
    GetChildRect(bottomLabel, &w, &h, &top, &left);
    MoveWindow(bottomLabel, 0, H - h, w, h, TRUE);
    MoveWindow(GetDlgItem(dialog, IDC_PRICE_MIDDLE), 0, (H - Y0) / 2 + Y0 - h / 2, w, h, TRUE);

    MoveWindow(chart, w, Y0, captionWidth, 20, TRUE);
    StretchToRight(chart, 2);
    StretchToBottom(dialog, chart, 5, 0);
}

static INT_PTR OnPanelInit(HWND dialog)
{
    hPanelDlg = dialog;
    PanelLayout(dialog);

    char errorText[STORE_ERROR_SIZE] = "";
    if (StoreLoadAll(StockLoadHandler, errorText)) {
        QuoteRequestBuild();
    } else {
        char message[256];
        snprintf(message, sizeof message, "Failed to load stock items from database: %s", errorText);
        MessageBoxA(NULL, message, NULL, MB_OK);
    }
    return 1;
}

LRESULT StockListCustomDraw(NMLVCUSTOMDRAW *draw)
{
    switch (draw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
        return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT:
        return CDRF_NOTIFYSUBITEMDRAW;
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
        COLORREF text = RGB(0, 0, 0);
        if (draw->iSubItem == 3) {
            LVITEMA row;
            ZeroMemory(&row, sizeof row);
            row.mask = LVIF_PARAM;
            row.iItem = (int)draw->nmcd.dwItemSpec;
            SendMessageA(draw->nmcd.hdr.hwndFrom, LVM_GETITEMA, 0, (LPARAM)&row);
            const StockItem *item = (const StockItem *)row.lParam;
            if (item) {
                EnterCriticalSection(&csStockList);
                if (strcmp(item->ccol, "chr") == 0)
                    text = CHANGE_FALL_COLOUR;
                else if (strcmp(item->ccol, "chg") == 0)
                    text = CHANGE_RISE_COLOUR;
                LeaveCriticalSection(&csStockList);
            }
        }
        draw->clrText = text;
        draw->clrTextBk = RGB(255, 255, 255);
        return CDRF_NEWFONT;
    }
    }
    return CDRF_DODEFAULT;
}

static INT_PTR OnPanelNotify(HWND dialog, WPARAM wParam, LPARAM lParam)
{
    if (wParam != IDC_STOCKLIST)
        return 0;
    NMHDR *header = (NMHDR *)lParam;
    switch (header->code) {
    case NM_CUSTOMDRAW:
        SetWindowLongPtrA(dialog, DWLP_MSGRESULT, StockListCustomDraw((NMLVCUSTOMDRAW *)lParam));
        return 1;
    case NM_CLICK:
        HistoryRequest(dialog);
        return 0;
    }
    return 0;
}

static INT_PTR OnPanelColour(HWND dialog, HDC dc, HWND control)
{
    if (IsPriceLabel(dialog, control)) {
        SetTextColor(dc, PRICE_TEXT_COLOUR);
        SetBkColor(dc, RGB(255, 255, 255));
        return (INT_PTR)hBrushWhite;
    }
    if (control == hCaptionStocks || control == hCaptionHistory) {
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, CAPTION_TEXT_COLOUR);
        return (INT_PTR)hBrushGrey;
    }
    return 0;
}

static INT_PTR OnPanelDestroy(HWND dialog)
{
    DestroyBitmapToolbar(hPanelToolbar, PanelToolbarButtons, PANEL_TOOLBAR_BUTTONS);
    hPanelToolbar = NULL;
    HWND chart = GetDlgItem(dialog, IDC_CHART);
    HANDLE previous = GetPropA(chart, CHART_PREV_PROC_PROP);
    if (previous)
        SetWindowLongPtrA(chart, GWLP_WNDPROC, (LONG_PTR)previous);
    RemovePropA(chart, CHART_PREV_PROC_PROP);
    StockListColumns.listWindow = NULL;
    return 0;
}

INT_PTR CALLBACK PanelDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return OnPanelInit(dialog);
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_TB_ADDSTOCK:
            StockAdd();
            break;
        case IDC_TB_DELETESTOCK:
            StockRemove();
            break;
        }
        return 0;
    case WM_NOTIFY:
        return OnPanelNotify(dialog, wParam, lParam);
    case WM_CTLCOLORSTATIC:
        return OnPanelColour(dialog, (HDC)wParam, (HWND)lParam);
    case WM_DESTROY:
        return OnPanelDestroy(dialog);
    }
    return 0;
}
