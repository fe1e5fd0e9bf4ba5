#include <winsock2.h>

#include "tests/support/TestHttpServer.h"

#include <wininet.h>

#include <cstdio>
#include <cstdlib>

#include "common/com/Handle.h"

namespace testing_support {

namespace {

std::string Environment(const char* name)
{
    char value[256] = {};
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
}

struct WinsockUser {
    WinsockUser()
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~WinsockUser() { WSACleanup(); }
};

void EnsureWinsock()
{
    static WinsockUser user;
}

SOCKET LoopbackListener(unsigned short& port)
{
    EnsureWinsock();
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return s;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(s, 4) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    port = ntohs(address.sin_port);
    return s;
}

}  // namespace

std::string TestHttpHost()
{
    return Environment("WISP_HTTP_HOST");
}

unsigned short TestHttpPort()
{
    return static_cast<unsigned short>(std::atoi(Environment("WISP_HTTP_PORT").c_str()));
}

std::string TestHttpUrl(const std::string& target)
{
    return "http://" + TestHttpHost() + ":" + std::to_string(TestHttpPort()) + target;
}

std::string HttpPattern(std::size_t size)
{
    static const std::string line = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ!\n";
    std::string text;
    text.reserve(size);
    while (text.size() + line.size() <= size)
        text += line;
    text += line.substr(0, size - text.size());
    return text;
}

std::string UrlEncode(const std::string& text)
{
    std::string out;
    for (unsigned char c : text) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
            c == '.') {
            out += static_cast<char>(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            out += escaped;
        }
    }
    return out;
}

bool FetchUrl(const std::string& url, unsigned long& status, std::string& body)
{
    body.clear();
    UniqueInternet session(InternetOpenA("wisp-tests", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    if (!session)
        return false;
    UniqueInternet request(InternetOpenUrlA(session.Get(), url.c_str(), nullptr, 0,
                                            INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0));
    if (!request)
        return false;
    DWORD code = 0;
    DWORD size = sizeof code;
    if (!HttpQueryInfoA(request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code, &size, nullptr))
        return false;
    status = code;
    char buffer[65536];
    DWORD read = 0;
    while (InternetReadFile(request.Get(), buffer, sizeof buffer, &read) && read > 0)
        body.append(buffer, read);
    return true;
}

unsigned short ClosedPort()
{
    unsigned short port = 0;
    SOCKET s = LoopbackListener(port);
    if (s != INVALID_SOCKET)
        closesocket(s);
    return port;
}

FirstBytesListener::FirstBytesListener()
{
    m_listener = LoopbackListener(m_port);
}

FirstBytesListener::~FirstBytesListener()
{
    if (m_listener != INVALID_SOCKET)
        closesocket(m_listener);
}

std::string FirstBytesListener::Receive(DWORD timeoutMs)
{
    if (m_listener == INVALID_SOCKET)
        return {};
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(m_listener, &readable);
    timeval wait = {static_cast<long>(timeoutMs / 1000), static_cast<long>((timeoutMs % 1000) * 1000)};
    if (select(0, &readable, nullptr, nullptr, &wait) <= 0)
        return {};
    SOCKET client = accept(m_listener, nullptr, nullptr);
    // One connection only: a client that tries again finds the port closed at once.
    closesocket(m_listener);
    m_listener = INVALID_SOCKET;
    if (client == INVALID_SOCKET)
        return {};
    std::string bytes;
    FD_ZERO(&readable);
    FD_SET(client, &readable);
    if (select(0, &readable, nullptr, nullptr, &wait) > 0) {
        char buffer[512];
        const int got = recv(client, buffer, sizeof buffer, 0);
        if (got > 0)
            bytes.assign(buffer, static_cast<std::size_t>(got));
    }
    closesocket(client);
    return bytes;
}

}  // namespace testing_support
