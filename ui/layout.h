/* Window placement and layout helpers: creating dialogs and static texts,
 * centring windows, and laying out child controls relative to their parent.
 * Stateless; coordinates are pixels; divisions truncate toward zero. Each
 * returns the platform call's result and reports nothing else. UI thread. */
#ifndef QUOTARION_UI_LAYOUT_H
#define QUOTARION_UI_LAYOUT_H

#include <windows.h>

#define LIST_COLUMN_TEXT_SIZE 128
#define LIST_COLUMNS_MAX 16

struct ListColumnDef {
    int widthPercent;                    /* of the list view's client width */
    int format;                          /* LVCFMT_LEFT, LVCFMT_RIGHT, LVCFMT_CENTER */
    char text[LIST_COLUMN_TEXT_SIZE];    /* header text */
};

struct ListColumnTable {
    int controlId;                       /* dialog item id of a report list view */
    HWND listWindow;                     /* written by SetupListColumns */
    int columnCount;
    ListColumnDef columns[LIST_COLUMNS_MAX];
};

HWND CreateModelessDialog(HINSTANCE instance, HWND parent, DLGPROC proc, int templateId);
HWND CreateStaticText(HINSTANCE instance, HWND parent, int x, int y, int width, int height, DWORD extraStyle,
                      int centre);
LRESULT SetWindowTextMsg(HWND window, const char *text);

BOOL CenterWindow(HWND window);
void GetChildRect(HWND window, int *width, int *height, int *top, int *left);
BOOL StretchToBottom(HWND parent, HWND child, int margin, int percent);
BOOL StretchItemToBottom(HWND dialog, int itemId, int margin);
BOOL StretchToRight(HWND window, int margin);
BOOL StretchItemToRight(HWND dialog, int itemId, int margin);
BOOL DockToBottom(HWND window, int margin);
BOOL FitTabPage(HWND page);

LRESULT SetupListColumns(HWND dialog, ListColumnTable *table);

#endif
