// Opens the store from the folder it runs in and prints "result|error text".
// Copies of it live in folders without sqlite3.dll, or with a stub that lacks an
// entry point, so the store's binding failures can be seen from outside.
#include <stdio.h>

#include "stocks/store.h"

int main()
{
    char error[STORE_ERROR_SIZE] = "";
    int result = StoreOpen("quotarion.db", error);
    printf("%d|%s", result, error);
    StoreClose();
    return 0;
}
