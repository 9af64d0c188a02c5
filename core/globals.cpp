/* Process-wide globals of start-up, kept apart from the start-up code so that
 * every module (and its tests) can use them without pulling in the whole program. */
#include "core/app.h"

HANDLE hReenterMutex;
HINSTANCE hInst;
HWND hMainWnd;
HBRUSH hBrushWhite;
HBRUSH hBrushGrey;
HPEN hPenRed;
volatile long bShuttingDown;
char acReceiveBuffer[RECEIVE_BUFFER_SIZE];

void *GetReceiveBuffer(intptr_t userData, int count)
{
    (void)userData;
    (void)count;
    return acReceiveBuffer;
}
