/* QuoteServer.exe: the quote service that Quotarion talks to, as a console
 * program. It answers the quote and history requests on port 80 (or --port N)
 * from a simulated market, or from CSV files (--data DIR), serves only this
 * machine unless --allow-remote is given, writes one line per request to
 * standard output, and stops cleanly on Ctrl+C (or when its console closes).
 *
 * The main thread only starts the server, waits for the stop request that the
 * console control handler raises, and stops the server; all serving happens on
 * the socket layer's threads and the server's pump. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "service/svc_server.h"
#include "service/svc_time.h"

static volatile long bStopRequested;  /* set by the console control handler */
static volatile long bStopped;        /* set by the main thread once the server is down */

static BOOL WINAPI ConsoleHandler(DWORD type)
{
    InterlockedExchange(&bStopRequested, 1);
    if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT) {
        /* The process ends when this handler returns: give the stop its time. */
        for (int i = 0; i < 500 && !bStopped; i++)
            Sleep(10);
    }
    return TRUE;
}

static void Usage(void)
{
    fputs("Usage: QuoteServer [--port N] [--data DIR] [--allow-remote] [--now YYYY-MM-DDTHH:MM:SSZ]\n"
          "  --port N        listen on port N instead of 80\n"
          "  --data DIR      answer from DIR/TICKER.csv files (Date,Open,High,Low,Close,Volume)\n"
          "                  instead of the simulated market\n"
          "  --allow-remote  serve other machines too (by default only this one)\n"
          "  --now TIME      freeze the market clock at TIME (UTC), for demonstrations and tests\n",
          stderr);
}

/* "2026-12-10T17:03:20Z" to seconds since 1970; 0 when malformed. */
static int ParseUtc(const char *text, int64_t *utc)
{
    int32_t days;
    unsigned h, m, s;
    char z;
    if (strlen(text) != 20 || !SvcParseDate(text, 10, &days) || text[10] != 'T')
        return 0;
    if (sscanf(text + 11, "%2u:%2u:%2u%c", &h, &m, &s, &z) != 4 || z != 'Z' || h > 23 || m > 59 || s > 59)
        return 0;
    *utc = (int64_t)days * SVC_SECONDS_PER_DAY + h * 3600 + m * 60 + s;
    return 1;
}

int main(int argc, char **argv)
{
    ServerOptions options;
    memset(&options, 0, sizeof options);
    options.port = 80;
    options.log = stdout;

    for (int i = 1; i < argc; i++) {
        const char *arg = argv[i];
        const char *value = i + 1 < argc ? argv[i + 1] : NULL;
        if (strcmp(arg, "--port") == 0 && value) {
            char *end;
            long port = strtol(value, &end, 10);
            if (*end || port < 1 || port > 65535) {
                fprintf(stderr, "QuoteServer: not a port number: %s\n", value);
                return 2;
            }
            options.port = (uint16_t)port;
            i++;
        } else if (strcmp(arg, "--data") == 0 && value) {
            DWORD attributes = GetFileAttributesA(value);
            if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
                fprintf(stderr, "QuoteServer: no such folder: %s\n", value);
                return 2;
            }
            options.dataDir = value;
            i++;
        } else if (strcmp(arg, "--allow-remote") == 0) {
            options.allowRemote = 1;
        } else if (strcmp(arg, "--now") == 0 && value) {
            if (!ParseUtc(value, &options.fixedUtc) || options.fixedUtc <= 0) {
                fprintf(stderr, "QuoteServer: not a time like 2026-12-10T17:03:20Z: %s\n", value);
                return 2;
            }
            i++;
        } else {
            Usage();
            return strcmp(arg, "--help") == 0 || strcmp(arg, "-h") == 0 ? 0 : 2;
        }
    }

    SetConsoleCtrlHandler(ConsoleHandler, TRUE);
    int error = 0;
    if (!ServerStart(&options, &error)) {
        fprintf(stderr, "QuoteServer: cannot listen on port %u (socket layer result %d%s)\n",
                (unsigned)options.port, error, error == 7 ? ": the port is in use" : "");
        return 1;
    }
    printf("QuoteServer listening on port %u, %s, %s\n", (unsigned)options.port,
           options.dataDir ? "answering from the data folder" : "simulated market",
           options.allowRemote ? "serving the network" : "serving this machine only");
    if (options.dataDir)
        printf("Data folder: %s\n", options.dataDir);
    fflush(stdout);

    while (!bStopRequested)
        Sleep(50);
    ServerStop();
    ServerStats stats;
    ServerGetStats(&stats);
    printf("QuoteServer stopped: %lu answered, %lu dropped, %lu refused\n", (unsigned long)stats.answered,
           (unsigned long)stats.dropped, (unsigned long)stats.refused);
    fflush(stdout);
    InterlockedExchange(&bStopped, 1);
    return 0;
}
