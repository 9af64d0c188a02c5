/* The modal add-stock dialog (template 116): one edit for the ticker, Add and
 * Cancel. The ticker is taken as typed (case kept, empty allowed); one holding a
 * character that a request line cannot carry is refused with a message, and the
 * dialog stays open so the user can correct it. */
#include <stdio.h>
#include <string.h>

#include "stocks/request.h"
#include "ui/layout.h"
#include "ui/panel.h"
#include "ui/resource.h"

char szNewTicker[16];

static INT_PTR OnAddStockInit(HWND dialog)
{
    CenterWindow(dialog);
    SendMessageA(dialog, WM_SETTEXT, 0, (LPARAM)ADD_STOCK_TITLE);
    SendDlgItemMessageA(dialog, IDC_TICKER_EDIT, EM_LIMITTEXT, 15, 0);
    memset(szNewTicker, 0, sizeof szNewTicker);
    return 1;
}

static INT_PTR OnAddStockAdd(HWND dialog)
{
    char ticker[sizeof szNewTicker];
    memset(ticker, 0, sizeof ticker);
    GetDlgItemTextA(dialog, IDC_TICKER_EDIT, ticker, (int)sizeof ticker);
    if (!TickerIsValid(ticker)) {
        MessageBoxA(dialog, "A ticker may contain only " TICKER_ALLOWED_TEXT ".", ADD_STOCK_TITLE,
                    MB_OK | MB_ICONWARNING);
        SetFocus(GetDlgItem(dialog, IDC_TICKER_EDIT));
        return 1;
    }
    memcpy(szNewTicker, ticker, sizeof szNewTicker);
    EndDialog(dialog, 1);
    return 1;
}

INT_PTR CALLBACK AddStockDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    switch (message) {
    case WM_INITDIALOG:
        return OnAddStockInit(dialog);
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_ADD:
            return OnAddStockAdd(dialog);
        case IDCANCEL:
            EndDialog(dialog, 0);
            return 1;
        }
        return 0;
    }
    return 0;
}
