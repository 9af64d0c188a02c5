/* The main window and its notification-area icon; see main_window.h.
 *
 * The window owns the shared fonts and deletes them, with start-up's brushes and
 * pen, when it is destroyed. Its procedure only dispatches: one handler per
 * message. */
#include "ui/main_window.h"

#include <commctrl.h>
#include <shellapi.h>
#include <string.h>

#include "core/app.h"
#include "market/quote.h"
#include "stocks/stocks.h"
#include "stocks/store_text.h"
#include "ui/about.h"
#include "ui/layout.h"
#include "ui/panel.h"
#include "ui/product.h"
#include "ui/resource.h"

void TrayIconFill(NOTIFYICONDATAA *record, HWND window, UINT callbackMessage, UINT iconId, HICON icon,
                  const char *tip, const char *balloon)
{
    NOTIFYICONDATAA &nid = *record;
    ZeroMemory(&nid, sizeof nid);
    nid.cbSize = sizeof nid;
    nid.hWnd = window;
    nid.uID = iconId;
    nid.uFlags = NIF_MESSAGE | NIF_TIP;
    if (icon)
        nid.uFlags |= NIF_ICON;
    if (balloon)
        nid.uFlags |= NIF_INFO;
    nid.uCallbackMessage = callbackMessage;
    nid.hIcon = icon;
    /* Every text is cut to its field; nothing is ever written past one. */
    CopyTextCut(nid.szTip, sizeof nid.szTip, tip);
    if (balloon) {
        CopyTextCut(nid.szInfoTitle, sizeof nid.szInfoTitle, tip);
        CopyTextCut(nid.szInfo, sizeof nid.szInfo, balloon);
        nid.uTimeout = 3000;
        nid.dwInfoFlags = NIIF_INFO;
    }
}

BOOL TrayIconNotify(HWND window, DWORD operation, UINT callbackMessage, UINT iconId, HICON icon, const char *tip,
                    const char *balloon)
{
    NOTIFYICONDATAA nid;
    TrayIconFill(&nid, window, callbackMessage, iconId, icon, tip, balloon);
    BOOL result = Shell_NotifyIconA(operation, &nid);
    if (icon)
        DestroyIcon(icon);  /* the shell keeps its own copy */
    return result;
}

BOOL TrayIconAdd(HINSTANCE instance, HWND window, DWORD operation, UINT callbackMessage, int iconResource,
                 const char *tip)
{
    HICON icon = (HICON)LoadImageA(instance, MAKEINTRESOURCEA(iconResource), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR);
    return TrayIconNotify(window, operation, callbackMessage, TRAY_ICON_ID, icon, tip, NULL);
}

void RestoreFromTray(void)
{
    bHiddenInTray = 0;
    ShowWindow(hMainWnd, SW_SHOW);
    SetForegroundWindow(hMainWnd);
}

static void CreateFonts(HWND window)
{
    LOGFONTA lf;
    ZeroMemory(&lf, sizeof lf);
    lf.lfWidth = 10;
    hFontRegular = CreateFontIndirectA(&lf);

    HDC dc = GetDC(window);
    ZeroMemory(&lf, sizeof lf);
    lf.lfHeight = -MulDiv(8, GetDeviceCaps(dc, LOGPIXELSY), 72);
    lf.lfWeight = 600;
    strcpy(lf.lfFaceName, "MS Sans Serif");
    hFontSemibold = CreateFontIndirectA(&lf);
    ReleaseDC(window, dc);

    ZeroMemory(&lf, sizeof lf);
    lf.lfWidth = 12;
    lf.lfWeight = 700;
    hFontBold = CreateFontIndirectA(&lf);
}

static void DeleteObjectAndClear(HGDIOBJ *object)
{
    if (*object) {
        DeleteObject(*object);
        *object = NULL;
    }
}

static LRESULT OnCreate(HWND window)
{
    hMainWnd = window;
    CenterWindow(window);
    INITCOMMONCONTROLSEX icc;
    icc.dwSize = sizeof icc;
    icc.dwICC = ICC_DATE_CLASSES;
    InitCommonControlsEx(&icc);
    InitCommonControls();
    CreateFonts(window);
    hPanelDlg = CreateModelessDialog(hInst, window, PanelDlgProc, IDD_PANEL);
    PostMessageA(window, WM_AFTER_CREATE, 0, 0);

    /* Fit the window to the panel: its lower right corner on the panel's, so the
     * panel fills the client area. */
    RECT self, panel;
    GetWindowRect(window, &self);
    GetWindowRect(hPanelDlg, &panel);
    MoveWindow(window, self.left, self.top, panel.right - self.left, panel.bottom - self.top, TRUE);
    return 0;
}

static LRESULT OnAfterCreate(void)
{
    TrayIconAdd(hInst, hMainWnd, NIM_ADD, WM_TRAY_CALLBACK, IDI_TRAY, TRAY_TIP);
    QuoteRefreshStart();
    return 0;
}

static LRESULT OnCommand(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (LOWORD(wParam)) {
    case IDM_ABOUT:
        if (!bAboutOpen) {
            hAboutDlg = CreateModelessDialog(hInst, window, AboutDlgProc, IDD_ABOUT);
            bAboutOpen = 1;
        }
        return 0;
    case IDM_ADDSTOCK:
        StockAdd();
        return 0;
    case IDM_REMOVESTOCK:
        StockRemove();
        return 0;
    case IDM_EXIT:
        DestroyWindow(window);
        return 0;
    case IDM_PRODUCTWEB:
        ShellExecuteA(hPanelDlg, "open", PRODUCT_WEB_URL, NULL, NULL, SW_SHOWNORMAL);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

static LRESULT OnClose(HWND window)
{
    TrayIconNotify(hMainWnd, NIM_MODIFY, WM_TRAY_CALLBACK, TRAY_ICON_ID, NULL, TRAY_TIP, TRAY_BALLOON);
    bHiddenInTray = 1;
    ShowWindow(window, SW_HIDE);
    return 0;
}

static LRESULT OnDestroy(void)
{
    DeleteObjectAndClear((HGDIOBJ *)&hBrushGrey);
    DeleteObjectAndClear((HGDIOBJ *)&hBrushWhite);
    DeleteObjectAndClear((HGDIOBJ *)&hPenRed);
    DeleteObjectAndClear((HGDIOBJ *)&hFontRegular);
    DeleteObjectAndClear((HGDIOBJ *)&hFontSemibold);
    DeleteObjectAndClear((HGDIOBJ *)&hFontBold);
    TrayIconNotify(hMainWnd, NIM_DELETE, WM_TRAY_CALLBACK, TRAY_ICON_ID, NULL, NULL, NULL);
    PostQuitMessage(0);
    return 0;
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        return OnCreate(window);
    case WM_AFTER_CREATE:
        return OnAfterCreate();
    case WM_TRAY_CALLBACK:
        if (lParam == WM_LBUTTONDOWN)
            RestoreFromTray();
        return 0;
    case WM_COMMAND:
        return OnCommand(window, message, wParam, lParam);
    case WM_CLOSE:
        return OnClose(window);
    case WM_DESTROY:
        return OnDestroy();
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
