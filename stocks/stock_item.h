/* The record of one monitored stock, shared by the stock list, the store and the
 * quote parser. All zero when new; every text is zero-terminated within its size.
 * Pure: no Windows headers. */
#ifndef QUOTARION_STOCKS_STOCK_ITEM_H
#define QUOTARION_STOCKS_STOCK_ITEM_H

#include <stdint.h>

struct ListNode;

#define TICKER_SIZE 16
#define QUOTE_TEXT_SIZE 32
#define CCOL_SIZE 8

struct StockItem {
    ListNode *node;                 /* the list node holding this record (list convention) */
    int64_t iKey;                   /* row key in table stocks; 0 until stored */
    char ticker[TICKER_SIZE];       /* as the user typed it, at most 15 characters */
    char exchange[QUOTE_TEXT_SIZE]; /* quote key "e" */
    char price[QUOTE_TEXT_SIZE];    /* quote key "l" */
    char change[QUOTE_TEXT_SIZE];   /* quote key "c" */
    char lastTx[QUOTE_TEXT_SIZE];   /* quote key "lt" */
    char ccol[CCOL_SIZE];           /* quote key "ccol": "chr" (fall) or "chg" (rise) */
};

#endif
