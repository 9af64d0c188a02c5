/* The About dialog (template 117): the program's name, version, rights notice,
 * logo and the product web address as a link that opens the product's page.
 * Modeless; the main window creates it, at most one at a time. UI thread. */
#ifndef QUOTARION_UI_ABOUT_H
#define QUOTARION_UI_ABOUT_H

#include <windows.h>

#define ABOUT_TITLE "About Quotarion"
#define ABOUT_NAME "Quotarion"
#define ABOUT_VERSION_FORMAT "Version %s"
#define ABOUT_VERSION_SIZE 300

/* Dialog procedure of template 117, given to CreateModelessDialog with the main
 * window as owner. Returns 1 for WM_INITDIALOG, 0 otherwise. Closing ("Close" or
 * the close box) destroys the dialog and clears hAboutDlg and bAboutOpen. */
INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

/* Gives the dialog item the font (with redraw), then the text. A missing item
 * does nothing. */
void SetItemFontText(HWND dialog, int itemId, const char *text, HFONT font);

#endif
