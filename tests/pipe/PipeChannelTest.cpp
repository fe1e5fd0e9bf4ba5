// The pipe channel between two real processes: this executable is the client (or, for the
// trace scenarios, starts itself again under a debugger) and pipe_host.exe is the host.
#include "ScreenSaver/NamedPipe.h"
#include "ScreenSaver/PipeBuffer.h"
#include "ScreenSaver/QDIPC.h"

#include "common/PersistentSettings.h"
#include "common/QDCopyData.h"
#include "common/QDUtilities.h"
#include "common/TraceLog.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/PipeHostProtocol.h"
#include "tests/support/ScratchState.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using testing_support::ChildProcess;
using testing_support::DebuggedRun;
using testing_support::SelfPath;

namespace {

const char kChannel[] = "qdpipe";
const char kChannelMutex[] = ".namedpipe.qdpipe";
const char kWindowClass[] = "PipeTestClientWindow";
const DWORD kWaitMs = 60000;
const uint32_t kPlain = 0xB001;   // test records, outside the host's command range
const uint32_t kData = 0xB002;
const uint32_t kUnregister = 0xB003;   // its handler unregisters g_unregisterOnArrival

// --- what the client window saw --------------------------------------------------------

struct Arrival {
    uint32_t message;
    WPARAM wParam;
    LPARAM lParam;   // 0 for data records
    bool copyData;
    std::vector<uint8_t> payload;
    bool terminated;   // the four bytes after the payload are zero
};
std::vector<Arrival> g_arrivals;
QDIPC* g_unregisterOnArrival = nullptr;

LRESULT CALLBACK ClientWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COPYDATA) {
        const COPYDATASTRUCT* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        const uint8_t* bytes = static_cast<const uint8_t*>(copy->lpData);
        Arrival arrival{static_cast<uint32_t>(copy->dwData), wParam, 0, true,
                        std::vector<uint8_t>(bytes, bytes + copy->cbData), true};
        for (int i = 0; i < 4; ++i)
            arrival.terminated = arrival.terminated && bytes[copy->cbData + i] == 0;
        g_arrivals.push_back(std::move(arrival));
        return TRUE;
    }
    if (message >= WM_USER) {
        g_arrivals.push_back(Arrival{message, wParam, lParam, false, {}, true});
        if (message == kUnregister && g_unregisterOnArrival)
            g_unregisterOnArrival->UnRegister();
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeWindow()
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = ClientWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassA(&windowClass);
    return CreateWindowExA(0, kWindowClass, "pipe test", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           windowClass.hInstance, nullptr);
}

// Dispatches messages (and the reading thread's sends) until done, or gives up after the
// time; the result says which.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = kWaitMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (done())
            return true;
        if (GetTickCount() - start > timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

// True once a message sent from another thread waits for this thread, which leaves it there.
bool WaitForPendingSend(DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    while (!(HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE)) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(10);
    }
    return true;
}

std::string BinFolder()
{
    std::string path = SelfPath();
    return path.substr(0, path.find_last_of('\\'));
}

// --- the settings file's registration entries -------------------------------------------

bool ReadEntry(const std::string& id, int& value)
{
    PersistentSettings settings;
    return settings.GetProperty(id.c_str(), value);
}

void WriteEntries(int pid, int readHandle, int writeHandle)
{
    PersistentSettings settings;
    settings.SetProperty(NamedPipe::PidProperty(kChannel).c_str(), pid, true);
    settings.SetProperty(NamedPipe::ReadHandleProperty(kChannel).c_str(), readHandle, true);
    settings.SetProperty(NamedPipe::WriteHandleProperty(kChannel).c_str(), writeHandle, true);
    settings.Save();
}

bool ChannelMutexExists()
{
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, kChannelMutex);
    if (mutex)
        CloseHandle(mutex);
    return mutex != nullptr;
}

// --- the host process --------------------------------------------------------------------

class HostProcess {
public:
    // Starts pipe_host and waits until it has registered; false when it did not (its exit
    // code then says why).
    bool Start(const std::string& arguments = {})
    {
        static int serial = 0;
        const std::string name = "PipeChannelTest.ready." + std::to_string(GetCurrentProcessId()) +
                                 "." + std::to_string(++serial);
        HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, name.c_str());
        if (!ready || !m_child.Start("\"" + BinFolder() + "\\pipe_host.exe\" --ready=" + name +
                                     " " + arguments)) {
            if (ready)
                CloseHandle(ready);
            return false;
        }
        bool registered = false;
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < kWaitMs) {
            if (WaitForSingleObject(ready, 20) == WAIT_OBJECT_0) {
                registered = true;
                break;
            }
            if (m_child.Wait(0))
                break;
        }
        CloseHandle(ready);
        return registered;
    }
    bool WaitExit() { return m_child.Wait(kWaitMs); }
    DWORD ExitCode() const { return m_child.ExitCode(); }
    DWORD Id() const { return m_child.Id(); }
    void Kill() { m_child.Kill(); }

private:
    ChildProcess m_child;
};

std::vector<uint8_t> Pattern(uint32_t bytes, uint32_t seed)
{
    std::vector<uint8_t> payload(bytes);
    pipe_host::FillPattern(payload.data(), bytes, seed);
    return payload;
}

// A record as a host writes it, made by hand.
std::vector<uint8_t> RawRecord(uint32_t message, uint32_t wParam, uint32_t lParam,
                               uint32_t claimedCount, uint32_t payloadBytes)
{
    std::vector<uint8_t> bytes(sizeof(QD_COPYDATASTRUCT) + payloadBytes, 0);
    QD_COPYDATASTRUCT* head = reinterpret_cast<QD_COPYDATASTRUCT*>(bytes.data());
    head->message = message;
    head->wParam = wParam;
    head->lParam = lParam;
    head->cbData = claimedCount;
    pipe_host::FillPattern(bytes.data() + 16, payloadBytes, 7);
    return bytes;
}

// --- tests -----------------------------------------------------------------------------

TEST(PipeBufferTest, JoinsChunksInOrderAndStartsAfresh)
{
    PipeBuffer buffer;
    const uint8_t* joined = nullptr;
    uint32_t length = 0;
    EXPECT_FALSE(buffer.GetBuffer(&joined, &length));
    EXPECT_FALSE(buffer.Add(nullptr, 3));

    ASSERT_TRUE(buffer.Add("abc", 3));
    ASSERT_TRUE(buffer.Add("", 0));
    ASSERT_TRUE(buffer.Add("defgh", 5));
    EXPECT_EQ(3u, buffer.ChunkCount());
    EXPECT_EQ(8u, buffer.Total());
    EXPECT_EQ(5u, buffer.ChunkLength(2));
    EXPECT_EQ(0u, buffer.ChunkLength(3));
    ASSERT_TRUE(buffer.GetBuffer(&joined, &length));
    EXPECT_EQ("abcdefgh", std::string(reinterpret_cast<const char*>(joined), length));

    // A second join after more bytes includes them.
    ASSERT_TRUE(buffer.Add("!", 1));
    ASSERT_TRUE(buffer.GetBuffer(&joined, &length));
    EXPECT_EQ("abcdefgh!", std::string(reinterpret_cast<const char*>(joined), length));

    buffer.Clear();
    EXPECT_EQ(0u, buffer.ChunkCount());
    EXPECT_EQ(0u, buffer.Total());
    EXPECT_FALSE(buffer.GetBuffer(&joined, &length));
    ASSERT_TRUE(buffer.Add("xy", 2));
    ASSERT_TRUE(buffer.GetBuffer(&joined, &length));
    EXPECT_EQ("xy", std::string(reinterpret_cast<const char*>(joined), length));
}

TEST(PipeBufferTest, ReadsGoStraightIntoPlaceAndTheStoreIsReused)
{
    PipeBuffer buffer;
    EXPECT_FALSE(buffer.Commit(1));   // nothing reserved
    ASSERT_TRUE(buffer.Add("head", 4));
    uint8_t* room = buffer.Reserve(6);
    ASSERT_NE(nullptr, room);
    std::memcpy(room, "abc", 3);
    ASSERT_TRUE(buffer.Commit(3));
    std::memcpy(room + 3, "def", 3);
    ASSERT_TRUE(buffer.Commit(3));
    EXPECT_FALSE(buffer.Commit(1));   // past the room reserved
    EXPECT_EQ(3u, buffer.ChunkCount());
    EXPECT_EQ(3u, buffer.ChunkLength(1));
    EXPECT_EQ(10u, buffer.Total());
    const uint8_t* joined = nullptr;
    uint32_t length = 0;
    ASSERT_TRUE(buffer.GetBuffer(&joined, &length));
    EXPECT_EQ("headabcdef", std::string(reinterpret_cast<const char*>(joined), length));

    // The next record starts empty, in the same store, and holds only its own bytes.
    buffer.Clear();
    EXPECT_FALSE(buffer.GetBuffer(&joined, &length));
    ASSERT_TRUE(buffer.Add("xy", 2));
    ASSERT_TRUE(buffer.GetBuffer(&joined, &length));
    EXPECT_EQ("xy", std::string(reinterpret_cast<const char*>(joined), length));

    // A record larger than the pipe buffer grows the store; the one after it is its own.
    buffer.Clear();
    const std::vector<uint8_t> large = Pattern(100000, 3);
    ASSERT_TRUE(buffer.Add(large.data(), 20));
    room = buffer.Reserve(100000 - 20);
    ASSERT_NE(nullptr, room);
    std::memcpy(room, large.data() + 20, 100000 - 20);
    ASSERT_TRUE(buffer.Commit(100000 - 20));
    ASSERT_TRUE(buffer.GetBuffer(&joined, &length));
    EXPECT_EQ(large, std::vector<uint8_t>(joined, joined + length));
    buffer.Clear();
    EXPECT_EQ(0u, buffer.Total());
    ASSERT_TRUE(buffer.Add("z", 1));
    ASSERT_TRUE(buffer.GetBuffer(&joined, &length));
    EXPECT_EQ("z", std::string(reinterpret_cast<const char*>(joined), length));
}

class PipeChannelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string path;
        ASSERT_TRUE(QDUtilities::GetSettingsFilePath(path));
        QDUtilities::EnsureSaveFileDirectoryExists();
        m_settings.reset(new testing_support::FileBackup(path));
        g_arrivals.clear();
        m_window = MakeWindow();
        ASSERT_NE(nullptr, m_window);
        ASSERT_FALSE(ChannelMutexExists()) << "a host is still alive from elsewhere";
    }

    void TearDown() override
    {
        m_ipc.UnRegister();
        m_host.Kill();
        m_secondHost.Kill();
        DestroyWindow(m_window);
        m_settings.reset();
    }

    void Send(uint32_t message, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        m_ipc.PostMessage(message, wParam, lParam);
    }
    void SendData(uint32_t message, const void* bytes, DWORD count)
    {
        m_ipc.PostDataMessage(message, count, bytes);
    }
    void Request(uint32_t count, uint32_t payloadBytes, uint32_t message = 0)
    {
        const pipe_host::SendRequest request = {count, payloadBytes, message};
        SendData(pipe_host::kCmdSend, &request, sizeof request);
    }
    // The host's count and hash of what it received, asked for over the channel.
    pipe_host::Report AskReport()
    {
        const size_t before = g_arrivals.size();
        Send(pipe_host::kCmdReport);
        pipe_host::Report report = {};
        const bool answered = PumpUntil([&] {
            for (size_t i = before; i < g_arrivals.size(); ++i)
                if (g_arrivals[i].message == pipe_host::kMsgReport)
                    return true;
            return false;
        });
        EXPECT_TRUE(answered);
        for (size_t i = before; i < g_arrivals.size(); ++i)
            if (g_arrivals[i].message == pipe_host::kMsgReport &&
                g_arrivals[i].payload.size() == sizeof report) {
                std::memcpy(&report, g_arrivals[i].payload.data(), sizeof report);
                g_arrivals.erase(g_arrivals.begin() + i);
                break;
            }
        return report;
    }
    bool WaitThreadEnd(NamedPipe* pipe)
    {
        return PumpUntil([pipe] { return !pipe->IsThreadRunning(); });
    }

    std::unique_ptr<testing_support::FileBackup> m_settings;
    HWND m_window = nullptr;
    HostProcess m_host;
    HostProcess m_secondHost;
    QDIPC m_ipc;
};

TEST_F(PipeChannelTest, ClientWithoutHostFails)
{
    NamedPipe pipe;
    EXPECT_FALSE(pipe.Create(kChannel, 3, false, nullptr, nullptr));
    EXPECT_EQ(0x40000003u, pipe.LastError());

    EXPECT_EQ(87u, m_ipc.Register(nullptr, false));
    EXPECT_EQ(230u, m_ipc.Register(m_window, false));
    EXPECT_EQ(nullptr, m_ipc.Pipe());
    EXPECT_EQ(nullptr, m_ipc.Window());

    // Entries naming a host that has gone do not make it alive.
    HostProcess gone;
    ASSERT_TRUE(gone.Start());
    const DWORD hostPid = gone.Id();
    gone.Kill();
    int pid = 0;
    ASSERT_TRUE(ReadEntry(NamedPipe::PidProperty(kChannel), pid));
    EXPECT_EQ(hostPid, static_cast<DWORD>(pid));
    NamedPipe late;
    EXPECT_FALSE(late.Create(kChannel, 3, false, nullptr, nullptr));
    EXPECT_EQ(0x40000003u, late.LastError());

    // The failed registration left the endpoint free for a real one.
    ASSERT_TRUE(m_host.Start("--echo"));
    ASSERT_EQ(0u, m_ipc.Register(m_window, false));
    Send(kPlain, 1, 2);
    ASSERT_TRUE(PumpUntil([] { return !g_arrivals.empty(); }));
    EXPECT_EQ(kPlain, g_arrivals[0].message);
}

TEST_F(PipeChannelTest, HostOverStaleEntriesRegistersAndOverwritesThem)
{
    // A process that has ended, then a live process that holds no channel mutex.
    ChildProcess ended;
    ASSERT_TRUE(ended.Start("\"" + BinFolder() + "\\pipe_host.exe\" --raw=bad"));
    ASSERT_TRUE(ended.Wait(kWaitMs));
    const DWORD stalePids[] = {ended.Id(), GetCurrentProcessId()};
    for (DWORD stale : stalePids) {
        SCOPED_TRACE(stale);
        WriteEntries(static_cast<int>(stale), 0x1234, 0x5678);
        HostProcess host;
        ASSERT_TRUE(host.Start());
        int pid = 0, readHandle = 0, writeHandle = 0;
        ASSERT_TRUE(ReadEntry(NamedPipe::PidProperty(kChannel), pid));
        ASSERT_TRUE(ReadEntry(NamedPipe::ReadHandleProperty(kChannel), readHandle));
        ASSERT_TRUE(ReadEntry(NamedPipe::WriteHandleProperty(kChannel), writeHandle));
        EXPECT_EQ(host.Id(), static_cast<DWORD>(pid));
        EXPECT_NE(-1, readHandle);
        EXPECT_NE(-1, writeHandle);
        EXPECT_NE(0x1234, readHandle);
        EXPECT_NE(0x5678, writeHandle);
        EXPECT_NE(readHandle, writeHandle);

        ASSERT_EQ(0u, m_ipc.Register(m_window, false));
        m_ipc.UnRegister();
        host.Kill();
    }
}

TEST_F(PipeChannelTest, SecondLiveHostIsRefusedAndTheFirstKeepsTheChannel)
{
    ASSERT_TRUE(m_host.Start("--echo"));

    NamedPipe pipe;
    EXPECT_FALSE(pipe.Create(kChannel, 3, true, nullptr, nullptr));
    EXPECT_EQ(0x40000001u, pipe.LastError());
    EXPECT_FALSE(pipe.IsRegistered());

    QDIPC second;
    EXPECT_EQ(230u, second.Register(m_window, true));
    EXPECT_FALSE(m_secondHost.Start());
    ASSERT_TRUE(m_secondHost.WaitExit());
    EXPECT_EQ(230u, m_secondHost.ExitCode());

    int pid = 0;
    ASSERT_TRUE(ReadEntry(NamedPipe::PidProperty(kChannel), pid));
    EXPECT_EQ(m_host.Id(), static_cast<DWORD>(pid));
    ASSERT_EQ(0u, m_ipc.Register(m_window, false));
    Send(kPlain, 5, 6);
    ASSERT_TRUE(PumpUntil([] { return !g_arrivals.empty(); }));
    EXPECT_EQ(5u, g_arrivals[0].wParam);
}

TEST_F(PipeChannelTest, RecordsAreReadAsHeadThenChunksOfAtMost4096)
{
    ASSERT_TRUE(m_host.Start());
    NamedPipe pipe;   // no callback: no reading thread, this test reads itself
    ASSERT_TRUE(pipe.Create(kChannel, 3, false, nullptr, nullptr));
    auto request = [&pipe](uint32_t count, uint32_t payloadBytes) {
        const pipe_host::SendRequest body = {count, payloadBytes, 0};
        QDCopyDataRecord record(pipe_host::kCmdSend, 0, 0, &body, sizeof body);
        return pipe.WritePipe(record.Bytes(), static_cast<DWORD>(record.Size()));
    };

    struct Case {
        uint32_t payload;
        std::vector<DWORD> reads;
    } cases[] = {
        {0, {20}},
        {5, {20, 5}},
        {10000, {20, 4096, 4096, 1808}},
        {4076, {20, 4076}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.payload);
        ASSERT_TRUE(request(1, c.payload));
        PipeBuffer buffer;
        DWORD bytesRead = 0;
        ASSERT_TRUE(pipe.ReadPipe(&buffer, &bytesRead));
        EXPECT_EQ(c.payload + 20, bytesRead);
        std::vector<DWORD> reads;
        for (DWORD k = 0; k < buffer.ChunkCount(); ++k)
            reads.push_back(buffer.ChunkLength(k));
        EXPECT_EQ(c.reads, reads);

        const uint8_t* joined = nullptr;
        uint32_t length = 0;
        ASSERT_TRUE(buffer.GetBuffer(&joined, &length));
        ASSERT_EQ(bytesRead, length);
        const QD_COPYDATASTRUCT* record = reinterpret_cast<const QD_COPYDATASTRUCT*>(joined);
        EXPECT_EQ(pipe_host::kMsgStream, record->message);
        EXPECT_EQ(c.payload, record->cbData);
        if (c.payload == 0) {
            EXPECT_EQ(0u, record->wParam);
            EXPECT_EQ(0xFFFFFFFFu, record->lParam);
        } else {
            EXPECT_EQ(0u, record->wParam);
            EXPECT_EQ(0u, record->lParam);
            EXPECT_EQ(Pattern(c.payload, 0),
                      std::vector<uint8_t>(record->data, record->data + c.payload));
        }
        EXPECT_EQ(std::vector<uint8_t>(4, 0),
                  std::vector<uint8_t>(joined + length - 4, joined + length));
    }

    // Plain records follow each other with nothing between them.
    ASSERT_TRUE(request(3, 0));
    for (uint32_t i = 0; i < 3; ++i) {
        PipeBuffer buffer;
        DWORD bytesRead = 0;
        ASSERT_TRUE(pipe.ReadPipe(&buffer, &bytesRead));
        ASSERT_EQ(20u, bytesRead);
        const uint8_t* joined = nullptr;
        uint32_t length = 0;
        ASSERT_TRUE(buffer.GetBuffer(&joined, &length));
        EXPECT_EQ(i, reinterpret_cast<const QD_COPYDATASTRUCT*>(joined)->wParam);
        EXPECT_EQ(~i, reinterpret_cast<const QD_COPYDATASTRUCT*>(joined)->lParam);
    }
    pipe.Close();
}

TEST_F(PipeChannelTest, RecordsArriveAsTheSameMessagesAndPayloads)
{
    ASSERT_TRUE(m_host.Start());
    ASSERT_EQ(0u, m_ipc.Register(m_window, false));
    EXPECT_EQ(230u, m_ipc.Register(m_window, false));   // already registered

    // Hand-made records show how each kind is delivered.
    const std::vector<uint8_t> data = RawRecord(kData, 0x1234, 0x5678, 3, 3);
    const std::vector<uint8_t> plain = RawRecord(kPlain, 0xFFFFFFFF, 0xFFFFFFFE, 0, 0);
    SendData(pipe_host::kCmdRaw, data.data(), static_cast<DWORD>(data.size()));
    SendData(pipe_host::kCmdRaw, plain.data(), static_cast<DWORD>(plain.size()));
    ASSERT_TRUE(PumpUntil([] { return g_arrivals.size() == 2; }));
    EXPECT_TRUE(g_arrivals[0].copyData);
    EXPECT_EQ(kData, g_arrivals[0].message);
    EXPECT_EQ(0x1234u, g_arrivals[0].wParam);
    EXPECT_EQ(std::vector<uint8_t>(data.begin() + 16, data.begin() + 19), g_arrivals[0].payload);
    EXPECT_TRUE(g_arrivals[0].terminated);
    EXPECT_FALSE(g_arrivals[1].copyData);
    EXPECT_EQ(kPlain, g_arrivals[1].message);
    EXPECT_EQ(static_cast<WPARAM>(0xFFFFFFFFu), g_arrivals[1].wParam);
    EXPECT_EQ(static_cast<LPARAM>(-2), g_arrivals[1].lParam);

    // A stream from the host arrives whole and in order.
    g_arrivals.clear();
    Request(500, 0);
    Request(300, 5000);
    ASSERT_TRUE(PumpUntil([] { return g_arrivals.size() == 800; }));
    for (uint32_t i = 0; i < 500; ++i) {
        ASSERT_EQ(pipe_host::kMsgStream, g_arrivals[i].message);
        ASSERT_EQ(i, g_arrivals[i].wParam);
        ASSERT_EQ(static_cast<LPARAM>(static_cast<int32_t>(~i)), g_arrivals[i].lParam);
    }
    for (uint32_t i = 0; i < 300; ++i) {
        const Arrival& arrival = g_arrivals[500 + i];
        ASSERT_TRUE(arrival.copyData);
        ASSERT_EQ(Pattern(5000, i), arrival.payload) << i;
        ASSERT_TRUE(arrival.terminated);
    }
}

TEST_F(PipeChannelTest, PlainRecordsOfSystemMessagesAreNotDelivered)
{
    ASSERT_TRUE(m_host.Start());
    ASSERT_EQ(0u, m_ipc.Register(m_window, false));
    // WM_CLOSE would destroy the window, WM_SETTEXT and WM_COPYDATA would follow a foreign
    // pointer; the host message after them still arrives.
    for (uint32_t message : {uint32_t{WM_CLOSE}, uint32_t{WM_SETTEXT}, uint32_t{WM_COPYDATA}}) {
        const std::vector<uint8_t> record = RawRecord(message, 0, 0x1234, 0, 0);
        SendData(pipe_host::kCmdRaw, record.data(), static_cast<DWORD>(record.size()));
    }
    const std::vector<uint8_t> plain = RawRecord(kPlain, 7, 8, 0, 0);
    SendData(pipe_host::kCmdRaw, plain.data(), static_cast<DWORD>(plain.size()));
    ASSERT_TRUE(PumpUntil([] { return g_arrivals.size() == 1; }));
    EXPECT_EQ(kPlain, g_arrivals[0].message);
    EXPECT_TRUE(IsWindow(m_window));
}

TEST_F(PipeChannelTest, TenThousandRecordsBothWaysNoneLostNoneReordered)
{
    ASSERT_TRUE(m_host.Start());
    ASSERT_EQ(0u, m_ipc.Register(m_window, false));
    Send(pipe_host::kCmdEcho, 1);

    const uint32_t kCount = 10000;
    auto sizeOf = [](uint32_t i) -> uint32_t {
        if (i % 4 == 0)
            return 0;
        if (i % 1000 == 999)
            return 70000;   // more than the pipe buffer holds
        return (i * 131) % 6000 + 1;
    };
    // A writer on its own thread, so that this thread can take the echoes meanwhile.
    std::atomic<uint32_t> hash{pipe_host::kHashStart};
    std::thread writer([&] {
        uint32_t h = pipe_host::kHashStart;
        for (uint32_t i = 0; i < kCount; ++i) {
            const uint32_t size = sizeOf(i);
            if (size == 0) {
                const LPARAM lParam = -static_cast<LPARAM>(i) - 1;
                m_ipc.PostMessage(kPlain, i, lParam);
                h = pipe_host::HashRecord(h, kPlain, i, static_cast<uint32_t>(lParam), nullptr, 0);
            } else {
                const std::vector<uint8_t> payload = Pattern(size, i);
                m_ipc.PostDataMessage(kData, size, payload.data());
                h = pipe_host::HashRecord(h, kData, 0, 0, payload.data(), size);
            }
        }
        hash = h;
    });
    const bool all = PumpUntil([] { return g_arrivals.size() >= kCount; }, 240000);
    writer.join();
    ASSERT_TRUE(all) << g_arrivals.size() << " of " << kCount;
    ASSERT_EQ(kCount, g_arrivals.size());
    for (uint32_t i = 0; i < kCount; ++i) {
        const Arrival& arrival = g_arrivals[i];
        const uint32_t size = sizeOf(i);
        if (size == 0) {
            ASSERT_FALSE(arrival.copyData) << i;
            ASSERT_EQ(kPlain, arrival.message) << i;
            ASSERT_EQ(i, arrival.wParam) << i;
            ASSERT_EQ(-static_cast<LPARAM>(i) - 1, arrival.lParam) << i;
        } else {
            ASSERT_TRUE(arrival.copyData) << i;
            ASSERT_EQ(kData, arrival.message) << i;
            ASSERT_EQ(Pattern(size, i), arrival.payload) << i;
            ASSERT_TRUE(arrival.terminated) << i;
        }
    }
    // And the host saw exactly what was sent.
    const pipe_host::Report report = AskReport();
    EXPECT_EQ(kCount, report.count);
    EXPECT_EQ(hash.load(), report.hash);
}

TEST_F(PipeChannelTest, OversizedByteCountIsRefusedWithoutACrash)
{
    ASSERT_TRUE(m_host.Start());
    NamedPipe pipe;
    ASSERT_TRUE(pipe.Create(kChannel, 3, false, nullptr, nullptr));
    auto raw = [&pipe](const std::vector<uint8_t>& bytes) {
        QDCopyDataRecord record(pipe_host::kCmdRaw, 0, 0, bytes.data(),
                                static_cast<uint32_t>(bytes.size()));
        return pipe.WritePipe(record.Bytes(), static_cast<DWORD>(record.Size()));
    };
    for (uint32_t claimed : std::vector<uint32_t>{0xFFFFFFFFu, 0x7FFFFFFFu,
                                                  NamedPipe::kMaxRecordByteCount + 1}) {
        SCOPED_TRACE(claimed);
        ASSERT_TRUE(raw(RawRecord(kData, 0, 0, claimed, 0)));
        PipeBuffer buffer;
        DWORD bytesRead = 0;
        EXPECT_FALSE(pipe.ReadPipe(&buffer, &bytesRead));
        EXPECT_EQ(0x40000007u, pipe.LastError());
        EXPECT_EQ(0u, buffer.ChunkCount());
    }
    // The largest count allowed is carried.
    const pipe_host::SendRequest largest = {1, NamedPipe::kMaxRecordByteCount, 0};
    QDCopyDataRecord ask(pipe_host::kCmdSend, 0, 0, &largest, sizeof largest);
    ASSERT_TRUE(pipe.WritePipe(ask.Bytes(), static_cast<DWORD>(ask.Size())));
    PipeBuffer buffer;
    DWORD bytesRead = 0;
    ASSERT_TRUE(pipe.ReadPipe(&buffer, &bytesRead));
    EXPECT_EQ(NamedPipe::kMaxRecordByteCount + 20, bytesRead);
    pipe.Close();

    // A writer does not send what no reader would take.
    ASSERT_EQ(0u, m_ipc.Register(m_window, false));
    std::vector<uint8_t> tooLarge(NamedPipe::kMaxRecordByteCount + 1);
    EXPECT_EQ(0u, m_ipc.PostDataMessage(kData, static_cast<DWORD>(tooLarge.size()), tooLarge.data()));
    EXPECT_EQ(0u, AskReport().count);

    // The reading thread hands on what came before, refuses the record, and stops.
    Request(1, 0);
    const std::vector<uint8_t> bad = RawRecord(kData, 0, 0, 0x7FFFFFFF, 0);
    SendData(pipe_host::kCmdRaw, bad.data(), static_cast<DWORD>(bad.size()));
    Request(1, 0);
    ASSERT_TRUE(WaitThreadEnd(m_ipc.Pipe()));
    EXPECT_EQ(0x40000007u, m_ipc.Pipe()->LastError());
    ASSERT_EQ(1u, g_arrivals.size());
    EXPECT_EQ(pipe_host::kMsgStream, g_arrivals[0].message);
}

TEST_F(PipeChannelTest, RecordCutShortIsNotHandedOn)
{
    ASSERT_TRUE(m_host.Start());
    ASSERT_EQ(0u, m_ipc.Register(m_window, false));
    // A head claiming 100 more bytes, 50 of them, and then the host goes away.
    const std::vector<uint8_t> cut = RawRecord(kData, 0, 0, 100, 50);
    SendData(pipe_host::kCmdRaw, cut.data(), static_cast<DWORD>(cut.size()));
    Send(pipe_host::kCmdQuit);
    ASSERT_TRUE(m_host.WaitExit());
    EXPECT_EQ(0u, m_host.ExitCode());
    ASSERT_TRUE(WaitThreadEnd(m_ipc.Pipe()));
    EXPECT_EQ(0x40000007u, m_ipc.Pipe()->LastError());
    EXPECT_TRUE(g_arrivals.empty());

    // Writing to a host that has gone is reported by the pipe, not by PostMessage.
    EXPECT_EQ(0u, m_ipc.PostMessage(kPlain, 0, 0));
    EXPECT_EQ(0x40000008u, m_ipc.Pipe()->LastError());
}

TEST_F(PipeChannelTest, UnpublishedHandlesAreNotDuplicated)
{
    ASSERT_TRUE(m_host.Start());
    int readHandle = 0, writeHandle = 0;
    ASSERT_TRUE(ReadEntry(NamedPipe::ReadHandleProperty(kChannel), readHandle));
    ASSERT_TRUE(ReadEntry(NamedPipe::WriteHandleProperty(kChannel), writeHandle));
    // As between the host's registration and the publication of its pipes.
    WriteEntries(static_cast<int>(m_host.Id()), -1, -1);
    NamedPipe early;
    EXPECT_FALSE(early.Create(kChannel, 3, false, nullptr, nullptr));
    EXPECT_EQ(0x40000005u, early.LastError());

    WriteEntries(static_cast<int>(m_host.Id()), readHandle, writeHandle);
    NamedPipe pipe;
    ASSERT_TRUE(pipe.Create(kChannel, 3, false, nullptr, nullptr));
    EXPECT_FALSE(pipe.Create(kChannel, 3, false, nullptr, nullptr));
    EXPECT_EQ(0x40000009u, pipe.LastError());
}

TEST_F(PipeChannelTest, CloseHandsOverADeliveryBlockedOnItsThreadAndNothingArrivesLater)
{
    // Both ends in this process: the host's reading thread sends each record to our window.
    QDIPC host;
    ASSERT_EQ(0u, host.Register(m_window, true));
    ASSERT_EQ(0u, m_ipc.Register(m_window, false));
    // The record's handler unregisters the host once more, as a program quitting on it would.
    g_unregisterOnArrival = &host;
    Send(kUnregister, 1, 2);
    // The reading thread now waits for this thread, which is busy elsewhere.
    ASSERT_TRUE(WaitForPendingSend(kWaitMs));
    EXPECT_TRUE(g_arrivals.empty());
    host.UnRegister();
    g_unregisterOnArrival = nullptr;
    ASSERT_EQ(1u, g_arrivals.size());
    EXPECT_EQ(kUnregister, g_arrivals[0].message);
    EXPECT_EQ(1u, g_arrivals[0].wParam);
    EXPECT_EQ(nullptr, host.Pipe());
    // Nothing is left to arrive once the channel has gone.
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(1u, g_arrivals.size());
}

TEST_F(PipeChannelTest, HostDoesNotTakeAChannelMutexItCannotHold)
{
    // The entries name nobody alive, yet the channel mutex exists: some endpoint still holds
    // it, so a new host must not take the channel over.
    WriteEntries(0, 0x1234, 0x5678);
    HANDLE held = CreateMutexA(nullptr, FALSE, kChannelMutex);
    ASSERT_NE(nullptr, held);
    NamedPipe pipe;
    EXPECT_FALSE(pipe.Create(kChannel, 3, true, nullptr, nullptr));
    EXPECT_EQ(0x40000002u, pipe.LastError());
    CloseHandle(held);
    int readHandle = 0;
    ASSERT_TRUE(ReadEntry(NamedPipe::ReadHandleProperty(kChannel), readHandle));
    EXPECT_EQ(0x1234, readHandle);
}

// --- trace scenarios, run as a child under the debugger ---------------------------------

const char kMark[] = "--mark--\n";

int RunScenario(const std::string& scenario)
{
    HWND window = MakeWindow();
    if (scenario == "close-twice") {
        // Both ends in this process: the host's reading thread waits on a pipe the client
        // still holds open.
        QDIPC host, client;
        if (host.Register(window, true) != 0 || client.Register(window, false) != 0)
            return 2;
        TraceLog(kMark);
        host.Pipe()->Close();
        // The client's reading thread sees its pipe end and leaves; its traces belong here.
        for (DWORD start = GetTickCount();
             client.Pipe()->IsThreadRunning() && GetTickCount() - start < 5000;)
            Sleep(10);
        TraceLog(kMark);
        host.Pipe()->Close();
        TraceLog(kMark);
        host.UnRegister();
        TraceLog(kMark);
        client.UnRegister();
        TraceLog(kMark);
    } else if (scenario == "unregistered") {
        QDIPC ipc;
        TraceLog(kMark);
        const DWORD plain = ipc.PostMessage(kPlain, 1, 2);
        TraceLog(kMark);
        const DWORD data = ipc.PostDataMessage(kData, 3, "abc");
        TraceLog(kMark);
        ipc.UnRegister();
        TraceLog(kMark);
        return plain == 0 && data == 0 ? 0 : 3;
    } else {
        return 4;
    }
    return 0;
}

// The trace lines between the marks, without the per-line prefixes.
std::vector<std::vector<std::string>> Sections(const DebuggedRun& run)
{
    std::vector<std::vector<std::string>> sections(1);
    for (const std::string& line : run.output) {
        if (line.rfind("PID:", 0) == 0 || line == "Debug Mode is ON\n")
            continue;
        if (line == kMark)
            sections.emplace_back();
        else
            sections.back().push_back(line);
    }
    return sections;
}

class PipeTraceTest : public PipeChannelTest {
protected:
    DebuggedRun Run(const std::string& scenario)
    {
        testing_support::TraceSwitch trace(1);
        DebuggedRun run = testing_support::RunUnderDebugger(
            "\"" + SelfPath() + "\" --pipe-scenario=" + scenario, kWaitMs);
        EXPECT_TRUE(run.finished);
        EXPECT_EQ(0u, run.exitCode);
        return run;
    }
};

TEST_F(PipeTraceTest, CloseTwiceOnlySaysAlreadyClosed)
{
    const auto sections = Sections(Run("close-twice"));
    ASSERT_EQ(6u, sections.size());
    // The client's reading thread traces meanwhile, as the host's close ends its pipe.
    std::vector<std::string> first;
    for (const std::string& line : sections[1])
        if (line.rfind("NamedPipe::Close", 0) == 0)
            first.push_back(line);
    const std::vector<std::string> handles = {
        "NamedPipe::Close()\n",
        "NamedPipe::Close() - closing m_hClientWrite.\n",
        "NamedPipe::Close() - closing m_hClientRead.\n",
        "NamedPipe::Close() - closing m_hWrite.\n",
        "NamedPipe::Close() - closing m_hRead.\n",
        "NamedPipe::Close() - closing m_hMutex.\n",
    };
    ASSERT_GE(first.size(), handles.size());
    EXPECT_EQ(handles, std::vector<std::string>(first.begin(), first.begin() + handles.size()));
    // The reading thread was let go within the wait, and then nothing is left to invalidate.
    const std::vector<std::string> end = {
        "NamedPipe::Close() - Read thread exited within timeout period.\n",
        "NamedPipe::Close() - !m_bThreadRunning, set m_threadHandle to NULL.\n",
        "NamedPipe::Close() - m_bValidThread is false, not setting m_pbValidPtr to false.\n",
    };
    ASSERT_GE(first.size(), end.size());
    EXPECT_EQ(end, std::vector<std::string>(first.end() - end.size(), first.end()));

    EXPECT_EQ((std::vector<std::string>{"NamedPipe::Close()\n",
                                        "NamedPipe::Close() - Already Closed.\n"}),
              sections[2]);
    EXPECT_EQ((std::vector<std::string>{
                  "QDIPC::UnRegister() \n", "QDIPC::UnRegister() - Closing pipe.\n",
                  "NamedPipe::Close()\n", "NamedPipe::Close() - Already Closed.\n",
                  "QDIPC::UnRegister() - Deleting pipe.\n", "NamedPipe::~NamedPipe()\n",
                  "NamedPipe::Close()\n", "NamedPipe::Close() - Already Closed.\n",
                  "QDIPC::UnRegister() - Clearing member vars.\n"}),
              sections[3]);
}

TEST_F(PipeTraceTest, PostingWhileUnregisteredIsTracedAndAnswersZero)
{
    const auto sections = Sections(Run("unregistered"));
    ASSERT_EQ(5u, sections.size());
    EXPECT_EQ((std::vector<std::string>{"QDIPC::PostMessage() \n",
                                        "QDIPC::WritePipeData - pipe is NULL.\n"}),
              sections[1]);
    EXPECT_EQ((std::vector<std::string>{"QDIPC::PostDataMessage()\n",
                                        "QDIPC::WritePipeData - pipe is NULL.\n",
                                        "QDIPC::PostDataMessage - complete.\n"}),
              sections[2]);
    EXPECT_EQ((std::vector<std::string>{"QDIPC::UnRegister() \n",
                                        "QDIPC::UnRegister() - m_pipe is already NULL.\n"}),
              sections[3]);
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string scenario = testing_support::SwitchValue(argc, argv, "pipe-scenario");
    if (!scenario.empty())
        return RunScenario(scenario);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
