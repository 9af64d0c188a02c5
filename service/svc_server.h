/* The quote service's server: connections on the program's socket layer.
 *
 * ServerStart starts the socket layer with the server's own buffer provider and
 * listens on one port; the listener thread asks the server about every peer
 * (event 3: only loopback peers unless remote peers are allowed) and the I/O
 * thread delivers each connection's bytes, which are gathered until the request
 * is complete; the answer is then built, sent and the connection closed.
 *
 * Every connection lives in one slot of a fixed table guarded by one lock, so
 * the number of connections and the memory they take are bounded. A slot's
 * userData carries its index and a generation number, so an event for a
 * connection whose slot has since been reused is recognised and ignored.
 * Each connection's send buffer is made large enough for the largest answer, so
 * an answer normally leaves in one send on the I/O thread, the thread that also
 * closes sockets. The server's own thread (the pump, every 20 ms) sends what the
 * socket did not take at once, answers 400 to a connection that has not completed its request
 * within the idle limit, closes one whose peer stops taking the answer, and
 * writes the log lines, outside the lock, one line per answered request.
 *
 * Lock order: the socket layer's csStreamList (held around some final events)
 * before the server lock; while holding the server lock the server calls only
 * SockSend and SockClose, which take no lock of the layer on plain connections. */
#ifndef QUOTARION_SERVICE_SVC_SERVER_H
#define QUOTARION_SERVICE_SVC_SERVER_H

#include <stdint.h>
#include <stdio.h>

#define SERVER_SLOTS 512               /* connections served at once; more are refused */
#define SERVER_IDLE_LIMIT_MS 10000     /* a request must be complete this long after the accept */
#define SERVER_STALL_LIMIT_MS 20000    /* an answer whose peer takes nothing this long is dropped */
#define SERVER_SEND_BUFFER (256 * 1024) /* holds the largest answer, so it leaves in one send */

struct ServerOptions {
    uint16_t port;            /* listening port (the program always asks port 80) */
    const char *dataDir;      /* CSV folder, or null for the simulated market; kept by pointer */
    int allowRemote;          /* 0: only 127.x.x.x peers are served */
    int64_t fixedUtc;         /* a frozen market clock (seconds since 1970, UTC), or 0 for the system clock */
    uint32_t idleLimitMs;     /* 0: SERVER_IDLE_LIMIT_MS */
    FILE *log;                /* where the request lines go (stdout), or null for none */
    int32_t sendBuffer;       /* bytes asked for each connection's send buffer; 0: SERVER_SEND_BUFFER */
};

struct ServerStats {
    int32_t open;             /* slots in use */
    uint32_t answered;        /* answers handed over whole */
    uint32_t refused;         /* peers refused at the accept query (remote, or no free slot) */
    uint32_t dropped;         /* connections closed before their answer went out whole */
};

/* Starts the socket layer and listens. Returns 1, or 0 with *error (may be null)
 * set to the socket layer's result code; on failure nothing is left running.
 * Call from one thread, never twice without ServerStop. */
int ServerStart(const ServerOptions *options, int *error);

/* Stops: the pump ends, the socket layer stops (open connections are closed
 * without answers), every slot is freed and the log is flushed. Does nothing
 * when not started. Call from the thread that started it. */
void ServerStop(void);

/* A snapshot of the counters; any thread, but not while ServerStop runs. */
void ServerGetStats(ServerStats *stats);

/* The port being listened on (useful after starting with port 0, which lets the
 * system choose one), or 0 when not started. Thread that started the server. */
uint16_t ServerPort(void);

/* The server's SockCallback. Exported so that tests can deliver the events a real
 * socket cannot produce on demand (a late event of a reused slot, a remote peer);
 * only the socket layer calls it otherwise. */
intptr_t ServerSocketEvent(intptr_t userData, int event, intptr_t info1, intptr_t info2, intptr_t info3);

#endif
