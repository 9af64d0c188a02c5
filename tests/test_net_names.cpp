// Name and address helpers of the socket layer: resolving, the local host name, and
// the conversions between dotted text and 32-bit addresses.
#include "test_net_support.h"

namespace {

TEST_F(NetTest, ResolveCopiesDottedTextWithoutALookup)
{
    // Texts a lookup would change or reject: only a copy gives them back as they are.
    for (const char *text : {"1.2.3.4", "255.255.255.255", "999.1.1.1", "001.002.003.004"}) {
        char out[16];
        memset(out, 'Z', sizeof out);
        EXPECT_EQ(SockResolve(text, out), SOCK_OK) << text;
        EXPECT_STREQ(out, text);
    }
}

// Not dotted text: looked up as a host name. The system may know such a form (it
// reads 1.2.3 as 1.2.0.3) or not; either way the text is not simply copied.
TEST_F(NetTest, ResolveLooksUpWhatIsNotDottedText)
{
    for (const char *text : {"1.2.3", "1.2.3.4.5"}) {
        char out[16] = "untouched";
        int r = SockResolve(text, out);
        if (r == SOCK_OK) {
            EXPECT_STRNE(out, text);
            EXPECT_EQ(SockIsDottedQuad(out), 1) << out;
        } else {
            EXPECT_EQ(r, SOCK_ERR_SYSTEM) << text;
            EXPECT_STREQ(out, "untouched");
        }
    }
    char out[16] = "untouched";
    EXPECT_EQ(SockResolve("localhost", out), SOCK_OK);
    EXPECT_STREQ(out, "127.0.0.1");

    strcpy(out, "untouched");
    EXPECT_EQ(SockResolve("no-such-host.invalid", out), SOCK_ERR_SYSTEM);
    EXPECT_STREQ(out, "untouched") << "a failed lookup leaves the buffer as it was";
    EXPECT_EQ(SockResolve("", out), SOCK_INVALID_PARAM);
    EXPECT_EQ(SockResolve(nullptr, out), SOCK_INVALID_PARAM);
    EXPECT_EQ(SockResolve("localhost", nullptr), SOCK_INVALID_PARAM);
    EXPECT_STREQ(out, "untouched");
}

TEST_F(NetTest, HostNameIsTheSystemsOne)
{
    char expected[256] = "";
    ASSERT_EQ(gethostname(expected, sizeof expected), 0);
    char name[256] = "";
    EXPECT_EQ(SockGetHostName(name, sizeof name), SOCK_OK);
    EXPECT_STREQ(name, expected);
    char tiny[1];
    EXPECT_EQ(SockGetHostName(tiny, sizeof tiny), SOCK_ERR_SYSTEM) << "a buffer too small to hold it";
    EXPECT_EQ(SockGetHostName(name, 0), SOCK_INVALID_PARAM);
    EXPECT_EQ(SockGetHostName(nullptr, 10), SOCK_INVALID_PARAM);
}

TEST(NetNames, AddressConversionsWorkWithoutAStartedLayer)
{
    ASSERT_EQ(bSockInitialized, 0);
    uint32_t a = SockAddrFromText("10.0.0.1");
    EXPECT_EQ(a, inet_addr("10.0.0.1"));
    char out[16];
    SockAddrToText(a, out);
    EXPECT_STREQ(out, "10.0.0.1");
    EXPECT_EQ(SockAddrFromText("not an address"), INADDR_NONE);
    EXPECT_EQ(SockAddrFromText(nullptr), INADDR_NONE);
    EXPECT_EQ(SockIsDottedQuad("10.0.0.1"), 1);
}

}  // namespace
