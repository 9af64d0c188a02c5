/* The timer service: one-shot callbacks run on one dedicated thread.
 *
 * Time is counted in passes, not read from a clock: the thread sleeps 30 ms and
 * then adds 30 ms to every armed timer; a timer fires on the first pass at which
 * its counted time reaches its interval. The whole state is one static record
 * with 256 slots, so nothing is allocated. Callbacks run one at a time, with the
 * timer lock released, so they may arm or remove timers. */
#ifndef QUOTARION_TIMER_TIMER_H
#define QUOTARION_TIMER_TIMER_H

#include <stdint.h>

#define TIMER_SLOTS 256
#define TIMER_PASS_MS 30

typedef void (*TimerCallback)(intptr_t argument);

/* One slot. Guarded by the timer lock. */
struct TimerEntry {
    volatile long inUse;
    volatile long armed;
    TimerCallback callback;
    intptr_t argument;
    uint32_t interval;  /* milliseconds */
    uint32_t elapsed;   /* milliseconds counted so far */
};

/* Starts the service and its thread; does nothing when it already runs. On a
 * failed thread creation writes "TimerInit: CreateThread failed\n" to standard
 * output and stays stopped. */
void TimerInit(void);

/* Arms a one-shot timer; any thread, also inside a callback. Returns its handle
 * (the slot), or null when the service is stopped or all 256 slots are taken. */
TimerEntry *TimerAdd(uint32_t interval, intptr_t argument, TimerCallback callback);

/* Disarms a timer; its slot is freed by the next pass. Does nothing for a null
 * handle or a stopped service. */
void TimerRemove(TimerEntry *timer);

/* Ends the thread after its current pass (a running callback finishes first);
 * armed timers are dropped. Not from a timer callback. */
void TimerStop(void);

#endif
