// Child processes for tests that need a second real process: plain, or run under a tiny
// debugger that collects everything the child writes with OutputDebugString.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testing_support {

// Full path of the running executable, for tests that start themselves again as a child.
std::string SelfPath();

// Reads a command-line switch "--name=value" of this process; empty when absent.
std::string SwitchValue(int argc, char** argv, const std::string& name);

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Retries a refused start for about 3 s; LastError() then tells why the last try failed.
    bool Start(const std::string& commandLine);
    DWORD LastError() const { return m_lastError; }
    // True when the child ended within the time; its exit code is then in ExitCode().
    bool Wait(DWORD milliseconds);
    void Kill();
    DWORD ExitCode() const { return m_exitCode; }
    DWORD Id() const { return m_id; }

private:
    HANDLE m_process = nullptr;
    DWORD m_id = 0;
    DWORD m_exitCode = STILL_ACTIVE;
    DWORD m_lastError = 0;
};

struct DebuggedRun {
    bool started = false;
    bool finished = false;   // false: killed after the time-out
    DWORD exitCode = 0;
    DWORD processId = 0;
    std::vector<std::string> output;   // one entry per OutputDebugString call, in order
};

// Runs commandLine as a debugged child until it exits (or the time-out kills it).
DebuggedRun RunUnderDebugger(const std::string& commandLine, DWORD timeoutMs = 30000);

}  // namespace testing_support
