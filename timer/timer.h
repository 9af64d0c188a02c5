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

/* Starts the service and its thread; does nothing when it already runs (armed
 * timers stay armed). On a failed thread creation writes
 * "TimerInit: CreateThread failed\n" to standard output and stays stopped. Call
 * from one thread (start-up), never concurrently with TimerStop. */
void TimerInit(void);

/* Arms a one-shot timer; any thread, also inside a callback. Returns its handle
 * (the slot), or null when the service is stopped or all 256 slots are taken;
 * on null nothing is armed. */
TimerEntry *TimerAdd(uint32_t interval, intptr_t argument, TimerCallback callback);

/* Disarms a timer; its slot is freed by the next pass. Does nothing for a null
 * handle, a handle that is not a slot of the table, or a stopped service. Any
 * thread, also inside a callback. */
void TimerRemove(TimerEntry *timer);

/* Ends the thread after its current pass (a running callback and the rest of its
 * pass finish first); armed timers are dropped without being called and every
 * slot is free afterwards. Does nothing when stopped. Not from a timer callback
 * (it would wait for itself); no TimerAdd or TimerRemove may race it from another
 * thread (shutdown stops the socket layer first). */
void TimerStop(void);

/* Number of taken slots (armed, firing, or removed but not yet swept); 0 when
 * the service is stopped. Any thread. Lets tests check that nothing stays armed. */
int TimerCountInUse(void);

/* ---- Pass-level control, for tests that count passes exactly ---- */

/* Starts the service like TimerInit but without its thread: nothing counts until
 * the caller runs TimerTick itself. TimerStop then has no thread to wait for.
 * Does nothing when the service already runs. */
void TimerInitWithoutThread(void);

/* One pass: adds 30 ms to every armed timer, calls the due ones in slot order
 * with the lock released, then frees the slots of fired and removed timers. Run
 * by the timer thread every 30 ms; a test that started the service with
 * TimerInitWithoutThread calls it directly (never beside a running timer
 * thread). Does nothing when the service is stopped. Never allocates. */
void TimerTick(void);

/* How TimerInit starts its thread: runs body on a new thread and returns 1, or
 * returns 0 when no thread could be created. The default uses CreateThread; a
 * test may swap it to provoke the creation failure, and must put it back. */
typedef int (*TimerThreadLauncher)(void (*body)(void));
extern TimerThreadLauncher pfnTimerLaunchThread;

#endif
