// TidewireDesktop.exe, the test-only stand-in of the desktop application (the "Mothership"):
// the host window of the host contract, HostRunningMutex, the mothership end of the pipe
// channel, and the start-up event, set once the pipe accepts clients. It writes its command
// line and everything it receives to its record (HostRecord.h), obeys the commands of
// HostCommands.h, and ends on RM_EXIT (window or pipe) or when its lifetime is up.
//
//   TidewireDesktop.exe [-NoBrowser] [-Feed "<url>"] [--record=<path>] [--startup-delay=<ms>]
//                       [--no-pipe] [--no-signal] [--lifetime=<ms>]
// -NoBrowser keeps the host window hidden. Switches may also stand, one a line, in
// "TidewireDesktop.options" beside the program, for runs whose command line another program
// writes (the screen saver's launch). The record defaults to "TidewireDesktop.record" beside
// the program. A dialog announced with 1054 (showing, its window) makes 1053 answer 1 until
// 1054 withdraws it.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/HostMessages.h"
#include "common/QDCopyData.h"
#include "tests/support/ScratchState.h"
#include "tests/support/host/HostApplication.h"
#include "tests/support/host/HostCommands.h"
#include "tests/support/host/HostRecord.h"
#include "tests/support/host/Mothership.h"

namespace {

struct Options {
    bool noBrowser = false;
    std::string record;
    DWORD startupDelay = 0;
    bool pipe = true;
    bool signal = true;
    DWORD lifetime = 120000;
};

std::string BesideProgram(const char* name)
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string full = path;
    return full.substr(0, full.find_last_of("\\/") + 1) + name;
}

std::vector<std::string> Arguments()
{
    std::vector<std::string> arguments(__argv + 1, __argv + __argc);
    std::string options;
    if (testing_support::ReadWholeFile(BesideProgram("TidewireDesktop.options"), options)) {
        std::size_t start = 0;
        while (start < options.size()) {
            std::size_t end = options.find_first_of("\r\n", start);
            if (end == std::string::npos)
                end = options.size();
            if (end > start)
                arguments.push_back(options.substr(start, end - start));
            start = end + 1;
        }
    }
    return arguments;
}

Options ReadOptions()
{
    Options options;
    options.record = BesideProgram("TidewireDesktop.record");
    const auto valueOf = [](const std::string& argument, const char* name, std::string& value) {
        const std::size_t length = std::strlen(name);
        if (argument.compare(0, length, name) != 0)
            return false;
        value = argument.substr(length);
        return true;
    };
    for (const std::string& argument : Arguments()) {
        std::string value;
        if (argument == HOST_SWITCH_NO_BROWSER)
            options.noBrowser = true;
        else if (argument == "--no-pipe")
            options.pipe = false;
        else if (argument == "--no-signal")
            options.signal = false;
        else if (valueOf(argument, "--record=", value))
            options.record = value;
        else if (valueOf(argument, "--startup-delay=", value))
            options.startupDelay = std::strtoul(value.c_str(), nullptr, 10);
        else if (valueOf(argument, "--lifetime=", value))
            options.lifetime = std::strtoul(value.c_str(), nullptr, 10);
    }
    return options;
}

struct Desktop {
    host::HostRecordWriter* record;
    host::Mothership* mothership;
    host::HostApplication* app;
    HWND modalDialog;
};

// The host's side of the modal-dialog messages: a dialog announced showing (1054) is what
// "a modal dialog shows" (1053) answers, and what "to the front" (1055) raises.
void TrackModalDialog(Desktop& desktop, const host::ReceivedMessage& m)
{
    if (m.window != host::ReceivedMessage::Host)
        return;
    if (m.message == RM_SET_MODAL_DIALOG_SHOWING) {
        desktop.app->SetReply(RM_MODAL_DIALOG_SHOWING, m.wParam ? 1 : 0);
        desktop.modalDialog = m.wParam ? reinterpret_cast<HWND>(m.lParam) : nullptr;
    } else if (m.message == RM_FORCE_MODAL_TO_FRONT && desktop.modalDialog && IsWindow(desktop.modalDialog)) {
        SetWindowPos(desktop.modalDialog, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    }
}

bool Command(Desktop& desktop, const host::ReceivedMessage& m)
{
    if (m.window != host::ReceivedMessage::Host || m.message != WM_COPYDATA)
        return false;
    QDIPC& channel = desktop.mothership->Channel();
    switch (m.wParam) {
    case host::kCmdPipePost:
        if (const QD_COPYDATASTRUCT* post = QDCopyDataFromBytes(m.data.data(), m.data.size())) {
            if (post->cbData)
                channel.PostDataMessage(post->message, post->cbData, post->data);
            else
                channel.PostMessage(post->message, post->wParam, static_cast<LPARAM>(static_cast<int32_t>(post->lParam)));
        }
        return true;
    case host::kCmdPipeRaw:
        if (channel.Pipe() && !m.data.empty())
            channel.Pipe()->WritePipe(m.data.data(), static_cast<DWORD>(m.data.size()));
        return true;
    case host::kCmdQuit:
        PostQuitMessage(0);
        return true;
    default:
        return false;
    }
}

void OnReceived(const host::ReceivedMessage& m, void* context)
{
    Desktop& desktop = *static_cast<Desktop*>(context);
    if (Command(desktop, m))
        return;
    desktop.record->Message(m);
    TrackModalDialog(desktop, m);
    if (m.message == RM_EXIT)
        PostQuitMessage(0);
}

int Run(const Options& options, host::HostRecordWriter& record)
{
    if (options.startupDelay)
        Sleep(options.startupDelay);
    host::HostApplication app;
    host::Mothership mothership;
    Desktop desktop = {&record, &mothership, &app, nullptr};
    app.SetObserver(OnReceived, &desktop);
    mothership.SetObserver(OnReceived, &desktop);
    if (!app.Create(640, 480, !options.noBrowser))
        return host::kExitNoWindow;
    mothership.HoldRunningMutex();
    if (options.pipe && mothership.RegisterPipe() != 0)
        return host::kExitNoPipe;
    if (options.signal)
        mothership.SignalStartup();
    record.Text("started", std::to_string(GetCurrentProcessId()));

    const UINT_PTR lifetime = SetTimer(nullptr, 0, options.lifetime, nullptr);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER && !message.hwnd && message.wParam == lifetime)
            return host::kExitLifetime;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    const Options options = ReadOptions();
    host::HostRecordWriter record(options.record);
    record.Text("commandline", GetCommandLineA());
    const int exitCode = Run(options, record);
    record.Text("exit", std::to_string(exitCode));
    return exitCode;
}
