/* The panel's tables: its list columns, toolbar buttons and price labels. Data
 * only, so the stock list can reach its list view without the panel's code. */
#include <windows.h>
#include <commctrl.h>

#include "ui/panel.h"
#include "ui/resource.h"

/* The widths add up to 115 per cent on purpose: the list scrolls horizontally and
 * the RowId column starts beyond its right edge. */
ListColumnTable StockListColumns = {
    IDC_STOCKLIST,
    NULL,
    7,
    {
        {15, LVCFMT_LEFT, "Ticker"},
        {20, LVCFMT_LEFT, "Exchange"},
        {20, LVCFMT_LEFT, "Price"},
        {20, LVCFMT_LEFT, "Change"},
        {25, LVCFMT_LEFT, "Last Tx"},
        {15, LVCFMT_RIGHT, "RowId"},
        {0, LVCFMT_LEFT, ""},
    },
};

ToolbarButtonDef PanelToolbarButtons[PANEL_TOOLBAR_BUTTONS] = {
    {IDB_ADDSTOCK, IDC_TB_ADDSTOCK, NULL, "Add Stock"},
    {IDB_DELETESTOCK, IDC_TB_DELETESTOCK, NULL, "Delete Stock"},
};

const int aPriceLabelIds[PRICE_LABELS] = {IDC_PRICE_TOP, IDC_PRICE_MIDDLE, IDC_PRICE_BOTTOM};

HWND hPanelToolbar;
HWND hCaptionStocks;
HWND hCaptionHistory;
