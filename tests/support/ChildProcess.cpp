#include "tests/support/ChildProcess.h"

#include <cstring>

namespace testing_support {

std::string SelfPath()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    return path;
}

std::string SwitchValue(int argc, char** argv, const std::string& name)
{
    const std::string prefix = "--" + name + "=";
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], prefix.c_str(), prefix.size()) == 0)
            return argv[i] + prefix.size();
    return {};
}

ChildProcess::~ChildProcess()
{
    if (m_process) {
        if (m_exitCode == STILL_ACTIVE)
            Kill();
        CloseHandle(m_process);
    }
}

bool ChildProcess::Start(const std::string& commandLine)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    // A loaded wineserver now and then refuses a start (seen after many kills in a row): try again
    // for a bounded time and keep the reason of the last refusal for the test's message.
    m_lastError = 0;
    for (int attempt = 0;; ++attempt) {
        if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                           &startup, &info))
            break;
        m_lastError = GetLastError();
        if (attempt == 9)
            return false;
        Sleep(300);
    }
    CloseHandle(info.hThread);
    m_process = info.hProcess;
    m_id = info.dwProcessId;
    m_exitCode = STILL_ACTIVE;
    return true;
}

bool ChildProcess::Wait(DWORD milliseconds)
{
    if (!m_process || WaitForSingleObject(m_process, milliseconds) != WAIT_OBJECT_0)
        return false;
    GetExitCodeProcess(m_process, &m_exitCode);
    return true;
}

void ChildProcess::Kill()
{
    if (!m_process)
        return;
    TerminateProcess(m_process, 0xDEAD);
    WaitForSingleObject(m_process, 5000);
    GetExitCodeProcess(m_process, &m_exitCode);
}

DebuggedRun RunUnderDebugger(const std::string& commandLine, DWORD timeoutMs)
{
    DebuggedRun run;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS,
                        nullptr, nullptr, &startup, &info))
        return run;
    run.started = true;
    run.processId = info.dwProcessId;

    const DWORD deadline = GetTickCount() + timeoutMs;
    bool killed = false;
    for (;;) {
        DEBUG_EVENT event = {};
        DWORD left = static_cast<LONG>(deadline - GetTickCount()) > 0 ? deadline - GetTickCount() : 0;
        if (!WaitForDebugEvent(&event, killed ? 5000 : (left < 200 ? 200 : left))) {
            if (killed)
                break;
            if (static_cast<LONG>(deadline - GetTickCount()) <= 0) {
                TerminateProcess(info.hProcess, 0xDEAD);
                killed = true;
            }
            continue;
        }
        DWORD status = DBG_CONTINUE;
        switch (event.dwDebugEventCode) {
        case OUTPUT_DEBUG_STRING_EVENT: {
            const OUTPUT_DEBUG_STRING_INFO& s = event.u.DebugString;
            std::string text(s.nDebugStringLength, '\0');
            SIZE_T read = 0;
            if (!s.fUnicode && s.nDebugStringLength > 0 &&
                ReadProcessMemory(info.hProcess, s.lpDebugStringData, &text[0], text.size(), &read)) {
                text.resize(read);
                if (!text.empty() && text.back() == '\0')
                    text.pop_back();
                run.output.push_back(text);
            }
            break;
        }
        case EXCEPTION_DEBUG_EVENT:
            if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT)
                status = DBG_EXCEPTION_NOT_HANDLED;
            break;
        case CREATE_PROCESS_DEBUG_EVENT:
            if (event.u.CreateProcessInfo.hFile)
                CloseHandle(event.u.CreateProcessInfo.hFile);
            break;
        case LOAD_DLL_DEBUG_EVENT:
            if (event.u.LoadDll.hFile)
                CloseHandle(event.u.LoadDll.hFile);
            break;
        default:
            break;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
        if (event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT) {
            run.finished = !killed;
            run.exitCode = event.u.ExitProcess.dwExitCode;
            break;
        }
    }
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return run;
}

}  // namespace testing_support
