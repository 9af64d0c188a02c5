/* The simulated market; see svc_market.h for the model. All randomness comes
 * from hashing (seed, stream, index), so any value is computed on its own. */
#include "service/svc_market.h"

#include "service/svc_text.h"
#include "service/svc_time.h"

#include <math.h>
#include <string.h>

#define SCALES 12  /* noise periods 1, 2, 4, ... 2048 days */

enum { STREAM_GAP = 1, STREAM_VOLUME = 2, STREAM_PARAM = 3, STREAM_SCALE = 100, STREAM_PATH = 1000 };

static uint64_t Mix(uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

static uint64_t Hash(uint64_t seed, int64_t stream, int64_t index)
{
    return Mix(seed ^ Mix((uint64_t)stream * 0xD6E8FEB86659FD93ull + (uint64_t)index));
}

/* Uniform in [0, 1). */
static double Uniform(uint64_t seed, int64_t stream, int64_t index)
{
    return (double)(Hash(seed, stream, index) >> 11) * (1.0 / 9007199254740992.0);
}

/* About normal, mean 0 and deviation 1: the sum of four 16-bit uniforms, which is
 * smooth enough for prices and needs one hash. */
static double Normal(uint64_t seed, int64_t stream, int64_t index)
{
    uint64_t h = Hash(seed, stream, index);
    double sum = (double)(h & 0xFFFF) + (double)((h >> 16) & 0xFFFF) + (double)((h >> 32) & 0xFFFF) +
                 (double)(h >> 48);
    return (sum - 131070.0) / 37837.23;
}

uint64_t SvcTickerSeed(const char *ticker)
{
    uint64_t h = 0xCBF29CE484222325ull;  /* FNV-1a */
    for (const char *p = ticker; *p; p++) {
        h ^= (unsigned char)SvcUpper(*p);
        h *= 0x100000001B3ull;
    }
    return Mix(h);
}

uint32_t SvcTickerId(const char *ticker)
{
    return (uint32_t)(100000 + Hash(SvcTickerSeed(ticker), STREAM_PARAM, 5) % 900000);
}

const char *SvcExchangeFor(const char *ticker)
{
    double u = Uniform(SvcTickerSeed(ticker), STREAM_PARAM, 4);
    if (u < 0.45)
        return "NASDAQ";
    if (u < 0.90)
        return "NYSE";
    if (u < 0.95)
        return "NYSEARCA";
    return "NYSEMKT";
}

/* A ticker's fixed character: price level, daily volatility, usual volume. */
struct Character {
    uint64_t seed;
    double logBase;
    double sigma;
    double logVolume;
};

static void GetCharacter(const char *ticker, Character *c)
{
    c->seed = SvcTickerSeed(ticker);
    c->logBase = log(8.0) + Uniform(c->seed, STREAM_PARAM, 1) * (log(1200.0) - log(8.0));
    c->sigma = 0.010 + 0.015 * Uniform(c->seed, STREAM_PARAM, 2);
    c->logVolume = log(2.0e5) + Uniform(c->seed, STREAM_PARAM, 3) * (log(5.0e7) - log(2.0e5));
}

static int64_t FloorDiv(int64_t a, int64_t b)
{
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        q--;
    return q;
}

/* Log of the day's close: noise at every scale, linearly interpolated between
 * its knots; amplitudes grow with the square root of the period, so the sum
 * moves like a random walk with a daily deviation of about sigma. */
static double LogClose(const Character *c, int32_t day)
{
    double sum = c->logBase;
    for (int k = 0; k < SCALES; k++) {
        int64_t period = (int64_t)1 << k;
        int64_t knot = FloorDiv(day, period);
        double f = (double)(day - knot * period) / (double)period;
        double a = Normal(c->seed, STREAM_SCALE + k, knot);
        double b = Normal(c->seed, STREAM_SCALE + k, knot + 1);
        sum += 0.5 * c->sigma * sqrt((double)period) * (a + (b - a) * f);
    }
    return sum;
}

static int64_t Cents(double logPrice)
{
    double cents = floor(exp(logPrice) * 100.0 + 0.5);
    return cents < 1.0 ? 1 : (int64_t)cents;
}

void SvcMarketDay(int64_t utc, int32_t *day, int32_t *steps)
{
    int64_t local = utc + SvcEasternOffset(utc);
    int32_t today = (int32_t)FloorDiv(local, SVC_SECONDS_PER_DAY);
    int64_t second = local - (int64_t)today * SVC_SECONDS_PER_DAY;
    if (SvcIsTradingDay(today) && second >= SVC_SESSION_OPEN) {
        int64_t done = (second - SVC_SESSION_OPEN) / SVC_SESSION_STEP;
        *day = today;
        *steps = (int32_t)(done > SVC_SESSION_STEPS ? SVC_SESSION_STEPS : done);
        return;
    }
    *day = SvcPrevTradingDay(today);
    *steps = SVC_SESSION_STEPS;
}

void SvcSimDay(const char *ticker, int32_t day, int32_t steps, SvcDay *out)
{
    Character c;
    double logOpen, logClose, stepSigma, walk, total, logAt, high, low;
    int64_t pathStream;
    if (steps < 0)
        steps = 0;
    if (steps > SVC_SESSION_STEPS)
        steps = SVC_SESSION_STEPS;
    GetCharacter(ticker, &c);
    logClose = LogClose(&c, day);
    logOpen = LogClose(&c, SvcPrevTradingDay(day)) + 0.3 * c.sigma * Normal(c.seed, STREAM_GAP, day);
    stepSigma = 0.6 * c.sigma / sqrt((double)SVC_SESSION_STEPS);
    pathStream = STREAM_PATH + (int64_t)day * 4;

    /* The bridge needs the walk's end, so the whole day is walked once first. */
    total = 0.0;
    for (int32_t j = 0; j < SVC_SESSION_STEPS; j++)
        total += Normal(c.seed, pathStream, j);

    walk = 0.0;
    high = low = logAt = logOpen;
    for (int32_t s = 1; s <= steps; s++) {
        double t = (double)s / SVC_SESSION_STEPS;
        walk += Normal(c.seed, pathStream, s - 1);
        logAt = logOpen + (logClose - logOpen) * t + stepSigma * (walk - t * total);
        if (s == SVC_SESSION_STEPS)
            logAt = logClose;  /* exactly the day's close, not a rounding away from it */
        if (logAt > high)
            high = logAt;
        if (logAt < low)
            low = logAt;
    }
    out->day = day;
    out->open = Cents(logOpen);
    out->high = Cents(high);
    out->low = Cents(low);
    out->close = Cents(logAt);
    out->volume = (int64_t)floor(exp(c.logVolume + 0.3 * Normal(c.seed, STREAM_VOLUME, day)) * steps /
                                 SVC_SESSION_STEPS);
}

void SvcQuoteBegin(const char *ticker, SvcQuote *quote)
{
    size_t n = strlen(ticker);
    if (n >= SVC_TICKER_SIZE)
        n = SVC_TICKER_SIZE - 1;
    memset(quote, 0, sizeof *quote);
    memcpy(quote->ticker, ticker, n);
    strcpy(quote->exchange, SvcExchangeFor(ticker));
    quote->id = SvcTickerId(ticker);
}

void SvcSimQuote(const char *ticker, int64_t utc, SvcQuote *quote)
{
    int32_t day, steps;
    SvcDay today;
    Character c;
    SvcQuoteBegin(ticker, quote);
    SvcMarketDay(utc, &day, &steps);
    SvcSimDay(ticker, day, steps, &today);
    GetCharacter(ticker, &c);
    quote->last = today.close;
    /* A whole day's path ends exactly on its close, so this is the history's close too. */
    quote->prevClose = Cents(LogClose(&c, SvcPrevTradingDay(day)));
    quote->tradeDay = day;
    quote->tradeSecond = SVC_SESSION_OPEN + steps * SVC_SESSION_STEP;
}

void SvcSimHistory(const char *ticker, int64_t utc, SvcHistory *history)
{
    int32_t day, steps;
    SvcMarketDay(utc, &day, &steps);
    history->count = 0;
    for (int32_t d = day; d > day - 365 && history->count < SVC_HISTORY_DAYS; d--) {
        if (!SvcIsTradingDay(d))
            continue;
        SvcSimDay(ticker, d, d == day ? steps : SVC_SESSION_STEPS, &history->days[history->count++]);
    }
}
