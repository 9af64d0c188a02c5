// Fuzzes the history answer: finding the body and the CSV scan. The series must
// hold at most 366 values, zero past its count, a maximum that is the largest
// value but never below 0, and values small enough that value * 100 fits.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "market/history_parse.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *answer = (const char *)data;
    size_t offset = 0;
    if (!HistoryFindBody(answer, size, &offset))
        offset = 0;  // parse the whole input as a body then
    if (offset > size)
        abort();

    static HistoryData series;
    memset(&series, 0xA5, sizeof series);
    HistoryParseBody(answer + offset, size - offset, &series);
    if (series.count < 0 || series.count > HISTORY_MAX_VALUES || series.maxValue < 0)
        abort();
    const int64_t limit = HISTORY_PRICE_WHOLE_MAX * 100 + 99;
    int64_t maximum = 0;
    for (int i = 0; i < HISTORY_MAX_VALUES; i++) {
        int64_t v = series.values[i];
        if (i >= series.count && v != 0)
            abort();
        if (v > limit || v < -limit)
            abort();
        if (v > maximum)
            maximum = v;
    }
    if (maximum != series.maxValue)
        abort();

    char label[64];
    FormatPriceLabel(series.maxValue, label, sizeof label);
    FormatPriceLabel(series.maxValue / 2, label, sizeof label);
    return 0;
}
