/* The history chart: the panel's static control 1092 with its window procedure
 * replaced. It paints two axes with ticks and, once a history is loaded, the
 * series as one red polyline scaled so that the largest value touches the top
 * edge and zero lies on the bottom edge. Stateless; UI thread. */
#ifndef QUOTARION_MARKET_CHART_H
#define QUOTARION_MARKET_CHART_H

#include <windows.h>

#define CHART_PREV_PROC_PROP "PREVWNDPROC"

/* Paints WM_PAINT; passes every other message to the procedure kept in the
 * window's "PREVWNDPROC" property. */
LRESULT CALLBACK ChartWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

/* A two-point Polyline with the current pen (the last point is not drawn). */
BOOL DrawLine(HDC dc, int x1, int y1, int x2, int y2);

#endif
