/* The main window: menu, the panel as its whole client area, the shared fonts,
 * and the notification-area icon. Closing hides it in the notification area;
 * only the menu command Exit ends the program. UI thread. */
#ifndef QUOTARION_UI_MAIN_WINDOW_H
#define QUOTARION_UI_MAIN_WINDOW_H

#include <windows.h>
#include <shellapi.h>

#define WM_AFTER_CREATE (WM_USER + 1)
#define WM_TRAY_CALLBACK (WM_USER + 2)
#define TRAY_ICON_ID 1
#define TRAY_TIP "Quotarion - Stock Market Monitoring App"
#define TRAY_BALLOON "Quotarion is running in the background"

extern HWND hPanelDlg;
extern HWND hAboutDlg;
extern int bAboutOpen;
extern volatile long bHiddenInTray;  /* read by the quote refresh on the timer thread */
extern HFONT hFontRegular;
extern HFONT hFontSemibold;
extern HFONT hFontBold;

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void RestoreFromTray(void);
/* Fills a notification-icon record: size, window, id, flags (message and tip,
 * icon when one is given, balloon when a balloon text is given), the tip, and for
 * a balloon its title (the tip), text, 3000 ms and the information icon. Every
 * text is cut to its field: nothing is ever written past one. */
void TrayIconFill(NOTIFYICONDATAA *record, HWND window, UINT callbackMessage, UINT iconId, HICON icon,
                  const char *tip, const char *balloon);

/* Fills the icon record and calls the shell; destroys the given icon afterwards
 * (the shell keeps its own copy). Returns the shell's result. */
BOOL TrayIconNotify(HWND window, DWORD operation, UINT callbackMessage, UINT iconId, HICON icon, const char *tip,
                    const char *balloon);
BOOL TrayIconAdd(HINSTANCE instance, HWND window, DWORD operation, UINT callbackMessage, int iconResource,
                 const char *tip);

#endif
