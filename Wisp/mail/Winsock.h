// Winsock is started once per process, on first need, and left running until the process ends.
#pragma once

#include <winsock2.h>

#include <cstddef>

namespace wisp_mail {

// 0 once Winsock 2.0 runs in this process, else the WSAStartup error. A failed start leaves
// it unstarted, so the next call tries again.
int StartWinsockOnce();

// Waits until the socket has bytes to read, for at most `milliseconds`: 1 when readable,
// 0 when nothing came, SOCKET_ERROR on failure.
int WaitReadable(SOCKET socket, DWORD milliseconds);

// Sends all of data: false on the first failed send (the socket error is set).
bool SendAll(SOCKET socket, const char* data, std::size_t size);

}  // namespace wisp_mail
