#include "tests/support/LocalHttpServer.h"

#include <ws2tcpip.h>

#include <cctype>

namespace testing_support {

namespace {

std::string Lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

const char* Reason(int status)
{
    switch (status) {
    case 200: return "OK";
    case 302: return "Found";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    default: return "Status";
    }
}

// Reads until the peer stops or the time runs out; false on a closed or failed socket.
bool ReadSome(SOCKET s, std::string& into)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    timeval wait = {5, 0};
    if (select(0, &readable, nullptr, nullptr, &wait) <= 0)
        return false;
    char buffer[4096];
    int got = recv(s, buffer, sizeof buffer, 0);
    if (got <= 0)
        return false;
    into.append(buffer, static_cast<std::size_t>(got));
    return true;
}

}  // namespace

LocalHttpServer::LocalHttpServer(Handler handler) : m_handler(std::move(handler)) {}

LocalHttpServer::~LocalHttpServer()
{
    Stop();
    if (m_wsa)
        WSACleanup();
}

bool LocalHttpServer::Start()
{
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return false;
    m_wsa = true;
    m_listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (m_listener == INVALID_SOCKET)
        return false;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(m_listener, 16) != 0)
        return false;
    int size = sizeof address;
    getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &size);
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { Run(); });
    return true;
}

void LocalHttpServer::Stop()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_listener != INVALID_SOCKET) {
        closesocket(m_listener);
        m_listener = INVALID_SOCKET;
    }
}

std::string LocalHttpServer::BaseUrl() const
{
    return "http://127.0.0.1:" + std::to_string(m_port);
}

std::vector<HttpRequest> LocalHttpServer::Requests() const
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_requests;
}

void LocalHttpServer::Run()
{
    while (!m_stop) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(m_listener, &readable);
        timeval wait = {0, 100000};
        if (select(0, &readable, nullptr, nullptr, &wait) <= 0)
            continue;
        SOCKET client = accept(m_listener, nullptr, nullptr);
        if (client == INVALID_SOCKET)
            continue;
        Serve(client);
        closesocket(client);
    }
}

void LocalHttpServer::Serve(SOCKET client)
{
    std::string data;
    std::size_t headerEnd;
    while ((headerEnd = data.find("\r\n\r\n")) == std::string::npos)
        if (!ReadSome(client, data))
            return;
    HttpRequest request;
    std::string head = data.substr(0, headerEnd);
    std::size_t lineEnd = head.find("\r\n");
    std::string first = head.substr(0, lineEnd);
    std::size_t sp1 = first.find(' '), sp2 = first.rfind(' ');
    if (sp1 == std::string::npos || sp2 <= sp1)
        return;
    request.method = first.substr(0, sp1);
    request.target = first.substr(sp1 + 1, sp2 - sp1 - 1);
    std::size_t q = request.target.find('?');
    request.path = request.target.substr(0, q);
    if (q != std::string::npos)
        request.query = request.target.substr(q + 1);
    std::size_t pos = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
    while (pos < head.size()) {
        std::size_t end = head.find("\r\n", pos);
        if (end == std::string::npos)
            end = head.size();
        std::string line = head.substr(pos, end - pos);
        std::size_t colon = line.find(':');
        if (colon != std::string::npos) {
            std::string value = line.substr(colon + 1);
            value.erase(0, value.find_first_not_of(' '));
            request.headers[Lower(line.substr(0, colon))] = value;
        }
        pos = end + 2;
    }
    std::size_t length = 0;
    auto cl = request.headers.find("content-length");
    if (cl != request.headers.end())
        length = static_cast<std::size_t>(std::strtoul(cl->second.c_str(), nullptr, 10));
    request.body = data.substr(headerEnd + 4);
    while (request.body.size() < length)
        if (!ReadSome(client, request.body))
            break;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_requests.push_back(request);
    }
    HttpResponse response = m_handler ? m_handler(request) : HttpResponse{404, "text/plain", "no handler", {}};
    std::string out = "HTTP/1.0 " + std::to_string(response.status) + " " + Reason(response.status) + "\r\n";
    out += "Content-Type: " + response.contentType + "\r\n";
    out += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
    for (auto& h : response.headers)
        out += h.first + ": " + h.second + "\r\n";
    out += "Connection: close\r\n\r\n" + response.body;
    std::size_t sent = 0;
    while (sent < out.size()) {
        int n = send(client, out.data() + sent, static_cast<int>(out.size() - sent), 0);
        if (n <= 0)
            break;
        sent += static_cast<std::size_t>(n);
    }
    shutdown(client, SD_SEND);
}

}  // namespace testing_support
