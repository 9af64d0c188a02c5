/* The quote service's server on the socket layer; see svc_server.h.
 *
 * A slot goes FREE -> ACCEPTED (event 3) -> READING (event 4, handle known) ->
 * BUILDING (request complete; the answer is built without the lock) -> SENDING
 * -> CLOSING (SockClose asked) -> FREE at the connection's final event 1. Event 1
 * may come in any state (the peer left); it always frees the slot and bumps its
 * generation, after which later events carrying the old userData are ignored. */
#include "service/svc_server.h"

#include <windows.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "net/sock.h"
#include "service/svc_answer.h"
#include "service/svc_request.h"

#define PUMP_INTERVAL_MS 20
#define SEND_PIECE 65536         /* bytes offered to one SockSend */
#define LOG_LINES 256            /* log lines waiting for the pump */
#define LOG_LINE_SIZE 384
#define LOG_TARGET_MAX 200       /* characters of the request path written to the log */

enum { SLOT_FREE = 0, SLOT_ACCEPTED, SLOT_READING, SLOT_BUILDING, SLOT_SENDING, SLOT_CLOSING };

struct ServerSlot {
    uint32_t generation;      /* bumped at every free; the low 15 bits travel in userData */
    int state;
    SockHandle handle;        /* set by event 4; null before */
    DWORD startTick;          /* accept time */
    DWORD progressTick;       /* last time the peer took answer bytes */
    char peer[16];
    uint16_t peerPort;
    int requestDone;          /* the gathered request is complete (answer pending or sent) */
    SvcGather gather;
    SvcAnswer answer;
    size_t sent;
};

/* All guarded by csServer, except where said. */
static CRITICAL_SECTION csServer;
static ServerSlot aSlots[SERVER_SLOTS];
static ServerStats sStats;
static char acLogLines[LOG_LINES][LOG_LINE_SIZE];
static int32_t nLogFirst, nLogCount;
static uint32_t nLogLost;

/* Set once by ServerStart before any thread runs, read by all. */
static ServerOptions sOptions;
static SvcSource sSource;
static SockHandle hListener;
static int bServerStarted;

/* Pump thread flags (plain, polled). */
static volatile long bPumpStop, bPumpEnded;

/* The buffer provider: events are delivered one at a time on the I/O thread (the
 * only reader of plain connections), so one buffer serves every connection. */
static char acReceive[SOCK_DEFAULT_RECV_SIZE];

static void *ServerGetBuffer(intptr_t userData, int count)
{
    (void)userData;
    return count <= (int)sizeof acReceive ? acReceive : NULL;
}

static intptr_t SlotUserData(int index)
{
    return (intptr_t)(((aSlots[index].generation & 0x7FFF) << 16) | (uint32_t)(index + 1));
}

/* The slot an event's userData names, or null when that slot has moved on. Under csServer. */
static ServerSlot *SlotOf(intptr_t userData)
{
    int index = (int)(userData & 0xFFFF) - 1;
    if (index < 0 || index >= SERVER_SLOTS)
        return NULL;
    ServerSlot *slot = &aSlots[index];
    if (slot->state == SLOT_FREE || (uint32_t)((userData >> 16) & 0x7FFF) != (slot->generation & 0x7FFF))
        return NULL;
    return slot;
}

static int64_t MarketNow(void)
{
    return sOptions.fixedUtc ? sOptions.fixedUtc : (int64_t)time(NULL);
}

/* The request path as the log shows it: the target of the request line, cut and
 * with anything unprintable replaced, or "-" when the peer sent no line. */
static void LogTarget(const ServerSlot *slot, char *out, size_t size)
{
    const char *line = slot->gather.line;
    size_t length = slot->gather.lineLength;  /* an unfinished (too long) line shows its start */
    if (length > SVC_MAX_REQUEST_LINE)
        length = SVC_MAX_REQUEST_LINE;
    size_t start = 0, end = length, n = 0;
    while (start < length && line[start] != ' ')
        start++;
    if (start < length) {
        start++;
        size_t last = length;
        while (last > start && line[last - 1] != ' ')
            last--;
        if (last > start)
            end = last - 1;
    } else {
        start = 0;
    }
    for (size_t i = start; i < end && n + 4 < size && n < LOG_TARGET_MAX; i++) {
        unsigned char c = (unsigned char)line[i];
        out[n++] = (c < 0x20 || c >= 0x7f || c == '"') ? '?' : (char)c;
    }
    if (n == 0)
        out[n++] = '-';
    out[n] = '\0';
}

/* Queues the slot's log line. Under csServer. */
static void LogAnswer(const ServerSlot *slot)
{
    char target[LOG_TARGET_MAX + 8];
    SYSTEMTIME st;
    if (!sOptions.log)
        return;
    if (nLogCount == LOG_LINES) {
        nLogLost++;
        return;
    }
    GetSystemTime(&st);
    LogTarget(slot, target, sizeof target);
    char *line = acLogLines[(nLogFirst + nLogCount) % LOG_LINES];
    _snprintf(line, LOG_LINE_SIZE, "%04u-%02u-%02uT%02u:%02u:%02uZ %s:%u \"%s\" %d %lu\n", st.wYear, st.wMonth,
              st.wDay, st.wHour, st.wMinute, st.wSecond, slot->peer, (unsigned)slot->peerPort, target,
              slot->answer.status, (unsigned long)slot->sent);
    line[LOG_LINE_SIZE - 1] = '\0';
    nLogCount++;
}

/* Asks for the connection's close once its answer is out (or cannot go out). Under csServer. */
static void CloseSlot(ServerSlot *slot, int whole)
{
    LogAnswer(slot);
    if (whole)
        sStats.answered++;
    else
        sStats.dropped++;
    SvcAnswerFree(&slot->answer);
    slot->state = SLOT_CLOSING;
    if (slot->handle)
        SockClose(slot->handle);
}

/* Offers the rest of the answer to the socket. Under csServer; any thread. */
static void TrySend(ServerSlot *slot)
{
    if (slot->state != SLOT_SENDING || !slot->handle)
        return;
    while (slot->sent < slot->answer.length) {
        size_t rest = slot->answer.length - slot->sent;
        int32_t piece = (int32_t)(rest > SEND_PIECE ? SEND_PIECE : rest);
        int32_t accepted = 0;
        int result = SockSend(slot->handle, slot->answer.bytes + slot->sent, piece, &accepted);
        if (result == SOCK_WOULD_BLOCK || (result == SOCK_OK && accepted <= 0))
            return;  /* the pump tries again */
        if (result != SOCK_OK) {
            CloseSlot(slot, 0);
            return;
        }
        slot->sent += (size_t)accepted;
        slot->progressTick = GetTickCount();
    }
    CloseSlot(slot, 1);
}

/* Frees a slot at its connection's final event. Under csServer. */
static void FreeSlot(ServerSlot *slot)
{
    if (slot->state == SLOT_SENDING)
        CloseSlot(slot, 0);  /* the peer left before taking the whole answer */
    SvcAnswerFree(&slot->answer);
    slot->generation++;
    slot->state = SLOT_FREE;
    slot->handle = NULL;
}

/* Puts an answer in place and starts sending it. Under csServer. */
static void StartAnswer(ServerSlot *slot, SvcAnswer *answer)
{
    slot->answer = *answer;
    slot->sent = 0;
    slot->state = SLOT_SENDING;
    slot->progressTick = GetTickCount();
    TrySend(slot);
}

static int IsLoopback(const char *dotted)
{
    return strncmp(dotted, "127.", 4) == 0;
}

static intptr_t OnAcceptQuery(intptr_t port, const char *peer)
{
    intptr_t userData = 0;
    EnterCriticalSection(&csServer);
    if (!sOptions.allowRemote && !IsLoopback(peer)) {
        sStats.refused++;
    } else {
        for (int i = 0; i < SERVER_SLOTS; i++) {
            ServerSlot *slot = &aSlots[i];
            if (slot->state != SLOT_FREE)
                continue;
            slot->state = SLOT_ACCEPTED;
            slot->handle = NULL;
            slot->startTick = GetTickCount();
            slot->progressTick = slot->startTick;
            strncpy(slot->peer, peer, sizeof slot->peer - 1);
            slot->peer[sizeof slot->peer - 1] = '\0';
            slot->peerPort = (uint16_t)port;
            slot->requestDone = 0;
            slot->sent = 0;
            memset(&slot->gather, 0, sizeof slot->gather);
            memset(&slot->answer, 0, sizeof slot->answer);
            sStats.open++;
            userData = SlotUserData(i);
            break;
        }
        if (!userData)
            sStats.refused++;
    }
    LeaveCriticalSection(&csServer);
    return userData;
}

/* The request is complete (or hopeless): answer it. Called on the I/O thread with
 * csServer held; releases it while the answer is built, which can take a while
 * (a year of history, or data files). */
static void AnswerRequest(ServerSlot *slot, int gatherState)
{
    SvcAnswer answer;
    SvcRequest *request;
    int ok;
    slot->requestDone = 1;
    slot->state = SLOT_BUILDING;  /* the pump leaves it alone; only this thread can end it */
    LeaveCriticalSection(&csServer);
    request = (SvcRequest *)malloc(sizeof *request);
    if (!request) {
        ok = SvcBuildError(400, &answer);
    } else {
        if (gatherState == SVC_GATHER_BAD) {
            memset(request, 0, sizeof *request);
            request->status = 400;  /* line or header too long */
        } else {
            SvcParseRequestLine(slot->gather.line, slot->gather.lineLength, request);
        }
        ok = SvcBuildAnswer(&sSource, request, MarketNow(), &answer);
        free(request);
    }
    EnterCriticalSection(&csServer);
    if (!ok) {
        CloseSlot(slot, 0);  /* no memory for an answer: drop the connection */
        return;
    }
    StartAnswer(slot, &answer);
}

static void OnData(intptr_t userData, intptr_t count)
{
    EnterCriticalSection(&csServer);
    ServerSlot *slot = SlotOf(userData);
    if (slot && !slot->requestDone && (slot->state == SLOT_ACCEPTED || slot->state == SLOT_READING)) {
        int state = SvcGatherFeed(&slot->gather, acReceive, (size_t)count, NULL);
        if (state != SVC_GATHER_MORE)
            AnswerRequest(slot, state);
    }
    /* Bytes after the request (or while the answer goes out) are read and dropped,
     * so the close finds nothing unread that would turn it into a reset. */
    LeaveCriticalSection(&csServer);
}

intptr_t ServerSocketEvent(intptr_t userData, int event, intptr_t info1, intptr_t info2, intptr_t info3)
{
    switch (event) {
    case SOCK_EV_ACCEPT_QUERY:
        return OnAcceptQuery(info2, (const char *)info3);
    case SOCK_EV_ACCEPTED: {
        EnterCriticalSection(&csServer);
        ServerSlot *slot = SlotOf(userData);
        if (slot) {
            /* Room for a whole answer: the first send on the I/O thread takes it
             * all, and the pump's retries (from its own thread) stay the exception. */
            SockHandle handle = (SockHandle)info1;
            int size = sOptions.sendBuffer ? sOptions.sendBuffer : SERVER_SEND_BUFFER;
            if (handle && handle->sock)
                setsockopt(handle->sock, SOL_SOCKET, SO_SNDBUF, (const char *)&size, sizeof size);
        }
        if (slot && slot->state == SLOT_ACCEPTED) {
            slot->handle = (SockHandle)info1;
            slot->state = SLOT_READING;
        } else if (slot) {
            /* Bytes came before the handle (possible when the layer links the entry
             * first): the answer may be waiting for it. */
            slot->handle = (SockHandle)info1;
            TrySend(slot);
        }
        LeaveCriticalSection(&csServer);
        return 1;
    }
    case SOCK_EV_DATA:
        OnData(userData, info1);
        return 0;
    case SOCK_EV_CLOSED:
    case SOCK_EV_CONNECT_FAILED: {
        EnterCriticalSection(&csServer);
        ServerSlot *slot = SlotOf(userData);
        if (slot) {
            FreeSlot(slot);
            sStats.open--;
        }
        LeaveCriticalSection(&csServer);
        return 0;
    }
    }
    return 0;
}

/* Writes the queued log lines; pump thread (or ServerStop once it ended). */
static void FlushLog(void)
{
    char lines[32][LOG_LINE_SIZE];
    for (;;) {
        int n = 0;
        uint32_t lost;
        EnterCriticalSection(&csServer);
        while (n < 32 && nLogCount > 0) {
            memcpy(lines[n++], acLogLines[nLogFirst], LOG_LINE_SIZE);
            nLogFirst = (nLogFirst + 1) % LOG_LINES;
            nLogCount--;
        }
        lost = nLogLost;
        nLogLost = 0;
        LeaveCriticalSection(&csServer);
        if (n == 0 && lost == 0)
            return;
        for (int i = 0; i < n; i++)
            fputs(lines[i], sOptions.log);
        if (lost)
            fprintf(sOptions.log, "(%lu log lines lost: the log could not keep up)\n", (unsigned long)lost);
        fflush(sOptions.log);
    }
}

/* The pump: retries sends, enforces the idle and stall limits, writes the log. */
static DWORD WINAPI ServerPumpThread(LPVOID unused)
{
    (void)unused;
    uint32_t idleLimit = sOptions.idleLimitMs ? sOptions.idleLimitMs : SERVER_IDLE_LIMIT_MS;
    while (!bPumpStop) {
        Sleep(PUMP_INTERVAL_MS);
        DWORD now = GetTickCount();
        EnterCriticalSection(&csServer);
        for (int i = 0; i < SERVER_SLOTS; i++) {
            ServerSlot *slot = &aSlots[i];
            if (slot->state == SLOT_READING && now - slot->startTick >= idleLimit) {
                SvcAnswer answer;
                slot->requestDone = 1;
                if (SvcBuildError(400, &answer))
                    StartAnswer(slot, &answer);
                else
                    CloseSlot(slot, 0);
            } else if (slot->state == SLOT_SENDING) {
                TrySend(slot);
                if (slot->state == SLOT_SENDING && now - slot->progressTick >= SERVER_STALL_LIMIT_MS)
                    CloseSlot(slot, 0);
            }
        }
        LeaveCriticalSection(&csServer);
        if (sOptions.log)
            FlushLog();
    }
    InterlockedExchange(&bPumpEnded, 1);
    return 0;
}

int ServerStart(const ServerOptions *options, int *error)
{
    SockInitParams sinit;
    int result;
    if (error)
        *error = SOCK_OK;
    if (bServerStarted) {
        if (error)
            *error = SOCK_ALREADY_STARTED;
        return 0;
    }
    sOptions = *options;
    sSource.dataDir = options->dataDir;
    InitializeCriticalSection(&csServer);
    memset(aSlots, 0, sizeof aSlots);
    memset(&sStats, 0, sizeof sStats);
    nLogFirst = nLogCount = 0;
    nLogLost = 0;

    memset(&sinit, 0, sizeof sinit);
    sinit.getBuffer = ServerGetBuffer;
    result = SockStartup(&sinit);
    if (result != SOCK_OK) {
        DeleteCriticalSection(&csServer);
        if (error)
            *error = result;
        return 0;
    }
    result = SockListen(options->port, 1, ServerSocketEvent, &hListener);
    if (result != SOCK_OK) {
        SockCleanup();
        DeleteCriticalSection(&csServer);
        if (error)
            *error = result;
        return 0;
    }
    /* The layer listens with a backlog of 3, too short for a server: a burst of
     * clients overflows it and on some systems (Linux under Wine among them) the
     * peers left out are reset after minutes. Asking again with the system's
     * largest backlog widens it where the system allows that (Windows itself keeps
     * the first value). The listener thread only selects and accepts on the socket,
     * which a second listen call does not disturb. */
    listen(hListener->sock, SOMAXCONN);
    bPumpStop = 0;
    bPumpEnded = 0;
    HANDLE thread = CreateThread(NULL, 0, ServerPumpThread, NULL, 0, NULL);
    if (!thread) {
        SockCleanup();
        DeleteCriticalSection(&csServer);
        if (error)
            *error = SOCK_ERR_SYSTEM;
        return 0;
    }
    CloseHandle(thread);
    bServerStarted = 1;
    return 1;
}

void ServerStop(void)
{
    if (!bServerStarted)
        return;
    /* The pump first: it calls into the layer on handles that SockCleanup frees. */
    bPumpStop = 1;
    while (!bPumpEnded)
        Sleep(5);
    SockCleanup();
    /* No thread of the layer runs now: the slots are this thread's alone. */
    for (int i = 0; i < SERVER_SLOTS; i++) {
        if (aSlots[i].state != SLOT_FREE) {
            SvcAnswerFree(&aSlots[i].answer);
            aSlots[i].state = SLOT_FREE;
            aSlots[i].generation++;
            sStats.open--;
        }
    }
    if (sOptions.log)
        FlushLog();
    hListener = NULL;
    bServerStarted = 0;
    DeleteCriticalSection(&csServer);
}

void ServerGetStats(ServerStats *stats)
{
    if (!bServerStarted) {
        *stats = sStats;
        return;
    }
    EnterCriticalSection(&csServer);
    *stats = sStats;
    LeaveCriticalSection(&csServer);
}

uint16_t ServerPort(void)
{
    uint32_t address = 0;
    uint16_t port = 0;
    if (!bServerStarted || SockGetLocalAddr(hListener, &address, &port) != SOCK_OK)
        return 0;
    return port;
}
