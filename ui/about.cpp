/* The About dialog's procedure: fills the texts when the dialog opens, opens the
 * product's web page when the link is clicked (the dialog stays open), and
 * destroys the dialog when it is closed, clearing the main window's record of it
 * so that the next About command creates a fresh one. UI thread only. */
#include "ui/about.h"

#include "core/app.h"
#include "ui/hyperlink.h"
#include "ui/layout.h"
#include "ui/main_window.h"
#include "ui/product.h"
#include "ui/resource.h"

#include <shellapi.h>
#include <stdio.h>

void SetItemFontText(HWND dialog, int itemId, const char *text, HFONT font)
{
    SendDlgItemMessageA(dialog, itemId, WM_SETFONT, (WPARAM)font, TRUE);
    SetDlgItemTextA(dialog, itemId, text);
}

static INT_PTR AboutInit(HWND dialog)
{
    char version[ABOUT_VERSION_SIZE];

    CenterWindow(dialog);
    SendMessageA(dialog, WM_SETTEXT, 0, (LPARAM)ABOUT_TITLE);
    SetItemFontText(dialog, IDC_ABOUT_NAME, ABOUT_NAME, hFontBold);
    snprintf(version, sizeof version, ABOUT_VERSION_FORMAT, APP_VERSION);
    SetItemFontText(dialog, IDC_ABOUT_VERSION, version, hFontRegular);
    SetDlgItemTextA(dialog, IDC_ABOUT_RIGHTS, PRODUCT_RIGHTS);
    SetDlgItemTextA(dialog, IDC_ABOUT_LINK, PRODUCT_WEB_TEXT);
    MakeHyperlink(GetDlgItem(dialog, IDC_ABOUT_LINK));
    return 1;
}

static void AboutCommand(HWND dialog, int id)
{
    switch (id) {
    case IDCANCEL: /* "Close"; the close box arrives as the same command */
        DestroyWindow(dialog);
        hAboutDlg = NULL;
        bAboutOpen = 0;
        break;
    case IDC_ABOUT_LINK:
        /* Whatever the notification; a failed launch shows nothing. */
        ShellExecuteA(dialog, "open", PRODUCT_WEB_URL, NULL, NULL, SW_SHOWNORMAL);
        break;
    }
}

INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    switch (message) {
    case WM_INITDIALOG:
        return AboutInit(dialog);
    case WM_COMMAND:
        AboutCommand(dialog, LOWORD(wParam));
        return 0;
    }
    return 0;
}
