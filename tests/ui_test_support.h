// Helpers for the window tests: the process set-up the main window would do, message
// pumping with deadlines, pixels of real controls, and screenshots written as PNG.
// Header-only so that each window test program can include it.
#ifndef QUOTARION_TESTS_UI_TEST_SUPPORT_H
#define QUOTARION_TESTS_UI_TEST_SUPPORT_H

#include <windows.h>
#include <commctrl.h>

#include <stdint.h>
#include <stdio.h>
#include <string>
#include <vector>

#include "core/app.h"
#include "ui/main_window.h"

namespace uitest {

// What the main window sets up before its dialogs exist: the instance (the test
// program links the resources), the common controls, the two fonts the dialogs use.
inline void InitProcess()
{
    hInst = GetModuleHandleA(NULL);
    INITCOMMONCONTROLSEX controls = {sizeof controls,
                                     ICC_BAR_CLASSES | ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
}

inline void CreateFonts()
{
    LOGFONTA regular = {};
    regular.lfWidth = 10;
    hFontRegular = CreateFontIndirectA(&regular);
    LOGFONTA bold = {};
    bold.lfWidth = 12;
    bold.lfWeight = 700;
    hFontBold = CreateFontIndirectA(&bold);
}

inline void DeleteFonts()
{
    if (hFontRegular)
        DeleteObject(hFontRegular);
    if (hFontBold)
        DeleteObject(hFontBold);
    hFontRegular = NULL;
    hFontBold = NULL;
}

inline void PumpMessages()
{
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// Pumps messages until the condition holds or the deadline passes; true if it held.
template <typename Condition> bool PumpUntil(Condition condition, DWORD timeoutMs = 20000)
{
    DWORD start = GetTickCount();
    for (;;) {
        PumpMessages();
        if (condition())
            return true;
        if (GetTickCount() - start > timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, NULL, FALSE, 20, QS_ALLINPUT);
    }
}

inline const char *WindowClassName()
{
    return "QuotarionTestWindow";
}

// A plain top-level (or owned pop-up) window class for owners and parents.
inline void RegisterTestClass()
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.hCursor = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    wc.lpszClassName = WindowClassName();
    RegisterClassA(&wc); // fails harmlessly when already registered
}

// A window of the test class; position and size are the window rectangle.
inline HWND CreatePlainWindow(DWORD style, int x, int y, int width, int height, HWND owner = NULL,
                              const char *title = "")
{
    RegisterTestClass();
    HWND window = CreateWindowExA(0, WindowClassName(), title, style & ~WS_VISIBLE, x, y, width, height, owner, NULL,
                                  GetModuleHandleA(NULL), NULL);
    // Shown without activation: with no window manager on the test display, Wine
    // waits two seconds for one when an activated (managed) window goes away.
    if (window && (style & WS_VISIBLE))
        SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    return window;
}

// Resizes a window so that its client area has exactly the given size.
inline void SetClientSize(HWND window, int width, int height)
{
    RECT outer, client;
    GetWindowRect(window, &outer);
    GetClientRect(window, &client);
    int extraW = (outer.right - outer.left) - client.right;
    int extraH = (outer.bottom - outer.top) - client.bottom;
    SetWindowPos(window, NULL, 0, 0, width + extraW, height + extraH, SWP_NOMOVE | SWP_NOZORDER);
}

// A 32-bit top-down picture: pixels[y * width + x] = 0x00RRGGBB.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;

    COLORREF At(int x, int y) const
    {
        uint32_t p = pixels[(size_t)y * width + x];
        return RGB((p >> 16) & 0xff, (p >> 8) & 0xff, p & 0xff);
    }
    int Count(COLORREF colour) const
    {
        int n = 0;
        for (int y = 0; y < height; y++)
            for (int x = 0; x < width; x++)
                n += At(x, y) == colour;
        return n;
    }
};

// Runs draw(memoryDC) over a white 32-bit DIB of the given size and returns its pixels.
template <typename Draw> Picture Render(int width, int height, Draw draw)
{
    Picture picture;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = NULL;
    HDC screen = GetDC(NULL);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    ReleaseDC(NULL, screen);
    if (!dib) {
        DeleteDC(dc);
        return picture;
    }
    HGDIOBJ old = SelectObject(dc, dib);
    RECT all = {0, 0, width, height};
    FillRect(dc, &all, (HBRUSH)GetStockObject(WHITE_BRUSH));
    draw(dc);
    GdiFlush();
    picture.width = width;
    picture.height = height;
    picture.pixels.assign((uint32_t *)bits, (uint32_t *)bits + (size_t)width * height);
    SelectObject(dc, old);
    DeleteObject(dib);
    DeleteDC(dc);
    return picture;
}

// The control as it paints its client area (WM_PRINTCLIENT goes through the same
// painting code as WM_PAINT, colour messages to the parent included).
inline Picture RenderClient(HWND window)
{
    RECT client;
    GetClientRect(window, &client);
    return Render(client.right, client.bottom, [&](HDC dc) {
        SendMessageA(window, WM_PRINTCLIENT, (WPARAM)dc, PRF_CLIENT | PRF_ERASEBKGND);
    });
}

// What the display shows in a screen rectangle.
inline Picture CaptureScreen(const RECT &area)
{
    return Render(area.right - area.left, area.bottom - area.top, [&](HDC dc) {
        HDC screen = GetDC(NULL);
        BitBlt(dc, 0, 0, area.right - area.left, area.bottom - area.top, screen, area.left, area.top, SRCCOPY);
        ReleaseDC(NULL, screen);
    });
}

// PNG without a compression library: deflate "stored" blocks (no compression).
namespace png {
inline uint32_t Crc(const unsigned char *data, size_t size, uint32_t crc = 0)
{
    crc = ~crc;
    for (size_t i = 0; i < size; i++) {
        crc ^= data[i];
        for (int k = 0; k < 8; k++)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

inline void Put32(std::string &out, uint32_t v)
{
    out += (char)(v >> 24);
    out += (char)(v >> 16);
    out += (char)(v >> 8);
    out += (char)v;
}

inline void Chunk(std::string &out, const char *type, const std::string &data)
{
    Put32(out, (uint32_t)data.size());
    std::string body = std::string(type, 4) + data;
    out += body;
    Put32(out, Crc((const unsigned char *)body.data(), body.size()));
}
} // namespace png

inline bool WritePng(const Picture &picture, const std::string &path)
{
    std::string raw;
    for (int y = 0; y < picture.height; y++) {
        raw += '\0'; // filter: none
        for (int x = 0; x < picture.width; x++) {
            uint32_t p = picture.pixels[(size_t)y * picture.width + x];
            raw += (char)((p >> 16) & 0xff);
            raw += (char)((p >> 8) & 0xff);
            raw += (char)(p & 0xff);
        }
    }
    std::string z = "\x78\x01";
    uint32_t a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    for (size_t pos = 0; pos < raw.size(); pos += 65535) {
        size_t n = raw.size() - pos < 65535 ? raw.size() - pos : 65535;
        z += (char)(pos + n >= raw.size() ? 1 : 0); // last block?
        z += (char)(n & 0xff);
        z += (char)(n >> 8);
        z += (char)(~n & 0xff);
        z += (char)((~n >> 8) & 0xff);
        z.append(raw, pos, n);
    }
    png::Put32(z, (b << 16) | a);

    std::string header;
    png::Put32(header, (uint32_t)picture.width);
    png::Put32(header, (uint32_t)picture.height);
    header.append("\x08\x02\x00\x00\x00", 5); // 8 bits, RGB, deflate, no filter, no interlace

    std::string out = "\x89PNG\r\n\x1a\n";
    png::Chunk(out, "IHDR", header);
    png::Chunk(out, "IDAT", z);
    png::Chunk(out, "IEND", std::string());
    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = fwrite(out.data(), 1, out.size(), f) == out.size();
    return fclose(f) == 0 && ok;
}

// The folder of the running test program, with a trailing backslash.
inline std::string ProgramFolder()
{
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(NULL, path, sizeof path);
    std::string s(path, n);
    return s.substr(0, s.find_last_of("\\/") + 1);
}

// GDI objects of this process where the platform counts them (-1 where it does not).
inline long GdiObjectCount()
{
    SetLastError(0);
    DWORD n = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (n == 0)
        return -1;
    return (long)n;
}

// Points Wine's browser setting at the recording script for the life of the test,
// and puts the previous setting back afterwards.
// The recording script lies beside this header (tests/record-browser.sh).
class BrowserRecorder {
public:
    bool Install()
    {
        typedef char *(CDECL * ToUnix)(const WCHAR *);
        ToUnix toUnix =
            (ToUnix)(void *)GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
        if (!toUnix)
            return false; // not Wine: its browser setting does not exist
        std::string folder = uitest::ProgramFolder();
        logPath = folder + "browser-" + std::to_string(GetCurrentProcessId()) + ".log";
        DeleteFileA(logPath.c_str());
        std::wstring wide(logPath.begin(), logPath.end());
        char *unixLog = toUnix(wide.c_str());
        if (!unixLog)
            return false;
        std::string unixPath = unixLog;
        HeapFree(GetProcessHeap(), 0, unixLog);

        std::string source = __FILE__;
        std::string script = source.substr(0, source.find_last_of('/') + 1) + "record-browser.sh";
        std::string command = "\"" + script + "\" \"" + unixPath + "\"";

        if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\WineBrowser", 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key,
                            NULL) != ERROR_SUCCESS)
            return false;
        char previous[1024];
        DWORD size = sizeof previous, type = 0;
        hadPrevious = RegQueryValueExA(key, "Browsers", NULL, &type, (BYTE *)previous, &size) == ERROR_SUCCESS;
        if (hadPrevious) {
            previousValue.assign(previous, size);
            previousType = type;
        }
        return RegSetValueExA(key, "Browsers", 0, REG_SZ, (const BYTE *)command.c_str(),
                              (DWORD)command.size() + 1) == ERROR_SUCCESS;
    }
    ~BrowserRecorder()
    {
        if (!key)
            return;
        if (hadPrevious)
            RegSetValueExA(key, "Browsers", 0, previousType, (const BYTE *)previousValue.data(),
                           (DWORD)previousValue.size());
        else
            RegDeleteValueA(key, "Browsers");
        RegCloseKey(key);
        DeleteFileA(logPath.c_str());
    }
    // The addresses the browser was asked to open, one per line.
    std::vector<std::string> Opened() const
    {
        std::vector<std::string> lines;
        FILE *f = fopen(logPath.c_str(), "rb");
        if (!f)
            return lines;
        char line[1024];
        while (fgets(line, sizeof line, f)) {
            std::string s = line;
            while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
                s.pop_back();
            lines.push_back(s);
        }
        fclose(f);
        return lines;
    }

private:
    HKEY key = NULL;
    bool hadPrevious = false;
    std::string previousValue;
    DWORD previousType = REG_SZ;
    std::string logPath;
};

} // namespace uitest

#endif
