// Fuzzes ParsePrice and FormatPriceLabel: whole and fraction stay in range and
// share the text's sign, and a label read back gives the same value.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "market/history_parse.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    char text[256];
    if (size >= sizeof text)
        size = sizeof text - 1;
    memcpy(text, data, size);
    text[size] = '\0';

    int64_t whole;
    int32_t fraction;
    ParsePrice(text, &whole, &fraction);
    if (whole > HISTORY_PRICE_WHOLE_MAX || whole < -HISTORY_PRICE_WHOLE_MAX || fraction > 99 || fraction < -99)
        abort();
    if ((whole > 0 && fraction < 0) || (whole < 0 && fraction > 0))
        abort();
    int64_t value = whole * 100 + fraction;

    char label[64];
    FormatPriceLabel(value, label, sizeof label);
    int64_t backWhole;
    int32_t backFraction;
    ParsePrice(label, &backWhole, &backFraction);
    if (backWhole * 100 + backFraction != value)
        abort();
    return 0;
}
