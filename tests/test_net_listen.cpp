// Listening sockets and datagram sockets of the socket layer, against plain Winsock
// peers on 127.0.0.1: the accept query and its answer, accepted connections served
// by the I/O thread, ports in use, silent listener closes, datagram round trips.
#include "test_net_support.h"

#include <thread>

namespace {

// Opens a listener on an ephemeral port; returns its port (host order).
uint16_t Listen(Recorder &rec)
{
    EXPECT_EQ(SockListen(0, Ud(rec), RecordCallback, &rec.handle), SOCK_OK);
    uint32_t addr = 1;
    uint16_t port = 0;
    EXPECT_EQ(SockGetLocalAddr(rec.handle, &addr, &port), SOCK_OK);
    EXPECT_EQ(addr, 0u) << "listens on every interface";
    return port;
}

TEST_F(NetTest, AcceptQueryAnswered0RefusesThePeer)
{
    Recorder listener;  // acceptInto stays 0: every peer is refused
    uint16_t port = Listen(listener);
    SOCKET peer = ConnectTo(port);
    ASSERT_NE(peer, INVALID_SOCKET);
    EXPECT_TRUE(WaitFor([&] { return listener.Count(SOCK_EV_ACCEPT_QUERY) == 1; }));
    EXPECT_TRUE(WaitPeerClosed(peer)) << "the refused peer sees its connection closed";

    std::vector<Event> events = listener.Snapshot();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].info1, 0);
    EXPECT_EQ(events[0].info2, LocalPort(peer)) << "the peer's port, host order";
    EXPECT_EQ(events[0].data, "127.0.0.1");
    EXPECT_EQ(StreamEntries(), 0) << "no entry remains";
    int32_t count = 0;
    SockGetCount(&count);
    EXPECT_EQ(count, 1) << "only the listener";
    closesocket(peer);
    SockClose(listener.handle);
    EXPECT_TRUE(CountIs(0));
}

// A kept peer: event 4 with the new handle on the listener thread, then data events
// with the value returned for event 3, on the I/O thread; SockSend answers the peer.
TEST_F(NetTest, AcceptedPeerBecomesAStreamEntry)
{
    Recorder accepted;
    Recorder listener;
    listener.acceptInto = Ud(accepted);
    uint16_t port = Listen(listener);
    SOCKET peer = ConnectTo(port);
    ASSERT_NE(peer, INVALID_SOCKET);
    EXPECT_TRUE(WaitFor([&] { return accepted.Count(SOCK_EV_ACCEPTED) == 1; }));
    ASSERT_NE(accepted.handle, nullptr);
    EXPECT_TRUE(CountIs(2));

    ASSERT_TRUE(SendAllTo(peer, "question"));
    EXPECT_TRUE(WaitFor([&] { return accepted.Data() == "question"; }));
    int32_t sent = 0;
    EXPECT_EQ(SockSend(accepted.handle, "answer", 6, &sent), SOCK_OK);
    EXPECT_EQ(RecvSome(peer, 6, 15000), "answer");
    closesocket(peer);
    EXPECT_TRUE(WaitFor([&] { return accepted.Final(); }));

    std::vector<Event> l = listener.Snapshot();
    std::vector<Event> a = accepted.Snapshot();
    ASSERT_EQ(l.size(), 1u);
    EXPECT_EQ(l[0].event, SOCK_EV_ACCEPT_QUERY);
    EXPECT_EQ(a.front().event, SOCK_EV_ACCEPTED);
    EXPECT_EQ(a.front().thread, l[0].thread) << "events 3 and 4 on the listener thread";
    EXPECT_EQ(a.back().event, SOCK_EV_CLOSED);
    for (const Event &e : a) {
        EXPECT_EQ(e.userData, Ud(accepted));
        if (e.event != SOCK_EV_ACCEPTED) {
            EXPECT_NE(e.thread, l[0].thread) << "later events on the I/O thread";
        }
    }
    EXPECT_EQ(accepted.Count(SOCK_EV_CONNECTED), 0u);
    EXPECT_EQ(accepted.Count(SOCK_EV_CLOSED), 1u);
    SockClose(listener.handle);
    EXPECT_TRUE(CountIs(0));
}

// The I/O thread must not serve an accepted entry before its event 4 has returned:
// a peer that sends and closes at once would otherwise have its data, its event 1 and
// the freeing of the entry before the owner has even seen the handle.
TEST_F(NetTest, AcceptedEntryIsServedOnlyAfterItsEvent4)
{
    Recorder accepted;
    std::atomic<int> duringEvent4{-1};
    accepted.hook = [&](Recorder &r, const Event &e) {
        if (e.event == SOCK_EV_ACCEPTED) {
            Sleep(300);  // a slow owner
            duringEvent4 = (int)r.Codes().size() - 1;
        }
    };
    Recorder listener;
    listener.acceptInto = Ud(accepted);
    uint16_t port = Listen(listener);
    SOCKET peer = ConnectTo(port);
    ASSERT_TRUE(SendAllTo(peer, "quick words"));
    closesocket(peer);
    EXPECT_TRUE(WaitFor([&] { return accepted.Final(); }));
    std::vector<int> codes = accepted.Codes();
    ASSERT_GE(codes.size(), 3u);
    EXPECT_EQ(codes.front(), SOCK_EV_ACCEPTED);
    EXPECT_EQ(codes.back(), SOCK_EV_CLOSED);
    EXPECT_EQ(accepted.Data(), "quick words");
    EXPECT_EQ(duringEvent4, 0) << "events came while event 4 was still running";
    SockClose(listener.handle);
    EXPECT_TRUE(CountIs(0));
}

// When the approved peer's entry cannot be made, the owner gets event 1 for the value
// it returned (on the listener thread) and the peer is closed gracefully.
TEST_F(NetTest, ApprovedPeerWithoutMemoryGetsEvent1AndIsClosed)
{
    static std::atomic<int> failNextAppend;
    failNextAppend = 0;
    sSockSys.AppendCopy = [](List *list, const void *bytes, int32_t size) -> ListNode * {
        if (failNextAppend.exchange(0))
            return nullptr;
        return ListAppendCopy(list, bytes, size);
    };
    Recorder accepted;
    Recorder listener;
    listener.acceptInto = Ud(accepted);
    listener.hook = [](Recorder &, const Event &e) {
        if (e.event == SOCK_EV_ACCEPT_QUERY)
            failNextAppend = 1;
    };
    uint16_t port = Listen(listener);
    SOCKET peer = ConnectTo(port);
    ASSERT_NE(peer, INVALID_SOCKET);
    EXPECT_TRUE(WaitFor([&] { return accepted.Final(); }));
    EXPECT_TRUE(WaitPeerClosed(peer));
    std::vector<Event> a = accepted.Snapshot();
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].event, SOCK_EV_CLOSED);
    EXPECT_EQ(a[0].userData, Ud(accepted));
    EXPECT_EQ(a[0].thread, listener.Snapshot()[0].thread);
    EXPECT_EQ(StreamEntries(), 0);
    closesocket(peer);

    // The listener goes on: the next peer is accepted normally.
    Recorder second;
    listener.acceptInto = Ud(second);
    listener.hook = nullptr;
    SOCKET peer2 = ConnectTo(port);
    EXPECT_TRUE(WaitFor([&] { return second.Count(SOCK_EV_ACCEPTED) == 1; }));
    closesocket(peer2);
    EXPECT_TRUE(WaitFor([&] { return second.Final(); }));
    SockClose(listener.handle);
    EXPECT_TRUE(CountIs(0));
}

TEST_F(NetTest, ListenOnAPortInUseGives7AndChangesNothing)
{
    SOCKET holder = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    ASSERT_EQ(bind(holder, (sockaddr *)&a, sizeof a), 0);
    listen(holder, 1);
    uint16_t port = LocalPort(holder);

    Recorder first;
    Listen(first);
    ListNode *firstNode = ListenList.first;
    ListNode *lastNode = ListenList.last;
    size_t liveBefore = LiveLayerSockets();

    Recorder rec;
    SockHandle h = (SockHandle)&rec;  // stale value: must be cleared
    EXPECT_EQ(SockListen(port, Ud(rec), RecordCallback, &h), SOCK_BIND_FAILED);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(ListenList.first, firstNode);
    EXPECT_EQ(ListenList.last, lastNode);
    EXPECT_EQ(ListenEntries(), 1);
    EXPECT_EQ(LiveLayerSockets(), liveBefore) << "the failed socket is closed";
    int32_t count = 0;
    SockGetCount(&count);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(SockListen(port, Ud(rec), nullptr, &h), SOCK_INVALID_PARAM);
    closesocket(holder);
    SockClose(first.handle);
    EXPECT_TRUE(CountIs(0));
}

// Without a handle pointer the socket still listens; SockClose ends a listener
// without any event, and its port is free again once the listener thread has passed.
TEST_F(NetTest, ListenerWithoutHandleAndSilentClose)
{
    Recorder accepted;
    Recorder rec;
    rec.acceptInto = Ud(accepted);
    ASSERT_EQ(SockListen(0, Ud(rec), RecordCallback, nullptr), SOCK_OK);
    ASSERT_EQ(ListenEntries(), 1);
    SockHandle h = EntryOf(ListenList.first);
    uint32_t addr;
    uint16_t port = 0;
    ASSERT_EQ(SockGetLocalAddr(h, &addr, &port), SOCK_OK);
    SOCKET peer = ConnectTo(port);
    EXPECT_TRUE(WaitFor([&] { return accepted.Count(SOCK_EV_ACCEPTED) == 1; }));
    closesocket(peer);
    EXPECT_TRUE(WaitFor([&] { return accepted.Final(); }));

    size_t before = rec.Snapshot().size();
    EXPECT_EQ(SockClose(h), SOCK_OK);
    EXPECT_TRUE(CountIs(0));
    EXPECT_EQ(ListenEntries(), 0);
    EXPECT_EQ(rec.Snapshot().size(), before) << "no event for a listener's close";
    SOCKET again = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    EXPECT_EQ(bind(again, (sockaddr *)&a, sizeof a), 0) << "the port is free again";
    closesocket(again);
}

// ---- Datagrams ----

SOCKET UdpPeer()
{
    SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, (sockaddr *)&a, sizeof a);
    DWORD ms = 15000;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, (const char *)&ms, sizeof ms);
    return s;
}

void SendDatagram(SOCKET from, uint16_t port, const std::string &bytes)
{
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(port);
    sendto(from, bytes.data(), (int)bytes.size(), 0, (sockaddr *)&to, sizeof to);
}

uint16_t OpenUdp(Recorder &rec)
{
    EXPECT_EQ(SockCreateUdp(Ud(rec), 0, RecordCallback, &rec.handle), SOCK_OK);
    uint32_t addr = 1;
    uint16_t port = 0;
    EXPECT_EQ(SockGetLocalAddr(rec.handle, &addr, &port), SOCK_OK);
    return port;
}

// Each datagram is one event 0 carrying the sender's port and address in network
// order; SockSendTo back to them (the port turned to host order) reaches the sender.
TEST_F(NetTest, DatagramRoundTrip)
{
    Recorder rec;
    rec.hook = [](Recorder &r, const Event &e) {
        if (e.event == SOCK_EV_DATA) {
            std::string reply = "re:" + e.data;
            EXPECT_EQ(SockSendTo(r.handle, (uint32_t)e.info3, ntohs((u_short)e.info2), reply.data(),
                                 (int32_t)reply.size()),
                      SOCK_OK);
        }
    };
    uint16_t port = OpenUdp(rec);
    SOCKET peer = UdpPeer();
    SendDatagram(peer, port, "one");
    SendDatagram(peer, port, "second");
    char buf[64];
    int n = recv(peer, buf, sizeof buf, 0);
    ASSERT_GT(n, 0);
    EXPECT_EQ(std::string(buf, n), "re:one");
    n = recv(peer, buf, sizeof buf, 0);
    ASSERT_GT(n, 0);
    EXPECT_EQ(std::string(buf, n), "re:second");

    std::vector<Event> events = rec.Snapshot();
    ASSERT_EQ(events.size(), 2u);
    for (const Event &e : events) {
        EXPECT_EQ(e.event, SOCK_EV_DATA);
        EXPECT_EQ(e.info2, htons(LocalPort(peer)));
        EXPECT_EQ((uint32_t)e.info3, SockAddrFromText("127.0.0.1"));
    }
    EXPECT_EQ(events[0].info1, 3);
    EXPECT_EQ(events[1].info1, 6);

    EXPECT_EQ(SockSendTo(rec.handle, 0, 1, nullptr, 1), SOCK_INVALID_PARAM);
    EXPECT_EQ(SockSendTo(rec.handle, 0, 1, "x", 0), SOCK_INVALID_PARAM);
    EXPECT_EQ(SockSendTo(nullptr, 0, 1, "x", 1), SOCK_INVALID_PARAM);
    SockClose(rec.handle);
    EXPECT_TRUE(WaitFor([&] { return rec.Final(); }));
    EXPECT_TRUE(CountIs(0));
    closesocket(peer);
}

TEST_F(NetTest, ZeroLengthDatagramEndsTheEntry)
{
    Recorder rec;
    uint16_t port = OpenUdp(rec);
    SOCKET peer = UdpPeer();
    SendDatagram(peer, port, "data");
    SendDatagram(peer, port, "");
    EXPECT_TRUE(WaitFor([&] { return rec.Final(); }));
    EXPECT_EQ(rec.Codes(), (std::vector<int>{SOCK_EV_DATA, SOCK_EV_CLOSED}));
    EXPECT_TRUE(CountIs(0));
    closesocket(peer);
}

// A datagram larger than the read size, and the port-unreachable report that follows
// a datagram sent to a closed port, leave a datagram entry open.
TEST_F(NetTest, DatagramEntrySurvivesOversizeAndUnreachable)
{
    Recorder rec;
    uint16_t port = OpenUdp(rec);
    SOCKET peer = UdpPeer();
    SendDatagram(peer, port, Pattern(SOCK_DEFAULT_RECV_SIZE + 1000));
    SendDatagram(peer, port, "after the big one");
    EXPECT_TRUE(WaitFor([&] { return rec.Data().find("after the big one") != std::string::npos; }));
    EXPECT_FALSE(rec.Final());

    EXPECT_EQ(SockSendTo(rec.handle, SockAddrFromText("127.0.0.1"), UnusedPort(), "lost", 4), SOCK_OK);
    long passes = gIoPasses;
    EXPECT_TRUE(WaitFor([&] { return gIoPasses > passes + 5; }));
    SendDatagram(peer, port, "still here");
    EXPECT_TRUE(WaitFor([&] { return rec.Data().find("still here") != std::string::npos; }));
    EXPECT_FALSE(rec.Final());
    SockClose(rec.handle);
    EXPECT_TRUE(CountIs(0));
    closesocket(peer);
}

// The same two errors through the seam, so the test does not depend on how the
// system reports them; on a stream entry they end the connection.
TEST_F(NetTest, DatagramErrorsThatKeepTheEntryOpen)
{
    static std::atomic<int> pendingError;
    pendingError = 0;
    sSockSys.RecvFrom = [](SOCKET s, char *b, int n, int f, sockaddr *a, int *al) -> int {
        int err = pendingError.exchange(0);
        if (err) {
            WSASetLastError(err);
            return SOCKET_ERROR;
        }
        return recvfrom(s, b, n, f, a, al);
    };
    for (int err : {WSAEMSGSIZE, WSAECONNRESET}) {
        Recorder rec;
        uint16_t port = OpenUdp(rec);
        SOCKET peer = UdpPeer();
        pendingError = err;
        SendDatagram(peer, port, "x");
        EXPECT_TRUE(WaitFor([&] { return pendingError == 0; }));
        SendDatagram(peer, port, "y");
        EXPECT_TRUE(WaitFor([&] { return rec.Data().find('y') != std::string::npos; })) << err;
        EXPECT_FALSE(rec.Final()) << err;
        SockClose(rec.handle);
        EXPECT_TRUE(CountIs(0));
        closesocket(peer);
    }
}

// Bound to a fixed port (5000, or the next free one if another program holds it):
// the local address gives that port and address 0, both in host order.
TEST_F(NetTest, LocalAddressOfADatagramEntryOnAFixedPort)
{
    Recorder rec;
    uint16_t wanted = 5000;
    int r = SOCK_BIND_FAILED;
    for (; wanted < 5020 && r == SOCK_BIND_FAILED; wanted++)
        r = SockCreateUdp(Ud(rec), wanted, RecordCallback, &rec.handle);
    wanted--;
    ASSERT_EQ(r, SOCK_OK);
    uint32_t addr = 77;
    uint16_t port = 0;
    EXPECT_EQ(SockGetLocalAddr(rec.handle, &addr, &port), SOCK_OK);
    EXPECT_EQ(port, wanted);
    EXPECT_EQ(addr, 0u);
    EXPECT_EQ(SockGetLocalAddr(rec.handle, nullptr, &port), SOCK_INVALID_PARAM);
    EXPECT_EQ(SockGetLocalAddr(rec.handle, &addr, nullptr), SOCK_INVALID_PARAM);
    EXPECT_EQ(SockGetLocalAddr(nullptr, &addr, &port), SOCK_INVALID_PARAM);

    // The same port again: bind fails, 7, and the socket is not kept.
    Recorder other;
    size_t live = LiveLayerSockets();
    SockHandle h = nullptr;
    EXPECT_EQ(SockCreateUdp(Ud(other), wanted, RecordCallback, &h), SOCK_BIND_FAILED);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(LiveLayerSockets(), live);
    EXPECT_EQ(SockCreateUdp(Ud(other), 0, RecordCallback, nullptr), SOCK_INVALID_PARAM);
    EXPECT_EQ(SockCreateUdp(Ud(other), 0, nullptr, &h), SOCK_INVALID_PARAM);
    SockClose(rec.handle);
    EXPECT_TRUE(CountIs(0));
}

}  // namespace
