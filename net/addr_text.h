/* Dotted IPv4 text: the test for it and the formatting of a 32-bit address.
 * Pure logic (no Windows headers), shared by the socket layer and its tests; both
 * functions are also declared, identically, in net/sock.h. */
#ifndef QUOTARION_NET_ADDR_TEXT_H
#define QUOTARION_NET_ADDR_TEXT_H

#include <stdint.h>

/* 1 when the text is exactly four groups of one to three decimal digits joined by
 * single dots (7 to 15 characters; group values are not checked, so 999.1.1.1
 * passes), else 0. A null text gives 0. Any thread; cannot fail. */
int SockIsDottedQuad(const char *text);

/* Writes "%u.%u.%u.%u" of the address's four bytes, least significant first, so an
 * address in network byte order reads as usual. dotted holds at least 16 bytes.
 * Any thread; cannot fail. */
void SockAddrToText(uint32_t address, char *dotted);

#endif
