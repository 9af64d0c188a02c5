/* What the program relies on of the quote service: where it is and what it is
 * asked. One TCP connection per request, one request text per connection, no
 * header lines; the service answers and closes the connection.
 * Pure: no Windows headers. */
#ifndef QUOTARION_MARKET_SERVICE_H
#define QUOTARION_MARKET_SERVICE_H

/* Host name of the service, resolved once to dotted text and then reused.
 * A build may point it elsewhere (CMake cache variable QUOTARION_SERVICE_HOST). */
#ifndef QUOTARION_SERVICE_HOST
#define QUOTARION_SERVICE_HOST "localhost"
#endif
#define SERVICE_HOST QUOTARION_SERVICE_HOST
#define SERVICE_PORT 80

/* Quote request: prefix, then every ticker followed by a comma, then the suffix. */
#define QUOTE_REQUEST_PREFIX "GET /finance/info?client=ig&q="
#define QUOTE_REQUEST_SUFFIX " HTTP/1.0\r\n\r\n"

/* The quote answer's body starts at this marker and the answer ends with the end marker. */
#define QUOTE_START_MARKER "// [\n{"
#define QUOTE_END_MARKER "}\n]\n"

/* History request for one ticker; the answer is CSV after a "\r\n\r\n" header end. */
#define HISTORY_REQUEST_FORMAT "GET /finance/historical?q=%s&output=csv HTTP/1.0\r\n\r\n"
#define HISTORY_HEADER_END "\r\n\r\n"

#endif
