// The stock store against the real sqlite3.dll built from the amalgamation.
// A second connection of the test's own (the same DLL, loaded by the test)
// plays "another program" that wrote or damaged the database.
#include "stocks/store.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>

#include "sqlite3.h"

namespace {

// ---- another program's view of a database file -------------------------------

struct RawSqlite {
    HMODULE lib = LoadLibraryA("sqlite3.dll");
    decltype(sqlite3_open) *open = (decltype(open))(void *)GetProcAddress(lib, "sqlite3_open");
    decltype(sqlite3_close) *close = (decltype(close))(void *)GetProcAddress(lib, "sqlite3_close");
    decltype(sqlite3_exec) *exec = (decltype(exec))(void *)GetProcAddress(lib, "sqlite3_exec");
    ~RawSqlite() { FreeLibrary(lib); }
};

int CollectRow(void *out, int count, char **values, char **)
{
    std::string row;
    for (int i = 0; i < count; i++) {
        if (i)
            row += "|";
        row += values[i] ? values[i] : "NULL";
    }
    ((std::vector<std::string> *)out)->push_back(row);
    return 0;
}

// Runs SQL on its own connection; returns the rows, "|"-joined.
std::vector<std::string> Raw(const std::string &path, const char *sql)
{
    RawSqlite s;
    sqlite3 *db = nullptr;
    std::vector<std::string> rows;
    EXPECT_EQ(s.open(path.c_str(), &db), 0);
    char *error = nullptr;
    EXPECT_EQ(s.exec(db, sql, CollectRow, &rows, &error), 0) << sql << ": " << (error ? error : "");
    s.close(db);
    return rows;
}

// ---- the store under test -----------------------------------------------------

std::vector<StockItem> loaded;
void CollectItem(StockItem *item)
{
    loaded.push_back(*item);
}

class StoreTest : public ::testing::Test {
protected:
    std::string dir, path;
    char error[STORE_ERROR_SIZE];

    void SetUp() override
    {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        dir = std::string(temp) + "quotarion-store-" + std::to_string(GetCurrentProcessId()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
        CreateDirectoryA(dir.c_str(), NULL);
        path = dir + "\\quotarion.db";
        DeleteFileA(path.c_str());
        memset(error, 0, sizeof error);
        loaded.clear();
    }
    void TearDown() override
    {
        StoreClose();
        DeleteFileA(path.c_str());
        RemoveDirectoryA(dir.c_str());
    }

    int64_t Insert(const char *ticker)
    {
        StockItem item;
        memset(&item, 0, sizeof item);
        strcpy(item.ticker, ticker);
        EXPECT_EQ(StoreInsert(&item, error), 1) << error;
        return item.iKey;
    }
    std::vector<std::string> LoadAll()
    {
        loaded.clear();
        EXPECT_EQ(StoreLoadAll(CollectItem, error), 1) << error;
        std::vector<std::string> rows;
        for (const StockItem &item : loaded)
            rows.push_back(std::to_string(item.iKey) + ":" + item.ticker);
        return rows;
    }
};

TEST_F(StoreTest, CreatesTheTableAndKeepsRowsAcrossOpens)
{
    ASSERT_EQ(StoreOpen(path.c_str(), error), 1) << error;
    EXPECT_EQ(Raw(path, "select sql from sqlite_master"),
              std::vector<std::string>{"CREATE TABLE stocks (iKey INTEGER PRIMARY KEY, ticker TEXT)"});
    EXPECT_EQ(LoadAll(), std::vector<std::string>{});  // an empty table: the handler is never called
    EXPECT_TRUE(loaded.empty());
    EXPECT_EQ(Insert("GOOG"), 1);
    EXPECT_EQ(Insert("msft"), 2);
    StoreClose();

    ASSERT_EQ(StoreOpen(path.c_str(), error), 1) << error;
    EXPECT_EQ(LoadAll(), (std::vector<std::string>{"1:GOOG", "2:msft"}));
    EXPECT_EQ(loaded[0].node, nullptr);
    EXPECT_STREQ(loaded[0].exchange, "");
}

TEST_F(StoreTest, HighestKeyIsReusedAfterItsDelete)
{
    ASSERT_EQ(StoreOpen(path.c_str(), error), 1) << error;
    EXPECT_EQ(Insert("A"), 1);
    EXPECT_EQ(Insert("B"), 2);
    EXPECT_EQ(Insert("C"), 3);
    StockItem item;
    memset(&item, 0, sizeof item);
    item.iKey = 3;
    EXPECT_EQ(StoreDelete(&item, error), 1) << error;
    EXPECT_EQ(Insert("D"), 3);  // no AUTOINCREMENT: SQLite takes max + 1 again
    item.iKey = 99;
    EXPECT_EQ(StoreDelete(&item, error), 1);  // a key without a row still succeeds
    EXPECT_EQ(LoadAll(), (std::vector<std::string>{"1:A", "2:B", "3:D"}));
}

TEST_F(StoreTest, TickersAreStoredLiterallyWhateverTheirQuotes)
{
    ASSERT_EQ(StoreOpen(path.c_str(), error), 1) << error;
    Insert("O'NEIL");
    Insert("x'),(NULL,'y");  // would add a second row if pasted into the SQL as it is
    Insert("x'||'y");        // would store "xy"
    Insert("'");
    EXPECT_EQ(LoadAll(), (std::vector<std::string>{"1:O'NEIL", "2:x'),(NULL,'y", "3:x'||'y", "4:'"}));
    EXPECT_EQ(Raw(path, "select count(*) from stocks"), std::vector<std::string>{"4"});
}

TEST_F(StoreTest, ReadsRowsAnotherProgramWrote)
{
    Raw(path,
        "create table stocks (note TEXT, TICKER TEXT, IKEY INTEGER PRIMARY KEY, extra INT);"
        "insert into stocks values ('n', 'goog', 5, 1);"
        "insert into stocks values ('n', '0123456789ABCDEF', 6, 2);"  // 16 characters: too long
        "insert into stocks values (NULL, 'IBM', 7, NULL);");
    ASSERT_EQ(StoreOpen(path.c_str(), error), 1) << error;
    EXPECT_EQ(LoadAll(), (std::vector<std::string>{"5:goog", "0:", "7:IBM"}));
    // The ticker that does not fit ends the row's reading before IKEY: key 0, empty ticker.
}

TEST_F(StoreTest, NullKeyAndTickerLoadAsZeroAndEmpty)
{
    Raw(path,
        "create table stocks (iKey INTEGER, ticker TEXT);"
        "insert into stocks values (NULL, NULL);"
        "insert into stocks values (4, NULL);"
        "insert into stocks values (NULL, 'X');");
    ASSERT_EQ(StoreOpen(path.c_str(), error), 1) << error;
    EXPECT_EQ(LoadAll(), (std::vector<std::string>{"0:", "4:", "0:X"}));
}

TEST_F(StoreTest, SqliteErrorsReportItsMessage)
{
    // A folder cannot be opened as a database.
    EXPECT_EQ(StoreOpen(dir.c_str(), error), 0);
    EXPECT_STREQ(error, "unable to open database file");
    // A file that is not a database opens, but the table cannot be created.
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    char junk[4096];
    memset(junk, 'j', sizeof junk);
    DWORD written = 0;
    WriteFile(f, junk, sizeof junk, &written, NULL);
    CloseHandle(f);
    memset(error, 0, sizeof error);
    EXPECT_EQ(StoreOpen(path.c_str(), error), 0);
    EXPECT_STREQ(error, "file is not a database");
    // The store stays closed: its operations fail cleanly.
    StockItem item;
    memset(&item, 0, sizeof item);
    EXPECT_EQ(StoreInsert(&item, error), 0);
    EXPECT_EQ(StoreLoadAll(CollectItem, error), 0);
    EXPECT_EQ(StoreDelete(&item, error), 0);
}

TEST_F(StoreTest, LongMessagesAreCutToTheBuffer)
{
    std::string reason(200, 'r');
    std::string sql = "create table stocks (iKey INTEGER PRIMARY KEY, ticker TEXT);"
                      "create trigger refuse before insert on stocks begin select raise(abort, '" +
                      reason + "'); end;";
    Raw(path, sql.c_str());
    ASSERT_EQ(StoreOpen(path.c_str(), error), 1) << error;
    char buffer[STORE_ERROR_SIZE + 64];
    memset(buffer, '#', sizeof buffer);
    StockItem item;
    memset(&item, 0, sizeof item);
    strcpy(item.ticker, "GOOG");
    EXPECT_EQ(StoreInsert(&item, buffer), 0);
    EXPECT_EQ(item.iKey, 0);
    EXPECT_EQ(std::string(buffer), std::string(127, 'r'));
    for (size_t i = STORE_ERROR_SIZE; i < sizeof buffer; i++)
        ASSERT_EQ(buffer[i], '#') << i;
}

TEST_F(StoreTest, CloseIsHarmlessWhenClosed)
{
    StoreClose();
    ASSERT_EQ(StoreOpen(path.c_str(), error), 1) << error;
    StoreClose();
    StoreClose();
    ASSERT_EQ(StoreOpen(path.c_str(), error), 1) << error;  // and it opens again
}

// ---- failures to bind the library, seen through a probe in its own folder -------

// Runs store_probe.exe from a folder and returns what it printed.
std::string RunProbe(const char *folder)
{
    char self[MAX_PATH];
    GetModuleFileNameA(NULL, self, MAX_PATH);
    std::string bin(self);
    bin = bin.substr(0, bin.find_last_of("\\/"));
    std::string dirPath = bin + "\\" + folder;
    std::string exe = dirPath + "\\store_probe.exe";

    SECURITY_ATTRIBUTES sa = {sizeof sa, NULL, TRUE};
    HANDLE readEnd, writeEnd;
    if (!CreatePipe(&readEnd, &writeEnd, &sa, 0))
        return "no pipe";
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    PROCESS_INFORMATION pi;
    std::string cmd = "\"" + exe + "\"";
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back(0);
    BOOL ok = CreateProcessA(exe.c_str(), line.data(), NULL, NULL, TRUE, 0, NULL, dirPath.c_str(), &si, &pi);
    CloseHandle(writeEnd);
    if (!ok) {
        CloseHandle(readEnd);
        return "cannot start " + exe;
    }
    std::string out;
    char buf[256];
    DWORD n = 0;
    while (ReadFile(readEnd, buf, sizeof buf, &n, NULL) && n > 0)
        out.append(buf, n);
    WaitForSingleObject(pi.hProcess, 30000);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    CloseHandle(readEnd);
    return out;
}

TEST(StoreLibrary, MissingLibraryNamesTheDatabaseFile)
{
    EXPECT_EQ(RunProbe("store-nodll"), "0|Failed to load Sqlite3 DLL quotarion.db");
}

TEST(StoreLibrary, MissingEntryPointIsReported)
{
    EXPECT_EQ(RunProbe("store-stubdll"), "0|Failed to resolve one of sqlite3 function names");
}

// ---- a file for the sqlite3 command-line tool (checked by store_cli_check.sh) ---

TEST(StoreFile, WritesAFileForTheCommandLineTool)
{
    const char *target = getenv("QUOTARION_STORE_CLI_DB");
    if (!target)
        GTEST_SKIP() << "run by store_cli_check.sh";
    DeleteFileA(target);
    char error[STORE_ERROR_SIZE];
    ASSERT_EQ(StoreOpen(target, error), 1) << error;
    for (const char *t : {"GOOG", "O'NEIL", "^GSPC"}) {
        StockItem item;
        memset(&item, 0, sizeof item);
        strcpy(item.ticker, t);
        ASSERT_EQ(StoreInsert(&item, error), 1) << error;
    }
    StoreClose();
}

}  // namespace
