// One screen-saver run between real processes: a scratch folder holding a copy of the test
// host (TidewireDesktop.exe) and the content pages, the settings that name them, and the
// host and Tidewire.scr as child processes. Everything is put back when the session ends.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/ScratchState.h"
#include "tests/support/host/HostRecord.h"

namespace saver_tests {

std::string BinFolder();

class SaverSession {
public:
    SaverSession();
    ~SaverSession();
    SaverSession(const SaverSession&) = delete;
    SaverSession& operator=(const SaverSession&) = delete;

    const std::string& AppFolder() const { return m_appFolder; }
    std::string HostPath() const { return m_appFolder + "\\TidewireDesktop.exe"; }
    std::string RecordPath() const { return m_appFolder + "\\TidewireDesktop.record"; }
    // Switches for a host that another program starts, one a line.
    void SetHostOptions(const std::string& lines);
    // Names a folder without the host as the application folder.
    void PointAtMissingHost();

    // The host as the desktop application runs it ("-NoBrowser"), up once it has recorded
    // "started".
    bool StartHost();
    // "Tidewire.scr <arguments>", or another build of the program in the bin folder.
    bool StartSaver(const std::string& arguments, const std::string& program = "Tidewire.scr");
    testing_support::ChildProcess& Saver() { return m_saver; }
    // The full-screen or preview window once it exists (null after the time).
    HWND WaitForSaverWindow(HWND parent = nullptr, DWORD timeoutMs = 20000);
    // True when the screen saver ended within the time; its exit code is then Saver().ExitCode().
    bool WaitForSaverExit(DWORD timeoutMs = 15000);

    std::vector<host::RecordEntry> Record() const { return host::ReadHostRecord(RecordPath()); }
    bool WaitForRecord(const std::function<bool(const std::vector<host::RecordEntry>&)>& done,
                       DWORD timeoutMs = 15000) const;
    // A text the page reported (a relayed RM_CALL_MOTHERSHIP_SCRIPT_METHOD).
    bool WaitForReport(const std::string& text, DWORD timeoutMs = 15000) const;
    bool HasReport(const std::string& text) const { return CountReports(text) > 0; }
    // How often the page reported the text, relayed ("pipe-data") or straight to the host
    // window ("window-data").
    int CountReports(const std::string& text, const std::string& kind = "pipe-data") const;
    std::vector<std::string> Reports(const std::string& kind = "pipe-data") const;
    bool WaitForPipeMessage(uint32_t message, DWORD timeoutMs = 15000) const;
    int CountPipe(const std::string& kind, uint32_t message) const;
    // The host process's end: true when it exited within the time (found from the record).
    bool WaitForHostExit(DWORD timeoutMs = 15000) const;

    std::string SaverTrace() const;
    bool WaitForSaverTrace(const std::string& needle, DWORD timeoutMs = 15000) const;

    // Commands to the running host (HostCommands.h).
    bool PipePost(uint32_t message, uint32_t wParam, int32_t lParam) const;
    bool PipePostData(uint32_t message, const std::string& payload) const;
    bool PipeRaw(const std::string& bytes) const;

private:
    bool HostCommand(uint32_t command, const std::string& payload) const;
    void KillHost();

    testing_support::ScratchFolder m_scratch;
    std::string m_appFolder;
    std::string m_contentFolder;
    std::unique_ptr<testing_support::FileBackup> m_settingsBackup;
    std::unique_ptr<testing_support::FileBackup> m_storyBackup;
    testing_support::ChildProcess m_host;
    testing_support::ChildProcess m_saver;
    std::string m_saverName = "Tidewire";   // its trace file's name
};

}  // namespace saver_tests
