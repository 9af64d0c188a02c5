// Shared pieces of the socket layer's tests; see test_net_support.h.
#include "test_net_support.h"

#include <set>

namespace {

// The tests' own sockets need Winsock too, apart from the layer's start and stop.
struct WinsockForTests {
    WinsockForTests()
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
} winsockForTests;

}  // namespace

bool WaitFor(const std::function<bool()> &cond, int ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (cond())
            return true;
        if ((int)(GetTickCount() - start) > ms)
            return cond();
        Sleep(5);
    }
}

// ---- Provider ----
std::atomic<int> gRefuseBuffers;
std::atomic<int> gRefuseAll;
std::atomic<int> gProviderCalls;
std::atomic<int> gLastAskedSize;
std::function<bool()> gRefuseWhen;
static thread_local char tlsBuffer[65536];

void *TestProvider(intptr_t, int count)
{
    gProviderCalls++;
    gLastAskedSize = count;
    if (gRefuseAll || (gRefuseWhen && gRefuseWhen()))
        return nullptr;
    if (gRefuseBuffers > 0) {
        gRefuseBuffers--;
        return nullptr;
    }
    if (count < 0 || count > (int)sizeof tlsBuffer)
        return nullptr;
    return tlsBuffer;
}

void ResetProvider()
{
    gRefuseBuffers = 0;
    gRefuseAll = 0;
    gProviderCalls = 0;
    gLastAskedSize = 0;
    gRefuseWhen = nullptr;
}

const char *LastProvidedBuffer()
{
    return tlsBuffer;
}

// ---- Recorder ----
std::vector<Event> Recorder::Snapshot()
{
    std::lock_guard<std::mutex> lock(m);
    return events;
}

size_t Recorder::Count(int event)
{
    std::lock_guard<std::mutex> lock(m);
    size_t n = 0;
    for (const Event &e : events)
        n += e.event == event;
    return n;
}

std::string Recorder::Data()
{
    std::lock_guard<std::mutex> lock(m);
    std::string all;
    for (const Event &e : events)
        if (e.event == SOCK_EV_DATA)
            all += e.data;
    return all;
}

bool Recorder::Final()
{
    return Count(SOCK_EV_CLOSED) + Count(SOCK_EV_CONNECT_FAILED) > 0;
}

std::vector<int> Recorder::Codes()
{
    std::lock_guard<std::mutex> lock(m);
    std::vector<int> codes;
    for (const Event &e : events)
        codes.push_back(e.event);
    return codes;
}

intptr_t RecordCallback(intptr_t userData, int event, intptr_t info1, intptr_t info2, intptr_t info3)
{
    Recorder &r = *(Recorder *)userData;
    Event e;
    e.event = event;
    e.userData = userData;
    e.info1 = info1;
    e.info2 = info2;
    e.info3 = info3;
    e.thread = GetCurrentThreadId();
    e.pass = gIoPasses;
    if (event == SOCK_EV_DATA && info1 > 0)
        e.data.assign(LastProvidedBuffer(), (size_t)info1);
    if (event == SOCK_EV_ACCEPT_QUERY && info3)
        e.data = (const char *)info3;
    if (event == SOCK_EV_ACCEPTED)
        r.handle = (SockHandle)info1;
    e.sockWas = r.handle ? r.handle->sock != 0 : -1;
    {
        std::lock_guard<std::mutex> lock(r.m);
        r.events.push_back(e);
    }
    if (r.hook)
        r.hook(r, e);
    return event == SOCK_EV_ACCEPT_QUERY ? r.acceptInto : 0;
}

// ---- Peers ----
TestListener::TestListener()
{
    s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, (sockaddr *)&a, sizeof a);
    listen(s, SOMAXCONN);
    port = LocalPort(s);
}

TestListener::~TestListener()
{
    closesocket(s);
}

SOCKET TestListener::Accept(int ms)
{
    fd_set r;
    FD_ZERO(&r);
    FD_SET(s, &r);
    TIMEVAL t = {ms / 1000, (ms % 1000) * 1000};
    if (select(0, &r, nullptr, nullptr, &t) <= 0)
        return INVALID_SOCKET;
    return accept(s, nullptr, nullptr);
}

SOCKET ConnectTo(uint16_t port)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    if (connect(s, (sockaddr *)&a, sizeof a) != 0) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

uint16_t UnusedPort()
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, (sockaddr *)&a, sizeof a);
    uint16_t port = LocalPort(s);
    closesocket(s);
    return port;
}

bool SendAllTo(SOCKET s, const std::string &bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        int n = send(s, bytes.data() + done, (int)(bytes.size() - done), 0);
        if (n <= 0)
            return false;
        done += (size_t)n;
    }
    return true;
}

std::string RecvSome(SOCKET s, size_t count, int ms, bool *closed)
{
    std::string got;
    if (closed)
        *closed = false;
    DWORD start = GetTickCount();
    while (got.size() < count) {
        int left = ms - (int)(GetTickCount() - start);
        if (left <= 0)
            break;
        fd_set r;
        FD_ZERO(&r);
        FD_SET(s, &r);
        TIMEVAL t = {left / 1000, (left % 1000) * 1000};
        if (select(0, &r, nullptr, nullptr, &t) <= 0)
            break;
        char buf[4096];
        int n = recv(s, buf, (int)sizeof buf, 0);
        if (n <= 0) {
            if (closed)
                *closed = true;
            break;
        }
        got.append(buf, (size_t)n);
    }
    return got;
}

bool WaitPeerClosed(SOCKET s, int ms, std::string *rest)
{
    bool closed = false;
    std::string got = RecvSome(s, (size_t)-1, ms, &closed);
    if (rest)
        *rest = got;
    return closed;
}

uint16_t LocalPort(SOCKET s)
{
    sockaddr_in a = {};
    int len = sizeof a;
    getsockname(s, (sockaddr *)&a, &len);
    return ntohs(a.sin_port);
}

std::string Pattern(size_t length, int seed)
{
    std::string p(length, '\0');
    for (size_t i = 0; i < length; i++)
        p[i] = (char)('a' + (i * 7 + (size_t)seed) % 26);
    return p;
}

// ---- Counting seams ----
static std::mutex gLiveMutex;
static std::set<SOCKET> gLive;
std::atomic<long> gIoPasses;
std::function<void(fd_set *, fd_set *, fd_set *)> gBeforeIoSelect;
std::atomic<int> gThreadStarts;

static SOCKET WSAAPI CountingSocket(int af, int type, int protocol)
{
    SOCKET s = socket(af, type, protocol);
    if (s != INVALID_SOCKET) {
        std::lock_guard<std::mutex> lock(gLiveMutex);
        gLive.insert(s);
    }
    return s;
}

static SOCKET WSAAPI CountingAccept(SOCKET l, sockaddr *addr, int *len)
{
    SOCKET s = accept(l, addr, len);
    if (s != INVALID_SOCKET) {
        std::lock_guard<std::mutex> lock(gLiveMutex);
        gLive.insert(s);
    }
    return s;
}

static int WSAAPI CountingClose(SOCKET s)
{
    {
        std::lock_guard<std::mutex> lock(gLiveMutex);
        gLive.erase(s);
    }
    return closesocket(s);
}

static int WSAAPI CountingSelect(int n, fd_set *r, fd_set *w, fd_set *x, const PTIMEVAL t)
{
    if (w) {  // only the I/O thread passes a write set
        if (gBeforeIoSelect)
            gBeforeIoSelect(r, w, x);
        gIoPasses++;
    }
    return select(n, r, w, x, t);
}

static HANDLE WINAPI CountingThread(LPSECURITY_ATTRIBUTES sa, SIZE_T stack, LPTHREAD_START_ROUTINE proc,
                                    LPVOID arg, DWORD flags, LPDWORD id)
{
    gThreadStarts++;
    return CreateThread(sa, stack, proc, arg, flags, id);
}

size_t LiveLayerSockets()
{
    std::lock_guard<std::mutex> lock(gLiveMutex);
    return gLive.size();
}

bool LayerSocketLive(SOCKET s)
{
    std::lock_guard<std::mutex> lock(gLiveMutex);
    return gLive.count(s) != 0;
}

void InstallCountingSeams()
{
    {
        std::lock_guard<std::mutex> lock(gLiveMutex);
        gLive.clear();
    }
    gIoPasses = 0;
    gBeforeIoSelect = nullptr;
    gThreadStarts = 0;
    sSockSys.Socket = CountingSocket;
    sSockSys.Accept = CountingAccept;
    sSockSys.CloseSocket = CountingClose;
    sSockSys.Select = CountingSelect;
    sSockSys.StartThread = CountingThread;
}

int StreamEntries()
{
    EnterCriticalSection(&csStreamList);
    int n = 0;
    for (ListNode *node = StreamList.first; node; node = node->next)
        n++;
    LeaveCriticalSection(&csStreamList);
    return n;
}

int ListenEntries()
{
    EnterCriticalSection(&csListenList);
    int n = 0;
    for (ListNode *node = ListenList.first; node; node = node->next)
        n++;
    LeaveCriticalSection(&csListenList);
    return n;
}

// ---- Fixture ----
void NetTest::SetUp()
{
    SockSysReset();
    InstallCountingSeams();
    ResetProvider();
    pSslEngine = &sslInertEngine;
    ASSERT_EQ(Start(), SOCK_OK);
}

void NetTest::TearDown()
{
    SockCleanup();
    gBeforeIoSelect = nullptr;
    SockSysReset();
    pSslEngine = &sslInertEngine;
    EXPECT_EQ(LiveLayerSockets(), 0u) << "sockets of the layer left open";
    EXPECT_EQ(nSockInFlight, 0);
    EXPECT_EQ(bSockInitialized, 0);
}

int NetTest::Start(int sslEnabled)
{
    SockInitParams sinit = {};
    sinit.getBuffer = TestProvider;
    sinit.sslEnabled = sslEnabled;
    return SockStartup(&sinit);
}

bool NetTest::CountIs(int n, int ms)
{
    return WaitFor(
        [n] {
            int32_t count = -1;
            SockGetCount(&count);
            return count == n;
        },
        ms);
}

SockHandle NetTest::Connect(TestListener &server, Recorder &rec, SOCKET *peer)
{
    int r = SockConnect(Ud(rec), "127.0.0.1", server.port, RecordCallback, &rec.handle);
    EXPECT_TRUE(r == SOCK_CONNECT_PENDING || r == SOCK_OK) << r;
    *peer = server.Accept();
    EXPECT_NE(*peer, INVALID_SOCKET);
    EXPECT_TRUE(WaitFor([&] { return rec.Count(SOCK_EV_CONNECTED) == 1; }));
    return rec.handle;
}
