/* The monitored-stocks panel: the whole client area of the main window. From top
 * to bottom a toolbar, the caption "Monitored Stocks  ", the stock list view, the
 * caption "1Yr Historical  ", and the history chart with three price labels on
 * its left. Also the modal add-stock dialog. UI thread only. */
#ifndef QUOTARION_UI_PANEL_H
#define QUOTARION_UI_PANEL_H

#include <windows.h>
#include <commctrl.h>

#include "ui/layout.h"
#include "ui/toolbar.h"

#define PANEL_TOOLBAR_BUTTONS 2
#define PRICE_LABELS 3
#define ADD_STOCK_TITLE "Add new stock"

/* The panel's tables. StockListColumns.listWindow is the stock list view once
 * the panel has set up its columns. */
extern ListColumnTable StockListColumns;
extern ToolbarButtonDef PanelToolbarButtons[PANEL_TOOLBAR_BUTTONS];
extern const int aPriceLabelIds[PRICE_LABELS];

extern HWND hPanelToolbar;
extern HWND hCaptionStocks;
extern HWND hCaptionHistory;

/* The ticker the add-stock dialog ended with (at most 15 characters). */
extern char szNewTicker[16];

INT_PTR CALLBACK PanelDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT StockListCustomDraw(NMLVCUSTOMDRAW *draw);
int IsPriceLabel(HWND dialog, HWND control);

/* Ends with 1 (Add; the ticker is in szNewTicker) or 0 (Cancel). A ticker with a
 * character a request line cannot carry is refused with a message, and the
 * dialog stays open. */
INT_PTR CALLBACK AddStockDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif
