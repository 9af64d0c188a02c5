// SSL mode of the socket layer. With the switch off and with the program's inert
// engine, through the public operations. The queues and the pump cannot be seen
// through inert hooks, so the rest runs with a test engine put behind the same hook
// table (pSslEngine): a pass-through engine that "encrypts" by copying bytes, whose
// limits a test can set, and which notices two of its calls overlapping on one
// connection or any call after it was freed. Peers are plain Winsock sockets on
// 127.0.0.1, so the copied bytes travel through real connections.
#include "test_net_support.h"

#include <map>
#include <thread>

namespace {

// ---- The pass-through engine ----
struct PtConn {
    std::mutex m;
    std::string in;   // fed "encrypted" bytes, readable as plaintext
    std::string out;  // written plaintext, waiting as "encrypted" output
    std::atomic<int> inside{0};
    std::atomic<bool> freed{false};
    int32_t values[7] = {};
    int32_t client = -1;
};

struct PtEngine {
    std::atomic<int> feedLimit{1 << 30};   // bytes accepted per Feed
    std::atomic<int> writeLimit{1 << 30};  // bytes accepted per Write
    std::atomic<int> writeOnce{-1};        // >= 0: the next Write takes this many, then writeLimit applies
    std::atomic<int> wantsRead{0};
    std::atomic<int> createFails{0};
    std::atomic<int> createDelayMs{0};
    std::atomic<int> writeDelayMs{0};
    std::atomic<int> hookDelayMs{0};
    std::atomic<int> overlaps{0};
    std::atomic<int> callsAfterFree{0};
    std::atomic<int> inits{0}, cleanups{0}, creates{0}, frees{0}, handshakes{0}, writes{0}, feeds{0};
    std::atomic<int> peer{0};
    std::atomic<int> holdPlain{0};  // Read yields nothing while set
    std::atomic<size_t> fedBytes{0};
    std::mutex m;
    std::vector<PtConn *> conns;  // kept until the test ends, so late calls can be seen
} pt;

void ResetEngine()
{
    for (PtConn *c : pt.conns)
        delete c;
    pt.conns.clear();
    pt.feedLimit = 1 << 30;
    pt.writeLimit = 1 << 30;
    pt.writeOnce = -1;
    pt.wantsRead = 0;
    pt.createFails = 0;
    pt.createDelayMs = 0;
    pt.writeDelayMs = 0;
    pt.hookDelayMs = 0;
    pt.overlaps = 0;
    pt.callsAfterFree = 0;
    pt.inits = pt.cleanups = pt.creates = pt.frees = pt.handshakes = pt.writes = pt.feeds = 0;
    pt.peer = 0;
    pt.holdPlain = 0;
    pt.fedBytes = 0;
}

// Set on a thread when its last engine call was a Feed: the provider can then refuse
// exactly the buffers asked for the plaintext that Feed made.
thread_local bool tlsAfterFeed;

// Marks one hook call on a connection: two at once, or one after Free, are faults of
// the layer.
struct Inside {
    PtConn *c;
    explicit Inside(void *handle) : c((PtConn *)handle)
    {
        if (c->freed)
            pt.callsAfterFree++;
        if (++c->inside > 1)
            pt.overlaps++;
        if (pt.hookDelayMs)
            Sleep(pt.hookDelayMs);
    }
    ~Inside()
    {
        c->inside--;
    }
};

void PtInit()
{
    pt.inits++;
}

void PtCleanup()
{
    pt.cleanups++;
}

void *PtCreate(void **ssl, void **sslIn, void **sslOut, int32_t v0, int32_t v2, int32_t v3, int32_t v4, int32_t v5,
               int32_t v6, int32_t client)
{
    pt.creates++;
    if (pt.createDelayMs)
        Sleep(pt.createDelayMs);
    if (pt.createFails)
        return nullptr;
    PtConn *c = new PtConn;
    int32_t v[7] = {v0, -1, v2, v3, v4, v5, v6};
    memcpy(c->values, v, sizeof v);
    c->client = client;
    {
        std::lock_guard<std::mutex> lock(pt.m);
        pt.conns.push_back(c);
    }
    *ssl = *sslIn = *sslOut = c;
    return c;
}

void PtFree(void *ctx, void *, void *, void *)
{
    PtConn *c = (PtConn *)ctx;
    if (c->inside)
        pt.overlaps++;
    c->freed = true;
    pt.frees++;
}

int PtHandshake(void *ssl)
{
    Inside in(ssl);
    pt.handshakes++;
    return 1;
}

int PtFeed(void *sslIn, const char *bytes, int length)
{
    Inside in(sslIn);
    pt.feeds++;
    int n = std::min(length, pt.feedLimit.load());
    std::lock_guard<std::mutex> lock(in.c->m);
    in.c->in.append(bytes, (size_t)n);
    pt.fedBytes += (size_t)n;
    tlsAfterFeed = true;
    return n;
}

int PtRead(void *ssl, char *buffer, int capacity)
{
    Inside in(ssl);
    tlsAfterFeed = false;
    if (pt.holdPlain)
        return 0;
    std::lock_guard<std::mutex> lock(in.c->m);
    int n = (int)std::min((size_t)capacity, in.c->in.size());
    memcpy(buffer, in.c->in.data(), (size_t)n);
    in.c->in.erase(0, (size_t)n);
    return n;
}

int PtWrite(void *ssl, const char *bytes, int length)
{
    Inside in(ssl);
    pt.writes++;
    if (pt.writeDelayMs)
        Sleep(pt.writeDelayMs);
    int once = pt.writeOnce.exchange(-1);
    int n = std::min(length, once >= 0 ? once : pt.writeLimit.load());
    std::lock_guard<std::mutex> lock(in.c->m);
    in.c->out.append(bytes, (size_t)n);
    return n;
}

int PtWantsRead(void *ssl)
{
    Inside in(ssl);
    return pt.wantsRead;
}

int PtPending(void *sslOut)
{
    Inside in(sslOut);
    std::lock_guard<std::mutex> lock(in.c->m);
    return (int)in.c->out.size();
}

int PtTake(void *sslOut, char *buffer, int capacity)
{
    Inside in(sslOut);
    std::lock_guard<std::mutex> lock(in.c->m);
    int n = (int)std::min((size_t)capacity, in.c->out.size());
    memcpy(buffer, in.c->out.data(), (size_t)n);
    in.c->out.erase(0, (size_t)n);
    return n;
}

int32_t PtPeer(void *)
{
    return pt.peer;
}

int32_t PtPeerDetail(void *, int32_t argument)
{
    return argument * 2;
}

int PtTextA(void *, int32_t value, char *text)
{
    strcpy(text, "text A");
    return value + 100;
}

int PtTextB(void *, int32_t value, char *text)
{
    strcpy(text, "text B");
    return value + 200;
}

const SslEngineHooks passThrough = {
    PtInit, PtCleanup, PtCreate,  PtFree, PtHandshake,  PtFeed,  PtRead,  PtWrite,
    PtWantsRead, PtPending, PtTake, PtPeer, PtPeerDetail, PtTextA, PtTextB,
};

// Heap blocks of chunks, counted through the seam.
std::atomic<long> gBlocks;
void *CountingAlloc(size_t size)
{
    gBlocks++;
    return malloc(size);
}
void CountingFree(void *block)
{
    if (block)
        gBlocks--;
    free(block);
}

SslSettings Settings(int32_t side)
{
    SslSettings s;
    for (int i = 0; i < 7; i++)
        s.value[i] = 10 + i;
    s.value[1] = side;
    return s;
}

// ---- Switch off, stopped layer, inert engine ----

TEST_F(NetTest, SslWithTheSwitchOffAnswers13)
{
    TestListener server;
    Recorder rec;
    SOCKET peer;
    SockHandle h = Connect(server, rec, &peer);
    SslSettings s = Settings(0);
    SockHandle ssl = nullptr;
    int32_t credential = 5, detail = 5;
    char text[32];
    EXPECT_EQ(SockConnectSsl(Ud(rec), "127.0.0.1", server.port, &s, RecordCallback, &ssl), SOCK_NO_SSL);
    EXPECT_EQ(ssl, nullptr);
    EXPECT_EQ(SockConnectSsl(Ud(rec), "127.0.0.1", server.port, nullptr, RecordCallback, &ssl), SOCK_NO_SSL)
        << "the switch is tested before the arguments";
    EXPECT_EQ(SockStartSsl(h, &s), SOCK_NO_SSL);
    EXPECT_EQ(SockSslPeerInfo(h, &credential, &detail, 1), SOCK_NO_SSL);
    EXPECT_EQ(SockSslGetText1(h, 1, text), 0);
    EXPECT_STREQ(text, "SSL not enabled");
    EXPECT_EQ(SockSslGetText2(h, 1, text), 0);
    EXPECT_STREQ(text, "SSL not enabled");
    EXPECT_EQ(h->sslActive, 0);
    EXPECT_EQ(StreamEntries(), 1);
    closesocket(peer);
    EXPECT_TRUE(CountIs(0));
}

class SslTest : public NetTest {
protected:
    void SetUp() override
    {
        SockSysReset();
        InstallCountingSeams();
        ResetProvider();
        ResetEngine();
        gBlocks = 0;
        sSockSys.Alloc = CountingAlloc;
        sSockSys.Free = CountingFree;
        pSslEngine = UseEngine();
        ASSERT_EQ(Start(1), SOCK_OK);
    }
    void TearDown() override
    {
        NetTest::TearDown();
        EXPECT_EQ(gBlocks, 0) << "chunks left behind";
        EXPECT_EQ(pt.overlaps, 0) << "two engine calls on one connection at once";
        EXPECT_EQ(pt.callsAfterFree, 0) << "an engine call after the connection was freed";
        EXPECT_EQ((int)pt.conns.size(), pt.frees) << "engine connections not freed";
        ResetEngine();
    }
    virtual const SslEngineHooks *UseEngine()
    {
        return &passThrough;
    }
};

class InertSslTest : public SslTest {
protected:
    const SslEngineHooks *UseEngine() override
    {
        return &sslInertEngine;
    }
};

TEST_F(InertSslTest, ConnectStoresAHandleGives14AndTheEntryEndsWithEvent1)
{
    TestListener server;
    Recorder rec;
    SslSettings s = Settings(0);
    EXPECT_EQ(SockConnectSsl(Ud(rec), "127.0.0.1", server.port, &s, RecordCallback, &rec.handle),
              SOCK_SSL_CONTEXT);
    ASSERT_NE(rec.handle, nullptr);
    EXPECT_TRUE(WaitFor([&] { return rec.Final(); }));
    EXPECT_EQ(rec.Codes(), std::vector<int>{SOCK_EV_CLOSED});
    EXPECT_TRUE(CountIs(0));

    SockHandle h = nullptr;
    EXPECT_EQ(SockConnectSsl(Ud(rec), "127.0.0.1", server.port, nullptr, RecordCallback, &h), SOCK_INVALID_PARAM);
    EXPECT_EQ(SockConnectSsl(Ud(rec), "127.0.0.1", server.port, &s, RecordCallback, nullptr), SOCK_INVALID_PARAM);
    EXPECT_EQ(SockConnectSsl(Ud(rec), nullptr, server.port, &s, RecordCallback, &h), SOCK_INVALID_PARAM);
    EXPECT_EQ(SockConnectSsl(Ud(rec), "127.0.0.1", server.port, &s, nullptr, &h), SOCK_INVALID_PARAM);
    EXPECT_EQ(h, nullptr);
}

TEST_F(InertSslTest, StartSslGives14AndTheConnectionStaysPlain)
{
    TestListener server;
    Recorder rec;
    SOCKET peer;
    SockHandle h = Connect(server, rec, &peer);
    for (int side : {0, 1}) {
        SslSettings s = Settings(side);
        EXPECT_EQ(SockStartSsl(h, &s), SOCK_SSL_CONTEXT);
        EXPECT_EQ(h->sslActive, 0);
    }
    EXPECT_EQ(SockStartSsl(h, nullptr), SOCK_INVALID_PARAM);
    int32_t sent = 0;
    EXPECT_EQ(SockSend(h, "plain", 5, &sent), SOCK_OK);
    EXPECT_EQ(RecvSome(peer, 5, 15000), "plain");
    ASSERT_TRUE(SendAllTo(peer, "still plain"));
    EXPECT_TRUE(WaitFor([&] { return rec.Data() == "still plain"; }));

    int32_t credential = 9, detail = 9;
    EXPECT_EQ(SockSslPeerInfo(h, &credential, &detail, 1), SOCK_NO_SSL) << "no engine connection";
    EXPECT_EQ(SockSslPeerInfo(h, &credential, &detail, 0), SOCK_INVALID_PARAM);
    EXPECT_EQ(SockSslPeerInfo(h, nullptr, &detail, 1), SOCK_INVALID_PARAM);
    EXPECT_EQ(SockSslPeerInfo(nullptr, &credential, &detail, 1), SOCK_INVALID_PARAM);
    char text[32] = "untouched";
    EXPECT_EQ(SockSslGetText1(h, 0, text), 0);
    EXPECT_STREQ(text, "Invalid parameter(s)");
    EXPECT_EQ(SockSslGetText2(nullptr, 1, text), 0);
    EXPECT_STREQ(text, "Invalid parameter(s)");
    strcpy(text, "untouched");
    EXPECT_EQ(SockSslGetText1(h, 1, text), 1) << "the inert engine's answer";
    EXPECT_EQ(SockSslGetText2(h, 1, text), 1);
    EXPECT_STREQ(text, "untouched");
    closesocket(peer);
    EXPECT_TRUE(CountIs(0));
}

// ---- With the pass-through engine ----

// An echo peer on its own thread: sends back whatever it receives until closed.
struct EchoPeer {
    TestListener server;
    std::thread thread;
    std::atomic<bool> closeNow{false};
    std::atomic<size_t> echoed{0};
    void Run()
    {
        thread = std::thread([this] {
            SOCKET s = server.Accept();
            if (s == INVALID_SOCKET)
                return;
            DWORD ms = 50;
            setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, (const char *)&ms, sizeof ms);
            char buf[4096];
            while (!closeNow) {
                int n = recv(s, buf, sizeof buf, 0);
                if (n == 0 || (n < 0 && WSAGetLastError() != WSAETIMEDOUT))
                    break;
                if (n > 0) {
                    SendAllTo(s, std::string(buf, (size_t)n));
                    echoed += (size_t)n;
                }
            }
            closesocket(s);
        });
    }
    ~EchoPeer()
    {
        closeNow = true;
        if (thread.joinable())
            thread.join();
    }
};

// An SSL client connection to the echo peer, connected, its handle in rec.handle.
void ConnectSslTo(EchoPeer &echo, Recorder &rec)
{
    SslSettings s = Settings(0);
    ASSERT_EQ(SockConnectSsl(Ud(rec), "127.0.0.1", echo.server.port, &s, RecordCallback, &rec.handle),
              SOCK_CONNECT_PENDING);
    EXPECT_TRUE(WaitFor([&] { return rec.Count(SOCK_EV_CONNECTED) == 1; }));
}

TEST_F(SslTest, EngineHooksAreCalledAsTheLayerPromises)
{
    EXPECT_EQ(pt.inits, 1);
    EchoPeer echo;
    echo.Run();
    Recorder rec;
    SslSettings s = Settings(1);  // value 1 is ignored by a connect: always a client
    ASSERT_EQ(SockConnectSsl(Ud(rec), "127.0.0.1", echo.server.port, &s, RecordCallback, &rec.handle),
              SOCK_CONNECT_PENDING);
    ASSERT_EQ(pt.conns.size(), 1u);
    PtConn *c = pt.conns[0];
    EXPECT_EQ(c->client, 1);
    EXPECT_EQ(c->values[0], 10);
    EXPECT_EQ(c->values[2], 12);
    EXPECT_EQ(c->values[3], 13);
    EXPECT_EQ(c->values[4], 14);
    EXPECT_EQ(c->values[5], 0) << "a connect gives 0 in place of value 5";
    EXPECT_EQ(c->values[6], 16);
    EXPECT_EQ(rec.handle->sslConfig, 10);
    EXPECT_EQ(pt.handshakes, 0) << "no handshake step is asked for by a connect";
    EXPECT_TRUE(WaitFor([&] { return rec.Count(SOCK_EV_CONNECTED) == 1; }));

    int32_t sent = 0;
    ASSERT_EQ(SockSend(rec.handle, "through the engine", 18, &sent), SOCK_OK);
    EXPECT_EQ(sent, 18);
    EXPECT_TRUE(WaitFor([&] { return rec.Data() == "through the engine"; }));
    for (const Event &e : rec.Snapshot()) {
        if (e.event == SOCK_EV_DATA) {
            EXPECT_EQ(e.info2, 0);
            EXPECT_EQ(e.info3, 0);
        }
    }

    pt.peer = 7;
    int32_t credential = 0, detail = 0;
    EXPECT_EQ(SockSslPeerInfo(rec.handle, &credential, &detail, 21), SOCK_OK);
    EXPECT_EQ(credential, 7);
    EXPECT_EQ(detail, 42);
    pt.peer = 0;
    detail = 5;
    EXPECT_EQ(SockSslPeerInfo(rec.handle, &credential, &detail, 21), SOCK_OK);
    EXPECT_EQ(detail, 0) << "no credential, no detail";
    char text[32];
    EXPECT_EQ(SockSslGetText1(rec.handle, 3, text), 103);
    EXPECT_STREQ(text, "text A");
    EXPECT_EQ(SockSslGetText2(rec.handle, 3, text), 203);
    EXPECT_STREQ(text, "text B");

    SockClose(rec.handle);
    EXPECT_TRUE(WaitFor([&] { return rec.Final(); }));
    EXPECT_TRUE(CountIs(0));
    EXPECT_EQ(pt.frees, 1);
    SockCleanup();
    EXPECT_EQ(pt.cleanups, 1);
}

TEST_F(SslTest, StartSslSwitchesAPlainConnection)
{
    struct Case {
        int32_t side;
        int client;
        int handshakes;
        int32_t value5;
    } cases[] = {{0, 1, 1, 15}, {1, 0, 0, 15}};
    for (const Case &k : cases) {
        ResetEngine();
        EchoPeer echo;
        echo.Run();
        Recorder rec;
        ASSERT_EQ(SockConnect(Ud(rec), "127.0.0.1", echo.server.port, RecordCallback, &rec.handle),
                  SOCK_CONNECT_PENDING);
        EXPECT_TRUE(WaitFor([&] { return rec.Count(SOCK_EV_CONNECTED) == 1; }));
        SslSettings s = Settings(k.side);
        EXPECT_EQ(SockStartSsl(rec.handle, &s), SOCK_OK);
        EXPECT_EQ(rec.handle->sslActive, 1);
        EXPECT_EQ(rec.handle->sslServer, k.side);
        ASSERT_EQ(pt.conns.size(), 1u);
        EXPECT_EQ(pt.conns[0]->client, k.client);
        EXPECT_EQ(pt.conns[0]->values[5], k.value5) << "a switch gives value 5";
        EXPECT_EQ(pt.handshakes, k.handshakes) << "one handshake step for a client, run by the pump";
        EXPECT_EQ(SockStartSsl(rec.handle, &s), SOCK_OK) << "again: no second engine";
        EXPECT_EQ(pt.creates, 1);
        int32_t sent = 0;
        ASSERT_EQ(SockSend(rec.handle, "secret", 6, &sent), SOCK_OK);
        EXPECT_TRUE(WaitFor([&] { return rec.Data() == "secret"; }));
        SockClose(rec.handle);
        EXPECT_TRUE(WaitFor([&] { return rec.Final(); }));
        EXPECT_TRUE(CountIs(0));
    }
}

// A failed switch leaves the connection plain, and bytes that arrive while the
// engine is being made are delivered plain: none is caught in a queue.
TEST_F(SslTest, FailedStartSslLosesNoByteReceivedMeanwhile)
{
    TestListener server;
    Recorder rec;
    SOCKET peer;
    SockHandle h = Connect(server, rec, &peer);
    pt.createFails = 1;
    pt.createDelayMs = 300;
    std::thread sender([&] {
        Sleep(50);
        SendAllTo(peer, "during the switch");
    });
    SslSettings s = Settings(0);
    EXPECT_EQ(SockStartSsl(h, &s), SOCK_SSL_CONTEXT);
    sender.join();
    EXPECT_TRUE(WaitFor([&] { return rec.Data() == "during the switch"; }));
    EXPECT_EQ(h->sslActive, 0);
    EXPECT_EQ(h->recvQueue.count, 0);
    closesocket(peer);
    EXPECT_TRUE(CountIs(0));
    pt.createFails = 0;
    pt.creates = 0;
}

// ---- Queues ----

TEST_F(SslTest, ChunkQueueOperations)
{
    SockChunkQueue q = {};
    EXPECT_EQ(ChunkQueueAppend(&q, "x", 0), 0);
    EXPECT_EQ(ChunkQueueAppend(&q, nullptr, 3), 0);
    for (int i = 0; i < SOCK_CHUNK_QUEUE_MAX; i++)
        ASSERT_EQ(ChunkQueueAppend(&q, "abcdef", 6), 1) << i;
    EXPECT_TRUE(ChunkQueueIsFull(&q));
    EXPECT_EQ(ChunkQueueAppend(&q, "g", 1), 0) << "a full queue refuses";
    EXPECT_EQ(ChunkQueueCount(&q), SOCK_CHUNK_QUEUE_MAX);

    SockChunk *first = ChunkQueueTake(&q);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(ChunkQueueCount(&q), SOCK_CHUNK_QUEUE_MAX - 1);
    ChunkDispose(&q, first, 4);  // consumed in part: back in front, advanced
    EXPECT_EQ(q.first, first);
    EXPECT_EQ(first->offset, 4);
    EXPECT_EQ(first->length, 2);
    EXPECT_EQ(std::string(first->bytes + first->offset, 2), "ef");
    EXPECT_EQ(ChunkQueueCount(&q), SOCK_CHUNK_QUEUE_MAX);
    first = ChunkQueueTake(&q);
    ChunkDispose(&q, first, 0);  // not consumed: unchanged, still first
    EXPECT_EQ(q.first, first);
    EXPECT_EQ(first->offset, 4);
    EXPECT_EQ(ChunkQueueCount(&q), SOCK_CHUNK_QUEUE_MAX);
    first = ChunkQueueTake(&q);
    ChunkDispose(&q, first, 2);  // all consumed: freed
    EXPECT_EQ(ChunkQueueCount(&q), SOCK_CHUNK_QUEUE_MAX - 1);
    EXPECT_NE(q.first, first);

    while (SockChunk *c = ChunkQueueTake(&q))
        ChunkDispose(&q, c, c->length);
    EXPECT_EQ(q.first, nullptr);
    EXPECT_EQ(q.last, nullptr);
    EXPECT_EQ(q.count, 0);
    SockChunk *lone = nullptr;
    ASSERT_EQ(ChunkQueueAppend(&q, "z", 1), 1);
    lone = ChunkQueueTake(&q);
    ChunkQueuePutBack(&q, lone);  // into an empty queue: first and last
    EXPECT_EQ(q.first, lone);
    EXPECT_EQ(q.last, lone);
    ChunkQueueFreeAll(&q);
    EXPECT_EQ(q.count, 0);
    EXPECT_EQ(gBlocks, 0);

    static std::atomic<int> failAlloc;
    failAlloc = 1;
    sSockSys.Alloc = [](size_t size) -> void * { return failAlloc ? nullptr : CountingAlloc(size); };
    EXPECT_EQ(ChunkQueueAppend(&q, "abc", 3), 0) << "short memory refuses";
    EXPECT_EQ(q.count, 0);
    sSockSys.Alloc = CountingAlloc;
}

// The engine that takes no plaintext: ten sends queue, the eleventh gives 12; the
// pump ends although nothing moves. A chunk the engine takes in part stays first,
// advanced; one it does not take at all stays unchanged.
TEST_F(SslTest, SendQueueFillsPartAndNoneConsumed)
{
    EchoPeer echo;
    echo.Run();
    Recorder rec;
    ASSERT_NO_FATAL_FAILURE(ConnectSslTo(echo, rec));
    SockHandle h = rec.handle;

    pt.writeLimit = 0;
    pt.writeOnce = 3;
    int32_t sent = 0;
    ASSERT_EQ(SockSend(h, "abcdefgh", 8, &sent), SOCK_OK);
    EXPECT_EQ(sent, 8);
    ASSERT_EQ(ChunkQueueCount(&h->sendQueue), 1);
    EXPECT_EQ(h->sendQueue.first->offset, 3);
    EXPECT_EQ(h->sendQueue.first->length, 5);
    SockChunk *first = h->sendQueue.first;
    int writes = pt.writes;
    ASSERT_EQ(SockSend(h, "ijkl", 4, &sent), SOCK_OK);
    EXPECT_GT(pt.writes, writes) << "the engine was asked again";
    EXPECT_EQ(h->sendQueue.first, first);
    EXPECT_EQ(first->offset, 3);
    EXPECT_EQ(first->length, 5);
    EXPECT_EQ(ChunkQueueCount(&h->sendQueue), 2);

    for (int i = 2; i < SOCK_CHUNK_QUEUE_MAX; i++)
        ASSERT_EQ(SockSend(h, "m", 1, &sent), SOCK_OK) << i;
    sent = -1;
    EXPECT_EQ(SockSend(h, "overflow", 8, &sent), SOCK_WOULD_BLOCK);
    EXPECT_EQ(sent, 0);
    EXPECT_EQ(ChunkQueueCount(&h->sendQueue), SOCK_CHUNK_QUEUE_MAX);
    EXPECT_EQ(SockSend(h, "x", 0, &sent), SOCK_INVALID_PARAM);
    EXPECT_EQ(SockSend(h, nullptr, 1, &sent), SOCK_INVALID_PARAM);

    // The engine takes plaintext again: the retried send makes room by running the
    // pump first, and everything goes out in order.
    pt.writeLimit = 1 << 30;
    ASSERT_EQ(SockSend(h, "!", 1, &sent), SOCK_OK);
    std::string want = "abcdefghijkl" + std::string(SOCK_CHUNK_QUEUE_MAX - 2, 'm') + "!";
    EXPECT_TRUE(WaitFor([&] { return rec.Data() == want; }));
    SockClose(h);
    EXPECT_TRUE(WaitFor([&] { return rec.Final(); }));
    EXPECT_TRUE(CountIs(0));
}

// An engine that accepts no encrypted input: the pump ends, the entry's queue fills
// and its reads stop, while the I/O thread goes on serving other connections.
TEST_F(SslTest, EngineThatRefusesInputDoesNotHoldTheIoThread)
{
    EchoPeer echo;
    echo.Run();
    Recorder rec;
    ASSERT_NO_FATAL_FAILURE(ConnectSslTo(echo, rec));
    pt.feedLimit = 0;
    int32_t sent = 0;
    const int sends = 20;  // each echo is read on its own: more reads than the queue holds
    for (int i = 0; i < sends; i++) {
        ASSERT_EQ(SockSend(rec.handle, "0123456789", 10, &sent), SOCK_OK);
        EXPECT_TRUE(WaitFor([&] { return echo.echoed >= (size_t)(i + 1) * 10; }));
        Sleep(5);
    }
    EXPECT_TRUE(WaitFor([&] { return ChunkQueueCount(&rec.handle->recvQueue) == SOCK_CHUNK_QUEUE_MAX; }));
    EXPECT_EQ(rec.Count(SOCK_EV_DATA), 0u);

    TestListener server;
    Recorder other;
    SOCKET peer;
    Connect(server, other, &peer);
    ASSERT_TRUE(SendAllTo(peer, "served"));
    EXPECT_TRUE(WaitFor([&] { return other.Data() == "served"; }));

    pt.feedLimit = 1 << 30;  // the engine recovers: the next send's pump drains the queue
    ASSERT_EQ(SockSend(rec.handle, "!", 1, &sent), SOCK_OK);
    std::string all;
    for (int i = 0; i < sends; i++)
        all += "0123456789";
    all += "!";
    EXPECT_TRUE(WaitFor([&] { return rec.Data().size() == all.size(); }));
    EXPECT_EQ(rec.Data(), all);
    closesocket(peer);
    SockClose(rec.handle);
    EXPECT_TRUE(CountIs(0));
}

// Plaintext for which the provider has no buffer stays in the engine and is delivered
// later, in order, though no new byte arrives to start the pump again.
TEST_F(SslTest, PlaintextWithoutABufferIsDeliveredLater)
{
    EchoPeer echo;
    echo.Run();
    Recorder rec;
    ASSERT_NO_FATAL_FAILURE(ConnectSslTo(echo, rec));
    SockSetRecvSize(rec.handle, 7);
    static std::atomic<bool> refusePlain;
    refusePlain = true;
    gRefuseWhen = [] { return refusePlain && tlsAfterFeed; };
    int32_t sent = 0;
    std::string message = Pattern(100, 5);
    ASSERT_EQ(SockSend(rec.handle, message.data(), (int32_t)message.size(), &sent), SOCK_OK);
    EXPECT_TRUE(WaitFor([&] { return pt.fedBytes >= 1; }));
    int calls = gProviderCalls;
    EXPECT_TRUE(WaitFor([&] { return gProviderCalls > calls + 5; })) << "the I/O thread keeps asking";
    EXPECT_TRUE(rec.Data().empty());
    refusePlain = false;
    EXPECT_TRUE(WaitFor([&] { return rec.Data() == message; }));
    for (const Event &e : rec.Snapshot()) {
        if (e.event == SOCK_EV_DATA) {
            EXPECT_LE(e.info1, 7);
        }
    }
    gRefuseWhen = nullptr;
    SockClose(rec.handle);
    EXPECT_TRUE(WaitFor([&] { return rec.Final(); }));
    EXPECT_TRUE(CountIs(0));
}

// The pump asked for by the I/O thread (echoes coming in) and by the owner's thread
// (sends) at the same time: the engine never sees two calls on the connection at once,
// and every byte comes back in order.
TEST_F(SslTest, PumpRunsOfOneEntryNeverOverlap)
{
    EchoPeer echo;
    echo.Run();
    Recorder rec;
    ASSERT_NO_FATAL_FAILURE(ConnectSslTo(echo, rec));
    pt.hookDelayMs = 1;  // widen every engine call
    std::string all;
    std::thread owner([&] {
        for (int i = 0; i < 60; i++) {
            std::string piece = "<" + std::to_string(i) + ">";
            int32_t sent = 0;
            while (SockSend(rec.handle, piece.data(), (int32_t)piece.size(), &sent) == SOCK_WOULD_BLOCK)
                Sleep(1);
            all += piece;
        }
    });
    owner.join();
    EXPECT_TRUE(WaitFor([&] { return rec.Data() == all; }, 20000));
    pt.hookDelayMs = 0;
    EXPECT_EQ(pt.overlaps, 0);
    SockClose(rec.handle);
    EXPECT_TRUE(WaitFor([&] { return rec.Final(); }));
    EXPECT_TRUE(CountIs(0));
}

// The peer closes while a pump runs on the owner's thread: the I/O thread waits for
// that run before it drains and frees the engine connection.
TEST_F(SslTest, PeerCloseWaitsForAPumpRunOnAnotherThread)
{
    TestListener server;
    Recorder rec;
    SslSettings s = Settings(0);
    ASSERT_EQ(SockConnectSsl(Ud(rec), "127.0.0.1", server.port, &s, RecordCallback, &rec.handle),
              SOCK_CONNECT_PENDING);
    SOCKET peer = server.Accept();
    EXPECT_TRUE(WaitFor([&] { return rec.Count(SOCK_EV_CONNECTED) == 1; }));
    ASSERT_TRUE(SendAllTo(peer, "last words"));
    pt.writeDelayMs = 400;
    std::thread owner([&] {
        int32_t sent = 0;
        SockSend(rec.handle, "reply", 5, &sent);  // its pump sleeps inside the engine
    });
    EXPECT_TRUE(WaitFor([&] { return pt.writes > 0; }));
    closesocket(peer);
    owner.join();
    EXPECT_TRUE(WaitFor([&] { return rec.Final(); }));
    EXPECT_EQ(rec.Data(), "last words");
    EXPECT_EQ(rec.Codes().back(), SOCK_EV_CLOSED);
    EXPECT_TRUE(CountIs(0));
    EXPECT_EQ(pt.frees, 1);
}

// At the peer's close, plaintext still held in the engine is delivered before event 1.
TEST_F(SslTest, PlaintextHeldAtThePeersCloseComesBeforeEvent1)
{
    TestListener server;
    Recorder rec;
    SslSettings s = Settings(0);
    ASSERT_EQ(SockConnectSsl(Ud(rec), "127.0.0.1", server.port, &s, RecordCallback, &rec.handle),
              SOCK_CONNECT_PENDING);
    SOCKET peer = server.Accept();
    EXPECT_TRUE(WaitFor([&] { return rec.Count(SOCK_EV_CONNECTED) == 1; }));
    pt.holdPlain = 1;  // the engine keeps what it is fed, for now
    std::string words = Pattern(3000, 2);
    ASSERT_TRUE(SendAllTo(peer, words));
    EXPECT_TRUE(WaitFor([&] { return pt.fedBytes == words.size(); }));
    EXPECT_TRUE(rec.Data().empty());
    pt.holdPlain = 0;  // nothing runs the pump again before the close is read
    closesocket(peer);
    EXPECT_TRUE(WaitFor([&] { return rec.Final(); }));
    EXPECT_EQ(rec.Data(), words);
    EXPECT_EQ(rec.Codes().back(), SOCK_EV_CLOSED);
    EXPECT_TRUE(CountIs(0));
}

// Cleanup with SSL connections open: engines freed, chunks freed, no events.
TEST_F(SslTest, CleanupReleasesOpenSslConnections)
{
    EchoPeer echo;
    echo.Run();
    Recorder rec;
    ASSERT_NO_FATAL_FAILURE(ConnectSslTo(echo, rec));
    pt.writeLimit = 0;
    int32_t sent = 0;
    for (int i = 0; i < 3; i++)
        ASSERT_EQ(SockSend(rec.handle, "queued", 6, &sent), SOCK_OK);
    EXPECT_GT(gBlocks, 0);
    SockCleanup();
    EXPECT_EQ(pt.frees, 1);
    EXPECT_EQ(gBlocks, 0);
    EXPECT_EQ(rec.Codes(), std::vector<int>{SOCK_EV_CONNECTED});
}

}  // namespace
