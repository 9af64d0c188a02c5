/* Calendar and market-clock arithmetic for the quote service.
 *
 * The service never reads a clock itself: every caller passes the current time
 * as seconds since 1970-01-01 UTC, so tests can freeze it. Days are counted as
 * days since 1970-01-01 (a "day number"), which makes "the trading day before"
 * and "one year back" plain integer arithmetic. The market keeps New York time:
 * Eastern Standard Time, or Eastern Daylight Time from the second Sunday of
 * March to the first Sunday of November (the rule in force since 2007).
 * Trading days are Monday to Friday; exchange holidays are not modelled.
 * Pure: no Windows headers. */
#ifndef QUOTARION_SERVICE_SVC_TIME_H
#define QUOTARION_SERVICE_SVC_TIME_H

#include <stddef.h>
#include <stdint.h>

#define SVC_SECONDS_PER_DAY 86400
#define SVC_SESSION_OPEN (9 * 3600 + 30 * 60)  /* 9:30AM, seconds after local midnight */
#define SVC_SESSION_CLOSE (16 * 3600)          /* 4:00PM */

/* Day number of a civil date; any date of the proleptic Gregorian calendar. */
int32_t SvcDaysFromCivil(int32_t year, int32_t month, int32_t day);

/* Civil date of a day number; never fails. */
void SvcCivilFromDays(int32_t days, int32_t *year, int32_t *month, int32_t *day);

/* 0 Sunday ... 6 Saturday. */
int SvcWeekday(int32_t days);

/* 1 for Monday to Friday. */
int SvcIsTradingDay(int32_t days);

/* The nearest trading day strictly before the given day. */
int32_t SvcPrevTradingDay(int32_t days);

/* Seconds to add to a UTC time to get New York wall-clock time: -4 h during
 * daylight saving time, -5 h otherwise. */
int32_t SvcEasternOffset(int64_t utc);

/* The same offset for a wall-clock time of New York given as day number and
 * seconds after midnight (used for closing times of past days). */
int32_t SvcEasternOffsetLocal(int32_t days, int32_t secondOfDay);

/* "Jan" ... "Dec" for months 1..12; "???" otherwise. */
const char *SvcMonthName(int32_t month);

/* Month 1..12 for a three-letter English month name (any letter case), else 0. */
int32_t SvcMonthFromName(const char *name);

/* The date the way the history CSV writes it: "9-Dec-26" (day without leading
 * zero, two-digit year). Writes at most size bytes, always terminated when
 * size > 0; returns the length written. */
size_t SvcFormatCsvDate(int32_t days, char *out, size_t size);

/* Last-trade texts of a quote for a New York wall-clock time (day number and
 * seconds after midnight), with the zone label "EST" or "EDT":
 *   time only  "4:00PM EST"           (key "ltt")
 *   long       "Dec 10, 4:00PM EST"   (key "lt")
 *   stamp      "2026-12-10T16:00:00Z" (key "lt_dts": the wall-clock time with a Z,
 *                                      as the legacy service wrote it)
 * Each writes at most size bytes, terminated; returns the length. */
size_t SvcFormatTradeTime(int32_t days, int32_t secondOfDay, char *out, size_t size);
size_t SvcFormatTradeLong(int32_t days, int32_t secondOfDay, char *out, size_t size);
size_t SvcFormatTradeStamp(int32_t days, int32_t secondOfDay, char *out, size_t size);

/* Parses a date written "9-Dec-26", "09-Dec-2026" or "2026-12-09" (the whole
 * text, nothing after it). Two-digit years 00..69 are 2000..2069, 70..99 are
 * 1970..1999. Returns 1 and the day number, or 0 for anything else (including a
 * day that the month does not have). */
int SvcParseDate(const char *text, size_t length, int32_t *days);

#endif
