// Test helpers around the stock list view: its cells, its focus, stored stocks
// loaded as the panel loads them, and the dialogs the user-interface thread shows.
#ifndef QUOTARION_TESTS_STOCK_VIEW_H
#define QUOTARION_TESTS_STOCK_VIEW_H

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string.h>
#include <string>
#include <vector>

#include "stocks/stocks.h"
#include "stocks/store.h"

namespace stockview {

inline std::string Cell(HWND list, int row, int column)
{
    char text[64] = "";
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(list, LVM_GETITEMTEXTA, row, (LPARAM)&item);
    return text;
}

// Gives a row the focus, selected or not.
inline void Focus(HWND list, int row, bool select)
{
    LVITEMA state = {};
    state.stateMask = LVIS_FOCUSED | LVIS_SELECTED;
    state.state = LVIS_FOCUSED | (select ? LVIS_SELECTED : 0);
    SendMessageA(list, LVM_SETITEMSTATE, row, (LPARAM)&state);
}

// Stores a stock and hands its row to the load handler, as the panel's load does
// (the handler gets a temporary, as from the store). The store must be open.
inline void LoadStored(const char *ticker)
{
    StockItem item = {};
    strcpy(item.ticker, ticker);
    char error[STORE_ERROR_SIZE];
    ASSERT_EQ(StoreInsert(&item, error), 1) << error;
    StockItem copy = item;
    StockLoadHandler(&copy);
}

inline BOOL CALLBACK CollectVisibleDialog(HWND window, LPARAM out)
{
    char cls[32];
    GetClassNameA(window, cls, sizeof cls);
    if (strcmp(cls, "#32770") == 0 && IsWindowVisible(window))
        ((std::vector<HWND> *)out)->push_back(window);
    return TRUE;
}

// The dialogs and message boxes this thread shows now.
inline std::vector<HWND> ThreadDialogs()
{
    std::vector<HWND> dialogs;
    EnumThreadWindows(GetCurrentThreadId(), CollectVisibleDialog, (LPARAM)&dialogs);
    return dialogs;
}

}  // namespace stockview

#endif
