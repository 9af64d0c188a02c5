/* The history chart; see chart.h. Reads HistorySeries, which only the UI thread
 * writes, so a paint never sees a series being filled. */
#include "market/chart.h"

#include <string.h>

#include "core/app.h"
#include "market/history.h"

BOOL DrawLine(HDC dc, int x1, int y1, int x2, int y2)
{
    POINT points[2] = {{x1, y1}, {x2, y2}};
    return Polyline(dc, points, 2);
}

/* What WM_PAINT draws into a client area of width x height. */
static void ChartPaint(HDC dc, int width, int height)
{
    static POINT pts[HISTORY_MAX_VALUES];
    memset(pts, 0, sizeof pts);
    const int W = width, H = height;

    DrawLine(dc, 0, H, W, H);
    DrawLine(dc, 0, 0, 0, H);
    int s = (W - 10) / 11;
    for (int i = 0; i < 12; i++)
        DrawLine(dc, i * s, H, i * s, H - 10);
    int t = H / 2;
    for (int i = 0; i < 3; i++)
        DrawLine(dc, 0, H - i * t, 10, H - i * t);

    const HistoryData &series = HistorySeries;
    int count = series.count;
    if (series.maxValue == 0 || count <= 0 || count > HISTORY_MAX_VALUES)
        return;
    for (int i = 0; i < count; i++) {
        double p = (double)(i * 100) / count;
        pts[i].x = (int)(W * p / 100.0);
        int q = (int)((series.values[i] * 100) / series.maxValue);
        pts[i].y = H - (H * q) / 100;
    }
    HGDIOBJ previous = SelectObject(dc, hPenRed);
    Polyline(dc, pts, count);
    SelectObject(dc, previous);
}

LRESULT CALLBACK ChartWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        RECT rt;
        GetClientRect(window, &rt);
        ChartPaint(dc, rt.right, rt.bottom);
        EndPaint(window, &ps);
        return 0;
    }
    WNDPROC previous = (WNDPROC)GetPropA(window, CHART_PREV_PROC_PROP);
    if (!previous)
        return DefWindowProcA(window, message, wParam, lParam);
    return CallWindowProcA(previous, window, message, wParam, lParam);
}
