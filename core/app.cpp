/* Start-up, message loop and shutdown.
 *
 * The order of both sequences matters: the socket layer stops while the timer
 * thread still runs (a quote refresh firing then is refused by the layer), the
 * timer thread stops before the stock list lock is deleted, and the lock is
 * deleted before the stock list is freed, so no callback ever touches a lock or a
 * record that is gone. */
#include "core/app.h"

#include <stdio.h>

#include "core/list.h"
#include "core/ui_call.h"
#include "net/sock.h"
#include "stocks/stocks.h"
#include "stocks/store.h"
#include "timer/timer.h"
#include "ui/main_window.h"
#include "ui/resource.h"

int CheckSingleInstance(void)
{
    hReenterMutex = CreateMutexA(NULL, TRUE, APP_MUTEX_NAME);
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        if (hReenterMutex) {
            ReleaseMutex(hReenterMutex);
            CloseHandle(hReenterMutex);
        }
        hReenterMutex = NULL;
        return 1;
    }
    return 0;
}

void SetWorkingDirectory(void)
{
    /* The program file's own path, not the command line: a quoted path, another
     * letter case or another file name must not leave the database elsewhere.
     * Wide characters, so that folders with any name work. */
    WCHAR path[512];
    DWORD length = GetModuleFileNameW(NULL, path, 512);
    if (length == 0 || length >= 512)
        return;  /* failed or cut: keep the current directory */
    WCHAR *slash = NULL;
    for (WCHAR *p = path; *p; p++) {
        if (*p == L'\\' || *p == L'/')
            slash = p;
    }
    if (!slash)
        return;
    slash[1] = 0;
    SetCurrentDirectoryW(path);
}

ATOM RegisterWindowClass(HINSTANCE instance, UINT classStyle, WNDPROC proc, int cursorId, HBRUSH background,
                         const char *className, int iconId, const char *menuName)
{
    WNDCLASSEXA wc;
    ZeroMemory(&wc, sizeof wc);
    wc.cbSize = sizeof wc;
    wc.style = classStyle;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hIcon = iconId ? LoadIconA(instance, MAKEINTRESOURCEA(iconId)) : NULL;
    wc.hCursor = cursorId ? LoadCursorA(NULL, MAKEINTRESOURCEA(cursorId)) : NULL;
    wc.hbrBackground = background;
    wc.lpszMenuName = menuName;
    wc.lpszClassName = className;
    return RegisterClassExA(&wc);
}

int CreateMainWindow(HINSTANCE instance, int showCommand, HWND *window)
{
    hInst = instance;
    HMENU menu = LoadMenuA(instance, MAKEINTRESOURCEA(IDR_MAINMENU));
    HWND wnd = CreateWindowExA(0, APP_CLASS_NAME, APP_TITLE, WS_SYSMENU | WS_MINIMIZEBOX, 0, 0, APP_WIDTH,
                               APP_HEIGHT, NULL, menu, instance, NULL);
    if (!wnd)
        return 0;
    *window = wnd;
    ShowWindow(wnd, showCommand);
    UpdateWindow(wnd);
    return 1;
}

static void ReleaseReenterMutex(void)
{
    if (hReenterMutex) {
        ReleaseMutex(hReenterMutex);
        CloseHandle(hReenterMutex);
        hReenterMutex = NULL;
    }
}

int AppMain(HINSTANCE instance, int showCommand)
{
    if (CheckSingleInstance())
        return 0;
    SetWorkingDirectory();

    char errorText[STORE_ERROR_SIZE] = "";
    if (!StoreOpen(APP_DATABASE_FILE, errorText)) {
        char message[256];
        snprintf(message, sizeof message, "Failed to open database: %s", errorText);
        MessageBoxA(NULL, message, NULL, MB_OK);
        ReleaseReenterMutex();
        return 0;
    }

    SockInitParams sinit;
    ZeroMemory(&sinit, sizeof sinit);
    sinit.getBuffer = GetReceiveBuffer;
    sinit.sslEnabled = 0;
    SockStartup(&sinit);

    UiCallInit();
    StockListInit();
    TimerInit();

    hBrushWhite = CreateSolidBrush(RGB(255, 255, 255));
    hBrushGrey = CreateSolidBrush(RGB(188, 194, 200));
    hPenRed = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));

    RegisterWindowClass(instance, CS_HREDRAW | CS_VREDRAW, MainWndProc, 32512 /* IDC_ARROW */,
                        (HBRUSH)(INT_PTR)(COLOR_APPWORKSPACE + 1), APP_CLASS_NAME, IDI_QUOTARION, NULL);
    if (!CreateMainWindow(instance, showCommand, &hMainWnd))
        return 0;

    MSG msg;
    ZeroMemory(&msg, sizeof msg);
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }

    bShuttingDown = 1;
    SockCleanup();
    ReleaseReenterMutex();
    StoreClose();
    TimerStop();
    UiCallDone();  /* calls still queued run while the stock list lock exists */
    StockListDone();
    ListFreeAll(&StockList);
    return (int)msg.wParam;
}
