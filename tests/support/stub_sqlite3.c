/* A "sqlite3.dll" that exports four of the five entry points the store needs
 * (sqlite3_last_insert_rowid is missing), to prove the store refuses it. */
#define STUB_API __declspec(dllexport)

STUB_API int sqlite3_open(const char *name, void **db)
{
    (void)name;
    *db = 0;
    return 1;
}
STUB_API int sqlite3_close(void *db)
{
    (void)db;
    return 0;
}
STUB_API int sqlite3_exec(void *db, const char *sql, void *callback, void *arg, char **error)
{
    (void)db;
    (void)sql;
    (void)callback;
    (void)arg;
    (void)error;
    return 1;
}
STUB_API const char *sqlite3_errmsg(void *db)
{
    (void)db;
    return "stub";
}
