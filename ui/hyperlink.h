/* Turns a dialog's static text into a link: blue text, a hand cursor, underlined
 * while the pointer is over it, a click reaching the parent as WM_COMMAND with
 * the static's id. Everything lives in window properties and undoes itself when
 * the windows are destroyed. The hover state is the mouse capture; losing the
 * capture to another window takes the underline off. UI thread. */
#ifndef QUOTARION_UI_HYPERLINK_H
#define QUOTARION_UI_HYPERLINK_H

#include <windows.h>

#define HYPERLINK_COLOUR RGB(0, 0, 192)
#define PROP_ORIGINAL_PROC "_Hyperlink_Original_Proc_"
#define PROP_ORIGINAL_FONT "_Hyperlink_Original_Font_"
#define PROP_UNDERLINE_FONT "_Hyperlink_Underline_Font_"
#define PROP_FROM_STATIC "_Hyperlink_From_Static_"

/* Makes the static a link: subclasses its parent (once, however many links it
 * has) and the static, adds SS_NOTIFY, keeps the static's font and makes an
 * underlined copy of it (of the system font when the static has none). The
 * static must already have its text (and, normally, its font). Returns the last
 * property call's result; a failed step leaves the link without that feature. */
BOOL MakeHyperlink(HWND staticWindow);
LRESULT CALLBACK HyperlinkParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK HyperlinkStaticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

#endif
