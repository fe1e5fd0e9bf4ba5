#include "Wisp/web/DefaultBrowserOpenNew.h"

#include <windows.h>

#include <string>

#include "common/TraceLog.h"
#include "common/WMIProcess.h"
#include "common/com/Handle.h"
#include "Wisp/web/DefaultBrowser.h"

namespace DefaultBrowser {

namespace {

const DWORD kInputIdleWaitMs = 30000;
const DWORD kWindowWaitMs = 3000;
const DWORD kWindowPollMs = 100;

// The program and the URL each in quotes: an expanded long path and a URL may both hold blanks.
// A path that names no file still carries arguments the path split could not drop
// ("rundll32.exe url.dll,FileProtocolHandler"): quoted it would be one missing program, so it
// is kept as registered.
std::string QuotedCommand(const char* path, const char* url)
{
    std::string program;
    for (const char* p = path; *p; ++p)
        if (*p != '"')
            program += *p;
    const DWORD attributes = GetFileAttributesA(program.c_str());
    const bool isFile = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    std::string command = isFile ? "\"" + program + "\"" : std::string(path);
    if (url) {
        command += " \"";
        for (const char* p = url; *p; ++p) {
            if (*p == '"')
                command += "%22";
            else
                command += *p;
        }
        command += '"';
    }
    return command;
}

bool StartDirectly(std::string& command)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION started = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr,
                        nullptr, &startup, &started)) {
        TraceLog("DefaultBrowser::OpenNew - failed creating process\n");
        return false;
    }
    // Nothing here needs the new process later.
    UniqueHandle process(started.hProcess);
    UniqueHandle thread(started.hThread);
    TraceLog("waiting for default browser process to start...\n");
    DWORD begin = GetTickCount();
    if (WaitForInputIdle(process.Get(), kInputIdleWaitMs) != 0) {
        TraceLog("DefaultBrwoser::OpenNew - failed waiting for process to start.\n");
        return false;
    }
    TraceLog("done waiting - %d ms\n", static_cast<int>(GetTickCount() - begin));
    return true;
}

}  // namespace

bool OpenNew(const char* url)
{
    TraceLog("DefaultBrowser::OpenNew(), trying to open a new default browser instance.\n");
    char path[260];
    if (!GetExePath(path, sizeof path)) {
        TraceLog("DefaultBrowser::OpenNew - failed getting executable path.\n");
        return false;
    }
    std::string command = QuotedCommand(path, url);

    TraceLog("Trying WMI CreateProcess.\n");
    if (WMIProcess::ThreadCreate(command.c_str())) {
        TraceLog("WMI CreateProcess succeeded.\n");
    } else {
        TraceLog("WMI failed, using regular CreateProcess()\n");
        if (!StartDirectly(command))
            return false;
    }

    DWORD begin = GetTickCount();
    HWND window = FindDefaultBrowserWindow();
    while (!window && GetTickCount() - begin < kWindowWaitMs) {
        Sleep(kWindowPollMs);
        window = FindDefaultBrowserWindow();
    }
    TraceLog("browser hwnd %X - %d ms\n", static_cast<unsigned>(reinterpret_cast<UINT_PTR>(window)),
             static_cast<int>(GetTickCount() - begin));
    return true;
}

}  // namespace DefaultBrowser
