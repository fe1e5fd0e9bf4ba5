// The cross-process control-creation mutex. Every window that creates a Wisp.WispControl (pop-up,
// balloon, offscreen browser, screen saver) goes through it, and the class-object gate hands out
// controls only while it exists, so each process keeps one handle on it open until it ends.
#pragma once

#include <windows.h>

// Waits (at most 30 s) for a creation under way in any process. A time-out writes the caller's
// own trace line and creation goes on anyway. While the lock is held this thread may own the
// mutex; Release (or the destructor) gives it up. Creating the lock also makes sure this
// process holds its handle (ProcessControlCreationMutex). A thread whose top-level window exists
// answers sent messages while it waits (common/SentMessageWait.h).
class ControlCreationLock {
public:
    explicit ControlCreationLock(const char* timeoutTrace, bool answerSentMessages = false);
    ~ControlCreationLock() { Release(); }
    ControlCreationLock(const ControlCreationLock&) = delete;
    ControlCreationLock& operator=(const ControlCreationLock&) = delete;

    void Release();
    bool TimedOut() const { return m_timedOut; }

    static const DWORD kWaitMs = 30000;

private:
    bool m_owned = false;
    bool m_timedOut = false;
};

// The process-wide handle: created (not owned) or opened on first use, never closed. Answers
// null only when the mutex can be neither created nor opened.
HANDLE ProcessControlCreationMutex();
