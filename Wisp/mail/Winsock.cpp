#include "Wisp/mail/Winsock.h"

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

}  // namespace wisp_mail
