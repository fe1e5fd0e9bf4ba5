#include "ScreenSaver/HostLaunch.h"

#include "common/HostMessages.h"
#include "common/PersistentSettings.h"
#include "common/QDUtilities.h"
#include "common/SettingsIds.h"
#include "common/TraceLog.h"
#include "common/WMIProcess.h"
#include "common/com/Handle.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace QDUtilities {

namespace {

const char kStoryFile[] = "sstmpfile.htm";
const DWORD kSecureValueBytes = 260;

// Created (or opened) once and never closed: a host started later must find it.
HANDLE StartupEvent()
{
    static HANDLE s_event = [] {
        SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
        HANDLE event = CreateEventA(&inheritable, TRUE, FALSE, STARTUP_SYNCHRONIZATION_EVENT);
        if (!event)
            TraceLog("QDUtilities::EnsureQuillDesktopMothershipIsRunning - CreateEvent failed. LastError = %d\n",
                     static_cast<int>(GetLastError()));
        return event;
    }();
    return s_event;
}

bool HostIsRunning()
{
    UniqueHandle mutex(OpenMutexA(SYNCHRONIZE, FALSE, HOST_RUNNING_MUTEX));
    return static_cast<bool>(mutex);
}

std::string HostPath()
{
    std::string directory;
    PersistentSettings settings;
    settings.GetProperty(SettingsId::application_directory, directory);
    return directory + "\\" + HOST_EXECUTABLE;
}

// "ScreenSaverIsSecure" under the user's key: false when missing or not a whole string.
bool ReadSecureValue(const char* keyPath, std::string& text)
{
    UniqueHKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, keyPath, 0, KEY_READ, key.Put()) != ERROR_SUCCESS)
        return false;
    char value[kSecureValueBytes] = {};
    DWORD type = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExA(key.Get(), "ScreenSaverIsSecure", nullptr, &type, reinterpret_cast<BYTE*>(value),
                         &size) != ERROR_SUCCESS)
        return false;
    if ((type != REG_SZ && type != REG_EXPAND_SZ) || size == 0 || !std::memchr(value, '\0', size))
        return false;
    text = value;
    return true;
}

}  // namespace

long EnsureQuillDesktopMothershipIsRunning(bool suppressBrowser)
{
    HANDLE event = StartupEvent();
    const bool running = HostIsRunning();
    TraceLog("QDUtilities::EnsureQuillDesktopMothershipIsRunning - bIsRunning = %d\n", running ? 1 : 0);
    if (running)
        return 0;

    TraceLog("QDUtilities::EnsureQuillDesktopMothershipIsRunning - couldn't find mom - starting QuillDesktop.\n");
    const std::string path = HostPath();
    TraceLog("launching mother ship: must wait for it to arrive in orbit before continuing....\n");
    TraceLog("    SuppressBrowser = %d\n", suppressBrowser ? 1 : 0);
    std::string commandLine;
    if (suppressBrowser) {
        commandLine = "\"" + path + "\" " + HOST_SWITCH_NO_BROWSER;
        TraceLog("  Launching QD with cmdline switch '%s'\n", HOST_SWITCH_NO_BROWSER);
    } else {
        commandLine = path;
        TraceLog("  Launching QD with cmdline switch ''\n");
    }

    long result = 1;
    if (!WMIProcess::ThreadCreate(commandLine.c_str())) {
        TraceLog("QDUtilities::EnsureQuillDesktopMothershipIsRunning - failed starting quill desktop path='%s'.\n",
                 path.c_str());
        result = -1;
    }
    // Waited for in both cases: someone else may be starting the host.
    const DWORD start = GetTickCount();
    const DWORD wait = event ? WaitForSingleObject(event, kStartupWaitMs) : WAIT_FAILED;
    TraceLog("    EnsureQuillDesktopMothershipIsRunning  - Waited %d milliseconds.\n",
             static_cast<int>(GetTickCount() - start));
    if (wait != WAIT_OBJECT_0) {
        TraceLog("EnsureQuillDesktopMothershipIsRunning timed out!!!!!  Probably a deadlock\n");
        result = -1;
    }
    return result;
}

bool GetStoryFilePath(std::string& path)
{
    if (!EnsureSaveFileDirectoryExists()) {
        TraceLog("screensaver QDUtilities::EnsureSaveFileDirectoryExists failed\n");
        return false;
    }
    std::string folder;
    if (!GetContentDirectoryPath(folder)) {
        TraceLog("screensaver QDUtilities::GetContentDirectoryPath failed\n");
        return false;
    }
    path = folder + "\\" + kStoryFile;
    return true;
}

bool WriteStoryFile(const std::string& text)
{
    std::string path;
    if (!GetStoryFilePath(path))
        return false;
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wt"), &std::fclose);
    if (!file)
        return false;
    return std::fwrite(text.data(), 1, text.size(), file.get()) == text.size();
}

bool IsScreenSaverSecure()
{
    std::string text;
    // Locking enforced by policy wins over the user's own choice.
    if (ReadSecureValue("Software\\Policies\\Microsoft\\Windows\\Control Panel\\Desktop", text) ||
        ReadSecureValue("Control Panel\\Desktop", text))
        return text == "1";
    return false;
}

}  // namespace QDUtilities
