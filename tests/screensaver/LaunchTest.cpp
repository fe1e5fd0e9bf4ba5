// Starting programs through the management service, and making sure the host application
// runs before the screen saver shows anything: real child processes, the test host as the
// host, the per-user settings naming it.
#include "ScreenSaver/HostLaunch.h"
#include "common/HostMessages.h"
#include "common/QDUtilities.h"
#include "common/WMIProcess.h"
#include "common/com/Handle.h"
#include "tests/screensaver/ChildModes.h"
#include "tests/screensaver/SaverSession.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ImportHook.h"
#include "tests/support/ScratchState.h"
#include "tests/support/TraceCapture.h"

#include <gtest/gtest.h>
#include <objbase.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

using testing_support::ScratchFolder;
using testing_support::TraceCapture;

namespace {

const char kMissingProgram[] = "\"C:\\no such folder\\missing.exe\" -x";

bool UnderWine()
{
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

std::string WaitForFile(const std::string& path, DWORD timeoutMs = 15000)
{
    std::string text;
    testing_support::PumpUntil([&] { return testing_support::ReadWholeFile(path, text) && !text.empty(); }, timeoutMs);
    return text;
}

// A launch leaves the start-up event as the host left it: each case starts from "not set".
void ResetStartupEvent()
{
    UniqueHandle event(OpenEventA(EVENT_MODIFY_STATE, FALSE, STARTUP_SYNCHRONIZATION_EVENT));
    if (event)
        ResetEvent(event.Get());
}

using FreeAndExitFn = void(WINAPI*)(HMODULE, DWORD);
FreeAndExitFn g_freeAndExit = nullptr;
std::atomic<HMODULE> g_givenBack{nullptr};
std::atomic<DWORD> g_givenBackBy{0};

// Notes which thread gives back which module reference as its last act.
void WINAPI NoteFreeLibraryAndExitThread(HMODULE module, DWORD exitCode)
{
    g_givenBack = module;
    g_givenBackBy = GetCurrentThreadId();
    g_freeAndExit(module, exitCode);
}

std::string RecordedCommandLine(const saver_tests::SaverSession& session)
{
    session.WaitForRecord([](const std::vector<host::RecordEntry>& record) {
        return !host::FindEntries(record, "started").empty();
    });
    const auto lines = host::FindEntries(session.Record(), "commandline");
    return lines.empty() ? std::string("<not started>") : lines.front().data;
}

}  // namespace

TEST(WMIProcess, RefusesANullOrEmptyCommandLine)
{
    EXPECT_EQ(0u, WMIProcess::Create(nullptr));
    EXPECT_FALSE(WMIProcess::ThreadCreate(nullptr));
    EXPECT_FALSE(WMIProcess::ThreadCreate(""));
}

TEST(WMIProcess, StartsAProgramWithExactlyItsCommandLine)
{
    ScratchFolder scratch("wmi");
    const std::string record = scratch.Path() + "\\arguments.txt";
    const std::string commandLine = "\"" + testing_support::SelfPath() + "\" " + saver_tests::kRecordArguments +
                                    record + " \"two words\" third";
    const std::size_t mark = TraceCapture::Mark();
    ASSERT_TRUE(WMIProcess::ThreadCreate(commandLine.c_str()));
    EXPECT_EQ(commandLine, WaitForFile(record));
    EXPECT_EQ(std::string::npos, TraceCapture::Since(mark).find("WMIProcess::"));
}

TEST(WMIProcess, TheLaunchThreadHoldsTheModuleItRunsInUntilItEnds)
{
    // After a time-out the thread runs on alone: it must give back a reference of its own to
    // the module its code is in, with its very last call.
    testing_support::ImportHook hook(GetModuleHandleA(nullptr), "kernel32.dll", "FreeLibraryAndExitThread",
                                     reinterpret_cast<void*>(&NoteFreeLibraryAndExitThread));
    ASSERT_TRUE(hook.Installed());
    g_freeAndExit = reinterpret_cast<FreeAndExitFn>(hook.Original());
    g_givenBack = nullptr;
    EXPECT_TRUE(WMIProcess::ThreadCreate(kMissingProgram));
    HMODULE code = nullptr;
    ASSERT_TRUE(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                   reinterpret_cast<LPCSTR>(&WMIProcess::Create), &code));
    EXPECT_EQ(code, g_givenBack.load());
    EXPECT_NE(GetCurrentThreadId(), g_givenBackBy.load());
}

TEST(WMIProcess, AMissingProgramStillCountsAsAccepted)
{
    const std::size_t mark = TraceCapture::Mark();
    EXPECT_TRUE(WMIProcess::ThreadCreate(kMissingProgram));
    EXPECT_EQ(std::string::npos, TraceCapture::Since(mark).find("WMIProcess::"));
}

TEST(WMIProcess, LeavesTheCallersOwnComInitialisationInPlace)
{
    DWORD result = 0;
    HRESULT afterwards = E_FAIL;
    APTTYPE type = APTTYPE_CURRENT;
    std::thread caller([&] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        result = WMIProcess::Create(kMissingProgram);
        APTTYPEQUALIFIER qualifier;
        afterwards = CoGetApartmentType(&type, &qualifier);
        CoUninitialize();
    });
    caller.join();
    EXPECT_EQ(1u, result);
    EXPECT_EQ(S_OK, afterwards);
    EXPECT_EQ(APTTYPE_MTA, type);
}

TEST(WMIProcess, ARefusedLocatorIsTracedAndReportedAsFailure)
{
    if (!UnderWine())
        GTEST_SKIP() << "switching the WMI provider off needs Wine's per-program DLL overrides";
    // A copy of this program under its own name, for which the WMI provider's DLL is disabled
    // (an empty override). WINEDLLOVERRIDES set from here would not reach the child: Wine
    // builds a child's loader settings from its own environment.
    ScratchFolder scratch("wmi");
    const std::string child = scratch.Path() + "\\wmi_refused.exe";
    ASSERT_TRUE(CopyFileA(testing_support::SelfPath().c_str(), child.c_str(), FALSE));
    const std::string overrides = "Software\\Wine\\AppDefaults\\wmi_refused.exe\\DllOverrides";
    testing_support::RegistryValueBackup backup(HKEY_CURRENT_USER, overrides, "wbemprox");
    UniqueHKey key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, overrides.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                             key.Put(), nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key.Get(), "wbemprox", 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1));
    const std::string commandFile = scratch.Path() + "\\command.txt";
    ASSERT_TRUE(testing_support::WriteWholeFile(commandFile, kMissingProgram));

    testing_support::ChildProcess run;
    ASSERT_TRUE(run.Start("\"" + child + "\" " + saver_tests::kWmiLaunch + commandFile));
    ASSERT_TRUE(run.Wait(30000));
    EXPECT_EQ(0u, run.ExitCode());
    EXPECT_NE(std::string::npos, testing_support::ProcessTraceText("wmi_refused", run.Id())
                                     .find("WMIProcess::Create - Failed creating IID_IWbemLocator hr=0x"))
        << testing_support::ProcessTraceText("wmi_refused", run.Id());
}

TEST(HostLaunch, ARunningHostIsLeftAloneButTheStartupEventIsMade)
{
    saver_tests::SaverSession session;
    UniqueHandle hostMutex(CreateMutexA(nullptr, FALSE, "{5C888E6D-D2DF-420e-831E-DAB3E6C2E3D8}"));
    ASSERT_TRUE(hostMutex);
    const std::size_t mark = TraceCapture::Mark();
    EXPECT_EQ(0, QDUtilities::EnsureQuillDesktopMothershipIsRunning(true));
    const std::string trace = TraceCapture::Since(mark);
    EXPECT_NE(std::string::npos, trace.find("QDUtilities::EnsureQuillDesktopMothershipIsRunning - bIsRunning = 1\n"));
    EXPECT_EQ(std::string::npos, trace.find("starting QuillDesktop"));
    UniqueHandle event(OpenEventA(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, "QDStartupSynchronizationEventName"));
    ASSERT_TRUE(event);
    // Manual reset: the host's one signal wakes every waiter and stays set for later ones.
    ResetEvent(event.Get());
    DWORD waits[2] = {WAIT_FAILED, WAIT_FAILED};
    std::thread first([&] { waits[0] = WaitForSingleObject(event.Get(), 10000); });
    std::thread second([&] { waits[1] = WaitForSingleObject(event.Get(), 10000); });
    Sleep(100);
    SetEvent(event.Get());
    first.join();
    second.join();
    EXPECT_EQ(WAIT_OBJECT_0, waits[0]);
    EXPECT_EQ(WAIT_OBJECT_0, waits[1]);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event.Get(), 0));
    ResetEvent(event.Get());
    testing_support::PumpMessages(300);
    EXPECT_FALSE(testing_support::FileExists(session.RecordPath()));
}

TEST(HostLaunch, LaunchesTheHostWithNoBrowserAndWaitsForItsStartupEvent)
{
    saver_tests::SaverSession session;
    session.SetHostOptions("--startup-delay=1500\n");
    ResetStartupEvent();
    const std::size_t mark = TraceCapture::Mark();
    const DWORD start = GetTickCount();
    EXPECT_EQ(1, QDUtilities::EnsureQuillDesktopMothershipIsRunning(true));
    EXPECT_GE(GetTickCount() - start, 1400u);
    EXPECT_EQ("\"" + session.HostPath() + "\" -NoBrowser", RecordedCommandLine(session));
    const std::string trace = TraceCapture::Since(mark);
    for (const char* line : {"QDUtilities::EnsureQuillDesktopMothershipIsRunning - bIsRunning = 0\n",
                             "QDUtilities::EnsureQuillDesktopMothershipIsRunning - couldn't find mom - starting "
                             "QuillDesktop.\n",
                             "launching mother ship: must wait for it to arrive in orbit before continuing....\n",
                             "    SuppressBrowser = 1\n", "  Launching QD with cmdline switch '-NoBrowser'\n",
                             "    EnsureQuillDesktopMothershipIsRunning  - Waited "})
        EXPECT_NE(std::string::npos, trace.find(line)) << line;
    EXPECT_EQ(std::string::npos, trace.find("timed out"));
}

TEST(HostLaunch, WithoutSuppressingTheBrowserTheCommandLineIsTheBarePath)
{
    saver_tests::SaverSession session;
    ResetStartupEvent();
    const std::size_t mark = TraceCapture::Mark();
    EXPECT_EQ(1, QDUtilities::EnsureQuillDesktopMothershipIsRunning(false));
    EXPECT_EQ(session.HostPath(), RecordedCommandLine(session));
    EXPECT_NE(std::string::npos, TraceCapture::Since(mark).find("  Launching QD with cmdline switch ''\n"));
}

class SecureScreenSaver : public ::testing::Test {
protected:
    void Set(DWORD type, const void* data, DWORD size)
    {
        UniqueHKey key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, nullptr, 0,
                                                 KEY_SET_VALUE, nullptr, key.Put(), nullptr));
        ASSERT_EQ(ERROR_SUCCESS,
                  RegSetValueExA(key.Get(), "ScreenSaverIsSecure", 0, type, static_cast<const BYTE*>(data), size));
    }
    void SetText(DWORD type, const std::string& text) { Set(type, text.c_str(), static_cast<DWORD>(text.size() + 1)); }
    void SetPolicy(const char* text)
    {
        UniqueHKey key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kPolicyKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                                 key.Put(), nullptr));
        if (text)
            RegSetValueExA(key.Get(), "ScreenSaverIsSecure", 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                           static_cast<DWORD>(std::strlen(text) + 1));
        else
            RegDeleteValueA(key.Get(), "ScreenSaverIsSecure");
    }

    static constexpr const char* kPolicyKey = "Software\\Policies\\Microsoft\\Windows\\Control Panel\\Desktop";
    testing_support::RegistryValueBackup m_backup{HKEY_CURRENT_USER, "Control Panel\\Desktop", "ScreenSaverIsSecure"};
    testing_support::RegistryValueBackup m_policy{HKEY_CURRENT_USER, kPolicyKey, "ScreenSaverIsSecure"};
};

TEST_F(SecureScreenSaver, OnlyTheTextOneCounts)
{
    SetText(REG_SZ, "1");
    EXPECT_TRUE(QDUtilities::IsScreenSaverSecure());
    SetText(REG_EXPAND_SZ, "1");
    EXPECT_TRUE(QDUtilities::IsScreenSaverSecure());
    for (const char* text : {"0", "", "11", "1 "}) {
        SetText(REG_SZ, text);
        EXPECT_FALSE(QDUtilities::IsScreenSaverSecure()) << "'" << text << "'";
    }
    const DWORD one = 1;
    Set(REG_DWORD, &one, sizeof one);
    EXPECT_FALSE(QDUtilities::IsScreenSaverSecure());
    Set(REG_BINARY, "1", 2);
    EXPECT_FALSE(QDUtilities::IsScreenSaverSecure());
    SetText(REG_SZ, std::string(300, '1'));
    EXPECT_FALSE(QDUtilities::IsScreenSaverSecure());
    UniqueHKey key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, KEY_SET_VALUE, key.Put()));
    RegDeleteValueA(key.Get(), "ScreenSaverIsSecure");
    EXPECT_FALSE(QDUtilities::IsScreenSaverSecure());

    // The policy's value wins when present, either way.
    SetPolicy("1");
    EXPECT_TRUE(QDUtilities::IsScreenSaverSecure());
    SetText(REG_SZ, "1");
    SetPolicy("0");
    EXPECT_FALSE(QDUtilities::IsScreenSaverSecure());
    SetPolicy(nullptr);
    EXPECT_TRUE(QDUtilities::IsScreenSaverSecure());
}

TEST(StoryFile, IsReplacedWithTheTextInTextMode)
{
    std::string path;
    ASSERT_TRUE(QDUtilities::GetStoryFilePath(path));
    std::string folder;
    ASSERT_TRUE(QDUtilities::GetContentDirectoryPath(folder));
    EXPECT_EQ(folder + "\\sstmpfile.htm", path);
    testing_support::FileBackup backup(path);
    ASSERT_TRUE(QDUtilities::WriteStoryFile("first line\nsecond line"));
    std::string bytes;
    ASSERT_TRUE(testing_support::ReadWholeFile(path, bytes));
    EXPECT_EQ("first line\r\nsecond line", bytes);
    ASSERT_TRUE(QDUtilities::WriteStoryFile("x"));
    ASSERT_TRUE(testing_support::ReadWholeFile(path, bytes));
    EXPECT_EQ("x", bytes);
}
