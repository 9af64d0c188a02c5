/* Hands work from any thread to the user-interface thread.
 *
 * Window state belongs to the user-interface thread. Other threads never send it
 * messages (a thread waiting for the UI thread while the UI thread waits for it
 * would deadlock, for example during shutdown); they post a call instead, which
 * the message loop runs later on the UI thread. */
#ifndef QUOTARION_CORE_UI_CALL_H
#define QUOTARION_CORE_UI_CALL_H

#include <stdint.h>

typedef void (*UiCallFn)(intptr_t argument);

/* Creates the hidden message-only window that receives the calls, owned by the
 * calling thread, which becomes "the UI thread". Main thread, at start-up. */
void UiCallInit(void);

/* Runs the calls still queued, then destroys the window. Main thread, at shutdown. */
void UiCallDone(void);

/* Queues fn(argument) for the UI thread. Any thread. Returns 1 when queued, 0
 * when not (no window, or the queue is full): fn will then never run with this
 * argument, and whatever the argument owns stays the caller's. */
int UiCallPost(UiCallFn fn, intptr_t argument);

#endif
