// The control-creation mutex every control window goes through.
#include "common/ControlCreationMutex.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

const char kName[] = "{2F6C4413-606F-4203-803D-4F347D2B2BB1}";

TEST(ControlCreationMutex, OneProcessHandleKeepsTheNamedMutexAlive)
{
    HANDLE first = ProcessControlCreationMutex();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(ProcessControlCreationMutex(), first);
    HANDLE opened = OpenMutexA(SYNCHRONIZE, FALSE, kName);
    EXPECT_NE(opened, nullptr);
    CloseHandle(opened);
    {
        ControlCreationLock lock("unused\n");
        EXPECT_FALSE(lock.TimedOut());
    }
    // The lock never closes the process handle.
    EXPECT_EQ(WaitForSingleObject(first, 0), WAIT_OBJECT_0);
    ReleaseMutex(first);
}

TEST(ControlCreationMutex, LockWaitsForACreationUnderWayAndReleaseFreesIt)
{
    ProcessControlCreationMutex();
    std::atomic<bool> holderReleased{false};
    HANDLE owned = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread holder([&] {
        HANDLE mutex = OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, kName);
        WaitForSingleObject(mutex, INFINITE);
        SetEvent(owned);
        Sleep(300);
        holderReleased = true;
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    });
    WaitForSingleObject(owned, 5000);
    {
        ControlCreationLock lock("unused\n");
        EXPECT_TRUE(holderReleased);
        EXPECT_FALSE(lock.TimedOut());
        lock.Release();
        std::thread other([&] {
            HANDLE mutex = OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, kName);
            EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);
            ReleaseMutex(mutex);
            CloseHandle(mutex);
        });
        other.join();
    }
    holder.join();
    CloseHandle(owned);
}

}  // namespace
