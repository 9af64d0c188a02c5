// Fuzzes the quote answer's gathering and scanning: the input is delivered in
// blocks (sizes taken from its first byte) into a small gathering buffer, and
// also scanned whole. Every record handed over must have a ticker and texts
// terminated inside their fields, and the count returned must match.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "market/quote_scan.h"

namespace {

struct Seen {
    int records;
};

bool Terminated(const char *field, size_t size)
{
    return memchr(field, '\0', size) != NULL;
}

void Check(const StockItem *r, void *context)
{
    ((Seen *)context)->records++;
    if (!Terminated(r->ticker, sizeof r->ticker) || !Terminated(r->exchange, sizeof r->exchange) ||
        !Terminated(r->price, sizeof r->price) || !Terminated(r->change, sizeof r->change) ||
        !Terminated(r->lastTx, sizeof r->lastTx) || !Terminated(r->ccol, sizeof r->ccol))
        abort();
    if (r->ticker[0] == '\0' || r->node != NULL || r->iKey != 0)
        abort();
}

void ScanAndCheck(const char *bytes, size_t length)
{
    Seen seen = {0};
    int result = QuoteScanAnswer(bytes, length, Check, &seen);
    if (result == -1 ? seen.records != 0 : result != seen.records)
        abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *bytes = (const char *)data;
    ScanAndCheck(bytes, size);

    // Gathering in blocks into a small buffer, so that drops happen too.
    static char buffer[4096];
    size_t count = 0;
    size_t block = size ? (size_t)data[0] % 97 + 1 : 1;
    for (size_t at = 0; at < size; at += block) {
        size_t length = size - at < block ? size - at : block;
        int state = QuoteGather(buffer, sizeof buffer, &count, bytes + at, length);
        if (count > sizeof buffer)
            abort();
        if (state == QUOTE_GATHER_COMPLETE) {
            if (count <= 4 || memcmp(buffer + count - 4, "}\n]\n", 4) != 0)
                abort();
            ScanAndCheck(buffer, count);
            count = 0;
        } else if (state == QUOTE_GATHER_DROPPED && count != 0) {
            abort();
        }
    }
    return 0;
}
