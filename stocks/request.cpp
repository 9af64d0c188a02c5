/* The quote request text; see request.h. */
#include "stocks/request.h"

#include <string.h>

#include "market/service.h"
#include "stocks/stock_item.h"

int TickerIsValid(const char *ticker)
{
    for (const char *p = ticker; *p; p++) {
        char c = *p;
        int ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
                 c == '-' || c == '^' || c == '=' || c == '_' || c == ':';
        if (!ok)
            return 0;
    }
    return 1;
}

static const size_t kPrefixLength = sizeof QUOTE_REQUEST_PREFIX - 1;
static const size_t kSuffixLength = sizeof QUOTE_REQUEST_SUFFIX - 1;

int QuoteRequestFormat(char *out, size_t size, List *stocks)
{
    if (size == 0)
        return 0;
    memset(out, 0, size);
    ListNode *node = ListFirst(stocks);
    if (!node || kPrefixLength + kSuffixLength >= size)
        return 0;
    memcpy(out, QUOTE_REQUEST_PREFIX, kPrefixLength);
    size_t n = kPrefixLength;
    int requested = 0;
    for (; node; node = ListNext(node)) {
        const StockItem *item = (const StockItem *)node->data;
        if (!TickerIsValid(item->ticker))
            continue;
        size_t length = strnlen(item->ticker, TICKER_SIZE - 1);
        /* ticker, comma, suffix and the terminating zero must all still fit */
        if (n + length + 1 + kSuffixLength + 1 > size)
            continue;
        memcpy(out + n, item->ticker, length);
        n += length;
        out[n++] = ',';
        requested++;
    }
    if (requested == 0) {
        memset(out, 0, size);  /* nothing to ask for: no request at all */
        return 0;
    }
    memcpy(out + n, QUOTE_REQUEST_SUFFIX, kSuffixLength);
    return requested;
}

int QuoteRequestHasRoom(List *stocks, const char *ticker, size_t size)
{
    size_t n = kPrefixLength + kSuffixLength + 1;
    for (ListNode *node = ListFirst(stocks); node; node = ListNext(node)) {
        const StockItem *item = (const StockItem *)node->data;
        if (TickerIsValid(item->ticker))
            n += strnlen(item->ticker, TICKER_SIZE - 1) + 1;
    }
    n += strlen(ticker) + 1;
    return n <= size;
}
