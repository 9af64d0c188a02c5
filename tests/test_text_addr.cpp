// Dotted IPv4 text: the test that decides whether a name needs a lookup, and the
// formatting of a 32-bit address (pure logic, run natively under the sanitizers).
#include "net/addr_text.h"

#include <gtest/gtest.h>

#include <string.h>

namespace {

TEST(AddrText, DottedQuadAcceptsExactlyFourGroupsOfOneToThreeDigits)
{
    struct Case {
        const char *text;
        int dotted;
    } cases[] = {
        {"1.2.3.4", 1},
        {"255.255.255.255", 1},  // 15 characters, the longest
        {"999.1.1.1", 1},        // group values are not checked
        {"001.002.003.004", 1},
        {"0.0.0.0", 1},
        {"1.2.3", 0},
        {"1.2.3.4.5", 0},
        {"1234.1.1.1", 0},
        {"1..2.3", 0},
        {"1.2..3", 0},
        {".1.2.3", 0},
        {"1.2.3.", 0},
        {"1.2.3.4.", 0},
        {"a.b.c.d", 0},
        {"1.2.3.4a", 0},
        {"1.2.3.-4", 0},
        {" 1.2.3.4", 0},
        {"1.2.3.4 ", 0},
        {"localhost", 0},
        {"", 0},
        {"1.2.34", 0},             // 6 characters
        {"1.2.3.4444", 0},         // 4 digits in the last group
        {"1111.222.333.444", 0},   // 16 characters
        {"12.12.12.1234567", 0},   // 16 characters
    };
    for (const Case &c : cases)
        EXPECT_EQ(SockIsDottedQuad(c.text), c.dotted) << '"' << c.text << '"';
    EXPECT_EQ(SockIsDottedQuad(nullptr), 0);
}

TEST(AddrText, AddressPrintsLeastSignificantByteFirst)
{
    struct Case {
        uint32_t address;
        const char *text;
    } cases[] = {
        {0x0100007Fu, "127.0.0.1"},  // 127.0.0.1 in network order on a little-endian host
        {0x0100000Au, "10.0.0.1"},
        {0xFFFFFFFFu, "255.255.255.255"},
        {0x00000000u, "0.0.0.0"},
        {0x04030201u, "1.2.3.4"},
    };
    for (const Case &c : cases) {
        char out[20];
        memset(out, 'Z', sizeof out);
        SockAddrToText(c.address, out);
        EXPECT_STREQ(out, c.text);
        for (size_t i = 16; i < sizeof out; i++)
            EXPECT_EQ(out[i], 'Z') << "written past 16 bytes";
    }
}

}  // namespace
