/* Globals of the user interface, kept apart from the windows that write them so
 * that every module (and its tests) can use them without pulling in every window. */
#include "ui/main_window.h"

HWND hPanelDlg;
HWND hAboutDlg;
int bAboutOpen;
volatile long bHiddenInTray;
HFONT hFontRegular;
HFONT hFontSemibold;
HFONT hFontBold;
