// The socket layer's core and its outgoing connections, against real peers on
// 127.0.0.1: start and stop, the event order of a connection's life, requested
// closes, the buffer provider, paused reading, sends, the 64-socket window of a pass,
// and faults the loopback never shows (through the layer's system seam).
// Other files of this program: names, listening and datagrams, SSL mode, the gate
// and the entry count under concurrency, and the Winsock facts the layer relies on.
#include "test_net_support.h"

#include <algorithm>
#include <thread>

namespace {

void *OtherProvider(intptr_t, int)
{
    return nullptr;
}

// ---- Start and stop ----

TEST(NetStartup, NullRecordOrProviderGives3AndStartsNoThread)
{
    SockSysReset();
    InstallCountingSeams();
    SockInitParams noProvider = {};
    EXPECT_EQ(SockStartup(nullptr), SOCK_INVALID_PARAM);
    EXPECT_EQ(SockStartup(&noProvider), SOCK_INVALID_PARAM);
    EXPECT_EQ(gThreadStarts, 0);
    EXPECT_EQ(bSockInitialized, 0);
    SockSysReset();
}

TEST(NetStartup, WsaStartupFailureGives5AndTheLayerStaysStopped)
{
    SockSysReset();
    InstallCountingSeams();
    sSockSys.WsaStartup = [](WORD, LPWSADATA) -> int { return WSASYSNOTREADY; };
    SockInitParams sinit = {};
    sinit.getBuffer = TestProvider;
    EXPECT_EQ(SockStartup(&sinit), SOCK_WSA_FAILED);
    EXPECT_EQ(bSockInitialized, 0);
    EXPECT_EQ(gThreadStarts, 0);
    Recorder rec;
    SockHandle h = nullptr;
    EXPECT_EQ(SockConnect(Ud(rec), "127.0.0.1", 80, RecordCallback, &h), SOCK_NOT_STARTED);
    SockSysReset();
}

// A thread that cannot be started must not leave a layer that SockCleanup would wait
// for forever: the start fails, and the next one works.
TEST(NetStartup, ThreadThatCannotStartFailsTheStartCleanly)
{
    SockSysReset();
    InstallCountingSeams();
    static std::atomic<int> allowed;
    for (int okThreads : {0, 1}) {
        allowed = okThreads;
        sSockSys.StartThread = [](LPSECURITY_ATTRIBUTES sa, SIZE_T st, LPTHREAD_START_ROUTINE p, LPVOID a,
                                  DWORD f, LPDWORD id) -> HANDLE {
            if (allowed-- <= 0)
                return nullptr;
            return CreateThread(sa, st, p, a, f, id);
        };
        SockInitParams sinit = {};
        sinit.getBuffer = TestProvider;
        EXPECT_EQ(SockStartup(&sinit), SOCK_ERR_SYSTEM) << okThreads;
        EXPECT_EQ(bSockInitialized, 0);
        if (okThreads == 1) {
            EXPECT_EQ(bIoEnded, 1) << "the I/O thread that did start has been stopped again";
        }
    }
    SockSysReset();
    SockInitParams sinit = {};
    sinit.getBuffer = TestProvider;
    ASSERT_EQ(SockStartup(&sinit), SOCK_OK);
    SockCleanup();
    EXPECT_EQ(bSockInitialized, 0);
}

TEST_F(NetTest, SecondStartGives2AndChangesNothing)
{
    SockInitParams other = {};
    other.getBuffer = OtherProvider;
    EXPECT_EQ(SockStartup(&other), SOCK_ALREADY_STARTED);
    EXPECT_EQ(pfnGetBuffer, &TestProvider);
    EXPECT_EQ(gThreadStarts, 2);

    TestListener server;
    Recorder rec;
    SOCKET peer;
    Connect(server, rec, &peer);
    ASSERT_TRUE(SendAllTo(peer, "still served"));
    EXPECT_TRUE(WaitFor([&] { return rec.Data() == "still served"; }));
    closesocket(peer);
    EXPECT_TRUE(CountIs(0));
}

// Every operation of a stopped layer answers 4, before and after a life of the layer,
// and a new start works.
TEST(NetStartup, StoppedLayerRefusesEveryOperationAndStartsAgain)
{
    SockSysReset();
    InstallCountingSeams();
    SockCleanup();  // on a stopped layer: nothing happens
    SockInitParams sinit = {};
    sinit.getBuffer = TestProvider;

    for (int life = 0; life < 3; life++) {
        Recorder rec;
        SockHandle h = nullptr;
        SockEntry fake = {};
        SslSettings settings = {};
        char text[32];
        int32_t n32 = 0;
        uint32_t addr = 0;
        uint16_t port = 0;
        struct {
            const char *name;
            int result;
        } ops[] = {
            {"SockConnect", SockConnect(Ud(rec), "127.0.0.1", 80, RecordCallback, &h)},
            {"SockSend", SockSend(&fake, "x", 1, &n32)},
            {"SockClose", SockClose(&fake)},
            {"SockSetUserData", SockSetUserData(&fake, 5)},
            {"SockSetRecvSize", SockSetRecvSize(&fake, 5)},
            {"SockEnableRecv", SockEnableRecv(&fake, 0)},
            {"SockResolve", SockResolve("localhost", text)},
            {"SockGetHostName", SockGetHostName(text, sizeof text)},
            {"SockListen", SockListen(0, Ud(rec), RecordCallback, &h)},
            {"SockCreateUdp", SockCreateUdp(Ud(rec), 0, RecordCallback, &h)},
            {"SockSendTo", SockSendTo(&fake, 0, 1, "x", 1)},
            {"SockGetLocalAddr", SockGetLocalAddr(&fake, &addr, &port)},
            {"SockConnectSsl", SockConnectSsl(Ud(rec), "127.0.0.1", 1, &settings, RecordCallback, &h)},
            {"SockStartSsl", SockStartSsl(&fake, &settings)},
            {"SockSslPeerInfo", SockSslPeerInfo(&fake, &n32, &n32, 1)},
        };
        for (const auto &op : ops)
            EXPECT_EQ(op.result, SOCK_NOT_STARTED) << op.name << " in life " << life;
        EXPECT_EQ(h, nullptr);
        EXPECT_EQ(fake.closeRequested, 0);
        EXPECT_EQ(fake.userData, 0);
        int32_t count = 77;
        SockGetCount(&count);
        EXPECT_EQ(count, 77) << "left untouched";
        EXPECT_EQ(SockSslGetText1(&fake, 1, text), 0);
        EXPECT_STREQ(text, "socket layer not initialized");
        EXPECT_EQ(SockSslGetText2(&fake, 1, text), 0);
        EXPECT_STREQ(text, "socket layer not initialized");
        EXPECT_TRUE(rec.Snapshot().empty());

        ASSERT_EQ(SockStartup(&sinit), SOCK_OK) << "life " << life;
        TestListener server;
        ASSERT_EQ(SockConnect(Ud(rec), "127.0.0.1", server.port, RecordCallback, &h), SOCK_CONNECT_PENDING);
        SOCKET peer = server.Accept();
        EXPECT_TRUE(WaitFor([&] { return rec.Count(SOCK_EV_CONNECTED) == 1; }));
        closesocket(peer);
        EXPECT_TRUE(WaitFor([&] { return rec.Final(); }));
        SockCleanup();
        SockCleanup();  // twice: the second does nothing
        EXPECT_EQ(LiveLayerSockets(), 0u);
    }
    SockSysReset();
}

// ---- A connection's life ----

TEST_F(NetTest, RefusedConnectEndsWithEvent5Only)
{
    Recorder rec;
    int r = SockConnect(Ud(rec), "127.0.0.1", UnusedPort(), RecordCallback, &rec.handle);
    ASSERT_TRUE(r == SOCK_CONNECT_PENDING || r == SOCK_CONNECT_FAILED) << r;
    EXPECT_NE(rec.handle, nullptr);
    EXPECT_TRUE(WaitFor([&] { return rec.Final(); }));
    EXPECT_TRUE(CountIs(0));
    // A refusal seen later is event 5; one seen at once is result 9 and event 1.
    std::vector<int> want = {r == SOCK_CONNECT_PENDING ? SOCK_EV_CONNECT_FAILED : SOCK_EV_CLOSED};
    EXPECT_EQ(rec.Codes(), want);
}

// Text that is no dotted address is not looked up: the connect goes to INADDR_NONE
// and fails as the system says, with exactly one final event and never event 2.
TEST_F(NetTest, NameInsteadOfAddressIsNotLookedUp)
{
    Recorder rec;
    int r = SockConnect(Ud(rec), "localhost", 80, RecordCallback, &rec.handle);
    ASSERT_TRUE(r == SOCK_CONNECT_PENDING || r == SOCK_CONNECT_FAILED) << r;
    EXPECT_TRUE(WaitFor([&] { return rec.Final(); }));
    EXPECT_TRUE(CountIs(0));
    EXPECT_EQ(rec.Count(SOCK_EV_CONNECTED), 0u);
    EXPECT_EQ(rec.Count(SOCK_EV_CLOSED) + rec.Count(SOCK_EV_CONNECT_FAILED), 1u);
}

// The program's own pattern: the request goes out from the event 2 callback; the
// answer comes in pieces, then the peer closes. Event 2 comes first, event 1 last and
// once, with the socket already closed when it runs.
TEST_F(NetTest, ConnectionLifeFromConnectedToPeerClose)
{
    TestListener server;
    Recorder rec;
    rec.hook = [](Recorder &r, const Event &e) {
        if (e.event == SOCK_EV_CONNECTED) {
            int32_t sent = 0;
            EXPECT_EQ(SockSend(r.handle, "GET /\r\n", 7, &sent), SOCK_OK);
            EXPECT_EQ(sent, 7);
        }
    };
    ASSERT_EQ(SockConnect(Ud(rec), "127.0.0.1", server.port, RecordCallback, &rec.handle), SOCK_CONNECT_PENDING);
    SOCKET peer = server.Accept();
    ASSERT_NE(peer, INVALID_SOCKET);
    SOCKET layerSock = rec.handle->sock;
    // The peer answers at once: event 2 must still come before the data.
    ASSERT_TRUE(SendAllTo(peer, "first piece;"));
    EXPECT_EQ(RecvSome(peer, 7, 15000), "GET /\r\n");
    std::string answer = "first piece;" + Pattern(6000);
    ASSERT_TRUE(SendAllTo(peer, Pattern(6000)));
    closesocket(peer);

    EXPECT_TRUE(WaitFor([&] { return rec.Final(); }));
    std::vector<int> codes = rec.Codes();
    ASSERT_GE(codes.size(), 3u);
    EXPECT_EQ(codes.front(), SOCK_EV_CONNECTED);
    EXPECT_EQ(codes.back(), SOCK_EV_CLOSED);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), SOCK_EV_CLOSED), 1);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), SOCK_EV_CONNECT_FAILED), 0);
    EXPECT_EQ(rec.Data(), answer);
    for (const Event &e : rec.Snapshot()) {
        if (e.event == SOCK_EV_DATA) {
            EXPECT_GE(e.info1, 1);
            EXPECT_LE(e.info1, SOCK_DEFAULT_RECV_SIZE);
            EXPECT_EQ(e.info2, 0) << "no sender's port for a plain stream entry";
            EXPECT_EQ(e.info3, 0) << "no sender's address for a plain stream entry";
        }
        if (e.event == SOCK_EV_CLOSED) {
            EXPECT_EQ(e.sockWas, 0) << "the socket is closed before event 1";
        }
    }
    EXPECT_FALSE(LayerSocketLive(layerSock));
    EXPECT_TRUE(CountIs(0));
}

// connect() itself may succeed at once; event 2 still comes, before any data.
TEST_F(NetTest, ConnectThatSucceedsAtOnceStillGivesEvent2First)
{
    sSockSys.Connect = [](SOCKET s, const sockaddr *a, int len) -> int {
        u_long blocking = 0, nonBlocking = 1;
        ioctlsocket(s, FIONBIO, &blocking);
        int r = connect(s, a, len);
        ioctlsocket(s, FIONBIO, &nonBlocking);
        return r;
    };
    TestListener server;
    Recorder rec;
    ASSERT_EQ(SockConnect(Ud(rec), "127.0.0.1", server.port, RecordCallback, &rec.handle), SOCK_OK);
    SOCKET peer = server.Accept();
    ASSERT_TRUE(SendAllTo(peer, "hello"));
    EXPECT_TRUE(WaitFor([&] { return rec.Data() == "hello"; }));
    EXPECT_EQ(rec.Codes().front(), SOCK_EV_CONNECTED);
    EXPECT_EQ(rec.Count(SOCK_EV_CONNECTED), 1u);
    closesocket(peer);
    EXPECT_TRUE(CountIs(0));
}

// The connect is under way before the I/O thread can see the entry, and the handle
// is stored before that too.
TEST_F(NetTest, ConnectStartsBeforeTheEntryIsVisible)
{
    static std::atomic<int> seenInList;
    static std::atomic<int> connects;
    seenInList = 0;
    connects = 0;
    sSockSys.Connect = [](SOCKET s, const sockaddr *a, int len) -> int {
        connects++;
        EnterCriticalSection(&csStreamList);
        for (ListNode *n = StreamList.first; n; n = n->next)
            if (EntryOf(n)->sock == s)
                seenInList++;
        LeaveCriticalSection(&csStreamList);
        return connect(s, a, len);
    };
    TestListener server;
    Recorder rec;
    SOCKET peer;
    SockHandle h = Connect(server, rec, &peer);
    EXPECT_EQ(connects, 1);
    EXPECT_EQ(seenInList, 0);
    EXPECT_EQ(h->sock != 0, true);
    closesocket(peer);
    EXPECT_TRUE(CountIs(0));
}

// ---- Requested close ----

// The sending side is shut at the first pass after SockClose, event 1 comes at the
// next pass, only once however often SockClose is called, and no data follows it.
// Event 1 runs with no lock of the layer held: another thread can count entries.
TEST_F(NetTest, RequestedCloseTakesTwoPassesAndGivesOneEvent1)
{
    static std::atomic<long> shutdownPass;
    static std::atomic<SOCKET> watched;
    shutdownPass = -1;
    sSockSys.Shutdown = [](SOCKET s, int how) -> int {
        if (s == watched && how == SD_SEND && shutdownPass < 0)
            shutdownPass = gIoPasses.load();
        return shutdown(s, how);
    };
    TestListener server;
    Recorder rec;
    std::atomic<int> countedFromOtherThread{-1};
    std::thread other;
    rec.hook = [&](Recorder &, const Event &e) {
        if (e.event != SOCK_EV_CLOSED)
            return;
        other = std::thread([&] {
            int32_t n = -1;
            SockGetCount(&n);
            countedFromOtherThread = n;
        });
        // If the I/O thread held csStreamList here, the other thread could not finish
        // before this callback returns.
        EXPECT_TRUE(WaitFor([&] { return countedFromOtherThread >= 0; }, 5000)) << "event 1 ran under the lock";
    };
    SOCKET peer;
    SockHandle h = Connect(server, rec, &peer);
    watched = h->sock;
    ASSERT_TRUE(SendAllTo(peer, "before"));
    EXPECT_TRUE(WaitFor([&] { return rec.Data() == "before"; }));

    EXPECT_EQ(SockClose(h), SOCK_OK);
    EXPECT_EQ(SockClose(h), SOCK_OK);
    EXPECT_TRUE(WaitPeerClosed(peer)) << "the peer sees the sending side shut";
    SendAllTo(peer, "after the close");  // may still be read before event 1, never after it
    EXPECT_TRUE(WaitFor([&] { return rec.Final(); }));
    EXPECT_TRUE(CountIs(0));

    std::vector<Event> events = rec.Snapshot();
    ASSERT_EQ(events.back().event, SOCK_EV_CLOSED);
    EXPECT_EQ(rec.Count(SOCK_EV_CLOSED), 1u);
    EXPECT_GE(shutdownPass, 0);
    EXPECT_EQ(events.back().pass, shutdownPass + 1) << "event 1 comes at the pass after the shutdown";
    other.join();
    EXPECT_EQ(countedFromOtherThread, 1) << "the entry is counted until its event 1 has returned";
    closesocket(peer);
}

// A callback may open a new connection (and close its own) from inside its events.
TEST_F(NetTest, CallbacksMayUseTheLayer)
{
    TestListener server;
    Recorder second;
    Recorder first;
    first.hook = [&](Recorder &r, const Event &e) {
        if (e.event == SOCK_EV_CONNECTED) {
            EXPECT_EQ(SockClose(r.handle), SOCK_OK);
        }
        if (e.event == SOCK_EV_CLOSED) {
            EXPECT_EQ(SockConnect(Ud(second), "127.0.0.1", server.port, RecordCallback, &second.handle),
                      SOCK_CONNECT_PENDING);
        }
    };
    ASSERT_EQ(SockConnect(Ud(first), "127.0.0.1", server.port, RecordCallback, &first.handle),
              SOCK_CONNECT_PENDING);
    SOCKET p1 = server.Accept();
    EXPECT_TRUE(WaitFor([&] { return first.Final(); }));
    SOCKET p2 = server.Accept();
    EXPECT_TRUE(WaitFor([&] { return second.Count(SOCK_EV_CONNECTED) == 1; }));
    EXPECT_EQ(SockClose(second.handle), SOCK_OK);
    EXPECT_TRUE(WaitFor([&] { return second.Final(); }));
    EXPECT_TRUE(CountIs(0));
    EXPECT_EQ(first.Codes(), (std::vector<int>{SOCK_EV_CONNECTED, SOCK_EV_CLOSED}));
    closesocket(p1);
    closesocket(p2);
}

// ---- Reading ----

TEST_F(NetTest, ProviderWithoutBufferDelaysDataWithoutLosingAByte)
{
    TestListener server;
    Recorder rec;
    SOCKET peer;
    Connect(server, rec, &peer);
    gRefuseAll = 1;
    std::string sent = Pattern(20000, 3);
    ASSERT_TRUE(SendAllTo(peer, sent));
    long passes = gIoPasses;
    EXPECT_TRUE(WaitFor([&] { return gIoPasses > passes + 20 && gProviderCalls > 20; }));
    EXPECT_EQ(rec.Count(SOCK_EV_DATA), 0u);
    gRefuseAll = 0;
    gRefuseBuffers = 7;  // and a few more refusals in between
    EXPECT_TRUE(WaitFor([&] { return rec.Data().size() == sent.size(); }));
    EXPECT_EQ(rec.Data(), sent);
    closesocket(peer);
    EXPECT_TRUE(CountIs(0));
}

TEST_F(NetTest, PausedReadingDeliversNothingUntilResumed)
{
    TestListener server;
    Recorder rec;
    SOCKET peer;
    SockHandle h = Connect(server, rec, &peer);
    ASSERT_EQ(SockEnableRecv(h, 0), SOCK_OK);
    std::string sent = Pattern(5000, 1);
    ASSERT_TRUE(SendAllTo(peer, sent));
    long passes = gIoPasses;
    EXPECT_TRUE(WaitFor([&] { return gIoPasses > passes + 10; }));
    // Bytes wait in the paused socket, yet select still waits its 20 ms a pass (a
    // socket watched for reading would make it return at once, pass after pass).
    passes = gIoPasses;
    Sleep(400);
    EXPECT_LT(gIoPasses - passes, 60) << "the I/O thread spins while the entry is paused";
    EXPECT_EQ(rec.Count(SOCK_EV_DATA), 0u);
    ASSERT_EQ(SockEnableRecv(h, 1), SOCK_OK);
    EXPECT_TRUE(WaitFor([&] { return rec.Data() == sent; }));
    closesocket(peer);
    EXPECT_TRUE(CountIs(0));
}

TEST_F(NetTest, RecvSizeSetsThePieceSizeAnd0RestoresTheDefault)
{
    TestListener server;
    Recorder rec;
    SOCKET peer;
    SockHandle h = Connect(server, rec, &peer);
    ASSERT_EQ(SockSetRecvSize(h, 5), SOCK_OK);
    EXPECT_EQ(h->recvSize, 5);
    ASSERT_TRUE(SendAllTo(peer, "0123456789abc"));
    EXPECT_TRUE(WaitFor([&] { return rec.Data() == "0123456789abc"; }));
    for (const Event &e : rec.Snapshot())
        if (e.event == SOCK_EV_DATA) {
            EXPECT_LE(e.info1, 5);
        }
    EXPECT_EQ(gLastAskedSize, 5) << "the provider is asked for recvSize bytes";

    EXPECT_EQ(SockSetRecvSize(h, 0), SOCK_OK);
    EXPECT_EQ(h->recvSize, SOCK_DEFAULT_RECV_SIZE);
    EXPECT_EQ(SockSetRecvSize(h, -1), SOCK_INVALID_PARAM);
    EXPECT_EQ(h->recvSize, SOCK_DEFAULT_RECV_SIZE);
    EXPECT_EQ(SockSetRecvSize(nullptr, 5), SOCK_INVALID_PARAM);
    EXPECT_EQ(SockEnableRecv(nullptr, 1), SOCK_INVALID_PARAM);
    EXPECT_EQ(SockSetUserData(nullptr, 1), SOCK_INVALID_PARAM);
    EXPECT_EQ(SockClose(nullptr), SOCK_INVALID_PARAM);

    // Later events carry a new userData.
    Recorder other;
    ASSERT_EQ(SockSetUserData(h, Ud(other)), SOCK_OK);
    other.handle = h;
    ASSERT_TRUE(SendAllTo(peer, "for the other"));
    EXPECT_TRUE(WaitFor([&] { return other.Data() == "for the other"; }));
    closesocket(peer);
    EXPECT_TRUE(WaitFor([&] { return other.Final(); }));
    EXPECT_EQ(rec.Count(SOCK_EV_CLOSED), 0u);
    EXPECT_TRUE(CountIs(0));
}

// Faults on the read path that the loopback does not show, through the seam.
static std::atomic<SOCKET> gFaultSock;
static std::atomic<int> gFaultError;
static std::atomic<int> gFaultsLeft;
static int WSAAPI FaultyRecvFrom(SOCKET s, char *b, int n, int f, sockaddr *a, int *al)
{
    if (s == gFaultSock && gFaultsLeft > 0) {
        gFaultsLeft--;
        WSASetLastError(gFaultError);
        return SOCKET_ERROR;
    }
    return recvfrom(s, b, n, f, a, al);
}

TEST_F(NetTest, ReadErrorsEndTheConnectionExceptWouldBlock)
{
    struct Case {
        int error;
        bool staysOpen;
    } cases[] = {
        {WSAEWOULDBLOCK, true},  // select said readable, recv disagrees: nothing is wrong
        {WSAECONNRESET, false},
        {WSAECONNABORTED, false},
        {WSAENETRESET, false},
    };
    sSockSys.RecvFrom = FaultyRecvFrom;
    for (const Case &c : cases) {
        TestListener server;
        Recorder rec;
        SOCKET peer;
        SockHandle h = Connect(server, rec, &peer);
        gFaultError = c.error;
        gFaultsLeft = 1;
        gFaultSock = h->sock;
        ASSERT_TRUE(SendAllTo(peer, "data"));
        if (c.staysOpen) {
            EXPECT_TRUE(WaitFor([&] { return rec.Data() == "data"; })) << c.error;
            EXPECT_FALSE(rec.Final()) << c.error;
            SockClose(h);
        } else {
            EXPECT_TRUE(WaitFor([&] { return rec.Final(); })) << c.error;
            EXPECT_EQ(rec.Codes(), (std::vector<int>{SOCK_EV_CONNECTED, SOCK_EV_CLOSED})) << c.error;
        }
        EXPECT_TRUE(WaitFor([&] { return rec.Final(); }));
        EXPECT_TRUE(CountIs(0)) << c.error;
        gFaultSock = INVALID_SOCKET;
        closesocket(peer);
    }
}

// A connection that ends on an error while its peer keeps sending: the drain before
// the close is bounded, so the I/O thread comes back (and event 1 comes) while the
// peer is still at it.
TEST_F(NetTest, ClosingWhileThePeerKeepsSendingDoesNotHoldTheIoThread)
{
    sSockSys.RecvFrom = FaultyRecvFrom;
    TestListener server;
    Recorder rec;
    SOCKET peer;
    SockHandle h = Connect(server, rec, &peer);
    std::atomic<bool> stop{false};
    std::thread flood([&] {  // sends for 12 s, unless the layer's close stops it
        std::string block(65536, 'f');
        DWORD start = GetTickCount();
        while (!stop && GetTickCount() - start < 12000 && send(peer, block.data(), (int)block.size(), 0) > 0) {
        }
    });
    Sleep(50);
    DWORD armed = GetTickCount();
    gFaultError = WSAECONNABORTED;
    gFaultsLeft = 1;
    gFaultSock = h->sock;
    EXPECT_TRUE(WaitFor([&] { return rec.Final(); }, 20000));
    EXPECT_LT(GetTickCount() - armed, 6000u) << "the close waited for the peer to stop sending";
    stop = true;
    flood.join();
    gFaultSock = INVALID_SOCKET;
    closesocket(peer);
    EXPECT_TRUE(CountIs(0));
}

// A real reset from the peer ends the connection with event 1.
TEST_F(NetTest, PeerResetEndsTheConnection)
{
    TestListener server;
    Recorder rec;
    SOCKET peer;
    Connect(server, rec, &peer);
    linger hard = {1, 0};
    setsockopt(peer, SOL_SOCKET, SO_LINGER, (const char *)&hard, sizeof hard);
    closesocket(peer);
    EXPECT_TRUE(WaitFor([&] { return rec.Final(); }));
    EXPECT_EQ(rec.Codes(), (std::vector<int>{SOCK_EV_CONNECTED, SOCK_EV_CLOSED}));
    EXPECT_TRUE(CountIs(0));
}

// ---- Sending ----

static std::atomic<int> gSendMode;  // 0 real, 1 takes 3 bytes, 2 would block, 3 reset
static std::atomic<int> gSendCalls;
static int WSAAPI ScriptedSend(SOCKET s, const char *b, int n, int f)
{
    gSendCalls++;
    switch (gSendMode.load()) {
    case 1:
        return send(s, b, n < 3 ? n : 3, f);
    case 2:
        WSASetLastError(WSAEWOULDBLOCK);
        return SOCKET_ERROR;
    case 3:
        WSASetLastError(WSAECONNRESET);
        return SOCKET_ERROR;
    default:
        return send(s, b, n, f);
    }
}

TEST_F(NetTest, SendReportsWhatTheSystemTook)
{
    sSockSys.Send = ScriptedSend;
    TestListener server;
    Recorder rec;
    SOCKET peer;
    SockHandle h = Connect(server, rec, &peer);
    struct Case {
        int mode;
        const void *bytes;
        int32_t length;
        int result;
        int32_t sent;
        int sendCalls;
    } cases[] = {
        {0, "whole", 5, SOCK_OK, 5, 1},
        {1, "partial", 7, SOCK_OK, 3, 1},  // "par" reaches the peer
        {2, "blocked", 7, SOCK_WOULD_BLOCK, 0, 1},
        {3, "reset", 5, SOCK_ERR_SYSTEM, 0, 1},
        {0, "x", 0, SOCK_INVALID_PARAM, -1, 0},
        {0, "x", -4, SOCK_INVALID_PARAM, -1, 0},
        {0, nullptr, 4, SOCK_INVALID_PARAM, -1, 0},
    };
    int i = 0;
    for (const Case &c : cases) {
        gSendMode = c.mode;
        gSendCalls = 0;
        int32_t sent = -1;
        EXPECT_EQ(SockSend(h, c.bytes, c.length, &sent), c.result) << "case " << i;
        EXPECT_EQ(sent, c.sent) << "case " << i;
        EXPECT_EQ(gSendCalls, c.sendCalls) << "case " << i;
        i++;
    }
    EXPECT_EQ(SockSend(h, "x", 1, nullptr), SOCK_INVALID_PARAM);
    EXPECT_EQ(SockSend(nullptr, "x", 1, nullptr), SOCK_INVALID_PARAM);
    EXPECT_EQ(RecvSome(peer, 8, 15000), "wholepar");
    EXPECT_FALSE(rec.Final()) << "a failed send leaves the connection to the I/O thread";
    closesocket(peer);
    EXPECT_TRUE(CountIs(0));
}

// ---- More entries than a set holds ----

// A pass watches at most 64 sockets per set. With more entries open, the watched ones
// are 64 consecutive entries in list order (wrapping round), and the window moves on
// from pass to pass, so the entries beyond the first 64 are served too.
TEST_F(NetTest, MoreThan64EntriesAreServed64AtATime)
{
    const int total = 70;
    static std::atomic<int> biggestSet;
    static std::atomic<int> badWindows;
    static std::atomic<int> windowsChecked;
    biggestSet = 0;
    badWindows = 0;
    windowsChecked = 0;
    gBeforeIoSelect = [](fd_set *r, fd_set *w, fd_set *x) {
        int most = (int)std::max({r->fd_count, w->fd_count, x->fd_count});
        if (most > biggestSet)
            biggestSet = most;
        // The watched entries (those in any set) must be consecutive in list order,
        // wrapping round. Only this thread removes entries.
        std::vector<SOCKET> order;
        EnterCriticalSection(&csStreamList);
        for (ListNode *n = StreamList.first; n; n = n->next)
            order.push_back(EntryOf(n)->sock);
        LeaveCriticalSection(&csStreamList);
        int n = (int)order.size();
        if (n <= FD_SETSIZE)
            return;
        std::vector<bool> in(n);
        for (int i = 0; i < n; i++)
            in[i] = FD_ISSET(order[i], r) || FD_ISSET(order[i], w) || FD_ISSET(order[i], x);
        int start = -1;
        for (int i = 0; i < n; i++)
            if (in[i] && !in[(i + n - 1) % n])
                start = i;
        bool ok = start >= 0;
        for (int k = 0; ok && k < FD_SETSIZE; k++)
            ok = in[(start + k) % n];
        if (!ok)
            badWindows++;
        windowsChecked++;
    };

    TestListener server;
    std::vector<Recorder> recs(total);
    std::vector<SOCKET> peers;
    for (int i = 0; i < total; i++) {
        int r = SockConnect(Ud(recs[i]), "127.0.0.1", server.port, RecordCallback, &recs[i].handle);
        ASSERT_TRUE(r == SOCK_CONNECT_PENDING || r == SOCK_OK) << r;
        SOCKET p = server.Accept();
        ASSERT_NE(p, INVALID_SOCKET);
        peers.push_back(p);
    }
    EXPECT_TRUE(WaitFor([&] {
        for (Recorder &r : recs)
            if (r.Count(SOCK_EV_CONNECTED) != 1)
                return false;
        return true;
    }));
    // The accepted sockets come in connect order; each peer sends its own number.
    for (int i = 0; i < total; i++)
        ASSERT_TRUE(SendAllTo(peers[i], "#" + std::to_string(i)));
    EXPECT_TRUE(WaitFor([&] {
        for (int i = 0; i < total; i++)
            if (recs[i].Data() != "#" + std::to_string(i))
                return false;
        return true;
    }));
    EXPECT_EQ(biggestSet, FD_SETSIZE);
    EXPECT_GT(windowsChecked, 0);
    EXPECT_EQ(badWindows, 0);
    int32_t count = 0;
    SockGetCount(&count);
    EXPECT_EQ(count, total);
    for (int i = 0; i < total; i++)
        SockClose(recs[i].handle);
    EXPECT_TRUE(CountIs(0));
    for (int i = 0; i < total; i++) {
        EXPECT_EQ(recs[i].Count(SOCK_EV_CLOSED), 1u) << i;
        closesocket(peers[i]);
    }
}

// Under Wine a socket listed in two sets of one select can bring down Wine's server
// (a race in its poll code); an open entry is watched for reading only there.
TEST_F(NetTest, UnderWineNoOpenSocketIsInTwoSetsOfOnePass)
{
    if (!GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version"))
        GTEST_SKIP() << "Windows watches every entry for exceptions too";
    static std::atomic<int> twice;
    static std::atomic<int> checked;
    twice = 0;
    checked = 0;
    gBeforeIoSelect = [](fd_set *r, fd_set *, fd_set *x) {
        for (u_int i = 0; i < r->fd_count; i++) {
            checked++;
            if (FD_ISSET(r->fd_array[i], x))
                twice++;
        }
    };
    TestListener server;
    Recorder rec;
    ASSERT_EQ(SockConnect(Ud(rec), "127.0.0.1", server.port, RecordCallback, &rec.handle), SOCK_CONNECT_PENDING);
    SOCKET peer = server.Accept();
    ASSERT_TRUE(WaitFor([&] { return rec.Count(SOCK_EV_CONNECTED) == 1; }));
    ASSERT_TRUE(SendAllTo(peer, "still served"));
    EXPECT_TRUE(WaitFor([&] { return rec.Data() == "still served"; }));
    closesocket(peer);  // and a peer's close still shows as readable
    EXPECT_TRUE(WaitFor([&] { return rec.Final(); }));
    gBeforeIoSelect = nullptr;
    EXPECT_GT(checked.load(), 0);
    EXPECT_EQ(twice.load(), 0);
    EXPECT_TRUE(CountIs(0));
}

// ---- Stop with open connections ----

TEST_F(NetTest, CleanupClosesOpenConnectionsWithoutEvents)
{
    TestListener server;
    Recorder recs[3];
    SOCKET peers[3];
    for (int i = 0; i < 3; i++)
        Connect(server, recs[i], &peers[i]);
    SockEnableRecv(recs[1].handle, 0);
    ASSERT_TRUE(SendAllTo(peers[1], "unread"));  // one with bytes still waiting in its socket
    SockCleanup();
    for (int i = 0; i < 3; i++) {
        EXPECT_TRUE(WaitPeerClosed(peers[i])) << i;
        closesocket(peers[i]);
        EXPECT_EQ(recs[i].Codes(), std::vector<int>{SOCK_EV_CONNECTED}) << i;
    }
    EXPECT_EQ(LiveLayerSockets(), 0u);
    EXPECT_EQ(StreamList.first, nullptr);
    EXPECT_EQ(ListenList.first, nullptr);
}

}  // namespace
