/* Start-up, message loop and shutdown, and the process-wide globals they own.
 *
 * AppMain starts the services in a fixed order (single-instance mutex, working
 * directory, store, socket layer, stock list lock, timer service, drawing objects,
 * window class, main window), runs the message loop, then stops them in a fixed
 * order. All globals here are set on the main thread before any other thread
 * reads them. */
#ifndef QUOTARION_CORE_APP_H
#define QUOTARION_CORE_APP_H

#include <windows.h>
#include <stdint.h>

#define APP_TITLE "Quotarion v1.2"
#define APP_VERSION "1.2"
#define APP_CLASS_NAME " "
#define APP_MUTEX_NAME "QuotarionReenterCheck"
#define APP_DATABASE_FILE "quotarion.db"
#define APP_WIDTH 540
#define APP_HEIGHT 662
#define RECEIVE_BUFFER_SIZE 2048

extern HANDLE hReenterMutex;  /* the single-instance mutex, null when not held */
extern HINSTANCE hInst;       /* set by CreateMainWindow */
extern HWND hMainWnd;         /* the main window */
extern HBRUSH hBrushWhite;    /* RGB(255,255,255); deleted by the main window */
extern HBRUSH hBrushGrey;     /* RGB(188,194,200); deleted by the main window */
extern HPEN hPenRed;          /* solid, 1 pixel, RGB(255,0,0); deleted by the main window */

/* Set when shutdown begins (before the socket layer stops), so that nothing
 * re-arms work that can no longer run. Plain flag, read by any thread. */
extern volatile long bShuttingDown;

/* The one buffer into which the socket layer reads every received block. Written
 * on the I/O thread; each event callback copies its block out before returning. */
extern char acReceiveBuffer[RECEIVE_BUFFER_SIZE];

/* 1 when another copy already runs (the caller must end), 0 otherwise. */
int CheckSingleInstance(void);

/* Makes the folder of the running program file the current directory, so that
 * "quotarion.db" lies beside the program however it was started. A path that
 * does not fit 512 bytes leaves the directory unchanged. */
void SetWorkingDirectory(void);

/* The socket layer's buffer provider: always the shared receive buffer. */
void *GetReceiveBuffer(intptr_t userData, int count);

ATOM RegisterWindowClass(HINSTANCE instance, UINT classStyle, WNDPROC proc, int cursorId, HBRUSH background,
                         const char *className, int iconId, const char *menuName);

/* Creates and shows the main window; 1 on success, 0 on failure. */
int CreateMainWindow(HINSTANCE instance, int showCommand, HWND *window);

/* The whole life of the program: start-up, message loop, shutdown. Returns the
 * exit code (0 on every path). */
int AppMain(HINSTANCE instance, int showCommand);

#endif
