// The real Quotarion.exe, started as a user would start it: from another folder,
// with a quoted path or another letter case, twice at once, without its SQLite
// library; and the whole program against the bundled QuoteServer.exe. Each copy
// of the program runs in a folder of its own, so its database is its own.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sqlite3.h"
#include "ui/resource.h"
#include "ui_test_support.h"

namespace {

std::string Bin()
{
    return uitest::ProgramFolder();  // ends with a backslash
}

// A fresh folder (under the system's temporary folder) holding copies of the given files of bin/.
std::string MakeCopy(const std::string &name, const std::vector<std::string> &files)
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string dir = std::string(temp) + "quotarion-app-" + std::to_string(GetCurrentProcessId()) + "-" + name;
    CreateDirectoryA(dir.c_str(), NULL);
    DeleteFileA((dir + "\\quotarion.db").c_str());
    for (const std::string &f : files)
        EXPECT_TRUE(CopyFileA((Bin() + f).c_str(), (dir + "\\" + f).c_str(), FALSE)) << f;
    return dir;
}

bool Exists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

struct Process {
    PROCESS_INFORMATION pi = {};
    bool started = false;

    Process(const std::string &commandLine, const std::string &folder)
    {
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        std::vector<char> line(commandLine.begin(), commandLine.end());
        line.push_back(0);
        started = CreateProcessA(NULL, line.data(), NULL, NULL, FALSE, 0, NULL, folder.c_str(), &si, &pi) != 0;
    }
    ~Process()
    {
        if (!started)
            return;
        if (WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(pi.hProcess, 1);
            WaitForSingleObject(pi.hProcess, 10000);
        }
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    // The exit code once it ended within the time, or -1.
    int Wait(DWORD ms)
    {
        if (WaitForSingleObject(pi.hProcess, ms) != WAIT_OBJECT_0)
            return -1;
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        return (int)code;
    }
    bool Running() { return WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT; }
};

struct WindowQuery {
    DWORD pid;
    const char *cls;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindows(HWND window, LPARAM param)
{
    WindowQuery *q = (WindowQuery *)param;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char cls[64];
    GetClassNameA(window, cls, sizeof cls);
    if ((q->pid == 0 || pid == q->pid) && strcmp(cls, q->cls) == 0)
        q->found.push_back(window);
    return TRUE;
}

std::vector<HWND> TopWindows(DWORD pid, const char *cls)
{
    WindowQuery q = {pid, cls, {}};
    EnumWindows(CollectWindows, (LPARAM)&q);
    return q.found;
}

HWND WaitMainWindow(Process &p)
{
    HWND found = NULL;
    uitest::PumpUntil([&] {
        std::vector<HWND> w = TopWindows(p.pi.dwProcessId, " ");
        found = w.empty() ? NULL : w[0];
        return found != NULL || !p.Running();
    }, 30000);
    return found;
}

// Ends a running copy through its menu, as a user would, and returns its exit code.
int ExitThroughMenu(Process &p, HWND main)
{
    PostMessageA(main, WM_COMMAND, IDM_EXIT, 0);
    return p.Wait(30000);
}

std::vector<std::string> StocksTable(const std::string &db)
{
    HMODULE lib = LoadLibraryA("sqlite3.dll");
    auto open = (decltype(sqlite3_open) *)(void *)GetProcAddress(lib, "sqlite3_open");
    auto exec = (decltype(sqlite3_exec) *)(void *)GetProcAddress(lib, "sqlite3_exec");
    auto close = (decltype(sqlite3_close) *)(void *)GetProcAddress(lib, "sqlite3_close");
    std::vector<std::string> rows;
    sqlite3 *handle = nullptr;
    if (open(db.c_str(), &handle) == 0) {
        exec(handle, "select name from sqlite_master where type='table'",
             [](void *out, int, char **values, char **) {
                 ((std::vector<std::string> *)out)->push_back(values[0] ? values[0] : "");
                 return 0;
             },
             &rows, NULL);
    }
    close(handle);
    FreeLibrary(lib);
    return rows;
}

TEST(Program, StartedFromAnotherFolderKeepsItsDatabaseBesideItself)
{
    struct Case {
        const char *label;
        const char *exeName;  // as typed on the command line
        bool quoted;
    } cases[] = {
        {"quoted path", "Quotarion.exe", true},
        {"another letter case", "QUOTARION.EXE", false},
        {"lower case and quoted", "quotarion.exe", true},
    };
    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        std::string dir = MakeCopy("folder" + std::to_string(n), {"Quotarion.exe", "sqlite3.dll"});
        std::string elsewhere = MakeCopy("elsewhere" + std::to_string(n++), {});
        std::string exe = dir + "\\" + c.exeName;
        Process p(c.quoted ? "\"" + exe + "\"" : exe, elsewhere);
        ASSERT_TRUE(p.started);
        HWND main = WaitMainWindow(p);
        ASSERT_NE(main, (HWND)NULL);
        EXPECT_TRUE(Exists(dir + "\\quotarion.db"));
        EXPECT_FALSE(Exists(elsewhere + "\\quotarion.db"));
        EXPECT_EQ(ExitThroughMenu(p, main), 0);
        EXPECT_EQ(StocksTable(dir + "\\quotarion.db"), std::vector<std::string>{"stocks"});
    }
}

TEST(Program, SecondCopyEndsAtOnceAndTheFirstKeepsRunning)
{
    std::string dir = MakeCopy("single", {"Quotarion.exe", "sqlite3.dll"});
    std::string exe = "\"" + dir + "\\Quotarion.exe\"";
    Process first(exe, dir);
    HWND main = WaitMainWindow(first);
    ASSERT_NE(main, (HWND)NULL);

    Process second(exe, dir);
    ASSERT_TRUE(second.started);
    EXPECT_EQ(second.Wait(30000), 0);
    EXPECT_TRUE(TopWindows(second.pi.dwProcessId, " ").empty());
    EXPECT_TRUE(TopWindows(second.pi.dwProcessId, "#32770").empty());  // and no message
    EXPECT_TRUE(first.Running());
    EXPECT_TRUE(IsWindow(main));
    EXPECT_EQ(ExitThroughMenu(first, main), 0);
}

TEST(Program, WithoutItsSqliteLibraryItSaysSoAndEnds)
{
    std::string dir = MakeCopy("nodll", {"Quotarion.exe"});
    Process p("\"" + dir + "\\Quotarion.exe\"", dir);
    ASSERT_TRUE(p.started);
    HWND box = NULL;
    char text[256] = "";
    ASSERT_TRUE(uitest::PumpUntil([&] {  // the box exists a moment before its text does
        std::vector<HWND> boxes = TopWindows(p.pi.dwProcessId, "#32770");
        box = boxes.empty() ? NULL : boxes[0];
        return box != NULL && GetDlgItemTextA(box, 0xFFFF, text, sizeof text) > 0;
    }, 30000));
    EXPECT_STREQ(text, "Failed to open database: Failed to load Sqlite3 DLL quotarion.db");
    EXPECT_TRUE(TopWindows(p.pi.dwProcessId, " ").empty());
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(p.Wait(30000), 0);
}

// ---- the whole program against the bundled service ---------------------------------

// Reads a cell of a list view in another process, through memory of that process.
std::string RemoteCell(HANDLE process, HWND list, int row, int column)
{
    char *remote = (char *)VirtualAllocEx(process, NULL, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!remote)
        return "?";
    LVITEMA item = {};
    item.iSubItem = column;
    item.cchTextMax = 256;
    item.pszText = remote + 512;
    WriteProcessMemory(process, remote, &item, sizeof item, NULL);
    SendMessageA(list, LVM_GETITEMTEXTA, row, (LPARAM)remote);
    char text[257] = "";
    ReadProcessMemory(process, remote + 512, text, 256, NULL);
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    return text;
}

RECT RemoteRowRect(HANDLE process, HWND list, int row)
{
    RECT r = {LVIR_BOUNDS, 0, 0, 0};
    char *remote = (char *)VirtualAllocEx(process, NULL, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    WriteProcessMemory(process, remote, &r, sizeof r, NULL);
    SendMessageA(list, LVM_GETITEMRECT, row, (LPARAM)remote);
    ReadProcessMemory(process, remote, &r, sizeof r, NULL);
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    return r;
}

void WriteDemoDatabase(const std::string &db, const std::vector<const char *> &tickers)
{
    HMODULE lib = LoadLibraryA("sqlite3.dll");
    auto open = (decltype(sqlite3_open) *)(void *)GetProcAddress(lib, "sqlite3_open");
    auto exec = (decltype(sqlite3_exec) *)(void *)GetProcAddress(lib, "sqlite3_exec");
    auto close = (decltype(sqlite3_close) *)(void *)GetProcAddress(lib, "sqlite3_close");
    sqlite3 *handle = nullptr;
    ASSERT_EQ(open(db.c_str(), &handle), 0);
    std::string sql = "create table if not exists stocks (iKey INTEGER PRIMARY KEY, ticker TEXT);";
    for (const char *t : tickers)
        sql += std::string("insert into stocks (iKey,ticker) values (NULL,'") + t + "');";
    EXPECT_EQ(exec(handle, sql.c_str(), NULL, NULL, NULL), 0);
    close(handle);
    FreeLibrary(lib);
}

TEST(Program, ShowsLiveQuotesAndAYearFromTheBundledService)
{
    std::string dir = MakeCopy("live", {"Quotarion.exe", "sqlite3.dll", "QuoteServer.exe"});
    WriteDemoDatabase(dir + "\\quotarion.db", {"GOOG", "MSFT", "AAPL"});
    Process service("\"" + dir + "\\QuoteServer.exe\"", dir);  // port 80, simulated market
    ASSERT_TRUE(service.started);
    Process app("\"" + dir + "\\Quotarion.exe\"", dir);
    HWND main = WaitMainWindow(app);
    ASSERT_NE(main, (HWND)NULL);
    HWND panel = NULL, list = NULL;
    ASSERT_TRUE(uitest::PumpUntil([&] {  // the window exists before its panel does
        panel = FindWindowExA(main, NULL, "#32770", NULL);
        list = panel ? GetDlgItem(panel, IDC_STOCKLIST) : NULL;
        return list != NULL && SendMessageA(list, LVM_GETITEMCOUNT, 0, 0) == 3;
    }));

    // Within two refresh periods (the first request leaves 3 s after start).
    bool filled = uitest::PumpUntil([&] {
        for (int row = 0; row < 3; row++)
            for (int column = 1; column <= 4; column++)
                if (RemoteCell(app.pi.hProcess, list, row, column).empty())
                    return false;
        return true;
    }, 6000 + 4000);  // two periods, and time for Wine to start both programs
    EXPECT_TRUE(filled);
    for (int row = 0; row < 3; row++) {
        std::string ticker = RemoteCell(app.pi.hProcess, list, row, 0);
        std::string exchange = RemoteCell(app.pi.hProcess, list, row, 1);
        std::string price = RemoteCell(app.pi.hProcess, list, row, 2);
        std::string change = RemoteCell(app.pi.hProcess, list, row, 3);
        SCOPED_TRACE(ticker);
        EXPECT_FALSE(exchange.empty());
        EXPECT_NE(price.find('.'), std::string::npos) << price;
        EXPECT_TRUE(change[0] == '+' || change[0] == '-' || change == "0.00") << change;
    }

    // A click on a row draws its year.
    RECT row = RemoteRowRect(app.pi.hProcess, list, 1);
    LPARAM at = MAKELPARAM(row.left + 20, (row.top + row.bottom) / 2);
    PostMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageA(list, WM_LBUTTONUP, 0, at);
    HWND chart = GetDlgItem(panel, IDC_CHART);
    RECT chartRect;
    GetWindowRect(chart, &chartRect);
    EXPECT_TRUE(uitest::PumpUntil([&] { return uitest::CaptureScreen(chartRect).Count(RGB(255, 0, 0)) > 100; }));
    char top[32] = "";
    GetDlgItemTextA(panel, IDC_PRICE_TOP, top, sizeof top);
    EXPECT_STRNE(top, "0.00");

    RECT mainRect;
    GetWindowRect(main, &mainRect);
    std::string shot = Bin() + "quotarion-with-service.png";
    EXPECT_TRUE(uitest::WritePng(uitest::CaptureScreen(mainRect), shot));

    EXPECT_EQ(ExitThroughMenu(app, main), 0);
}

}  // namespace
