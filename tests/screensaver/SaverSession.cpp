#include "tests/screensaver/SaverSession.h"

#include "common/HostMessages.h"
#include "common/PersistentSettings.h"
#include "common/QDCopyData.h"
#include "common/QDUtilities.h"
#include "common/SettingsIds.h"
#include "tests/support/TraceCapture.h"
#include "tests/support/host/HostCommands.h"

#include <cstdlib>
#include <cstring>

namespace saver_tests {

namespace {

std::string StoryFilePath()
{
    std::string folder;
    QDUtilities::GetContentDirectoryPath(folder);
    return folder + "\\sstmpfile.htm";
}

std::string Trimmed(std::string data)
{
    while (!data.empty() && data.back() == '\0')
        data.pop_back();
    return data;
}

void SetFolders(const std::string& application, const std::string& content)
{
    PersistentSettings settings;
    settings.SetProperty(SettingsId::application_directory, application, true);
    settings.SetProperty(SettingsId::content_directory, content, true);
    settings.Save();
}

void ClearRunningFlag()
{
    BOOL previous = FALSE;
    SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, FALSE, &previous, 0);
}

}  // namespace

std::string BinFolder()
{
    const std::string self = testing_support::SelfPath();
    return self.substr(0, self.find_last_of('\\'));
}

SaverSession::SaverSession() : m_scratch("saver")
{
    m_appFolder = m_scratch.Path() + "\\app";
    m_contentFolder = m_scratch.Path() + "\\content";
    CreateDirectoryA(m_appFolder.c_str(), nullptr);
    CreateDirectoryA(m_contentFolder.c_str(), nullptr);
    CopyFileA((BinFolder() + "\\TidewireDesktop.exe").c_str(), HostPath().c_str(), FALSE);
    for (const char* page : {"sscontent.htm", "ss_preview_content.htm"})
        CopyFileA((BinFolder() + "\\fixtures\\screensaver\\" + page).c_str(), (m_contentFolder + "\\" + page).c_str(),
                  FALSE);
    std::string settingsPath;
    QDUtilities::GetSettingsFilePath(settingsPath);
    m_settingsBackup.reset(new testing_support::FileBackup(settingsPath));
    m_storyBackup.reset(new testing_support::FileBackup(StoryFilePath()));
    SetFolders(m_appFolder, m_contentFolder);
    ClearRunningFlag();
}

SaverSession::~SaverSession()
{
    if (m_saver.Id() && !m_saver.Wait(0))
        m_saver.Kill();
    KillHost();
    ClearRunningFlag();
}

void SaverSession::SetHostOptions(const std::string& lines)
{
    testing_support::WriteWholeFile(m_appFolder + "\\TidewireDesktop.options", lines);
}

void SaverSession::PointAtMissingHost()
{
    const std::string empty = m_scratch.Path() + "\\nohost";
    CreateDirectoryA(empty.c_str(), nullptr);
    SetFolders(empty, m_contentFolder);
}

bool SaverSession::StartHost()
{
    if (!m_host.Start("\"" + HostPath() + "\" " + HOST_SWITCH_NO_BROWSER))
        return false;
    return WaitForRecord([](const std::vector<host::RecordEntry>& record) {
        return !host::FindEntries(record, "started").empty();
    });
}

bool SaverSession::StartSaver(const std::string& arguments, const std::string& program)
{
    m_saverName = program.substr(0, program.rfind('.'));
    return m_saver.Start("\"" + BinFolder() + "\\" + program + "\" " + arguments);
}

HWND SaverSession::WaitForSaverWindow(HWND parent, DWORD timeoutMs)
{
    HWND window = nullptr;
    testing_support::PumpUntil(
        [&] {
            window = parent ? FindWindowExA(parent, nullptr, SCREENSAVER_WINDOW_CLASS, SCREENSAVER_WINDOW_TITLE)
                            : FindWindowA(SCREENSAVER_WINDOW_CLASS, SCREENSAVER_WINDOW_TITLE);
            return window != nullptr;
        },
        timeoutMs);
    return window;
}

bool SaverSession::WaitForRecord(const std::function<bool(const std::vector<host::RecordEntry>&)>& done,
                                 DWORD timeoutMs) const
{
    return testing_support::PumpUntil([&] { return done(Record()); }, timeoutMs);
}

std::vector<std::string> SaverSession::Reports(const std::string& kind) const
{
    std::vector<std::string> reports;
    for (const host::RecordEntry& entry : host::FindEntries(Record(), kind, RM_CALL_MOTHERSHIP_SCRIPT_METHOD))
        reports.push_back(Trimmed(entry.data));
    return reports;
}

int SaverSession::CountReports(const std::string& text, const std::string& kind) const
{
    int count = 0;
    for (const std::string& report : Reports(kind))
        count += report == text ? 1 : 0;
    return count;
}

bool SaverSession::WaitForReport(const std::string& text, DWORD timeoutMs) const
{
    return testing_support::PumpUntil([&] { return HasReport(text); }, timeoutMs);
}

int SaverSession::CountPipe(const std::string& kind, uint32_t message) const
{
    return static_cast<int>(host::FindEntries(Record(), kind, message).size());
}

bool SaverSession::WaitForPipeMessage(uint32_t message, DWORD timeoutMs) const
{
    return testing_support::PumpUntil([&] { return CountPipe("pipe", message) > 0; }, timeoutMs);
}

bool SaverSession::WaitForHostExit(DWORD timeoutMs) const
{
    return WaitForRecord([](const std::vector<host::RecordEntry>& record) {
        return !host::FindEntries(record, "exit").empty();
    }, timeoutMs);
}

std::string SaverSession::SaverTrace() const
{
    // Process ids come round again: an earlier program of the same id wrote before this one,
    // whose first line is always the same.
    const std::string text = testing_support::ProcessTraceText(m_saverName, m_saver.Id());
    const std::size_t start = text.rfind("ScreenSaver Debug log\n");
    return start == std::string::npos ? text : text.substr(start);
}

bool SaverSession::WaitForSaverExit(DWORD timeoutMs)
{
    // Pumping: a preview's or a message box's window talks to this process's windows.
    return testing_support::PumpUntil([&] { return m_saver.Wait(0); }, timeoutMs);
}

bool SaverSession::WaitForSaverTrace(const std::string& needle, DWORD timeoutMs) const
{
    return testing_support::PumpUntil([&] { return SaverTrace().find(needle) != std::string::npos; }, timeoutMs);
}

bool SaverSession::HostCommand(uint32_t command, const std::string& payload) const
{
    HWND hostWindow = FindWindowA(HOST_WINDOW_CLASS, HOST_WINDOW_TITLE);
    if (!hostWindow)
        return false;
    COPYDATASTRUCT copy = {command, static_cast<DWORD>(payload.size()), const_cast<char*>(payload.data())};
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(hostWindow, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy), SMTO_NORMAL, 5000,
                               &result) != 0;
}

bool SaverSession::PipePost(uint32_t message, uint32_t wParam, int32_t lParam) const
{
    QDCopyDataRecord record(message, wParam, static_cast<uint32_t>(lParam));
    return HostCommand(host::kCmdPipePost, std::string(reinterpret_cast<const char*>(record.Bytes()), record.Size()));
}

bool SaverSession::PipePostData(uint32_t message, const std::string& payload) const
{
    QDCopyDataRecord record(message, 0, 0, payload.data(), static_cast<uint32_t>(payload.size()));
    return HostCommand(host::kCmdPipePost, std::string(reinterpret_cast<const char*>(record.Bytes()), record.Size()));
}

bool SaverSession::PipeRaw(const std::string& bytes) const
{
    return HostCommand(host::kCmdPipeRaw, bytes);
}

void SaverSession::KillHost()
{
    const std::vector<host::RecordEntry> started = host::FindEntries(Record(), "started");
    if (started.empty() || !host::FindEntries(Record(), "exit").empty())
        return;
    HostCommand(host::kCmdQuit, {});
    if (WaitForHostExit(5000))
        return;
    for (const host::RecordEntry& entry : started) {
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE,
                                     static_cast<DWORD>(std::strtoul(entry.data.c_str(), nullptr, 10)));
        if (process) {
            TerminateProcess(process, 0xDEAD);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
    }
}

}  // namespace saver_tests
