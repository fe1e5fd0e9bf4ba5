// The registered pipe-channel endpoint of a program: its window, which receives every
// incoming record as a window message, and its NamedPipe on the channel "qdpipe". The host
// registers as "mothership" (server), the screen saver as "client".
//
// Incoming plain records arrive as their own message with their wParam and lParam; data
// records arrive as WM_COPYDATA with wParam = the record's wParam and a COPYDATASTRUCT
// {dwData = message, cbData = byte count, lpData = payload}, sent synchronously from the
// reading thread, so the payload is valid until the window procedure returns. wParam and
// lParam travel as 32-bit values.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>

#include "NamedPipe.h"

struct QD_COPYDATASTRUCT;

class QDIPC {
public:
    static const DWORD kResultOk = 0;
    static const DWORD kResultNullWindow = 87;      // ERROR_INVALID_PARAMETER
    static const DWORD kResultNotRegistered = 230;  // already registered, or no pipe made

    QDIPC() = default;
    ~QDIPC();
    QDIPC(const QDIPC&) = delete;
    QDIPC& operator=(const QDIPC&) = delete;

    DWORD Register(HWND window, bool asMothership);
    DWORD UnRegister();   // always 0
    // Both return 0 whatever happened; failures are traced.
    DWORD PostMessage(UINT message, WPARAM wParam, LPARAM lParam);
    DWORD PostDataMessage(UINT message, DWORD byteCount, const void* bytes);

    // The callback given to the pipe: endpoint is the QDIPC.
    static void HandleCallback(void* endpoint, const BYTE* record, DWORD length);
    void SendAppMessageToSelf(const QD_COPYDATASTRUCT* record);

    HWND Window() const { return m_hWnd; }
    NamedPipe* Pipe() const { return m_pipe.get(); }

private:
    bool WritePipeData(UINT message, WPARAM wParam, LPARAM lParam, DWORD byteCount,
                       const void* bytes);

    std::atomic<HWND> m_hWnd{nullptr};   // read by the pipe's reading thread
    std::unique_ptr<NamedPipe> m_pipe;
    std::string m_strName;
};
