/* Bounded text builder and number formats of the quote service; see svc_text.h. */
#include "service/svc_text.h"

#include <string.h>

void SvcTextInit(SvcText *text, char *bytes, size_t size)
{
    text->bytes = bytes;
    text->size = size;
    text->length = 0;
    text->overflow = 0;
    if (size > 0)
        bytes[0] = '\0';
}

void SvcTextAddBytes(SvcText *text, const char *bytes, size_t count)
{
    if (text->overflow)
        return;
    if (text->size == 0 || count >= text->size - text->length) {
        text->overflow = 1;
        return;
    }
    memcpy(text->bytes + text->length, bytes, count);
    text->length += count;
    text->bytes[text->length] = '\0';
}

void SvcTextAdd(SvcText *text, const char *string)
{
    SvcTextAddBytes(text, string, strlen(string));
}

/* Digits of a magnitude, most significant first; returns their count. */
static int UnsignedDigits(uint64_t value, char *digits /* >= 20 */)
{
    char reversed[20];
    int n = 0;
    do {
        reversed[n++] = (char)('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (int i = 0; i < n; i++)
        digits[i] = reversed[n - 1 - i];
    return n;
}

static uint64_t Magnitude(int64_t value)
{
    /* Negating INT64_MIN as a signed value would overflow; do it unsigned. */
    return value < 0 ? (uint64_t)0 - (uint64_t)value : (uint64_t)value;
}

void SvcTextAddIntPad(SvcText *text, int64_t value, int width)
{
    char buf[48];
    char digits[20];
    size_t n = 0;
    int count = UnsignedDigits(Magnitude(value), digits);
    if (value < 0)
        buf[n++] = '-';
    if (width > 20)
        width = 20;
    for (int i = count; i < width; i++)
        buf[n++] = '0';
    memcpy(buf + n, digits, (size_t)count);
    n += (size_t)count;
    SvcTextAddBytes(text, buf, n);
}

void SvcTextAddInt(SvcText *text, int64_t value)
{
    SvcTextAddIntPad(text, value, 1);
}

static void AddCents(SvcText *text, int64_t cents, int grouped)
{
    char buf[48];
    char digits[20];
    size_t n = 0;
    uint64_t magnitude = Magnitude(cents);
    int count = UnsignedDigits(magnitude / 100, digits);
    if (cents < 0)
        buf[n++] = '-';
    for (int i = 0; i < count; i++) {
        if (grouped && i > 0 && (count - i) % 3 == 0)
            buf[n++] = ',';
        buf[n++] = digits[i];
    }
    buf[n++] = '.';
    buf[n++] = (char)('0' + (magnitude % 100) / 10);
    buf[n++] = (char)('0' + magnitude % 10);
    SvcTextAddBytes(text, buf, n);
}

void SvcTextAddCents(SvcText *text, int64_t cents)
{
    AddCents(text, cents, 0);
}

void SvcTextAddCentsGrouped(SvcText *text, int64_t cents)
{
    AddCents(text, cents, 1);
}

static void TrimBlanks(const char **text, size_t *length)
{
    while (*length > 0 && (**text == ' ' || **text == '\t')) {
        (*text)++;
        (*length)--;
    }
    while (*length > 0 && ((*text)[*length - 1] == ' ' || (*text)[*length - 1] == '\t' ||
                           (*text)[*length - 1] == '\r'))
        (*length)--;
}

int SvcParseCents(const char *text, size_t length, int allowGrouping, int64_t *cents)
{
    int64_t whole = 0;
    int wholeDigits = 0;
    int fracDigits = 0;
    int64_t frac = 0;  /* first two decimals */
    int roundUp = 0;
    size_t i = 0;
    TrimBlanks(&text, &length);
    if (length == 0)
        return 0;
    for (; i < length && text[i] != '.'; i++) {
        char c = text[i];
        if (c == ',' && allowGrouping && wholeDigits > 0)
            continue;
        if (c < '0' || c > '9')
            return 0;
        if (++wholeDigits > 12)
            return 0;
        whole = whole * 10 + (c - '0');
    }
    if (i < length) {
        for (i++; i < length; i++) {
            char c = text[i];
            if (c < '0' || c > '9')
                return 0;
            fracDigits++;
            if (fracDigits <= 2)
                frac = frac * 10 + (c - '0');
            else if (fracDigits == 3)
                roundUp = c >= '5';
        }
    }
    if (wholeDigits == 0 && fracDigits == 0)
        return 0;
    if (fracDigits == 1)
        frac *= 10;
    *cents = whole * 100 + frac + roundUp;
    return 1;
}

int SvcParseCount(const char *text, size_t length, int64_t *value)
{
    int64_t v = 0;
    TrimBlanks(&text, &length);
    if (length == 0 || length > 18)
        return 0;
    for (size_t i = 0; i < length; i++) {
        if (text[i] < '0' || text[i] > '9')
            return 0;
        v = v * 10 + (text[i] - '0');
    }
    *value = v;
    return 1;
}

char SvcUpper(char c)
{
    return (c >= 'a' && c <= 'z') ? (char)(c - 'a' + 'A') : c;
}

int SvcEqualNoCase(const char *a, const char *b)
{
    while (*a && *b) {
        if (SvcUpper(*a) != SvcUpper(*b))
            return 0;
        a++;
        b++;
    }
    return *a == *b;
}
