// What tests (and the demo) ask of the running test host, TidewireDesktop.exe: WM_COPYDATA
// sent to its host window with one of these numbers as dwData. Commands are not recorded.
#pragma once

#include <cstdint>

namespace host {

// Payload: a QD_COPYDATASTRUCT record. Posted on the pipe channel, plain (byte count 0: its
// message, wParam and lParam) or as data (its message and payload).
constexpr uint32_t kCmdPipePost = 0xC001;
// Payload: bytes written onto the pipe as they are, in one write (hand-made records).
constexpr uint32_t kCmdPipeRaw = 0xC002;
// No payload: the host ends (exit code 0).
constexpr uint32_t kCmdQuit = 0xC003;

// Exit codes besides 0.
constexpr int kExitLifetime = 3;      // --lifetime ran out
constexpr int kExitNoWindow = 4;      // the host windows could not be made
constexpr int kExitNoPipe = 5;        // the pipe registration failed

}  // namespace host
