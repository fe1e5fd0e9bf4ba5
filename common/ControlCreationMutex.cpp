#include "common/ControlCreationMutex.h"

#include "common/HostMessages.h"
#include "common/SentMessageWait.h"
#include "common/TraceLog.h"

#include <mutex>

HANDLE ProcessControlCreationMutex()
{
    static HANDLE s_mutex = nullptr;
    static std::once_flag s_once;
    std::call_once(s_once, [] {
        s_mutex = CreateMutexA(nullptr, FALSE, CONTROL_CREATION_MUTEX);
        if (!s_mutex)
            TraceLog("ControlCreationMutex - CreateMutex failed, LastError = %d\n", static_cast<int>(GetLastError()));
    });
    return s_mutex;
}

ControlCreationLock::ControlCreationLock(const char* timeoutTrace, bool answerSentMessages)
{
    // Only an existing mutex can be held by a creation elsewhere; opening it first keeps a
    // first-ever creation from waiting on a mutex nobody could own yet.
    HANDLE existing = OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, CONTROL_CREATION_MUTEX);
    HANDLE process = ProcessControlCreationMutex();
    if (!existing)
        return;
    CloseHandle(existing);
    if (!process)
        return;
    const DWORD wait =
        answerSentMessages ? WaitAnsweringSentMessages(process, kWaitMs) : WaitForSingleObject(process, kWaitMs);
    if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) {
        m_owned = true;
    } else {
        m_timedOut = true;
        TraceLog("%s", timeoutTrace);
    }
}

void ControlCreationLock::Release()
{
    if (m_owned) {
        ReleaseMutex(ProcessControlCreationMutex());
        m_owned = false;
    }
}
