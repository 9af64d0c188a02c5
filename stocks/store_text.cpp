/* Statement formatting and row reading for the stock store; see store_text.h. */
#include "stocks/store_text.h"

#include <stdlib.h>
#include <string.h>

int CopyIfFits(const char *source, char *destination, int capacity)
{
    size_t length = strlen(source);
    if (capacity <= 0 || length >= (size_t)capacity)
        return 0;
    memcpy(destination, source, length + 1);
    return 1;
}

void CopyTextCut(char *destination, size_t size, const char *text)
{
    if (size == 0)
        return;
    size_t length = text ? strlen(text) : 0;
    if (length >= size)
        length = size - 1;
    if (length)
        memcpy(destination, text, length);
    destination[length] = '\0';
}

int StoreFormatInsert(char *out, size_t size, const char *ticker)
{
    static const char head[] = "insert into stocks (iKey,ticker) values (NULL,'";
    static const char tail[] = "');";
    size_t n = 0;
    if (size == 0)
        return 0;
    out[0] = '\0';
    if (sizeof head - 1 >= size)
        return 0;
    memcpy(out, head, sizeof head - 1);
    n = sizeof head - 1;
    for (const char *p = ticker; *p; p++) {
        size_t need = (*p == '\'') ? 2 : 1;
        if (n + need >= size) {
            out[0] = '\0';
            return 0;
        }
        out[n++] = *p;
        if (*p == '\'')
            out[n++] = '\'';
    }
    if (n + sizeof tail > size) {
        out[0] = '\0';
        return 0;
    }
    memcpy(out + n, tail, sizeof tail);
    return 1;
}

int AsciiEqualIgnoreCase(const char *a, const char *b)
{
    for (;; a++, b++) {
        char x = *a, y = *b;
        if (x >= 'A' && x <= 'Z')
            x = (char)(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = (char)(y - 'A' + 'a');
        if (x != y)
            return 0;
        if (!x)
            return 1;
    }
}

void StoreFillItem(int count, char **values, char **names, StockItem *item)
{
    for (int i = 0; i < count; i++) {
        if (!names || !names[i])
            continue;
        const char *value = values ? values[i] : NULL;
        if (AsciiEqualIgnoreCase(names[i], "iKey")) {
            item->iKey = value ? strtoll(value, NULL, 10) : 0;
        } else if (AsciiEqualIgnoreCase(names[i], "ticker")) {
            if (!CopyIfFits(value ? value : "", item->ticker, TICKER_SIZE)) {
                item->ticker[0] = '\0';
                return;
            }
        }
    }
}
