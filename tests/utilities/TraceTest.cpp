// Failure traces of the utilities, seen from a child run under a debugger.
#include "common/QDUtilities.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ScratchState.h"

#include <gtest/gtest.h>

#include <algorithm>

using testing_support::DebuggedRun;

namespace {

// With no host, no screen saver and no settings entries for the lookups.
int RunTraceChild()
{
    QDUtilities::SetThisApplicationWND(reinterpret_cast<HWND>(0x1234));
    QDUtilities::SetThisApplicationWND(nullptr);
    if (QDUtilities::SendApplicationMessage(0x403, 0, 0) != 0 ||
        QDUtilities::PostApplicationMessage(0x403, 0, 0) ||
        QDUtilities::PostScreenSaverMessage(0x411, 0, 0))
        return 3;
    if (QDUtilities::PostDataMessageSameProcessOnly(nullptr, 0x40C, 0, "x", 0) != 87)
        return 4;
    QDUtilities::ReadFileIntoBuffer("C:\\wisp-missing-file.txt");
    QDUtilities::RemoveAppFromStartup("WispTests.NeverThere");
    return 0;
}

TEST(UtilityTraces, FailuresSayWhatFailed)
{
    ASSERT_EQ(nullptr, QDUtilities::FindApplicationWindow());
    ASSERT_EQ(nullptr, QDUtilities::FindScreenSaverWindow());
    testing_support::TraceSwitch trace(1);
    const DebuggedRun run = testing_support::RunUnderDebugger(
        "\"" + testing_support::SelfPath() + "\" --utilities-child=traces", 30000);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);
    const std::vector<std::string> expected = {
        "QDUtilities::SetThisApplicationWND  1234 \n",
        "QDUtilities::SetThisApplicationWND  0 \n",
        "QDUtilities::SendApplicationMessage - Failed.  hWnd is NULL.\n",
        "QDUtilities::PostDataMessageSameProcessOnly - cbSize is 0\n",
        "QDUtilities::ReadFileIntoBuffer - failed opening 'C:\\wisp-missing-file.txt', error 2",
        "QDUtilities::RemoveAppFromStartup got error 2 calling RegDeleteValue\n",
    };
    for (const std::string& line : expected)
        EXPECT_NE(run.output.end(), std::find(run.output.begin(), run.output.end(), line)) << line;
    // Both failed posts trace the same line.
    EXPECT_EQ(2, std::count(run.output.begin(), run.output.end(),
                            "QDUtilities::SendApplicationMessage - Failed.  hWnd is NULL.\n"));
}

}  // namespace

int main(int argc, char** argv)
{
    if (testing_support::SwitchValue(argc, argv, "utilities-child") == "traces")
        return RunTraceChild();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
