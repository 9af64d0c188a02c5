// Shared pieces of the socket layer's tests: waiting on conditions, an event recorder
// used as the layer's callback, plain Winsock peers on 127.0.0.1, the counting seams
// (sockets the layer holds, select passes, thread starts) and the test fixture.
#pragma once

#include "net/sock_internal.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

// Polls the condition every few milliseconds until it holds or the deadline passes.
bool WaitFor(const std::function<bool()> &cond, int ms = 15000);

// ---- The buffer provider ----
// Each thread gets its own buffer, so a test can read the bytes of an event 0 in the
// callback whatever thread delivers it. gRefuseBuffers > 0 makes the provider return
// null (and count down); gRefuseAll makes it refuse until cleared.
extern std::atomic<int> gRefuseBuffers;
extern std::atomic<int> gRefuseAll;
extern std::atomic<int> gProviderCalls;
extern std::atomic<int> gLastAskedSize;
extern std::function<bool()> gRefuseWhen;  // refuses while it answers true
void *TestProvider(intptr_t userData, int count);
void ResetProvider();
const char *LastProvidedBuffer();  // this thread's buffer

// ---- Events ----
struct Event {
    int event;
    intptr_t userData;
    intptr_t info1, info2, info3;
    std::string data;  // event 0: the bytes; event 3: the peer's text
    DWORD thread;
    long pass;         // I/O passes (selects) seen when the event came
    int sockWas;       // the entry's sock field at the event was non-zero
};

// Used as userData: every callback call is recorded here. For event 3 it answers with
// acceptInto (0 refuses). hook runs inside the callback after recording.
struct Recorder {
    std::mutex m;
    std::vector<Event> events;
    intptr_t acceptInto = 0;
    SockHandle handle = nullptr;  // the entry this recorder belongs to (set by the test or event 4)
    std::function<void(Recorder &, const Event &)> hook;

    std::vector<Event> Snapshot();
    size_t Count(int event);
    std::string Data();          // all event 0 bytes in order
    bool Final();                // an event 1 or 5 has come
    std::vector<int> Codes();    // the event codes in order
};
intptr_t RecordCallback(intptr_t userData, int event, intptr_t info1, intptr_t info2, intptr_t info3);
inline intptr_t Ud(Recorder &r)
{
    return (intptr_t)&r;
}

// ---- Plain Winsock peers on 127.0.0.1 (blocking, with time-outs) ----
struct TestListener {
    SOCKET s = INVALID_SOCKET;
    uint16_t port = 0;
    TestListener();
    ~TestListener();
    SOCKET Accept(int ms = 15000);  // INVALID_SOCKET on time-out
};
SOCKET ConnectTo(uint16_t port);            // connected blocking socket, or INVALID_SOCKET
uint16_t UnusedPort();                      // a port where nothing listens (just freed)
bool SendAllTo(SOCKET s, const std::string &bytes);
// Reads until count bytes arrived, the peer closed or ms passed; closed says whether
// the peer's close (0 bytes or a reset) was seen.
std::string RecvSome(SOCKET s, size_t count, int ms, bool *closed = nullptr);
// Reads until the peer closes (or ms passes); true when the close was seen.
bool WaitPeerClosed(SOCKET s, int ms = 15000, std::string *rest = nullptr);
uint16_t LocalPort(SOCKET s);
std::string Pattern(size_t length, int seed = 0);

// ---- Counting seams ----
// Sockets the layer has made (socket, accept) and not yet closed.
size_t LiveLayerSockets();
bool LayerSocketLive(SOCKET s);
// select calls made by the I/O thread (the listener thread's calls are not counted).
extern std::atomic<long> gIoPasses;
// Called on the I/O thread with its three sets right before each select.
extern std::function<void(fd_set *, fd_set *, fd_set *)> gBeforeIoSelect;
extern std::atomic<int> gThreadStarts;
void InstallCountingSeams();

// Number of entries in a list, read under its lock (the layer must be started).
int StreamEntries();
int ListenEntries();

// ---- Fixture: a started layer (SSL switch off unless the test says so) ----
class NetTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    int Start(int sslEnabled = 0);
    // Waits until SockGetCount gives n.
    bool CountIs(int n, int ms = 15000);
    // Opens a connection to the listener and waits for both ends: event 2 on the
    // recorder and the accepted socket on the test's side.
    SockHandle Connect(TestListener &server, Recorder &rec, SOCKET *peer);
};
