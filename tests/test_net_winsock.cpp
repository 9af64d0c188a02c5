// What the socket layer takes from Winsock as it behaves under Windows and Wine,
// proved on real sockets rather than assumed.
#include "test_net_support.h"

namespace {

// A non-blocking connect that fails shows in the exception set (not only as
// "writable"): this is how the I/O thread tells event 5 from event 2.
TEST(Winsock, FailedNonBlockingConnectShowsInTheExceptionSet)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(UnusedPort());
    int r = connect(s, (sockaddr *)&a, sizeof a);
    ASSERT_EQ(r, SOCKET_ERROR);
    ASSERT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
    bool failed = false;
    for (int i = 0; i < 100 && !failed; i++) {
        fd_set w, x;
        FD_ZERO(&w);
        FD_ZERO(&x);
        FD_SET(s, &w);
        FD_SET(s, &x);
        TIMEVAL t = {0, 100000};
        if (select(0, nullptr, &w, &x, &t) > 0) {
            EXPECT_TRUE(FD_ISSET(s, &x));
            EXPECT_FALSE(FD_ISSET(s, &w)) << "a failed connect is not writable";
            failed = true;
        }
    }
    EXPECT_TRUE(failed);
    int err = 0;
    int len = sizeof err;
    getsockopt(s, SOL_SOCKET, SO_ERROR, (char *)&err, &len);
    EXPECT_EQ(err, WSAECONNREFUSED);
    closesocket(s);
}

// select with all three sets empty fails at once instead of waiting, which is why the
// layer's threads sleep 1 ms when they have nothing to watch.
TEST(Winsock, SelectWithThreeEmptySetsFails)
{
    fd_set r, w, x;
    FD_ZERO(&r);
    FD_ZERO(&w);
    FD_ZERO(&x);
    TIMEVAL t = {0, 20000};
    EXPECT_EQ(select(0, &r, &w, &x, &t), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
    EXPECT_EQ(select(0, nullptr, nullptr, nullptr, &t), SOCKET_ERROR);
}

// A set holds FD_SETSIZE sockets, 64 unless it is defined before winsock2.h; FD_SET
// adds nothing to a full set and nothing twice.
TEST(Winsock, SetHolds64SocketsAndIgnoresTheRest)
{
    static_assert(FD_SETSIZE == 64, "the layer's 64-entry window assumes the default set size");
    SOCKET socks[FD_SETSIZE + 2];
    fd_set set;
    FD_ZERO(&set);
    for (SOCKET &s : socks) {
        s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        ASSERT_NE(s, INVALID_SOCKET);
        FD_SET(s, &set);
    }
    EXPECT_EQ(set.fd_count, 64u);
    EXPECT_FALSE(FD_ISSET(socks[FD_SETSIZE], &set));
    FD_CLR(socks[0], &set);
    FD_SET(socks[1], &set);
    EXPECT_EQ(set.fd_count, 63u);
    FD_SET(socks[FD_SETSIZE + 1], &set);
    EXPECT_EQ(set.fd_count, 64u);
    EXPECT_TRUE(FD_ISSET(socks[FD_SETSIZE + 1], &set));
    for (SOCKET s : socks)
        closesocket(s);
}

}  // namespace
