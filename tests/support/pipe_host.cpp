// A stand-in host for the pipe channel: registers as mothership (or, with --client, as a
// client) with a message-only window, counts and hashes every record it receives, and obeys
// the commands of PipeHostProtocol.h. With --raw it is instead the bare echo peer of two
// anonymous pipes, the benchmark's baseline.
//
//   pipe_host [--client] [--echo] [--ready=<event>] [--lifetime=<ms>]
//   pipe_host --raw=<pid>:<read handle>:<write handle> --size=<bytes>
#include "ScreenSaver/QDIPC.h"
#include "tests/support/PipeHostProtocol.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kWindowClass[] = "PipeTestHostWindow";
const UINT_PTR kLifetimeTimer = 1;

struct HostState {
    QDIPC ipc;
    bool echo = false;
    uint32_t count = 0;
    uint32_t hash = pipe_host::kHashStart;
    int exitCode = 0;
};
HostState* g_host = nullptr;

std::string Switch(int argc, char** argv, const char* name)
{
    const std::string prefix = std::string("--") + name + "=";
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], prefix.c_str(), prefix.size()) == 0)
            return argv[i] + prefix.size();
    return {};
}

bool Flag(int argc, char** argv, const char* name)
{
    const std::string flag = std::string("--") + name;
    for (int i = 1; i < argc; ++i)
        if (flag == argv[i])
            return true;
    return false;
}

void SendStream(const pipe_host::SendRequest& request)
{
    const uint32_t message = request.message ? request.message : pipe_host::kMsgStream;
    std::vector<uint8_t> payload(request.payloadBytes);
    for (uint32_t i = 0; i < request.count; ++i) {
        if (request.payloadBytes == 0) {
            g_host->ipc.PostMessage(message, i, static_cast<LPARAM>(static_cast<int32_t>(~i)));
        } else {
            pipe_host::FillPattern(payload.data(), request.payloadBytes, i);
            g_host->ipc.PostDataMessage(message, request.payloadBytes, payload.data());
        }
    }
}

// One record as the window saw it; false when it was a command.
bool Command(uint32_t message, WPARAM wParam, const void* payload, uint32_t byteCount)
{
    switch (message) {
    case pipe_host::kCmdEcho:
        g_host->echo = wParam != 0;
        return true;
    case pipe_host::kCmdSend:
        if (byteCount >= sizeof(pipe_host::SendRequest)) {
            pipe_host::SendRequest request;
            std::memcpy(&request, payload, sizeof request);
            SendStream(request);
        }
        return true;
    case pipe_host::kCmdReport: {
        const pipe_host::Report report = {g_host->count, g_host->hash};
        g_host->ipc.PostDataMessage(pipe_host::kMsgReport, sizeof report, &report);
        return true;
    }
    case pipe_host::kCmdReset:
        g_host->count = 0;
        g_host->hash = pipe_host::kHashStart;
        return true;
    case pipe_host::kCmdRaw:
        if (byteCount && g_host->ipc.Pipe())
            g_host->ipc.Pipe()->WritePipe(payload, byteCount);
        return true;
    case pipe_host::kCmdQuit:
        PostQuitMessage(0);
        return true;
    default:
        return false;
    }
}

void Received(uint32_t message, WPARAM wParam, LPARAM lParam, const void* payload,
              uint32_t byteCount)
{
    if (Command(message, wParam, payload, byteCount))
        return;
    ++g_host->count;
    g_host->hash = pipe_host::HashRecord(g_host->hash, message, static_cast<uint32_t>(wParam),
                                         static_cast<uint32_t>(lParam), payload, byteCount);
    if (!g_host->echo)
        return;
    if (byteCount)
        g_host->ipc.PostDataMessage(message, byteCount, payload);
    else
        g_host->ipc.PostMessage(message, wParam, lParam);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_TIMER && wParam == kLifetimeTimer) {
        g_host->exitCode = pipe_host::kExitLifetime;
        PostQuitMessage(pipe_host::kExitLifetime);
        return 0;
    }
    if (message == WM_COPYDATA) {
        const COPYDATASTRUCT* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        Received(static_cast<uint32_t>(copy->dwData), wParam, 0, copy->lpData, copy->cbData);
        return TRUE;
    }
    if (message >= WM_USER) {
        Received(message, wParam, lParam, nullptr, 0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

bool ReadExactly(HANDLE pipe, uint8_t* bytes, DWORD count)
{
    while (count) {
        DWORD got = 0;
        if (!ReadFile(pipe, bytes, count, &got, nullptr) || got == 0)
            return false;
        bytes += got;
        count -= got;
    }
    return true;
}

// The baseline peer: blocks of a fixed size read and written back, with nothing around them.
int RunRaw(const std::string& handles, DWORD size)
{
    unsigned long pid = 0;
    unsigned long long readValue = 0, writeValue = 0;
    if (std::sscanf(handles.c_str(), "%lu:%llu:%llu", &pid, &readValue, &writeValue) != 3 || !size)
        return pipe_host::kExitUsage;
    HANDLE parent = OpenProcess(PROCESS_DUP_HANDLE, FALSE, pid);
    HANDLE read = nullptr, write = nullptr;
    if (!parent ||
        !DuplicateHandle(parent, reinterpret_cast<HANDLE>(static_cast<uintptr_t>(readValue)),
                         GetCurrentProcess(), &read, 0, FALSE, DUPLICATE_SAME_ACCESS) ||
        !DuplicateHandle(parent, reinterpret_cast<HANDLE>(static_cast<uintptr_t>(writeValue)),
                         GetCurrentProcess(), &write, 0, FALSE, DUPLICATE_SAME_ACCESS))
        return pipe_host::kExitRawFailed;
    CloseHandle(parent);
    std::vector<uint8_t> block(size);
    DWORD written = 0;
    while (ReadExactly(read, block.data(), size))
        if (!WriteFile(write, block.data(), size, &written, nullptr) || written != size)
            break;
    CloseHandle(read);
    CloseHandle(write);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string raw = Switch(argc, argv, "raw");
    if (!raw.empty())
        return RunRaw(raw, static_cast<DWORD>(std::strtoul(Switch(argc, argv, "size").c_str(),
                                                           nullptr, 10)));

    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, kWindowClass, "pipe_host", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                  nullptr, windowClass.hInstance, nullptr);
    if (!window)
        return pipe_host::kExitUsage;

    HostState host;
    g_host = &host;
    host.echo = Flag(argc, argv, "echo");
    const DWORD registered = host.ipc.Register(window, !Flag(argc, argv, "client"));
    if (registered != 0) {
        DestroyWindow(window);
        return static_cast<int>(registered);
    }

    const std::string lifetime = Switch(argc, argv, "lifetime");
    SetTimer(window, kLifetimeTimer, lifetime.empty() ? 120000 : std::strtoul(lifetime.c_str(), nullptr, 10),
             nullptr);
    const std::string ready = Switch(argc, argv, "ready");
    if (!ready.empty()) {
        HANDLE event = OpenEventA(EVENT_MODIFY_STATE, FALSE, ready.c_str());
        if (event) {
            SetEvent(event);
            CloseHandle(event);
        }
    }

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    host.ipc.UnRegister();
    DestroyWindow(window);
    g_host = nullptr;
    return host.exitCode;
}
