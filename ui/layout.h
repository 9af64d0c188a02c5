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

/* Creates the dialog of the template (a pop-up template's parent becomes its
 * owner), shows it (SW_SHOWDEFAULT) and paints it at once. Null on failure. */
HWND CreateModelessDialog(HINSTANCE instance, HWND parent, DLGPROC proc, int templateId);
/* A visible "STATIC" child with text " ", id 0, the extra style bits unchanged,
 * plus SS_CENTER when centre is non-zero. Null on failure. */
HWND CreateStaticText(HINSTANCE instance, HWND parent, int x, int y, int width, int height, DWORD extraStyle,
                      int centre);
LRESULT SetWindowTextMsg(HWND window, const char *text);

/* Centres the window over its parent or owner (the desktop window when it has
 * none), in screen coordinates, and brings it to the top; size unchanged. Meant
 * for top-level windows and owned pop-ups. */
BOOL CenterWindow(HWND window);
/* The window's rectangle in its parent's client coordinates. Null outputs are
 * skipped. */
void GetChildRect(HWND window, int *width, int *height, int *top, int *left);
/* Height = parent's client bottom - child top - (percent ? bottom x percent / 100
 * : margin); left, top and width kept. The given parent is used, not GetParent. */
BOOL StretchToBottom(HWND parent, HWND child, int margin, int percent);
BOOL StretchItemToBottom(HWND dialog, int itemId, int margin);
/* Width = parent's client right - left - margin; left, top and height kept. */
BOOL StretchToRight(HWND window, int margin);
BOOL StretchItemToRight(HWND dialog, int itemId, int margin);
/* Moves the window so its bottom edge lies margin above the parent's client
 * bottom; left and size kept. */
BOOL DockToBottom(HWND window, int margin);
/* Places a page (a child of a tab control) below the row of tabs: x 2, y tab
 * bottom + 2, the tab control's width - 6, its height - tab bottom - 6. */
BOOL FitTabPage(HWND page);

/* Stores the list view's handle in the table, deletes all its rows and inserts the
 * table's columns at positions 0.. (existing columns move right, percentages of the
 * list's client width, not normalised; a count above LIST_COLUMNS_MAX is cut to
 * it), then sets the extended style to exactly grid lines and full-row select.
 * Returns the last message's result (the previous extended style). */
LRESULT SetupListColumns(HWND dialog, ListColumnTable *table);

#endif
