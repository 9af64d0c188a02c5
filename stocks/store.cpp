/* The stock store over a run-time loaded sqlite3.dll; see store.h.
 *
 * The five entry points are held in pointers typed from sqlite3.h's own
 * prototypes, so the compiler checks every call. */
#include "stocks/store.h"

#include <windows.h>
#include <stdio.h>
#include <string.h>

#include "sqlite3.h"
#include "stocks/store_text.h"

static HMODULE hSqliteLib;
static decltype(sqlite3_open) *pfnSqliteOpen;
static decltype(sqlite3_close) *pfnSqliteClose;
static decltype(sqlite3_exec) *pfnSqliteExec;
static decltype(sqlite3_errmsg) *pfnSqliteErrmsg;
static decltype(sqlite3_last_insert_rowid) *pfnSqliteLastInsertRowid;
static sqlite3 *pStoreDb;
static StoreRowHandler pfnRowHandler;

static const char kCreateTable[] = "create table if not exists stocks (iKey INTEGER PRIMARY KEY, ticker TEXT);";

/* Operations other than open and close need an open store; a closed one fails
 * cleanly instead of calling into a library that is not there. */
static int RequireOpen(char *errorText)
{
    if (pStoreDb)
        return 1;
    CopyTextCut(errorText, STORE_ERROR_SIZE, "database is not open");
    return 0;
}

static void SetErrorFromDb(char *errorText)
{
    CopyTextCut(errorText, STORE_ERROR_SIZE, pfnSqliteErrmsg(pStoreDb));
}

int StoreOpen(const char *fileName, char *errorText)
{
    hSqliteLib = LoadLibraryA("sqlite3.dll");
    if (!hSqliteLib) {
        char message[STORE_ERROR_SIZE * 4];
        snprintf(message, sizeof message, "Failed to load Sqlite3 DLL %s", fileName);
        CopyTextCut(errorText, STORE_ERROR_SIZE, message);
        return 0;
    }
    pfnSqliteOpen = (decltype(pfnSqliteOpen))(void *)GetProcAddress(hSqliteLib, "sqlite3_open");
    pfnSqliteClose = (decltype(pfnSqliteClose))(void *)GetProcAddress(hSqliteLib, "sqlite3_close");
    pfnSqliteExec = (decltype(pfnSqliteExec))(void *)GetProcAddress(hSqliteLib, "sqlite3_exec");
    pfnSqliteErrmsg = (decltype(pfnSqliteErrmsg))(void *)GetProcAddress(hSqliteLib, "sqlite3_errmsg");
    pfnSqliteLastInsertRowid =
        (decltype(pfnSqliteLastInsertRowid))(void *)GetProcAddress(hSqliteLib, "sqlite3_last_insert_rowid");
    if (!pfnSqliteOpen || !pfnSqliteClose || !pfnSqliteExec || !pfnSqliteErrmsg || !pfnSqliteLastInsertRowid) {
        CopyTextCut(errorText, STORE_ERROR_SIZE, "Failed to resolve one of sqlite3 function names");
        FreeLibrary(hSqliteLib);
        hSqliteLib = NULL;
        return 0;
    }

    pStoreDb = NULL;
    if (pfnSqliteOpen(fileName, &pStoreDb) != 0) {
        if (pStoreDb)
            SetErrorFromDb(errorText);
        else
            CopyTextCut(errorText, STORE_ERROR_SIZE, "out of memory");  /* SQLite had no memory for a handle */
        StoreClose();
        return 0;
    }
    if (pfnSqliteExec(pStoreDb, kCreateTable, NULL, NULL, NULL) != 0) {
        SetErrorFromDb(errorText);
        StoreClose();
        return 0;
    }
    return 1;
}

void StoreClose(void)
{
    if (pStoreDb) {
        pfnSqliteClose(pStoreDb);
        pStoreDb = NULL;
    }
    if (hSqliteLib) {
        FreeLibrary(hSqliteLib);
        hSqliteLib = NULL;
    }
}

int StoreInsert(StockItem *item, char *errorText)
{
    if (!RequireOpen(errorText))
        return 0;
    char statement[STORE_STATEMENT_SIZE];
    if (!StoreFormatInsert(statement, sizeof statement, item->ticker)) {
        CopyTextCut(errorText, STORE_ERROR_SIZE, "ticker too long");
        return 0;
    }
    if (pfnSqliteExec(pStoreDb, statement, NULL, NULL, NULL) != 0) {
        SetErrorFromDb(errorText);
        return 0;
    }
    item->iKey = pfnSqliteLastInsertRowid(pStoreDb);
    return 1;
}

int StoreDelete(const StockItem *item, char *errorText)
{
    if (!RequireOpen(errorText))
        return 0;
    char statement[STORE_STATEMENT_SIZE];
    snprintf(statement, sizeof statement, "delete from stocks where iKey=%lld;", (long long)item->iKey);
    if (pfnSqliteExec(pStoreDb, statement, NULL, NULL, NULL) != 0) {
        SetErrorFromDb(errorText);
        return 0;
    }
    return 1;
}

static int StoreRowCallback(void *unused, int count, char **values, char **names)
{
    (void)unused;
    StockItem item;
    memset(&item, 0, sizeof item);
    StoreFillItem(count, values, names, &item);
    pfnRowHandler(&item);
    return 0;
}

int StoreLoadAll(StoreRowHandler handler, char *errorText)
{
    if (!RequireOpen(errorText))
        return 0;
    pfnRowHandler = handler;
    if (pfnSqliteExec(pStoreDb, "select * from stocks", StoreRowCallback, NULL, NULL) != 0) {
        SetErrorFromDb(errorText);
        return 0;
    }
    return 1;
}
