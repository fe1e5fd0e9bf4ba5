// Winsock is started once per process, on first need, and left running until the process ends.
#pragma once

#include <winsock2.h>

namespace wisp_mail {

// 0 once Winsock 2.0 runs in this process, else the WSAStartup error. A failed start leaves
// it unstarted, so the next call tries again.
int StartWinsockOnce();

}  // namespace wisp_mail
