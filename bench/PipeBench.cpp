// Speed of the pipe channel against bare anonymous pipes, measured in one run.
//
// This program is the host (mothership); pipe_host.exe, started beside it, is a client that
// sends every record straight back. For 20-byte records (plain messages) and 4,096-byte
// records (data records of 4,076 payload bytes) it measures
//   - records per second: a stream written on one thread while this thread takes the echoes;
//   - round-trip latency host -> client -> host: one record out, wait for its echo.
// The baseline repeats both with blocks of the same sizes written to and read from two
// anonymous pipes by the same two programs, with nothing around them.
#include "ScreenSaver/QDIPC.h"
#include "bench/BenchSupport.h"
#include "common/QDCopyData.h"
#include "tests/support/PipeHostProtocol.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

const uint32_t kEchoMessage = 0xB101;
const DWORD kWaitMs = 120000;

using bench::Now;

std::string BinFolder()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string text = path;
    return text.substr(0, text.find_last_of('\\'));
}

struct Child {
    PROCESS_INFORMATION info = {};
    bool Start(const std::string& arguments)
    {
        std::string line = "\"" + BinFolder() + "\\pipe_host.exe\" " + arguments;
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &info))
            return false;
        CloseHandle(info.hThread);
        return true;
    }
    ~Child()
    {
        if (!info.hProcess)
            return;
        if (WaitForSingleObject(info.hProcess, 5000) != WAIT_OBJECT_0)
            TerminateProcess(info.hProcess, 1);
        CloseHandle(info.hProcess);
    }
};

struct Figures {
    double recordsPerSecond = 0;
    double meanMicros = 0;
    double medianMicros = 0;
};

void Summarise(std::vector<double>& trips, Figures& figures)
{
    double sum = 0;
    for (double t : trips)
        sum += t;
    std::sort(trips.begin(), trips.end());
    figures.meanMicros = sum / trips.size() * 1e6;
    figures.medianMicros = trips[trips.size() / 2] * 1e6;
}

// --- the channel -------------------------------------------------------------------------

unsigned g_echoes = 0;

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COPYDATA) {
        if (reinterpret_cast<const COPYDATASTRUCT*>(lParam)->dwData == kEchoMessage)
            ++g_echoes;
        return TRUE;
    }
    if (message == kEchoMessage) {
        ++g_echoes;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

bool PumpUntil(unsigned echoes)
{
    const DWORD start = GetTickCount();
    while (g_echoes < echoes) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        if (g_echoes >= echoes)
            break;
        if (GetTickCount() - start > kWaitMs)
            return false;
        MsgWaitForMultipleObjectsEx(0, nullptr, 10, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
    return true;
}

void SendRecord(QDIPC& ipc, const std::vector<uint8_t>& payload)
{
    if (payload.empty())
        ipc.PostMessage(kEchoMessage, 1, 2);
    else
        ipc.PostDataMessage(kEchoMessage, static_cast<DWORD>(payload.size()), payload.data());
}

bool MeasureChannel(QDIPC& ipc, uint32_t recordBytes, unsigned streamCount, unsigned trips,
                    Figures& figures)
{
    const std::vector<uint8_t> payload(recordBytes - sizeof(QD_COPYDATASTRUCT), 0x5A);
    g_echoes = 0;
    const double start = Now();
    std::thread writer([&] {
        for (unsigned i = 0; i < streamCount; ++i)
            SendRecord(ipc, payload);
    });
    const bool streamed = PumpUntil(streamCount);
    const double elapsed = Now() - start;
    writer.join();
    if (!streamed)
        return false;
    figures.recordsPerSecond = streamCount / elapsed;

    std::vector<double> times;
    for (unsigned i = 0; i < trips; ++i) {
        const unsigned before = g_echoes;
        const double out = Now();
        SendRecord(ipc, payload);
        if (!PumpUntil(before + 1))
            return false;
        times.push_back(Now() - out);
    }
    Summarise(times, figures);
    return true;
}

// --- the baseline --------------------------------------------------------------------------

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

bool MeasureRaw(uint32_t recordBytes, unsigned streamCount, unsigned trips, Figures& figures)
{
    HANDLE toChildRead, toChildWrite, fromChildRead, fromChildWrite;
    if (!CreatePipe(&toChildRead, &toChildWrite, nullptr, NamedPipe::kPipeBufferBytes) ||
        !CreatePipe(&fromChildRead, &fromChildWrite, nullptr, NamedPipe::kPipeBufferBytes))
        return false;
    bool ok = false;
    {
        Child child;
        char arguments[160];
        std::snprintf(arguments, sizeof arguments, "--raw=%lu:%llu:%llu --size=%u",
                      static_cast<unsigned long>(GetCurrentProcessId()),
                      static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(toChildRead)),
                      static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(fromChildWrite)),
                      recordBytes);
        if (child.Start(arguments)) {
            std::vector<uint8_t> out(recordBytes, 0x5A), in(recordBytes);
            const double start = Now();
            std::thread writer([&] {
                DWORD written = 0;
                for (unsigned i = 0; i < streamCount; ++i)
                    WriteFile(toChildWrite, out.data(), recordBytes, &written, nullptr);
            });
            unsigned received = 0;
            while (received < streamCount && ReadExactly(fromChildRead, in.data(), recordBytes))
                ++received;
            const double elapsed = Now() - start;
            writer.join();
            figures.recordsPerSecond = streamCount / elapsed;

            std::vector<double> times;
            DWORD written = 0;
            for (unsigned i = 0; i < trips && received == streamCount; ++i) {
                const double sent = Now();
                if (!WriteFile(toChildWrite, out.data(), recordBytes, &written, nullptr) ||
                    !ReadExactly(fromChildRead, in.data(), recordBytes))
                    break;
                times.push_back(Now() - sent);
            }
            ok = received == streamCount && times.size() == trips;
            if (ok)
                Summarise(times, figures);
        }
        CloseHandle(toChildWrite);   // the child sees the end and leaves
        toChildWrite = nullptr;
    }
    CloseHandle(toChildRead);
    CloseHandle(fromChildRead);
    CloseHandle(fromChildWrite);
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    const unsigned scale = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;
    struct Size {
        uint32_t bytes;
        unsigned stream;
        unsigned trips;
        Figures channel, raw;
    } sizes[] = {{20, 20000 * scale, 2000 * scale, {}, {}},
                 {4096, 5000 * scale, 2000 * scale, {}, {}}};

    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = HostWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "PipeBenchHostWindow";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, windowClass.lpszClassName, "pipe bench", 0, 0, 0, 0, 0,
                                  HWND_MESSAGE, nullptr, windowClass.hInstance, nullptr);
    QDIPC ipc;
    if (!window || ipc.Register(window, true) != 0) {
        std::fprintf(stderr, "pipe_bench: could not register as the host\n");
        return 1;
    }
    {
        const std::string ready = "PipeBench.ready." + std::to_string(GetCurrentProcessId());
        HANDLE event = CreateEventA(nullptr, TRUE, FALSE, ready.c_str());
        Child client;
        if (!client.Start("--client --echo --ready=" + ready) ||
            WaitForSingleObject(event, kWaitMs) != WAIT_OBJECT_0) {
            std::fprintf(stderr, "pipe_bench: the client did not register\n");
            return 1;
        }
        CloseHandle(event);
        for (Size& size : sizes)
            if (!MeasureChannel(ipc, size.bytes, size.stream, size.trips, size.channel)) {
                std::fprintf(stderr, "pipe_bench: channel run of %u bytes failed\n", size.bytes);
                return 1;
            }
        ipc.PostMessage(pipe_host::kCmdQuit, 0, 0);
    }
    ipc.UnRegister();
    DestroyWindow(window);

    for (Size& size : sizes)
        if (!MeasureRaw(size.bytes, size.stream, size.trips, size.raw)) {
            std::fprintf(stderr, "pipe_bench: baseline run of %u bytes failed\n", size.bytes);
            return 1;
        }

    std::printf("Pipe channel against bare anonymous pipes (echo through a second process)\n");
    std::printf("%-8s %-9s %14s %12s %12s\n", "record", "path", "records/s", "mean RTT us",
                "median us");
    for (const Size& size : sizes) {
        std::printf("%-8u %-9s %14.0f %12.1f %12.1f\n", size.bytes, "channel",
                    size.channel.recordsPerSecond, size.channel.meanMicros,
                    size.channel.medianMicros);
        std::printf("%-8u %-9s %14.0f %12.1f %12.1f\n", size.bytes, "raw",
                    size.raw.recordsPerSecond, size.raw.meanMicros, size.raw.medianMicros);
    }
    std::printf("Ratios, channel / raw:\n");
    for (const Size& size : sizes)
        std::printf("  %u bytes: throughput %.3f, mean round trip %.2fx, median round trip %.2fx\n",
                    size.bytes, size.channel.recordsPerSecond / size.raw.recordsPerSecond,
                    size.channel.meanMicros / size.raw.meanMicros,
                    size.channel.medianMicros / size.raw.medianMicros);
    for (const Size& size : sizes)
        bench::PrintRow(bench::Format("pipe channel, %u-byte records", size.bytes),
                        bench::Format("%.0f records/s", size.channel.recordsPerSecond),
                        bench::Format("%.0f records/s (anonymous pipes)", size.raw.recordsPerSecond),
                        size.channel.recordsPerSecond / size.raw.recordsPerSecond, ">= 0.5");
    return 0;
}
