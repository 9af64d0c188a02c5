// The quote service's server inside this process, on the program's socket layer:
// answers read back by the program's own parsers, the idle limit, the accept
// query's loopback rule, late events of reused slots, and peers that vanish in
// the middle of an answer. Clients are plain blocking Winsock sockets, so the
// server is the only user of the socket layer here.
// (The pure tests in test_service_*.cpp belong to this program too.)
#include <gtest/gtest.h>

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <string.h>

#include <string>
#include <thread>
#include <vector>

#include "market/history_parse.h"
#include "net/sock.h"
#include "service/svc_answer.h"
#include "service/svc_market.h"
#include "service/svc_server.h"
#include "test_service_support.h"

namespace {

using svctest::ExpectSame;
using svctest::Meant;
using svctest::MeantOf;
using svctest::ProgramReadsQuotes;
using svctest::Utc;

const int64_t kNow = Utc(2026, 12, 10, 17, 3, 20);

// Polls until the condition holds or 20 s have passed.
template <typename F>
bool WaitFor(F condition)
{
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > 20000)
            return condition();
        Sleep(10);
    }
    return true;
}

SOCKET Connect(uint16_t port, int receiveBuffer = 0)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return s;
    if (receiveBuffer)
        setsockopt(s, SOL_SOCKET, SO_RCVBUF, (const char *)&receiveBuffer, sizeof receiveBuffer);
    DWORD timeout = 30000;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, (const char *)&timeout, sizeof timeout);
    sockaddr_in addr;
    memset(&addr, 0, sizeof addr);
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s, (sockaddr *)&addr, sizeof addr) != 0) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

// Sends the request, reads until the server closes; "" on any failure.
std::string Exchange(uint16_t port, const std::string &request)
{
    std::string answer;
    SOCKET s = Connect(port);
    if (s == INVALID_SOCKET)
        return answer;
    if (!request.empty() && send(s, request.data(), (int)request.size(), 0) != (int)request.size()) {
        closesocket(s);
        return answer;
    }
    char buf[4096];
    int n;
    while ((n = recv(s, buf, sizeof buf, 0)) > 0)
        answer.append(buf, n);
    closesocket(s);
    return answer;
}

class ServiceServer : public ::testing::Test {
protected:
    void SetUp() override
    {
        WSADATA wsa;
        ASSERT_EQ(0, WSAStartup(MAKEWORD(2, 2), &wsa));
    }

    void Start(uint32_t idleLimitMs = 0, int allowRemote = 0, int32_t sendBuffer = 0)
    {
        ServerOptions options;
        memset(&options, 0, sizeof options);
        options.port = 0;  // the system picks a free port
        options.fixedUtc = kNow;
        options.idleLimitMs = idleLimitMs;
        options.allowRemote = allowRemote;
        options.sendBuffer = sendBuffer;
        int error = -1;
        ASSERT_EQ(1, ServerStart(&options, &error)) << error;
        port = ServerPort();
        ASSERT_NE(0, port);
    }

    // Every connection gone: no slot in use, only the listening entry left.
    void ExpectNothingOpen()
    {
        ServerStats stats;
        EXPECT_TRUE(WaitFor([&] {
            ServerGetStats(&stats);
            return stats.open == 0;
        })) << stats.open;
        int32_t entries = -1;
        EXPECT_TRUE(WaitFor([&] {
            SockGetCount(&entries);
            return entries == 1;
        })) << entries;
    }

    void TearDown() override
    {
        ServerStop();
        int32_t entries = 77;
        SockGetCount(&entries);  // the layer is stopped: left untouched
        EXPECT_EQ(77, entries);
        WSACleanup();
    }

    uint16_t port = 0;
};

TEST_F(ServiceServer, AnswersReadBackByTheProgramsParsers)
{
    Start();
    std::string answer = Exchange(port, "GET /finance/info?client=ig&q=GOOG,xyz,BRK.B, HTTP/1.0\r\n\r\n");
    ASSERT_EQ(0u, answer.find("HTTP/1.0 200 OK\r\n"));
    std::vector<Meant> meant;
    for (const char *t : {"GOOG", "xyz", "BRK.B"}) {
        SvcQuote q;
        SvcSimQuote(t, kNow, &q);
        meant.push_back(MeantOf(q));
    }
    ExpectSame(meant, ProgramReadsQuotes(answer.data(), answer.size()), "over the server");

    answer = Exchange(port, "GET /finance/historical?q=GOOG&output=csv HTTP/1.0\r\n\r\n");
    size_t body = 0;
    ASSERT_EQ(1, HistoryFindBody(answer.data(), answer.size(), &body));
    HistoryData *read = (HistoryData *)malloc(sizeof(HistoryData));
    SvcHistory *history = (SvcHistory *)malloc(sizeof(SvcHistory));
    HistoryParseBody(answer.data() + body, answer.size() - body, read);
    SvcSimHistory("GOOG", kNow, history);
    ASSERT_EQ(history->count, read->count);
    for (int32_t i = 0; i < history->count; i++)
        ASSERT_EQ(history->days[i].close, read->values[history->count - 1 - i]) << i;
    free(read);
    free(history);

    ServerStats stats;
    ServerGetStats(&stats);
    EXPECT_EQ(2u, stats.answered);
    ExpectNothingOpen();
}

TEST_F(ServiceServer, SilentPeerGets400AtTheIdleLimitAndOthersAreServedMeanwhile)
{
    Start(1500);
    SOCKET silent = Connect(port);
    ASSERT_NE(INVALID_SOCKET, silent);
    DWORD start = GetTickCount();
    // Served while the silent peer waits.
    std::string other = Exchange(port, "GET /finance/info?client=ig&q=A, HTTP/1.0\r\n\r\n");
    EXPECT_EQ(0u, other.find("HTTP/1.0 200 OK\r\n"));
    EXPECT_LT(GetTickCount() - start, 1400u);
    std::string answer;
    char buf[512];
    int n;
    while ((n = recv(silent, buf, sizeof buf, 0)) > 0)
        answer.append(buf, n);
    DWORD waited = GetTickCount() - start;
    closesocket(silent);
    EXPECT_EQ(0u, answer.find("HTTP/1.0 400 Bad Request\r\n")) << answer;
    EXPECT_GE(waited, 1400u);
    ExpectNothingOpen();
}

TEST_F(ServiceServer, AcceptQueryServesLoopbackOnlyUnlessRemoteIsAllowed)
{
    Start();
    ServerStats before, after;
    ServerGetStats(&before);
    EXPECT_EQ(0, ServerSocketEvent(1, SOCK_EV_ACCEPT_QUERY, 0, 40000, (intptr_t) "192.168.1.20"));
    EXPECT_EQ(0, ServerSocketEvent(1, SOCK_EV_ACCEPT_QUERY, 0, 40000, (intptr_t) "10.0.0.1"));
    intptr_t local = ServerSocketEvent(1, SOCK_EV_ACCEPT_QUERY, 0, 40000, (intptr_t) "127.0.0.1");
    EXPECT_NE(0, local);
    ServerSocketEvent(local, SOCK_EV_CLOSED, 0, 0, 0);  // a peer that left at once
    ServerGetStats(&after);
    EXPECT_EQ(before.refused + 2, after.refused);
    EXPECT_EQ(0, after.open);
    ServerStop();

    Start(0, 1);
    intptr_t remote = ServerSocketEvent(1, SOCK_EV_ACCEPT_QUERY, 0, 40000, (intptr_t) "192.168.1.20");
    EXPECT_NE(0, remote);
    ServerSocketEvent(remote, SOCK_EV_CLOSED, 0, 0, 0);
    ExpectNothingOpen();
}

// A connection's slot is reused as soon as its final event has run. Events that
// still carry the old userData (the layer cannot take back one already being
// delivered) must not touch the new connection.
TEST_F(ServiceServer, LateEventsOfAReusedSlotAreIgnored)
{
    Start(300);
    intptr_t first = ServerSocketEvent(1, SOCK_EV_ACCEPT_QUERY, 0, 1, (intptr_t) "127.0.0.1");
    ASSERT_NE(0, first);
    ServerSocketEvent(first, SOCK_EV_CLOSED, 0, 0, 0);
    intptr_t second = ServerSocketEvent(1, SOCK_EV_ACCEPT_QUERY, 0, 2, (intptr_t) "127.0.0.1");
    ASSERT_NE(0, second);
    EXPECT_EQ(first & 0xFFFF, second & 0xFFFF) << "the freed slot is the one reused";
    EXPECT_NE(first, second);

    // A stale final event must not free the new connection's slot.
    ServerSocketEvent(first, SOCK_EV_CLOSED, 0, 0, 0);
    ServerStats stats;
    ServerGetStats(&stats);
    EXPECT_EQ(1, stats.open);
    // A stale accepted event must not hand the new slot a handle: past the idle
    // limit the server would answer on it (here a bogus one, which would crash).
    ServerSocketEvent(first, SOCK_EV_ACCEPTED, (intptr_t)0x1234, 0, 0);
    Sleep(900);
    ServerGetStats(&stats);
    EXPECT_EQ(0u, stats.answered + stats.dropped);
    // userData naming no slot at all.
    ServerSocketEvent((intptr_t)0x7FFF0000 | (SERVER_SLOTS + 5), SOCK_EV_CLOSED, 0, 0, 0);
    ServerSocketEvent(0, SOCK_EV_DATA, 10, 0, 0);
    ServerSocketEvent(second, SOCK_EV_CLOSED, 0, 0, 0);
    ExpectNothingOpen();
}

// Peers that ask for a big answer and vanish without reading it: with a small
// send buffer the server's sends are retried by its pump while the I/O thread
// learns of the peer's end, so both threads meet on the same slot. Afterwards
// every slot is free, each request was either answered or dropped, and the
// server still serves.
TEST_F(ServiceServer, PeersVanishingInTheMiddleOfAnswers)
{
    Start(0, 0, 4096);
    std::string tickers;
    for (int i = 0; i < SVC_MAX_TICKERS; i++)
        tickers += "T" + std::to_string(i) + ",";
    const std::string request = "GET /finance/info?client=ig&q=" + tickers + " HTTP/1.0\r\n\r\n";
    const int kClients = 40;
    std::vector<std::thread> clients;
    for (int i = 0; i < kClients; i++) {
        clients.emplace_back([&, i] {
            SOCKET s = Connect(port, 1024);
            if (s == INVALID_SOCKET)
                return;
            send(s, request.data(), (int)request.size(), 0);
            char buf[512];
            recv(s, buf, sizeof buf, 0);  // the answer has begun
            if (i % 2) {
                // Leave with unread bytes: an abortive close (reset).
                linger l = {1, 0};
                setsockopt(s, SOL_SOCKET, SO_LINGER, (const char *)&l, sizeof l);
            }
            closesocket(s);
        });
    }
    for (std::thread &t : clients)
        t.join();
    ExpectNothingOpen();
    ServerStats stats;
    ServerGetStats(&stats);
    EXPECT_EQ((uint32_t)kClients, stats.answered + stats.dropped);
    std::string answer = Exchange(port, "GET /finance/info?client=ig&q=IBM, HTTP/1.0\r\n\r\n");
    EXPECT_EQ(0u, answer.find("HTTP/1.0 200 OK\r\n"));
    EXPECT_EQ(answer.size() - 4, answer.rfind("}\n]\n"));
}

TEST_F(ServiceServer, StopsWithConnectionsOpenAndStartsAgain)
{
    Start();
    SOCKET idle = Connect(port);
    ASSERT_NE(INVALID_SOCKET, idle);
    ServerStats stats;
    ASSERT_TRUE(WaitFor([&] {
        ServerGetStats(&stats);
        return stats.open == 1;
    }));
    ServerStop();  // closes the waiting connection without an answer
    char c;
    EXPECT_LE(recv(idle, &c, 1, 0), 0);
    closesocket(idle);
    ServerGetStats(&stats);
    EXPECT_EQ(0, stats.open);
    Start();
    std::string answer = Exchange(port, "GET /finance/info?client=ig&q=A, HTTP/1.0\r\n\r\n");
    EXPECT_EQ(0u, answer.find("HTTP/1.0 200 OK\r\n"));
    ExpectNothingOpen();
}

}  // namespace
