#include "tests/mail/RecordingRelay.h"

#include "Wisp/mail/Winsock.h"
#include "tests/mail/ScriptedServer.h"

namespace mail_testing {

RecordingRelay::RecordingRelay(unsigned short serverPort) : m_serverPort(serverPort)
{
    wisp_mail::StartWinsockOnce();
    m_listener = ListenOnLoopback(1, m_port);
    if (m_listener == INVALID_SOCKET)
        return;
    m_thread = std::thread([this] { Run(); });
}

RecordingRelay::~RecordingRelay()
{
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_stop = true;
    }
    if (m_thread.joinable())
        m_thread.join();
    if (m_listener != INVALID_SOCKET)
        closesocket(m_listener);
}

std::string RecordingRelay::ClientBytes()
{
    std::lock_guard<std::mutex> hold(m_lock);
    return m_clientBytes;
}

void RecordingRelay::Run()
{
    auto stopped = [this] {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_stop;
    };
    SOCKET client = INVALID_SOCKET;
    while (client == INVALID_SOCKET && !stopped())
        if (wisp_mail::WaitReadable(m_listener, 100) == 1)
            client = accept(m_listener, nullptr, nullptr);
    if (client == INVALID_SOCKET)
        return;
    SOCKET server = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(m_serverPort);
    bool open = connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    while (open && !stopped()) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(client, &readable);
        FD_SET(server, &readable);
        timeval wait = {0, 100 * 1000};
        if (select(0, &readable, nullptr, nullptr, &wait) <= 0)
            continue;
        char chunk[16 * 1024];
        for (SOCKET from : {client, server}) {
            if (!open || !FD_ISSET(from, &readable))
                continue;
            const int got = recv(from, chunk, sizeof chunk, 0);
            open = got > 0 && wisp_mail::SendAll(from == client ? server : client, chunk, static_cast<std::size_t>(got));
            if (got > 0 && from == client) {
                std::lock_guard<std::mutex> hold(m_lock);
                m_clientBytes.append(chunk, static_cast<std::size_t>(got));
            }
        }
    }
    closesocket(client);
    closesocket(server);
}

}  // namespace mail_testing
