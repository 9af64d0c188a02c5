/* Turns a dialog's static text into a link: blue text, a hand cursor, underlined
 * while the pointer is over it, a click reaching the parent as WM_COMMAND with
 * the static's id. Everything lives in window properties and undoes itself when
 * the windows are destroyed. UI thread. */
#ifndef QUOTARION_UI_HYPERLINK_H
#define QUOTARION_UI_HYPERLINK_H

#include <windows.h>

#define HYPERLINK_COLOUR RGB(0, 0, 192)
#define PROP_ORIGINAL_PROC "_Hyperlink_Original_Proc_"
#define PROP_ORIGINAL_FONT "_Hyperlink_Original_Font_"
#define PROP_UNDERLINE_FONT "_Hyperlink_Underline_Font_"
#define PROP_FROM_STATIC "_Hyperlink_From_Static_"

/* The static must already have its text (and, normally, its font). */
BOOL MakeHyperlink(HWND staticWindow);
LRESULT CALLBACK HyperlinkParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK HyperlinkStaticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

#endif
