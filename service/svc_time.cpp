/* Calendar and market-clock arithmetic; see svc_time.h. The civil-date
 * conversions are the well-known era-based ones (400-year cycles), exact for
 * every date and free of floating point. */
#include "service/svc_time.h"

#include "service/svc_text.h"

#include <string.h>

static const char *const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

/* Division that rounds towards minus infinity, for days before 1970. */
static int64_t FloorDiv(int64_t a, int64_t b)
{
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        q--;
    return q;
}

int32_t SvcDaysFromCivil(int32_t year, int32_t month, int32_t day)
{
    int64_t y = (int64_t)year - (month <= 2 ? 1 : 0);
    int64_t era = FloorDiv(y, 400);
    int64_t yoe = y - era * 400;
    int64_t mp = (month + 9) % 12;  /* March = 0 */
    int64_t doy = (153 * mp + 2) / 5 + day - 1;
    int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return (int32_t)(era * 146097 + doe - 719468);
}

void SvcCivilFromDays(int32_t days, int32_t *year, int32_t *month, int32_t *day)
{
    int64_t z = (int64_t)days + 719468;
    int64_t era = FloorDiv(z, 146097);
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    int64_t d = doy - (153 * mp + 2) / 5 + 1;
    int64_t m = mp < 10 ? mp + 3 : mp - 9;
    *year = (int32_t)(yoe + era * 400 + (m <= 2 ? 1 : 0));
    *month = (int32_t)m;
    *day = (int32_t)d;
}

int SvcWeekday(int32_t days)
{
    /* 1970-01-01 was a Thursday (4). */
    return (int)(((int64_t)days % 7 + 11) % 7);
}

int SvcIsTradingDay(int32_t days)
{
    int w = SvcWeekday(days);
    return w >= 1 && w <= 5;
}

int32_t SvcPrevTradingDay(int32_t days)
{
    do {
        days--;
    } while (!SvcIsTradingDay(days));
    return days;
}

/* Day number of the n-th Sunday (n >= 1) of a month. */
static int32_t NthSunday(int32_t year, int32_t month, int n)
{
    int32_t first = SvcDaysFromCivil(year, month, 1);
    int toSunday = (7 - SvcWeekday(first)) % 7;
    return first + toSunday + 7 * (n - 1);
}

/* Daylight time runs from 2:00 standard time on the second Sunday of March to
 * 2:00 daylight time (6:00 UTC) on the first Sunday of November. */
int32_t SvcEasternOffset(int64_t utc)
{
    int32_t days = (int32_t)FloorDiv(utc, SVC_SECONDS_PER_DAY);
    int32_t year, month, day;
    SvcCivilFromDays(days, &year, &month, &day);
    int64_t start = (int64_t)NthSunday(year, 3, 2) * SVC_SECONDS_PER_DAY + 7 * 3600;
    int64_t end = (int64_t)NthSunday(year, 11, 1) * SVC_SECONDS_PER_DAY + 6 * 3600;
    return (utc >= start && utc < end) ? -4 * 3600 : -5 * 3600;
}

int32_t SvcEasternOffsetLocal(int32_t days, int32_t secondOfDay)
{
    /* Read as standard time; the hour that the change skips or repeats is never
     * a trading hour, so the choice there does not matter. */
    int64_t utc = (int64_t)days * SVC_SECONDS_PER_DAY + secondOfDay + 5 * 3600;
    return SvcEasternOffset(utc);
}

const char *SvcMonthName(int32_t month)
{
    return (month >= 1 && month <= 12) ? kMonths[month - 1] : "???";
}

int32_t SvcMonthFromName(const char *name)
{
    if (strlen(name) != 3)
        return 0;
    for (int i = 0; i < 12; i++) {
        if (SvcUpper(name[0]) == SvcUpper(kMonths[i][0]) && SvcUpper(name[1]) == SvcUpper(kMonths[i][1]) &&
            SvcUpper(name[2]) == SvcUpper(kMonths[i][2]))
            return i + 1;
    }
    return 0;
}

size_t SvcFormatCsvDate(int32_t days, char *out, size_t size)
{
    int32_t y, m, d;
    SvcText t;
    SvcCivilFromDays(days, &y, &m, &d);
    SvcTextInit(&t, out, size);
    SvcTextAddInt(&t, d);
    SvcTextAdd(&t, "-");
    SvcTextAdd(&t, SvcMonthName(m));
    SvcTextAdd(&t, "-");
    SvcTextAddIntPad(&t, ((y % 100) + 100) % 100, 2);
    return t.length;
}

static void AddClock(SvcText *t, int32_t days, int32_t secondOfDay)
{
    int32_t hour = secondOfDay / 3600;
    int32_t minute = secondOfDay / 60 % 60;
    int32_t hour12 = hour % 12 == 0 ? 12 : hour % 12;
    SvcTextAddInt(t, hour12);
    SvcTextAdd(t, ":");
    SvcTextAddIntPad(t, minute, 2);
    SvcTextAdd(t, hour < 12 ? "AM " : "PM ");
    SvcTextAdd(t, SvcEasternOffsetLocal(days, secondOfDay) == -4 * 3600 ? "EDT" : "EST");
}

size_t SvcFormatTradeTime(int32_t days, int32_t secondOfDay, char *out, size_t size)
{
    SvcText t;
    SvcTextInit(&t, out, size);
    AddClock(&t, days, secondOfDay);
    return t.length;
}

size_t SvcFormatTradeLong(int32_t days, int32_t secondOfDay, char *out, size_t size)
{
    int32_t y, m, d;
    SvcText t;
    SvcCivilFromDays(days, &y, &m, &d);
    SvcTextInit(&t, out, size);
    SvcTextAdd(&t, SvcMonthName(m));
    SvcTextAdd(&t, " ");
    SvcTextAddInt(&t, d);
    SvcTextAdd(&t, ", ");
    AddClock(&t, days, secondOfDay);
    return t.length;
}

size_t SvcFormatTradeStamp(int32_t days, int32_t secondOfDay, char *out, size_t size)
{
    int32_t y, m, d;
    SvcText t;
    SvcCivilFromDays(days, &y, &m, &d);
    SvcTextInit(&t, out, size);
    SvcTextAddIntPad(&t, y, 4);
    SvcTextAdd(&t, "-");
    SvcTextAddIntPad(&t, m, 2);
    SvcTextAdd(&t, "-");
    SvcTextAddIntPad(&t, d, 2);
    SvcTextAdd(&t, "T");
    SvcTextAddIntPad(&t, secondOfDay / 3600, 2);
    SvcTextAdd(&t, ":");
    SvcTextAddIntPad(&t, secondOfDay / 60 % 60, 2);
    SvcTextAdd(&t, ":");
    SvcTextAddIntPad(&t, secondOfDay % 60, 2);
    SvcTextAdd(&t, "Z");
    return t.length;
}

/* Reads 1..maxDigits digits at *pos; 0 when there are none or too many. */
static int ReadNumber(const char *text, size_t length, size_t *pos, int maxDigits, int32_t *value,
                      int *digits)
{
    int32_t v = 0;
    int n = 0;
    while (*pos < length && text[*pos] >= '0' && text[*pos] <= '9') {
        if (++n > maxDigits)
            return 0;
        v = v * 10 + (text[*pos] - '0');
        (*pos)++;
    }
    if (n == 0)
        return 0;
    *value = v;
    *digits = n;
    return 1;
}

static int DaysInMonth(int32_t year, int32_t month)
{
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0))
        return 29;
    return kDays[month - 1];
}

int SvcParseDate(const char *text, size_t length, int32_t *days)
{
    size_t pos = 0;
    int32_t first, year, month, day;
    int digits, yearDigits;
    if (!ReadNumber(text, length, &pos, 4, &first, &digits) || pos >= length || text[pos] != '-')
        return 0;
    pos++;
    if (digits == 4) {
        /* 2026-12-09 */
        year = first;
        if (!ReadNumber(text, length, &pos, 2, &month, &digits) || pos >= length || text[pos] != '-')
            return 0;
        pos++;
        if (!ReadNumber(text, length, &pos, 2, &day, &digits))
            return 0;
    } else if (digits <= 2) {
        /* 9-Dec-26 or 09-Dec-2026 */
        char name[4];
        day = first;
        if (length - pos < 4 || text[pos + 3] != '-')
            return 0;
        memcpy(name, text + pos, 3);
        name[3] = '\0';
        month = SvcMonthFromName(name);
        if (month == 0)
            return 0;
        pos += 4;
        if (!ReadNumber(text, length, &pos, 4, &year, &yearDigits))
            return 0;
        if (yearDigits == 2)
            year += year < 70 ? 2000 : 1900;
        else if (yearDigits != 4)
            return 0;
    } else {
        return 0;
    }
    if (pos != length || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
        return 0;
    *days = SvcDaysFromCivil(year, month, day);
    return 1;
}
