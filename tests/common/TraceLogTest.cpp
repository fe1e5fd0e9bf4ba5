// The trace log seen from outside: each case runs this executable again as a child with a
// scenario, under a small debugger that collects the child's OutputDebugString calls.
#include "common/TraceLog.h"
#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

using testing_support::DebuggedRun;
using testing_support::RunUnderDebugger;
using testing_support::SelfPath;

namespace {

const char kKey[] = "Software\\Ashgrove\\Tidewire";
const char kHeldEvent[] = "TraceLogTest.held";
const char kGoEvent[] = "TraceLogTest.go";

std::string RectLine() { return "rect {Left=1, Top=-2, Right=300, Bottom=4000}\n"; }

// --- child side -------------------------------------------------------------------------

int RunChild(const std::string& scenario)
{
    if (scenario == "basic") {
        TraceLog("first %d\n", 42);
        TraceLog("second\n");
        RECT rect = {1, -2, 300, 4000};
        TraceRect("rect", rect);
    } else if (scenario == "long") {
        std::string text(5000, 'x');
        TraceLog("%s", text.c_str());
    } else if (scenario == "threads") {
        HANDLE start = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        std::vector<std::thread> threads;
        for (int i = 0; i < 8; ++i)
            threads.emplace_back([start, i] {
                WaitForSingleObject(start, INFINITE);
                TraceLog("thread %d\n", i);
            });
        Sleep(100);
        SetEvent(start);
        for (auto& t : threads)
            t.join();
        CloseHandle(start);
    } else if (scenario == "hold") {
        HANDLE held = OpenEventA(EVENT_MODIFY_STATE, FALSE, kHeldEvent);
        HANDLE go = OpenEventA(SYNCHRONIZE, FALSE, kGoEvent);
        TraceLog("held line\n");
        SetEvent(held);
        WaitForSingleObject(go, 20000);
        CloseHandle(held);
        CloseHandle(go);
    } else if (scenario == "retry") {
        // A folder standing where the log file belongs makes the open fail.
        char path[MAX_PATH];
        if (!BuildTraceLogPath(path, sizeof path) || !CreateDirectoryA(path, nullptr))
            return 3;
        TraceLog("lost\n");
        RemoveDirectoryA(path);
        TraceLog("kept\n");
    } else {
        return 2;
    }
    return 0;
}

// --- parent side ------------------------------------------------------------------------

class TraceLogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_key,
                        nullptr);
        m_savedSize = sizeof m_saved;
        m_hadValue = RegQueryValueExA(m_key, "debug", nullptr, &m_savedType, m_saved, &m_savedSize) ==
                     ERROR_SUCCESS;
        char appData[MAX_PATH];
        SHGetFolderPathA(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, appData);
        m_folder = std::string(appData) + "\\Quill\\Tidewire";
        SHCreateDirectoryExA(nullptr, m_folder.c_str(), nullptr);
    }

    void TearDown() override
    {
        if (m_hadValue)
            RegSetValueExA(m_key, "debug", 0, m_savedType, m_saved, m_savedSize);
        else
            RegDeleteValueA(m_key, "debug");
        RegCloseKey(m_key);
    }

    void SetLevel(DWORD level)
    {
        RegSetValueExA(m_key, "debug", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&level),
                       sizeof level);
    }
    void SetRaw(DWORD type, const std::vector<BYTE>& data)
    {
        RegSetValueExA(m_key, "debug", 0, type, data.data(), static_cast<DWORD>(data.size()));
    }
    void RemoveValue() { RegDeleteValueA(m_key, "debug"); }

    DebuggedRun Run(const std::string& scenario)
    {
        DebuggedRun run =
            RunUnderDebugger("\"" + SelfPath() + "\" --trace-child=" + scenario, 30000);
        EXPECT_TRUE(run.started);
        EXPECT_TRUE(run.finished);
        EXPECT_EQ(0u, run.exitCode);
        return run;
    }

    std::string FileOf(DWORD pid) const
    {
        return m_folder + "\\trace_log_tests." + std::to_string(pid) + ".txt";
    }
    static bool Exists(const std::string& path)
    {
        return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    static std::string Read(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    HKEY m_key = nullptr;
    bool m_hadValue = false;
    DWORD m_savedType = 0;
    BYTE m_saved[64] = {};
    DWORD m_savedSize = 0;
    std::string m_folder;
};

// "PID:<pid>(TID:<tid>)[TS:<ticks> ms]" with no blank after it.
::testing::AssertionResult IsPrefix(const std::string& text, DWORD pid)
{
    static const std::regex shape(R"(PID:(-?\d+)\(TID:(-?\d+)\)\[TS:(-?\d+) ms\])");
    std::smatch m;
    if (!std::regex_match(text, m, shape))
        return ::testing::AssertionFailure() << "not a prefix: '" << text << "'";
    if (std::stoul(m[1]) != pid)
        return ::testing::AssertionFailure() << "wrong pid in '" << text << "'";
    return ::testing::AssertionSuccess();
}

void ExpectBasicOutput(const DebuggedRun& run)
{
    ASSERT_EQ(7u, run.output.size());
    EXPECT_EQ("Debug Mode is ON\n", run.output[0]);
    EXPECT_TRUE(IsPrefix(run.output[1], run.processId));
    EXPECT_EQ("first 42\n", run.output[2]);
    EXPECT_TRUE(IsPrefix(run.output[3], run.processId));
    EXPECT_EQ("second\n", run.output[4]);
    EXPECT_TRUE(IsPrefix(run.output[5], run.processId));
    EXPECT_EQ(RectLine(), run.output[6]);
}

TEST_F(TraceLogTest, NoSwitchSaysOffOnceAndNothingMore)
{
    RemoveValue();
    DebuggedRun run = Run("basic");
    EXPECT_EQ(std::vector<std::string>{"Debug Mode is OFF\n"}, run.output);
    EXPECT_FALSE(Exists(FileOf(run.processId)));

    SetLevel(0);
    run = Run("basic");
    EXPECT_EQ(std::vector<std::string>{"Debug Mode is OFF\n"}, run.output);
}

TEST_F(TraceLogTest, DataLongerThanFourBytesMeansOff)
{
    SetRaw(REG_BINARY, {2, 0, 0, 0, 0, 0, 0, 0});
    DebuggedRun run = Run("basic");
    EXPECT_EQ(std::vector<std::string>{"Debug Mode is OFF\n"}, run.output);
}

TEST_F(TraceLogTest, LevelOneGoesToTheDebuggerAsPrefixThenMessage)
{
    SetLevel(1);
    const DWORD before = GetTickCount();
    DebuggedRun run = Run("basic");
    const DWORD after = GetTickCount();
    ExpectBasicOutput(run);
    EXPECT_FALSE(Exists(FileOf(run.processId)));

    std::smatch m;
    ASSERT_TRUE(std::regex_search(run.output[1], m, std::regex(R"(\[TS:(-?\d+) ms\])")));
    const DWORD stamp = static_cast<DWORD>(std::stol(m[1]));
    EXPECT_LE(before, stamp);
    EXPECT_GE(after, stamp);
}

TEST_F(TraceLogTest, LevelTwoAlsoWritesThePerProcessFile)
{
    SetLevel(2);
    DebuggedRun run = Run("basic");
    ExpectBasicOutput(run);
    ASSERT_EQ(7u, run.output.size());
    const std::string expected = run.output[1] + run.output[2] + run.output[3] + run.output[4] +
                                 run.output[5] + run.output[6];
    // Text mode: the file holds CR LF where the message had LF.
    std::string text = Read(FileOf(run.processId));
    text = std::regex_replace(text, std::regex("\r\n"), "\n");
    EXPECT_EQ(expected, text);
    DeleteFileA(FileOf(run.processId).c_str());
}

TEST_F(TraceLogTest, AnyFourByteTypeCounts)
{
    SetRaw(REG_BINARY, {2, 0, 0, 0});
    DebuggedRun run = Run("basic");
    ExpectBasicOutput(run);
    EXPECT_TRUE(Exists(FileOf(run.processId)));
    DeleteFileA(FileOf(run.processId).c_str());
}

TEST_F(TraceLogTest, NegativeValueIsReadAgainAtEveryCall)
{
    SetLevel(0xFFFFFFFF);
    DebuggedRun run = Run("basic");
    ASSERT_EQ(9u, run.output.size());
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ("Debug Mode is ON\n", run.output[i * 3]);
        EXPECT_TRUE(IsPrefix(run.output[i * 3 + 1], run.processId));
    }
    EXPECT_EQ("first 42\n", run.output[2]);
    EXPECT_EQ("second\n", run.output[5]);
    EXPECT_EQ(RectLine(), run.output[8]);
    EXPECT_FALSE(Exists(FileOf(run.processId)));
}

TEST_F(TraceLogTest, LongMessageIsCutAt4096Characters)
{
    SetLevel(1);
    DebuggedRun run = Run("long");
    ASSERT_EQ(3u, run.output.size());
    EXPECT_EQ(std::string(4096, 'x'), run.output[2]);
}

TEST_F(TraceLogTest, SimultaneousFirstCallsSetUpOnce)
{
    SetLevel(2);
    DebuggedRun run = Run("threads");
    ASSERT_FALSE(run.output.empty());
    EXPECT_EQ("Debug Mode is ON\n", run.output[0]);
    int on = 0, messages = 0;
    for (const auto& line : run.output) {
        on += line == "Debug Mode is ON\n";
        messages += line.rfind("thread ", 0) == 0;
    }
    EXPECT_EQ(1, on);
    EXPECT_EQ(8, messages);
    EXPECT_EQ(17u, run.output.size());

    const std::string text = Read(FileOf(run.processId));
    for (int i = 0; i < 8; ++i)
        EXPECT_NE(std::string::npos, text.find("thread " + std::to_string(i) + "\r\n")) << i;
    DeleteFileA(FileOf(run.processId).c_str());
}

TEST_F(TraceLogTest, AnotherProcessReadsTheStillOpenFile)
{
    SetLevel(2);
    HANDLE held = CreateEventA(nullptr, TRUE, FALSE, kHeldEvent);
    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, kGoEvent);
    testing_support::ChildProcess child;
    ASSERT_TRUE(child.Start("\"" + SelfPath() + "\" --trace-child=hold"));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(held, 20000));

    HANDLE file = CreateFileA(FileOf(child.Id()).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    char buffer[512] = {};
    DWORD read = 0;
    ReadFile(file, buffer, sizeof buffer - 1, &read, nullptr);
    CloseHandle(file);
    EXPECT_NE(nullptr, std::strstr(buffer, "held line\r\n")) << buffer;
    EXPECT_TRUE(IsPrefix(std::string(buffer, std::strstr(buffer, "held line") - buffer), child.Id()));

    SetEvent(go);
    EXPECT_TRUE(child.Wait(20000));
    EXPECT_EQ(0u, child.ExitCode());
    CloseHandle(held);
    CloseHandle(go);
    DeleteFileA(FileOf(child.Id()).c_str());
}

TEST_F(TraceLogTest, FailedOpenIsRetriedAtTheNextMessage)
{
    SetLevel(2);
    DebuggedRun run = Run("retry");
    const std::string text = Read(FileOf(run.processId));
    EXPECT_EQ(std::string::npos, text.find("lost"));
    EXPECT_NE(std::string::npos, text.find("kept\r\n"));
    // The lost line still reached the debugger.
    EXPECT_NE(run.output.end(), std::find(run.output.begin(), run.output.end(), "lost\n"));
    DeleteFileA(FileOf(run.processId).c_str());
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string scenario = testing_support::SwitchValue(argc, argv, "trace-child");
    if (!scenario.empty())
        return RunChild(scenario);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
