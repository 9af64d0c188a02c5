/* Hyperlink control: a dialog's static text made a link by subclassing the static
 * and its parent.
 *
 * There is no global state: the replaced procedures, the fonts and the link mark
 * live in window properties, so any number of links in any number of dialogs work,
 * and each window undoes its own subclass when it is destroyed. The hover state is
 * the mouse capture: the link captures the mouse when the pointer enters it and
 * releases it on the first move that reports the pointer outside. UI thread only. */
#include "ui/hyperlink.h"

#include <windowsx.h>

static WNDPROC OriginalProc(HWND window)
{
    return (WNDPROC)GetPropA(window, PROP_ORIGINAL_PROC);
}

/* Puts one of the link's fonts on the static and has it repainted (no erase). A
 * link whose underline font could not be made keeps its own font when hovered. */
static void ShowLinkFont(HWND link, const char *property)
{
    HANDLE font = GetPropA(link, property);
    if (!font)
        font = GetPropA(link, PROP_ORIGINAL_FONT);
    SendMessageA(link, WM_SETFONT, (WPARAM)font, FALSE);
    InvalidateRect(link, NULL, FALSE);
}

BOOL MakeHyperlink(HWND staticWindow)
{
    /* A second call would subclass the static with its own procedure (an endless
     * loop on every message) and lose the first underline font. */
    if (GetPropA(staticWindow, PROP_FROM_STATIC))
        return TRUE;

    HWND parent = GetParent(staticWindow);
    if (parent && (WNDPROC)GetWindowLongPtrA(parent, GWLP_WNDPROC) != HyperlinkParentProc &&
        !GetPropA(parent, PROP_ORIGINAL_PROC)) {
        SetPropA(parent, PROP_ORIGINAL_PROC, (HANDLE)GetWindowLongPtrA(parent, GWLP_WNDPROC));
        SetWindowLongPtrA(parent, GWLP_WNDPROC, (LONG_PTR)HyperlinkParentProc);
    }

    SetWindowLongPtrA(staticWindow, GWL_STYLE, GetWindowLongPtrA(staticWindow, GWL_STYLE) | SS_NOTIFY);

    SetPropA(staticWindow, PROP_ORIGINAL_PROC, (HANDLE)GetWindowLongPtrA(staticWindow, GWLP_WNDPROC));
    SetWindowLongPtrA(staticWindow, GWLP_WNDPROC, (LONG_PTR)HyperlinkStaticProc);

    HFONT font = (HFONT)SendMessageA(staticWindow, WM_GETFONT, 0, 0);
    SetPropA(staticWindow, PROP_ORIGINAL_FONT, (HANDLE)font);

    /* A static without a font of its own draws with the system font, so its
     * underlined form is made from that. */
    LOGFONTA description;
    HFONT underline = NULL;
    HGDIOBJ source = font ? (HGDIOBJ)font : GetStockObject(SYSTEM_FONT);
    if (GetObjectA(source, sizeof description, &description) == sizeof description) {
        description.lfUnderline = TRUE;
        underline = CreateFontIndirectA(&description);
    }
    SetPropA(staticWindow, PROP_UNDERLINE_FONT, (HANDLE)underline);

    return SetPropA(staticWindow, PROP_FROM_STATIC, (HANDLE)1);
}

LRESULT CALLBACK HyperlinkParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    WNDPROC previous = OriginalProc(window);
    if (!previous)
        return DefWindowProcA(window, message, wParam, lParam);

    switch (message) {
    case WM_CTLCOLORSTATIC:
        if (GetPropA((HWND)lParam, PROP_FROM_STATIC)) {
            /* The dialog keeps choosing the background and brush; only the text
             * colour is the link's. */
            LRESULT result = CallWindowProcA(previous, window, message, wParam, lParam);
            SetTextColor((HDC)wParam, HYPERLINK_COLOUR);
            return result;
        }
        break;
    case WM_DESTROY:
        SetWindowLongPtrA(window, GWLP_WNDPROC, (LONG_PTR)previous);
        RemovePropA(window, PROP_ORIGINAL_PROC);
        return CallWindowProcA(previous, window, message, wParam, lParam);
    }
    return CallWindowProcA(previous, window, message, wParam, lParam);
}

LRESULT CALLBACK HyperlinkStaticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    WNDPROC previous = OriginalProc(window);
    if (!previous)
        return DefWindowProcA(window, message, wParam, lParam);

    switch (message) {
    case WM_SETCURSOR: {
        HCURSOR cursor = LoadCursorA(NULL, (LPCSTR)IDC_HAND);
        if (!cursor)
            cursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
        SetCursor(cursor);
        return 1;
    }
    case WM_MOUSEMOVE:
        if (GetCapture() != window) {
            ShowLinkFont(window, PROP_UNDERLINE_FONT);
            SetCapture(window);
        } else {
            /* Captured moves arrive from anywhere on the screen, in client
             * coordinates that may be negative. */
            POINT point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            RECT rect;
            ClientToScreen(window, &point);
            GetWindowRect(window, &rect);
            if (!PtInRect(&rect, point)) {
                ShowLinkFont(window, PROP_ORIGINAL_FONT);
                ReleaseCapture();
            }
        }
        return CallWindowProcA(previous, window, message, wParam, lParam);
    case WM_CAPTURECHANGED:
        /* Another window took the capture while the pointer was over the link: the
         * move that leaves will never come, so the link stops looking hovered now. */
        if ((HWND)lParam != window &&
            (HANDLE)SendMessageA(window, WM_GETFONT, 0, 0) == GetPropA(window, PROP_UNDERLINE_FONT))
            ShowLinkFont(window, PROP_ORIGINAL_FONT);
        return CallWindowProcA(previous, window, message, wParam, lParam);
    case WM_DESTROY: {
        SetWindowLongPtrA(window, GWLP_WNDPROC, (LONG_PTR)previous);
        RemovePropA(window, PROP_ORIGINAL_PROC);
        SendMessageA(window, WM_SETFONT, (WPARAM)GetPropA(window, PROP_ORIGINAL_FONT), FALSE);
        RemovePropA(window, PROP_ORIGINAL_FONT);
        HFONT underline = (HFONT)RemovePropA(window, PROP_UNDERLINE_FONT);
        if (underline)
            DeleteObject(underline);
        RemovePropA(window, PROP_FROM_STATIC);
        return CallWindowProcA(previous, window, message, wParam, lParam);
    }
    }
    return CallWindowProcA(previous, window, message, wParam, lParam);
}
