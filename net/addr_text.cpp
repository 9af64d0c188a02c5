/* Dotted IPv4 text; see addr_text.h. Kept free of Windows headers so that it is
 * tested natively under the sanitizers. */
#include "net/addr_text.h"

#include <stdio.h>

int SockIsDottedQuad(const char *text)
{
    if (!text)
        return 0;
    int length = 0;
    while (length <= 15 && text[length])
        length++;
    if (length < 7 || length > 15)
        return 0;

    int dots = 0;
    int digits = 0;
    for (const char *p = text;; p++) {
        char c = *p;
        if (c == '\0')
            return dots == 3 && digits > 0;
        if (c >= '0' && c <= '9') {
            if (++digits > 3)
                return 0;
        } else if (c == '.') {
            if (dots == 3 || digits == 0)
                return 0;
            digits = 0;
            dots++;
        } else {
            return 0;
        }
    }
}

void SockAddrToText(uint32_t address, char *dotted)
{
    if (!dotted)
        return;
    snprintf(dotted, 16, "%u.%u.%u.%u", (unsigned)(address & 0xff), (unsigned)((address >> 8) & 0xff),
             (unsigned)((address >> 16) & 0xff), (unsigned)((address >> 24) & 0xff));
}
