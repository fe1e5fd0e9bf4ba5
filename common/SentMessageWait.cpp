#include "common/SentMessageWait.h"

DWORD WaitAnsweringSentMessages(HANDLE object, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD waited = GetTickCount() - start;
        if (waited >= timeoutMs)
            return WAIT_TIMEOUT;
        const DWORD wait = object ? MsgWaitForMultipleObjects(1, &object, FALSE, timeoutMs - waited, QS_SENDMESSAGE)
                                  : MsgWaitForMultipleObjects(0, nullptr, FALSE, timeoutMs - waited, QS_SENDMESSAGE);
        if (object && (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED_0))
            return wait == WAIT_OBJECT_0 ? WAIT_OBJECT_0 : WAIT_ABANDONED;
        if (wait == WAIT_FAILED)
            return WAIT_FAILED;
        // Peeking answers the sent messages; it removes nothing.
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}
