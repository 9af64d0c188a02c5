// Test helpers that set the program's pieces up the way start-up does, and tear
// them down the way shutdown does: a store in a temporary folder, and the
// background services (socket layer, call hand-over, stock list lock, timer).
#ifndef QUOTARION_TESTS_PROGRAM_SERVICES_H
#define QUOTARION_TESTS_PROGRAM_SERVICES_H

#include <windows.h>

#include <string>

#include "core/app.h"
#include "core/ui_call.h"
#include "market/history.h"
#include "net/sock.h"
#include "stocks/stocks.h"
#include "stocks/store.h"
#include "timer/timer.h"
#include "ui/main_window.h"

namespace services {

// "quotarion.db" in a folder of its own under the temporary folder, opened by the store.
struct TempStore {
    std::string dir, path;

    // True when the store opened; error holds why not.
    bool Open(const char *name, char *error)
    {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        dir = std::string(temp) + "quotarion-" + name + "-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(dir.c_str(), NULL);
        path = dir + "\\quotarion.db";
        DeleteFileA(path.c_str());
        return StoreOpen(path.c_str(), error) == 1;
    }

    void Close()
    {
        StoreClose();
        DeleteFileA(path.c_str());
        RemoveDirectoryA(dir.c_str());
    }
};

// The services start-up starts before the main window exists; true when the
// socket layer started.
inline bool Start()
{
    bHiddenInTray = 0;
    bShuttingDown = 0;
    SockInitParams params = {GetReceiveBuffer, 0};
    if (SockStartup(&params) != SOCK_OK)
        return false;
    UiCallInit();
    StockListInit();
    TimerInit();
    return true;
}

// Stops them in shutdown's order, after the history connection is closed while
// its handle is still valid; the stock list is freed.
inline void Stop()
{
    HistoryReset();
    SockCleanup();
    TimerStop();
    UiCallDone();
    EnterCriticalSection(&csStockList);
    ListFreeAll(&StockList);
    LeaveCriticalSection(&csStockList);
    StockListDone();
}

}  // namespace services

#endif
