/* The timer service: a fixed table of 256 one-shot timers served by one thread.
 *
 * The thread sleeps 30 ms and runs one pass; a pass counts 30 ms on every armed
 * timer, fires the due ones in slot order and then sweeps: every slot that is no
 * longer armed (fired in this pass, or removed since the last one) is freed. A
 * callback runs with the timer lock released, and its slot stays taken and armed
 * until it returns, so a callback may arm timers (always in another slot) or
 * remove them. Nothing is allocated: the state is one static record. */
#include "timer/timer.h"

#include <windows.h>
#include <stdio.h>
#include <string.h>

namespace {

struct TimerState {
    volatile LONG running;            /* set by TimerInit*, cleared by TimerStop; read anywhere */
    TimerEntry table[TIMER_SLOTS];    /* guarded by lock */
    volatile LONG threadEnded;        /* written by the timer thread only, polled by TimerStop */
    volatile LONG stopRequested;      /* written by TimerStop only, read by the timer thread */
    CRITICAL_SECTION lock;            /* guards table; valid while running */
};

TimerState sTimer;

/* The body handed to the launcher, kept for the thread procedure (set before the
 * thread starts, never changed while it runs). */
void (*pfnThreadBody)(void);

DWORD WINAPI TimerThreadProc(LPVOID parameter)
{
    (void)parameter;
    pfnThreadBody();
    return 0;
}

int LaunchWithCreateThread(void (*body)(void))
{
    pfnThreadBody = body;
    DWORD ThreadId;
    HANDLE thread = CreateThread(NULL, 0, TimerThreadProc, NULL, 0, &ThreadId);
    if (!thread)
        return 0;
    CloseHandle(thread);  /* never joined: the thread reports its end by threadEnded */
    return 1;
}

void TimerThread(void)
{
    InterlockedExchange(&sTimer.threadEnded, 0);
    while (!sTimer.stopRequested) {
        Sleep(TIMER_PASS_MS);
        TimerTick();
    }
    InterlockedExchange(&sTimer.threadEnded, 1);
}

/* Clears the whole state and makes the lock ready; the service is not yet running. */
void ResetState(void)
{
    memset(&sTimer, 0, sizeof sTimer);
    InitializeCriticalSection(&sTimer.lock);
    sTimer.stopRequested = 0;
}

bool IsSlot(const TimerEntry *timer)
{
    uintptr_t first = (uintptr_t)&sTimer.table[0];
    uintptr_t address = (uintptr_t)timer;
    if (address < first || address >= first + sizeof sTimer.table)
        return false;
    return (address - first) % sizeof(TimerEntry) == 0;
}

}  // namespace

TimerThreadLauncher pfnTimerLaunchThread = LaunchWithCreateThread;

void TimerInit(void)
{
    if (sTimer.running)
        return;
    ResetState();
    /* Running before the thread exists, so that its first pass already counts. */
    InterlockedExchange(&sTimer.running, 1);
    if (!pfnTimerLaunchThread(TimerThread)) {
        InterlockedExchange(&sTimer.running, 0);
        fputs("TimerInit: CreateThread failed\n", stdout);
        fflush(stdout);
        DeleteCriticalSection(&sTimer.lock);
    }
}

void TimerInitWithoutThread(void)
{
    if (sTimer.running)
        return;
    ResetState();
    sTimer.threadEnded = 1;  /* no thread: TimerStop has nothing to wait for */
    InterlockedExchange(&sTimer.running, 1);
}

void TimerTick(void)
{
    if (!sTimer.running)
        return;
    EnterCriticalSection(&sTimer.lock);
    for (int i = 0; i < TIMER_SLOTS; i++) {
        TimerEntry *e = &sTimer.table[i];
        if (!e->inUse || !e->armed)
            continue;
        /* Saturates instead of wrapping, so that an interval near 2^32 ms still
         * falls due instead of counting round for ever. */
        if (e->elapsed > UINT32_MAX - TIMER_PASS_MS)
            e->elapsed = UINT32_MAX;
        else
            e->elapsed += TIMER_PASS_MS;
        if (e->elapsed >= e->interval) {
            TimerCallback callback = e->callback;
            intptr_t argument = e->argument;
            LeaveCriticalSection(&sTimer.lock);
            callback(argument);
            EnterCriticalSection(&sTimer.lock);
            e->armed = 0;
        }
    }
    for (int i = 0; i < TIMER_SLOTS; i++) {
        if (!sTimer.table[i].armed)
            sTimer.table[i].inUse = 0;
    }
    LeaveCriticalSection(&sTimer.lock);
}

TimerEntry *TimerAdd(uint32_t interval, intptr_t argument, TimerCallback callback)
{
    if (!sTimer.running || !callback)
        return NULL;
    EnterCriticalSection(&sTimer.lock);
    TimerEntry *slot = NULL;
    for (int i = 0; i < TIMER_SLOTS; i++) {
        if (!sTimer.table[i].inUse) {
            slot = &sTimer.table[i];
            break;
        }
    }
    if (slot) {
        slot->armed = 0;
        slot->inUse = 1;
        slot->elapsed = 0;
        slot->callback = callback;
        slot->interval = interval;
        slot->argument = argument;
        slot->armed = 1;
    }
    LeaveCriticalSection(&sTimer.lock);
    return slot;
}

void TimerRemove(TimerEntry *timer)
{
    if (!sTimer.running || !timer || !IsSlot(timer))
        return;
    EnterCriticalSection(&sTimer.lock);
    timer->armed = 0;
    LeaveCriticalSection(&sTimer.lock);
}

void TimerStop(void)
{
    if (!sTimer.running)
        return;
    InterlockedExchange(&sTimer.stopRequested, 1);
    while (!sTimer.threadEnded)
        Sleep(1);
    /* The thread is gone: nobody else touches the table or the lock now. Timers
     * still armed are dropped without being called. */
    InterlockedExchange(&sTimer.running, 0);
    memset(sTimer.table, 0, sizeof sTimer.table);
    DeleteCriticalSection(&sTimer.lock);
}

int TimerCountInUse(void)
{
    if (!sTimer.running)
        return 0;
    int count = 0;
    EnterCriticalSection(&sTimer.lock);
    for (int i = 0; i < TIMER_SLOTS; i++) {
        if (sTimer.table[i].inUse)
            count++;
    }
    LeaveCriticalSection(&sTimer.lock);
    return count;
}
