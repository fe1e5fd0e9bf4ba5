#include "Wisp/mail/Winsock.h"

#include <algorithm>
#include <climits>
#include <mutex>

namespace wisp_mail {

namespace {
std::mutex g_startLock;
bool g_started = false;
}  // namespace

int StartWinsockOnce()
{
    std::lock_guard<std::mutex> guard(g_startLock);
    if (g_started)
        return 0;
    WSADATA data = {};
    const int error = WSAStartup(MAKEWORD(2, 0), &data);
    if (error != 0)
        return error;
    g_started = true;
    return 0;
}

int WaitReadable(SOCKET socket, DWORD milliseconds)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket, &readable);
    timeval wait = {static_cast<long>(milliseconds / 1000),
                    static_cast<long>(milliseconds % 1000) * 1000};
    return select(0, &readable, nullptr, nullptr, &wait);
}

bool SendAll(SOCKET socket, const char* data, std::size_t size)
{
    std::size_t sent = 0;
    while (sent < size) {
        const int chunk = static_cast<int>(std::min<std::size_t>(size - sent, INT_MAX));
        const int result = send(socket, data + sent, chunk, 0);
        if (result == SOCKET_ERROR)
            return false;
        sent += static_cast<std::size_t>(result);
    }
    return true;
}

}  // namespace wisp_mail
