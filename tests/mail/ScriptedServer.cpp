#include "tests/mail/ScriptedServer.h"

#include <cstring>

namespace mail_testing {

namespace {
const DWORD kSlice = 20;
const DWORD kPatience = 15000;   // longest wait for the client at any point
}  // namespace

ScriptedServer::ScriptedServer()
{
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    m_done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

ScriptedServer::~ScriptedServer()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_listener != INVALID_SOCKET)
        closesocket(m_listener);
    CloseHandle(m_done);
    WSACleanup();
}

ScriptedServer& ScriptedServer::Send(const std::string& text)
{
    m_steps.push_back({Step::kSend, text, 0});
    return *this;
}

ScriptedServer& ScriptedServer::Expect()
{
    m_steps.push_back({Step::kExpect, std::string(), 0});
    return *this;
}

ScriptedServer& ScriptedServer::Pause(DWORD milliseconds)
{
    m_steps.push_back({Step::kPause, std::string(), milliseconds});
    return *this;
}

ScriptedServer& ScriptedServer::Trickle(const std::string& chunk, DWORD everyMilliseconds)
{
    m_steps.push_back({Step::kTrickle, chunk, everyMilliseconds});
    return *this;
}

ScriptedServer& ScriptedServer::Close()
{
    m_steps.push_back({Step::kClose, std::string(), 0});
    return *this;
}

SOCKET ListenOnLoopback(int backlog, unsigned short& port)
{
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listener == INVALID_SOCKET)
        return INVALID_SOCKET;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener, backlog) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        closesocket(listener);
        return INVALID_SOCKET;
    }
    port = ntohs(address.sin_port);
    return listener;
}

bool ScriptedServer::Start()
{
    m_listener = ListenOnLoopback(4, m_port);
    if (m_listener == INVALID_SOCKET)
        return false;
    m_thread = std::thread([this] { Run(); });
    return true;
}

bool ScriptedServer::Finish(DWORD milliseconds)
{
    const bool done = WaitForSingleObject(m_done, milliseconds) == WAIT_OBJECT_0;
    if (done && m_thread.joinable())
        m_thread.join();
    return done;
}

std::vector<std::string> ScriptedServer::Received()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_received;
}

void ScriptedServer::Record(const std::string& line)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_received.push_back(line);
}

bool ScriptedServer::Wait(DWORD milliseconds)
{
    for (DWORD waited = 0; waited < milliseconds; waited += kSlice) {
        if (m_stop)
            return false;
        Sleep(kSlice < milliseconds - waited ? kSlice : milliseconds - waited);
    }
    return !m_stop;
}

bool ScriptedServer::SendAll(SOCKET client, const std::string& text)
{
    std::size_t sent = 0;
    while (sent < text.size()) {
        const int result = send(client, text.data() + sent, static_cast<int>(text.size() - sent), 0);
        if (result == SOCKET_ERROR)
            return false;
        sent += static_cast<std::size_t>(result);
    }
    return true;
}

// One line into `line` (without CR LF); false when the client went or nothing came in time.
bool ScriptedServer::ReadLine(SOCKET client, std::string& pending, std::string& line)
{
    const DWORD start = GetTickCount();
    for (;;) {
        const std::size_t newline = pending.find('\n');
        if (newline != std::string::npos) {
            line = pending.substr(0, newline);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            pending.erase(0, newline + 1);
            return true;
        }
        if (m_stop || GetTickCount() - start > kPatience)
            return false;
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(client, &readable);
        timeval slice = {0, static_cast<long>(kSlice * 1000)};
        const int ready = select(0, &readable, nullptr, nullptr, &slice);
        if (ready == SOCKET_ERROR)
            return false;
        if (ready == 0)
            continue;
        char chunk[4096];
        const int received = recv(client, chunk, sizeof chunk, 0);
        if (received <= 0) {
            if (!pending.empty()) {
                line = pending;
                pending.clear();
                return true;
            }
            return false;
        }
        pending.append(chunk, static_cast<std::size_t>(received));
    }
}

void ScriptedServer::Run()
{
    SOCKET client = INVALID_SOCKET;
    const DWORD start = GetTickCount();
    while (!m_stop && GetTickCount() - start < kPatience) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(m_listener, &readable);
        timeval slice = {0, static_cast<long>(kSlice * 1000)};
        if (select(0, &readable, nullptr, nullptr, &slice) == 1) {
            client = accept(m_listener, nullptr, nullptr);
            break;
        }
    }
    if (client == INVALID_SOCKET) {
        SetEvent(m_done);
        return;
    }
    ++m_connections;

    std::string pending, line;
    bool open = true;
    for (const Step& step : m_steps) {
        if (!open || m_stop)
            break;
        switch (step.kind) {
        case Step::kSend:
            open = SendAll(client, step.text);
            break;
        case Step::kExpect:
            open = ReadLine(client, pending, line);
            if (open)
                Record(line);
            break;
        case Step::kPause:
            open = Wait(step.milliseconds);
            break;
        case Step::kTrickle:
            while (SendAll(client, step.text) && Wait(step.milliseconds)) {
            }
            open = false;
            break;
        case Step::kClose:
            open = false;
            break;
        }
    }
    // Whatever the client still says, until it goes.
    while (open && ReadLine(client, pending, line))
        Record(line);
    closesocket(client);
    SetEvent(m_done);
}

}  // namespace mail_testing
