/* Window placement and layout helpers over the Win32 window API.
 *
 * Every rectangle of a child is taken in its parent's client coordinates: its
 * screen rectangle with both corners converted by ScreenToClient on the parent.
 * Nothing is checked: a null window or a missing item makes the platform calls
 * fail quietly and the helper returns their failure result. UI thread only. */
#include "ui/layout.h"

#include <commctrl.h>
#include <string.h>

HWND CreateModelessDialog(HINSTANCE instance, HWND parent, DLGPROC proc, int templateId)
{
    HWND dialog = CreateDialogParamA(instance, MAKEINTRESOURCEA(templateId), parent, proc, 0);
    if (dialog) {
        ShowWindow(dialog, SW_SHOWDEFAULT);
        UpdateWindow(dialog);
    }
    return dialog;
}

HWND CreateStaticText(HINSTANCE instance, HWND parent, int x, int y, int width, int height, DWORD extraStyle,
                      int centre)
{
    DWORD style = WS_CHILD | WS_VISIBLE | extraStyle;
    if (centre)
        style |= SS_CENTER;
    /* One space rather than nothing, so the control exists with a text until its
     * owner sets the real one. */
    return CreateWindowExA(0, "STATIC", " ", style, x, y, width, height, parent, (HMENU)0, instance, NULL);
}

LRESULT SetWindowTextMsg(HWND window, const char *text)
{
    return SendMessageA(window, WM_SETTEXT, 0, (LPARAM)text);
}

/* The window's rectangle in the client coordinates of the given window. */
static void RectInClient(HWND window, HWND client, RECT *rect)
{
    POINT corners[2];
    GetWindowRect(window, rect);
    corners[0].x = rect->left;
    corners[0].y = rect->top;
    corners[1].x = rect->right;
    corners[1].y = rect->bottom;
    ScreenToClient(client, &corners[0]);
    ScreenToClient(client, &corners[1]);
    rect->left = corners[0].x;
    rect->top = corners[0].y;
    rect->right = corners[1].x;
    rect->bottom = corners[1].y;
}

BOOL CenterWindow(HWND window)
{
    RECT reference, own;
    HWND relative = GetParent(window);
    if (!relative)
        relative = GetDesktopWindow();
    GetWindowRect(relative, &reference);
    GetWindowRect(window, &own);
    /* Screen coordinates: meant for top-level windows and owned pop-ups. */
    int x = reference.left + ((reference.right - reference.left) - (own.right - own.left)) / 2;
    int y = reference.top + ((reference.bottom - reference.top) - (own.bottom - own.top)) / 2;
    return SetWindowPos(window, HWND_TOP, x, y, 0, 0, SWP_NOSIZE);
}

void GetChildRect(HWND window, int *width, int *height, int *top, int *left)
{
    RECT rect;
    RectInClient(window, GetParent(window), &rect);
    if (width)
        *width = rect.right - rect.left;
    if (height)
        *height = rect.bottom - rect.top;
    if (top)
        *top = rect.top;
    if (left)
        *left = rect.left;
}

BOOL StretchToBottom(HWND parent, HWND child, int margin, int percent)
{
    RECT rect, client;
    RectInClient(child, parent, &rect);
    GetClientRect(parent, &client);
    int height;
    if (percent)
        height = client.bottom - rect.top - client.bottom * percent / 100;
    else
        height = client.bottom - rect.top - margin;
    return MoveWindow(child, rect.left, rect.top, rect.right - rect.left, height, TRUE);
}

BOOL StretchItemToBottom(HWND dialog, int itemId, int margin)
{
    return StretchToBottom(dialog, GetDlgItem(dialog, itemId), margin, 0);
}

BOOL StretchToRight(HWND window, int margin)
{
    RECT rect, client;
    HWND parent = GetParent(window);
    RectInClient(window, parent, &rect);
    GetClientRect(parent, &client);
    return MoveWindow(window, rect.left, rect.top, client.right - rect.left - margin, rect.bottom - rect.top, TRUE);
}

BOOL StretchItemToRight(HWND dialog, int itemId, int margin)
{
    return StretchToRight(GetDlgItem(dialog, itemId), margin);
}

BOOL DockToBottom(HWND window, int margin)
{
    RECT client;
    int width = 0, height = 0, top = 0, left = 0;
    HWND parent = GetParent(window);
    GetChildRect(window, &width, &height, &top, &left);
    GetClientRect(parent, &client);
    return MoveWindow(window, left, client.bottom - height - margin, width, height, TRUE);
}

BOOL FitTabPage(HWND page)
{
    RECT item = {0, 0, 0, 0};
    int width = 0, height = 0, top = 0, left = 0;
    HWND tab = GetParent(page);
    SendMessageA(tab, TCM_GETITEMRECT, 0, (LPARAM)&item);
    GetChildRect(tab, &width, &height, &top, &left);
    return MoveWindow(page, 2, item.bottom + 2, width - 6, height - item.bottom - 6, TRUE);
}

LRESULT SetupListColumns(HWND dialog, ListColumnTable *table)
{
    RECT client = {0, 0, 0, 0};
    HWND list = GetDlgItem(dialog, table->controlId);
    table->listWindow = list;
    GetClientRect(list, &client);
    int base = client.right - client.left;

    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);

    /* The table holds LIST_COLUMNS_MAX entries; a larger count must not read past it. */
    int count = table->columnCount;
    if (count > LIST_COLUMNS_MAX)
        count = LIST_COLUMNS_MAX;
    for (int i = 0; i < count; i++) {
        const ListColumnDef *def = &table->columns[i];
        LVCOLUMNA column;
        memset(&column, 0, sizeof column);
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = def->format;
        column.cx = def->widthPercent * base / 100;
        column.pszText = (char *)def->text;
        column.iSubItem = i;
        SendMessageA(list, LVM_INSERTCOLUMNA, (WPARAM)i, (LPARAM)&column);
    }
    /* Mask 0 means every bit: the style becomes exactly these two. */
    return SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
}
