/* Calls handed to the user-interface thread; see ui_call.h. */
#include "core/ui_call.h"

#include <windows.h>

#define WM_UI_CALL (WM_APP + 0x51)

static HWND hUiCallWnd;

static LRESULT CALLBACK UiCallProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_UI_CALL) {
        ((UiCallFn)wParam)((intptr_t)lParam);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void UiCallInit(void)
{
    if (hUiCallWnd)
        return;
    HINSTANCE instance = GetModuleHandleA(NULL);
    WNDCLASSA wc;
    ZeroMemory(&wc, sizeof wc);
    wc.lpfnWndProc = UiCallProc;
    wc.hInstance = instance;
    wc.lpszClassName = "QuotarionUiCall";
    RegisterClassA(&wc);  /* fails harmlessly when already registered */
    hUiCallWnd = CreateWindowExA(0, "QuotarionUiCall", "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, instance, NULL);
}

void UiCallDone(void)
{
    if (!hUiCallWnd)
        return;
    MSG msg;
    while (PeekMessageA(&msg, hUiCallWnd, WM_UI_CALL, WM_UI_CALL, PM_REMOVE))
        ((UiCallFn)msg.wParam)((intptr_t)msg.lParam);
    DestroyWindow(hUiCallWnd);
    hUiCallWnd = NULL;
}

int UiCallPost(UiCallFn fn, intptr_t argument)
{
    HWND window = hUiCallWnd;
    if (!window || !fn)
        return 0;
    return PostMessageA(window, WM_UI_CALL, (WPARAM)fn, (LPARAM)argument) ? 1 : 0;
}
