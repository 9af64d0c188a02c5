/* SSL mode of the socket layer: a stream entry whose bytes pass through an SSL engine.
 * Encrypted bytes read by the I/O thread are queued in recvQueue, plaintext from the
 * owner in sendQueue, and the pump moves them through the engine: plaintext out to
 * the owner's callback, encrypted bytes out to the socket.
 *
 * The engine sits behind a table of hooks (pSslEngine). This program runs with the
 * inert engine, which creates no context, so SSL connections end at once; a working
 * engine (or a test's) can be put behind the same table. The pump may be asked for on
 * the I/O thread and on an owner's thread at the same time: the thread that raises an
 * entry's request count from 0 runs the pump until no request is left, the others
 * only count theirs, so runs of one entry never overlap and none is lost. */
#include "net/sock_internal.h"

#include <string.h>

/* ---- The inert engine ---- */
static void SslEngineInit(void)
{
}

static void SslEngineCleanup(void)
{
}

static void *SslEngineCreate(void **ssl, void **sslIn, void **sslOut, int32_t value0, int32_t value2,
                             int32_t value3, int32_t value4, int32_t value5, int32_t value6, int32_t client)
{
    (void)ssl, (void)sslIn, (void)sslOut, (void)value0, (void)value2, (void)value3;
    (void)value4, (void)value5, (void)value6, (void)client;
    return NULL;
}

static void SslEngineFree(void *ctx, void *ssl, void *sslIn, void *sslOut)
{
    (void)ctx, (void)ssl, (void)sslIn, (void)sslOut;
}

static int SslEngineHandshake(void *ssl)
{
    (void)ssl;
    return 0;
}

static int SslEngineFeed(void *sslIn, const char *bytes, int length)
{
    (void)sslIn, (void)bytes, (void)length;
    return 0;
}

static int SslEngineRead(void *ssl, char *buffer, int capacity)
{
    (void)ssl, (void)buffer, (void)capacity;
    return 0;
}

static int SslEngineWrite(void *ssl, const char *bytes, int length)
{
    (void)ssl, (void)bytes, (void)length;
    return 0;
}

static int SslEngineWantsRead(void *ssl)
{
    (void)ssl;
    return 0;
}

static int SslEnginePending(void *sslOut)
{
    (void)sslOut;
    return 0;
}

static int SslEngineTake(void *sslOut, char *buffer, int capacity)
{
    (void)sslOut, (void)buffer, (void)capacity;
    return 0;
}

static int32_t SslEnginePeer(void *ssl)
{
    (void)ssl;
    return 0;
}

static int32_t SslEnginePeerDetail(void *ssl, int32_t argument)
{
    (void)ssl, (void)argument;
    return 0;
}

static int SslEngineTextA(void *ssl, int32_t value, char *text)
{
    (void)ssl, (void)value, (void)text;
    return 1;
}

static int SslEngineTextB(void *ssl, int32_t value, char *text)
{
    (void)ssl, (void)value, (void)text;
    return 1;
}

const SslEngineHooks sslInertEngine = {
    SslEngineInit,  SslEngineCleanup, SslEngineCreate,     SslEngineFree,  SslEngineHandshake,
    SslEngineFeed,  SslEngineRead,    SslEngineWrite,      SslEngineWantsRead, SslEnginePending,
    SslEngineTake,  SslEnginePeer,    SslEnginePeerDetail, SslEngineTextA, SslEngineTextB,
};

const SslEngineHooks *pSslEngine = &sslInertEngine;

void SslEngineStartup(void)
{
    pSslEngine->Init();
}

void SslEngineShutdown(void)
{
    pSslEngine->Cleanup();
}

/* ---- Chunk queues ---- */
int ChunkQueueAppend(SockChunkQueue *queue, const void *bytes, int32_t length)
{
    if (!bytes || length <= 0)
        return 0;
    int ok = 0;
    EnterCriticalSection(&csChunkQueues);
    if (queue->count < SOCK_CHUNK_QUEUE_MAX) {
        SockChunk *chunk = (SockChunk *)sSockSys.Alloc(sizeof *chunk);
        char *copy = chunk ? (char *)sSockSys.Alloc((size_t)length) : NULL;
        if (copy) {
            memcpy(copy, bytes, (size_t)length);
            chunk->bytes = copy;
            chunk->offset = 0;
            chunk->length = length;
            chunk->next = NULL;
            if (queue->last)
                queue->last->next = chunk;
            else
                queue->first = chunk;
            queue->last = chunk;
            queue->count++;
            ok = 1;
        } else if (chunk) {
            sSockSys.Free(chunk);
        }
    }
    LeaveCriticalSection(&csChunkQueues);
    return ok;
}

SockChunk *ChunkQueueTake(SockChunkQueue *queue)
{
    EnterCriticalSection(&csChunkQueues);
    SockChunk *chunk = queue->first;
    if (chunk) {
        queue->first = chunk->next;
        if (!queue->first)
            queue->last = NULL;
        queue->count--;
        chunk->next = NULL;
    }
    LeaveCriticalSection(&csChunkQueues);
    return chunk;
}

void ChunkQueuePutBack(SockChunkQueue *queue, SockChunk *chunk)
{
    EnterCriticalSection(&csChunkQueues);
    chunk->next = queue->first;
    queue->first = chunk;
    if (!queue->last)
        queue->last = chunk;
    queue->count++;
    LeaveCriticalSection(&csChunkQueues);
}

int ChunkQueueIsFull(SockChunkQueue *queue)
{
    EnterCriticalSection(&csChunkQueues);
    int full = queue->count >= SOCK_CHUNK_QUEUE_MAX;
    LeaveCriticalSection(&csChunkQueues);
    return full;
}

int ChunkQueueCount(SockChunkQueue *queue)
{
    EnterCriticalSection(&csChunkQueues);
    int count = queue->count;
    LeaveCriticalSection(&csChunkQueues);
    return count;
}

static void FreeChunk(SockChunk *chunk)
{
    sSockSys.Free(chunk->bytes);
    sSockSys.Free(chunk);
}

void ChunkDispose(SockChunkQueue *queue, SockChunk *chunk, int32_t consumed)
{
    if (consumed < 0)
        consumed = 0;
    if (consumed >= chunk->length) {
        FreeChunk(chunk);
        return;
    }
    chunk->offset += consumed;
    chunk->length -= consumed;
    ChunkQueuePutBack(queue, chunk);
}

void ChunkQueueFreeAll(SockChunkQueue *queue)
{
    SockChunk *chunk;
    while ((chunk = ChunkQueueTake(queue)) != NULL)
        FreeChunk(chunk);
}

/* ---- The pump ---- */

/* Hands the plaintext the engine holds to the owner, each piece read straight into a
 * buffer from the provider. With no buffer the plaintext stays in the engine (nothing
 * is lost) and the I/O thread retries at its next pass. Returns the bytes delivered. */
static int DeliverPlaintext(SockEntry *e)
{
    int delivered = 0;
    for (;;) {
        int size = e->recvSize;
        char *buffer = (char *)pfnGetBuffer(e->userData, size);
        if (!buffer) {
            e->sslPlainWaiting = 1;
            InterlockedExchange(&bSslRetry, 1);
            return delivered;
        }
        int got = pSslEngine->Read(e->ssl, buffer, size);
        if (got <= 0) {
            e->sslPlainWaiting = 0;
            return delivered;
        }
        if (got > size)
            got = size;
        e->callback(e->userData, SOCK_EV_DATA, got, 0, 0);
        delivered += got;
    }
}

/* Writes one piece of encrypted output whole; what send refuses is dropped. */
static void SendAll(SOCKET s, const char *bytes, int length)
{
    while (length > 0) {
        int n = sSockSys.Send(s, bytes, length, 0);
        if (n == SOCKET_ERROR || n <= 0)
            return;
        bytes += n;
        length -= n;
    }
}

/* One round of the pump. Returns 1 when something moved (a handshake step, bytes fed
 * or written, plaintext delivered, output flushed); a round in which the engine took
 * nothing and gave nothing ends the run, and what is queued waits for the next one. */
static int PumpRound(SockEntry *e)
{
    const SslEngineHooks *engine = pSslEngine;
    int dataToRead = ChunkQueueCount(&e->recvQueue) > 0;
    int dataToWrite = ChunkQueueCount(&e->sendQueue) > 0;
    int doConnect = e->doConnect;
    int waiting = e->sslPlainWaiting;
    if ((e->sslWriteBlocked || !dataToWrite) && !dataToRead && !doConnect && !waiting)
        return 0;

    int progress = 0;
    if (doConnect) {
        e->doConnect = 0;
        engine->Handshake(e->ssl);
        progress = 1;
    }
    if (waiting && DeliverPlaintext(e) > 0)
        progress = 1;

    /* Decrypt, unless plaintext is still waiting for a buffer: feeding more would only
     * pile it up in the engine, while leaving it queued stops the reads. */
    if (dataToRead && !e->sslPlainWaiting) {
        SockChunk *chunk = ChunkQueueTake(&e->recvQueue);
        if (chunk) {
            e->sslWriteBlocked = 0;
            int fed = engine->Feed(e->sslIn, chunk->bytes + chunk->offset, chunk->length);
            if (fed < 0)
                fed = 0;
            if (fed > chunk->length)
                fed = chunk->length;
            if (fed > 0) {
                progress = 1;
                DeliverPlaintext(e);
            }
            ChunkDispose(&e->recvQueue, chunk, fed);
        }
    }

    if (!e->sslWriteBlocked && dataToWrite) {
        SockChunk *chunk = ChunkQueueTake(&e->sendQueue);
        if (chunk) {
            int taken = engine->Write(e->ssl, chunk->bytes + chunk->offset, chunk->length);
            if (taken < 0)
                taken = 0;
            if (taken > chunk->length)
                taken = chunk->length;
            if (engine->WantsRead(e->ssl))
                e->sslWriteBlocked = 1;
            if (taken > 0)
                progress = 1;
            ChunkDispose(&e->sendQueue, chunk, taken);
        }
    }

    char acFlush[2048];
    while (engine->Pending(e->sslOut) > 0) {
        int n = engine->Take(e->sslOut, acFlush, (int)sizeof acFlush);
        if (n <= 0)
            break;
        if (n > (int)sizeof acFlush)
            n = (int)sizeof acFlush;
        progress = 1;
        SendAll(e->sock, acFlush, n);
    }
    return progress;
}

void SslPump(SockEntry *e)
{
    long seen = InterlockedIncrement(&e->sslPumpRequests);
    if (seen != 1)
        return; /* the thread running the pump will go round again for this request */
    for (;;) {
        if (!e->sslReleasing) {
            while (PumpRound(e)) {
            }
        }
        long now = InterlockedCompareExchange(&e->sslPumpRequests, 0, seen);
        if (now == seen)
            return;
        seen = now;
    }
}

/* Waits until no pump runs on the entry and keeps new ones from starting. The entry's
 * callbacks must not wait for the thread that calls this (the I/O thread). */
static void ClaimPump(SockEntry *e)
{
    InterlockedExchange(&e->sslReleasing, 1);
    while (InterlockedCompareExchange(&e->sslPumpRequests, 1, 0) != 0)
        Sleep(1);
}

static void UnclaimPump(SockEntry *e)
{
    InterlockedExchange(&e->sslPumpRequests, 0);
    InterlockedExchange(&e->sslReleasing, 0);
}

void SslDrainAtClose(SockEntry *e)
{
    ClaimPump(e);
    /* What is still queued goes through the engine first; then the plaintext it holds
     * is delivered for as long as the provider gives buffers. */
    while (PumpRound(e)) {
    }
    for (;;) {
        int size = e->recvSize;
        char *buffer = (char *)pfnGetBuffer(e->userData, size);
        if (!buffer)
            break;
        int got = pSslEngine->Read(e->ssl, buffer, size);
        if (got <= 0)
            break;
        if (got > size)
            got = size;
        e->callback(e->userData, SOCK_EV_DATA, got, 0, 0);
    }
    UnclaimPump(e);
}

void SslRelease(SockEntry *e)
{
    if (!e->sslActive)
        return;
    ClaimPump(e);
    pSslEngine->Free(e->sslCtx, e->ssl, e->sslIn, e->sslOut);
    ChunkQueueFreeAll(&e->recvQueue);
    ChunkQueueFreeAll(&e->sendQueue);
    e->sslCtx = NULL;
    e->ssl = NULL;
    e->sslIn = NULL;
    e->sslOut = NULL;
    e->sslPlainWaiting = 0;
    InterlockedExchange(&e->sslActive, 0);
    UnclaimPump(e);
}

/* ---- Operations ---- */
int SslSend(SockEntry *e, const void *bytes, int32_t length, int32_t *sent)
{
    if (!bytes || length <= 0)
        return SOCK_INVALID_PARAM;
    if (!ChunkQueueAppend(&e->sendQueue, bytes, length)) {
        /* A full queue is only drained by a pump run: without one here, an owner
         * retrying after 12 would be refused forever once the engine takes again. */
        SslPump(e);
        if (!ChunkQueueAppend(&e->sendQueue, bytes, length)) {
            *sent = 0;
            return SOCK_WOULD_BLOCK;
        }
    }
    SslPump(e);
    *sent = length;
    return SOCK_OK;
}

static int ConnectSsl(intptr_t userData, const char *address, uint16_t port, const SslSettings *settings,
                      SockCallback callback, SockHandle *handle)
{
    if (!bSslEnabled)
        return SOCK_NO_SSL;
    if (!handle || !settings || !address || !callback)
        return SOCK_INVALID_PARAM;

    struct sockaddr_in addr;
    SOCKET s = SockOpenTcp(address, port, &addr);
    if (s == INVALID_SOCKET)
        return SOCK_NO_SOCKET;

    SockEntry sk;
    SockEntryInit(&sk, s, userData, callback);
    sk.sslConfig = settings->value[0];
    /* The engine is made before the entry is visible, so the I/O thread never sees an
     * SSL entry without its engine. A client gives 0 in place of value 5. */
    sk.sslCtx = pSslEngine->Create(&sk.ssl, &sk.sslIn, &sk.sslOut, settings->value[0], settings->value[2],
                                   settings->value[3], settings->value[4], 0, settings->value[6], 1);
    int result;
    if (!sk.sslCtx) {
        /* No engine: the entry exists, the handle is stored, and a close request ends
         * it with event 1 two passes later. No connect is made. */
        sk.ssl = sk.sslIn = sk.sslOut = NULL;
        sk.closeRequested = 1;
        result = SOCK_SSL_CONTEXT;
    } else {
        sk.sslActive = 1;
        result = SockStartConnect(s, &addr);
        if (result == SOCK_CONNECT_FAILED)
            sk.closeRequested = 1;
        else
            sk.connectPending = 1;
    }
    if (!SockAppendStream(&sk, handle)) {
        if (sk.sslCtx)
            pSslEngine->Free(sk.sslCtx, sk.ssl, sk.sslIn, sk.sslOut);
        sSockSys.CloseSocket(s);
        return SOCK_NO_MEMORY;
    }
    return result;
}

int SockConnectSsl(intptr_t userData, const char *address, uint16_t port, const SslSettings *settings,
                   SockCallback callback, SockHandle *handle)
{
    if (!SockEnter())
        return SOCK_NOT_STARTED;
    int result = ConnectSsl(userData, address, port, settings, callback, handle);
    SockLeave();
    return result;
}

static int StartSsl(SockEntry *e, const SslSettings *settings)
{
    if (!bSslEnabled)
        return SOCK_NO_SSL;
    if (!e || !settings)
        return SOCK_INVALID_PARAM;
    e->sslConfig = settings->value[0];
    int client = settings->value[1] == 0;
    if (!e->sslActive) {
        /* Made first and published last: until sslActive is set the I/O thread goes on
         * reading the connection as plain, and a failure leaves it plain with no byte
         * lost to a queue. */
        void *ssl = NULL, *sslIn = NULL, *sslOut = NULL;
        void *ctx = pSslEngine->Create(&ssl, &sslIn, &sslOut, settings->value[0], settings->value[2],
                                       settings->value[3], settings->value[4], settings->value[5],
                                       settings->value[6], client);
        if (!ctx)
            return SOCK_SSL_CONTEXT;
        e->sslCtx = ctx;
        e->ssl = ssl;
        e->sslIn = sslIn;
        e->sslOut = sslOut;
        InterlockedExchange(&e->sslActive, 1);
    }
    e->sslServer = settings->value[1];
    /* The client's first handshake step runs inside the pump, never beside a run of
     * it on another thread. */
    if (client)
        e->doConnect = 1;
    SslPump(e);
    return SOCK_OK;
}

int SockStartSsl(SockHandle handle, const SslSettings *settings)
{
    if (!SockEnter())
        return SOCK_NOT_STARTED;
    int result = StartSsl(handle, settings);
    SockLeave();
    return result;
}

int SockSslPeerInfo(SockHandle handle, int32_t *credential, int32_t *detail, int32_t argument)
{
    if (!SockEnter())
        return SOCK_NOT_STARTED;
    int result;
    if (!bSslEnabled) {
        result = SOCK_NO_SSL;
    } else if (!handle || !credential || !detail || argument == 0) {
        result = SOCK_INVALID_PARAM;
    } else if (!handle->ssl) {
        result = SOCK_NO_SSL;
    } else {
        *credential = pSslEngine->Peer(handle->ssl);
        *detail = *credential ? pSslEngine->PeerDetail(handle->ssl, argument) : 0;
        result = SOCK_OK;
    }
    SockLeave();
    return result;
}

static int GetText(SockHandle handle, int32_t value, char *text, int second)
{
    if (!text)
        return 0;
    if (!SockEnter()) {
        strcpy(text, "socket layer not initialized");
        return 0;
    }
    int result = 0;
    if (!bSslEnabled)
        strcpy(text, "SSL not enabled");
    else if (!handle || value == 0)
        strcpy(text, "Invalid parameter(s)");
    else if (second)
        result = pSslEngine->TextB(handle->ssl, value, text);
    else
        result = pSslEngine->TextA(handle->ssl, value, text);
    SockLeave();
    return result;
}

int SockSslGetText1(SockHandle handle, int32_t value, char *text)
{
    return GetText(handle, value, text, 0);
}

int SockSslGetText2(SockHandle handle, int32_t value, char *text)
{
    return GetText(handle, value, text, 1);
}
