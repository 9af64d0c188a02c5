// A fake quote service for in-process tests: plain blocking Winsock on a port of
// 127.0.0.1 (80 for the program's own requests), one thread per connection. Each
// connection's request (up to its empty line) is recorded and handed to the
// test's handler, which answers, stays silent or closes as the test needs.
#ifndef QUOTARION_TESTS_FAKE_SERVICE_H
#define QUOTARION_TESTS_FAKE_SERVICE_H

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct FakeService {
    // Called on the connection's own thread; returns when it is done with the socket,
    // which FakeService then closes.
    using Handler = std::function<void(FakeService &self, SOCKET s, const std::string &request)>;

    Handler handler;
    std::atomic<bool> stopping{false};
    std::atomic<int> connections{0};

    ~FakeService() { Stop(); }

    bool Start(uint16_t port = 80)
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        BOOL reuse = TRUE;
        setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, (const char *)&reuse, sizeof reuse);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(listener_, (sockaddr *)&a, sizeof a) != 0 || listen(listener_, 64) != 0) {
            closesocket(listener_);
            listener_ = INVALID_SOCKET;
            return false;
        }
        acceptor_ = std::thread([this] { AcceptLoop(); });
        return true;
    }

    void Stop()
    {
        if (listener_ == INVALID_SOCKET && !acceptor_.joinable())
            return;
        stopping = true;
        closesocket(listener_);
        listener_ = INVALID_SOCKET;
        if (acceptor_.joinable())
            acceptor_.join();
        std::vector<std::thread> threads;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (SOCKET s : open_)
                shutdown(s, SD_BOTH);  // wakes handlers blocked in recv
            threads.swap(threads_);
        }
        for (std::thread &t : threads)
            t.join();
        WSACleanup();
    }

    std::vector<std::string> Requests()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }

    size_t RequestCount()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_.size();
    }

    // Writes everything; false when the peer is gone.
    static bool SendAll(SOCKET s, const std::string &bytes)
    {
        size_t done = 0;
        while (done < bytes.size()) {
            int n = send(s, bytes.data() + done, (int)(bytes.size() - done), 0);
            if (n <= 0)
                return false;
            done += (size_t)n;
        }
        return true;
    }

    // Waits until the peer closes (or the service stops): a handler that says nothing.
    void HoldUntilClosed(SOCKET s)
    {
        char buf[256];
        while (!stopping && recv(s, buf, sizeof buf, 0) > 0) {
        }
    }

    // Sleeps up to ms, returning early when the service stops.
    void Pause(DWORD ms)
    {
        DWORD start = GetTickCount();
        while (!stopping && GetTickCount() - start < ms)
            Sleep(10);
    }

private:
    SOCKET listener_ = INVALID_SOCKET;
    std::thread acceptor_;
    std::mutex mutex_;
    std::vector<std::thread> threads_;
    std::vector<SOCKET> open_;
    std::vector<std::string> requests_;

    void AcceptLoop()
    {
        for (;;) {
            SOCKET s = accept(listener_, NULL, NULL);
            if (s == INVALID_SOCKET)
                return;  // the listener was closed
            connections++;
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping) {
                closesocket(s);
                return;
            }
            open_.push_back(s);
            threads_.emplace_back([this, s] { Serve(s); });
        }
    }

    void Serve(SOCKET s)
    {
        std::string request;
        char buf[1024];
        while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
            int n = recv(s, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            request.append(buf, (size_t)n);
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.push_back(request);
        }
        if (handler && !stopping)
            handler(*this, s, request);
        std::lock_guard<std::mutex> lock(mutex_);
        for (size_t i = 0; i < open_.size(); i++) {
            if (open_[i] == s) {
                open_.erase(open_.begin() + (long)i);
                break;
            }
        }
        closesocket(s);
    }
};

// A quote answer in the legacy service's layout: every key a real service sent,
// one per line with " : ", the first key without a leading comma, records
// separated by "," lines, ending with "}\n]\n".
struct QuoteRecordText {
    std::string ticker, exchange, price, change, lastTx, ccol;
};

inline std::string LegacyQuoteBody(const std::vector<QuoteRecordText> &records)
{
    std::string body = "// [\n";
    for (size_t i = 0; i < records.size(); i++) {
        const QuoteRecordText &r = records[i];
        body += i ? ",{\n" : "{\n";
        body += "\"id\": \"" + std::to_string(300000 + i) + "\"\n";
        body += ",\"t\" : \"" + r.ticker + "\"\n";
        body += ",\"e\" : \"" + r.exchange + "\"\n";
        body += ",\"l\" : \"" + r.price + "\"\n";
        body += ",\"l_fix\" : \"" + r.price + "\"\n";
        body += ",\"l_cur\" : \"" + r.price + "\"\n";
        body += ",\"s\": \"0\"\n";
        body += ",\"ltt\":\"4:00PM EST\"\n";
        if (!r.lastTx.empty())
            body += ",\"lt\" : \"" + r.lastTx + "\"\n";
        body += ",\"lt_dts\" : \"2026-12-10T16:00:00Z\"\n";
        body += ",\"c\" : \"" + r.change + "\"\n";
        body += ",\"c_fix\" : \"" + r.change + "\"\n";
        body += ",\"cp\" : \"0.34\"\n";
        body += ",\"cp_fix\" : \"0.34\"\n";
        body += ",\"ccol\" : \"" + r.ccol + "\"\n";
        body += ",\"pcls_fix\" : \"100.00\"\n";
        body += "}\n";
    }
    body += "]\n";
    return body;
}

inline std::string HttpOk(const std::string &body, const char *type = "text/plain")
{
    return std::string("HTTP/1.0 200 OK\r\nContent-Type: ") + type + "\r\n\r\n" + body;
}

#endif
