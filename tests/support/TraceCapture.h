// Reads what this process traces. Turning the switch to level 2 before anything in the process
// has traced makes every module (the test and Wisp.dll alike) append to this process's file;
// the previous switch value comes back when the capture ends.
#pragma once

#include <windows.h>

#include <string>

namespace testing_support {

class TraceCapture {
public:
    TraceCapture();    // sets HKCU "debug" to 2 and makes the trace folder
    ~TraceCapture();   // restores the switch
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    // The messages traced into this process's file so far, without their prefixes.
    static std::string Text();
    // A position to read from later.
    static std::size_t Mark() { return Text().size(); }
    static std::string Since(std::size_t mark);
    // Pumps this thread's messages until `needle` appears after `mark` (or the time is up).
    static bool WaitFor(const std::string& needle, std::size_t mark, DWORD timeoutMs = 5000);
    // How often `needle` occurs in `text`.
    static int Count(const std::string& text, const std::string& needle);

private:
    bool m_hadValue = false;
    DWORD m_oldValue = 0;
};

// What another process traced into its file at level 2: program is the executable's name
// without its extension.
std::string ProcessTraceText(const std::string& program, DWORD processId);

// Runs the thread's message loop for about `ms` milliseconds.
void PumpMessages(DWORD ms);
// Pumps until done() or the time is up; answers done().
template <class Pred>
bool PumpUntil(Pred done, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > timeoutMs)
            return done();
        PumpMessages(10);
    }
    return true;
}

}  // namespace testing_support
