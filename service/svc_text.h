/* A bounded text builder and the number formats of the quote service's answers.
 *
 * Every answer is written through SvcText: appends never run past the buffer;
 * once something did not fit, the builder is marked overflowed and keeps the
 * bytes written so far, so a caller checks one flag at the end instead of every
 * append. Numbers are formatted here by hand (no printf) so that 64-bit values
 * look the same with every C runtime. Prices are whole cents (int64).
 * Pure: no Windows headers. */
#ifndef QUOTARION_SERVICE_SVC_TEXT_H
#define QUOTARION_SERVICE_SVC_TEXT_H

#include <stddef.h>
#include <stdint.h>

struct SvcText {
    char *bytes;     /* caller's buffer */
    size_t size;     /* its capacity; one byte is kept for the terminating zero */
    size_t length;   /* bytes written, not counting the terminating zero */
    int overflow;    /* 1 once an append did not fit whole */
};

/* Starts an empty text in the buffer (terminated when size > 0). */
void SvcTextInit(SvcText *text, char *bytes, size_t size);

/* Appends; on overflow nothing of this append is written and overflow is set. */
void SvcTextAdd(SvcText *text, const char *string);
void SvcTextAddBytes(SvcText *text, const char *bytes, size_t count);
void SvcTextAddInt(SvcText *text, int64_t value);
/* value with at least width digits, zero-padded ("%02d" style); width <= 20. */
void SvcTextAddIntPad(SvcText *text, int64_t value, int width);
/* Cents as a price with two decimals: 4775 -> "47.75", -5 -> "-0.05". */
void SvcTextAddCents(SvcText *text, int64_t cents);
/* The same with a comma between thousands of the whole part: "1,258.60". */
void SvcTextAddCentsGrouped(SvcText *text, int64_t cents);

/* Parses a decimal price ("143.65", "12", "0.5", "1,258.60" with grouping
 * commas only when allowGrouping) into cents, rounding a third decimal and
 * beyond half away from zero. Leading and trailing blanks are allowed; a sign
 * is not (prices are never negative). Returns 1, or 0 for anything else
 * (empty, "-", letters, more than 12 digits before the point). */
int SvcParseCents(const char *text, size_t length, int allowGrouping, int64_t *cents);

/* Parses a non-negative decimal integer (blanks around allowed, at most 18
 * digits). Returns 1, or 0 for anything else. */
int SvcParseCount(const char *text, size_t length, int64_t *value);

/* ASCII letter case folding and comparison, whatever the C locale says. */
char SvcUpper(char c);
int SvcEqualNoCase(const char *a, const char *b);

#endif
