// The test run's HTTP server (scripts/lib/http_server.py, started by scripts/test on
// 127.0.0.1; its port comes in WISP_HTTP_PORT) and what tests need around it.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace testing_support {

// Empty when the run gave no server.
std::string TestHttpHost();
unsigned short TestHttpPort();
// "http://<host>:<port>" + target.
std::string TestHttpUrl(const std::string& target);
// The server's /pattern body of `size` bytes.
std::string HttpPattern(std::size_t size);
// Percent-encoding for a query value.
std::string UrlEncode(const std::string& text);
// A GET made with WinINet by the test itself: false when no answer came.
bool FetchUrl(const std::string& url, unsigned long& status, std::string& body);
// A loopback port nobody listens on.
unsigned short ClosedPort();

// Takes one connection on a loopback port and keeps the first bytes the client sends, then
// closes it and the port: what a client puts on the wire, whatever the protocol.
class FirstBytesListener {
public:
    FirstBytesListener();
    ~FirstBytesListener();
    FirstBytesListener(const FirstBytesListener&) = delete;
    FirstBytesListener& operator=(const FirstBytesListener&) = delete;

    unsigned short Port() const { return m_port; }
    // Waits for the connection and its first bytes; empty when none came in time.
    std::string Receive(DWORD timeoutMs);

private:
    UINT_PTR m_listener = ~UINT_PTR(0);   // a SOCKET
    unsigned short m_port = 0;
};

}  // namespace testing_support
