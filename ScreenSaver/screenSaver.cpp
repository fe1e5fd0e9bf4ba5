// Tidewire.scr: the screen saver's entry point. The command line picks the mode: configure
// (a message box), preview inside the given window, or full screen.
#include <windows.h>
#include <ole2.h>

#include <string>
#include <vector>

#include "ScreenSaver/CommandLine.h"
#include "ScreenSaver/ScreenSaverWindow.h"
#include "common/TraceLog.h"
#include "resource.h"

namespace {

screensaver::CommandLine ReadCommandLine(const char* commandLine)
{
    std::vector<char> lowered(commandLine, commandLine + lstrlenA(commandLine));
    if (!lowered.empty())
        CharLowerBuffA(lowered.data(), static_cast<DWORD>(lowered.size()));
    return screensaver::ParseCommandLine(std::string(lowered.begin(), lowered.end()));
}

std::string LoadText(HINSTANCE instance, UINT id)
{
    char text[512] = {};
    LoadStringA(instance, id, text, sizeof text);
    return text;
}

int Configure(HINSTANCE instance, HWND owner)
{
    MessageBoxA(owner, LoadText(instance, IDS_NO_OPTIONS).c_str(), LoadText(instance, IDS_DESCRIPTION).c_str(), MB_OK);
    return 0;
}

int Run(HINSTANCE instance, int showCommand, HWND parent)
{
    RegisterScreenSaverClass(instance);
    OleInitialize(nullptr);
    int exitCode = 0;
    try {
        if (InitInstance(instance, showCommand, parent)) {
            MSG message;
            while (GetMessageA(&message, nullptr, 0, 0) > 0) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
            exitCode = static_cast<int>(message.wParam);
        }
        ShutDown();
    } catch (...) {
        TraceLog("screenSaver::WinMain - Exception caught! LastError = %d\n", static_cast<int>(GetLastError()));
        ShutDown();
    }
    OleUninitialize();
    return exitCode;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int showCommand)
{
    TraceLog("ScreenSaver Debug log\n");
    const screensaver::CommandLine parsed = ReadCommandLine(commandLine ? commandLine : "");
    HWND parent = reinterpret_cast<HWND>(static_cast<UINT_PTR>(parsed.parent));
    if (parsed.mode == 'c')
        return Configure(instance, parent);
    return Run(instance, showCommand, parent);
}
