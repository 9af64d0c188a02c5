// The engine's speed and memory, each against a baseline measured in this run:
// - a timer pass with every slot armed, against two bare walks over 256 slots
//   under a lock (the least any pass of that table can do);
// - bytes received through the socket layer (2048-byte reads into the owner's
//   buffer, as the program does), against a blocking recv loop with the same
//   buffer size on the same loopback;
// - heap allocations made by the socket layer while its I/O thread serves idle
//   connections, and the process's heap blocks before and after (a pass must
//   allocate nothing, so the figures are absolute counts, baseline 0).
#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <stdio.h>
#include <thread>
#include <vector>

#include "bench_common.h"
#include "net/sock.h"
#include "net/sock_internal.h"
#include "timer/timer.h"

namespace {

// ---- timer --------------------------------------------------------------------------

void Never(intptr_t) {}

struct PlainSlot {
    long inUse, armed;
    void *callback;
    intptr_t argument;
    uint32_t interval, elapsed;
};
PlainSlot plain[TIMER_SLOTS];
CRITICAL_SECTION plainLock;

void PlainPass()
{
    EnterCriticalSection(&plainLock);
    for (int i = 0; i < TIMER_SLOTS; i++) {
        if (plain[i].inUse && plain[i].armed)
            plain[i].elapsed += TIMER_PASS_MS;
    }
    for (int i = 0; i < TIMER_SLOTS; i++) {
        if (!plain[i].armed)
            plain[i].inUse = 0;
    }
    LeaveCriticalSection(&plainLock);
}

void BenchTimer()
{
    const int passes = 200000;
    InitializeCriticalSection(&plainLock);
    for (PlainSlot &s : plain)
        s = {1, 1, nullptr, 0, 0xFFFFFFFFu, 0};
    double baseline = BestSeconds(5, [&] {
        for (int i = 0; i < passes; i++)
            PlainPass();
    });
    TimerInitWithoutThread();
    for (int i = 0; i < TIMER_SLOTS; i++)
        TimerAdd(0xFFFFFFFFu, 0, Never);
    double ticks = BestSeconds(5, [&] {
        for (int i = 0; i < passes; i++)
            TimerTick();
    });
    TimerStop();
    Report("timer pass, 256 armed slots", ticks / passes * 1e9, "ns", baseline / passes * 1e9,
           "two walks over 256 slots under a lock");
}

// ---- socket layer throughput ------------------------------------------------------------

const int kTotal = 64 * 1024 * 1024;
char receiveBuffer[2048];
std::atomic<long long> received;
HANDLE doneEvent;

void *Provider(intptr_t, int)
{
    return receiveBuffer;
}

intptr_t Count(intptr_t, int event, intptr_t info1, intptr_t, intptr_t)
{
    if (event == SOCK_EV_DATA)
        received += info1;
    else if (event == SOCK_EV_CLOSED || event == SOCK_EV_CONNECT_FAILED)
        SetEvent(doneEvent);
    return 0;
}

// A plain listening socket on a free loopback port; its port goes to *port.
SOCKET LoopbackListener(int backlog, uint16_t *port)
{
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener, (sockaddr *)&a, sizeof a);
    int length = sizeof a;
    getsockname(listener, (sockaddr *)&a, &length);
    *port = ntohs(a.sin_port);
    listen(listener, backlog);
    return listener;
}

// A plain server that sends kTotal bytes to its first client and closes.
struct Sender {
    SOCKET listener;
    uint16_t port;
    std::thread thread;
    Sender()
    {
        listener = LoopbackListener(1, &port);
        thread = std::thread([this] {
            SOCKET s = accept(listener, NULL, NULL);
            static char chunk[65536];
            for (int sent = 0; sent < kTotal;) {
                int n = send(s, chunk, sizeof chunk, 0);
                if (n <= 0)
                    break;
                sent += n;
            }
            shutdown(s, SD_SEND);
            char drain[256];
            while (recv(s, drain, sizeof drain, 0) > 0) {
            }
            closesocket(s);
        });
    }
    ~Sender()
    {
        thread.join();
        closesocket(listener);
    }
};

void BenchSockets()
{
    // Baseline: a blocking client reading 2048 bytes at a time.
    double baseline = BestSeconds(3, [&] {
        Sender server;
        SOCKET c = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(server.port);
        connect(c, (sockaddr *)&a, sizeof a);
        char buf[2048];
        long long total = 0;
        int n;
        while ((n = recv(c, buf, sizeof buf, 0)) > 0)
            total += n;
        closesocket(c);
    });

    SockInitParams params = {Provider, 0};
    SockStartup(&params);
    doneEvent = CreateEventA(NULL, FALSE, FALSE, NULL);
    double layer = BestSeconds(3, [&] {
        Sender server;
        received = 0;
        SockHandle h = NULL;
        SockConnect(0, "127.0.0.1", server.port, Count, &h);
        WaitForSingleObject(doneEvent, 120000);
    });
    SockCleanup();
    CloseHandle(doneEvent);
    double mib = kTotal / 1048576.0;
    Report("socket layer, 64 MiB over loopback", mib / layer, "MiB/s", mib / baseline,
           "blocking recv of 2048 bytes, same loopback");
}

// ---- memory of the I/O thread's passes --------------------------------------------------

std::atomic<long> layerAllocations;
void *(*realAlloc)(size_t);
ListNode *(*realAppend)(List *, const void *, int32_t);

void *CountingAlloc(size_t size)
{
    layerAllocations++;
    return realAlloc(size);
}

ListNode *CountingAppend(List *list, const void *bytes, int32_t size)
{
    layerAllocations++;
    return realAppend(list, bytes, size);
}

long HeapBusyBlocks()
{
    HANDLE heaps[64];
    DWORD n = GetProcessHeaps(64, heaps);
    long busy = 0;
    for (DWORD i = 0; i < n && i < 64; i++) {
        PROCESS_HEAP_ENTRY entry = {};
        HeapLock(heaps[i]);
        while (HeapWalk(heaps[i], &entry)) {
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
                busy++;
        }
        HeapUnlock(heaps[i]);
    }
    return busy;
}

intptr_t Ignore(intptr_t, int, intptr_t, intptr_t, intptr_t)
{
    return 0;
}

void BenchPassMemory()
{
    SockInitParams params = {Provider, 0};
    SockStartup(&params);
    uint16_t port = 0;
    SOCKET listener = LoopbackListener(16, &port);
    std::vector<SockHandle> handles(8);
    std::vector<SOCKET> peers;
    for (SockHandle &h : handles) {
        SockConnect(0, "127.0.0.1", port, Ignore, &h);
        peers.push_back(accept(listener, NULL, NULL));
    }
    Sleep(500);  // connected and idle: every pass now only selects and serves

    realAlloc = sSockSys.Alloc;
    realAppend = sSockSys.AppendCopy;
    sSockSys.Alloc = CountingAlloc;
    sSockSys.AppendCopy = CountingAppend;
    layerAllocations = 0;
    long before = HeapBusyBlocks();
    Sleep(5000);  // about 250 passes of 20 ms
    long after = HeapBusyBlocks();
    long made = layerAllocations;
    SockSysReset();

    printf("%-34s %12ld %-8s %7s   (baseline: none allowed)\n", "I/O passes, 8 idle connections, 5 s", made,
           "allocs", "");
    printf("%-34s %12ld %-8s %7s   (baseline: %ld blocks before)\n", "heap blocks after those passes", after,
           "blocks", "", before);
    for (SOCKET s : peers)
        closesocket(s);
    closesocket(listener);
    SockCleanup();
}

}  // namespace

int main()
{
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    BenchTimer();
    BenchSockets();
    BenchPassMemory();
    WSACleanup();
    return 0;
}
