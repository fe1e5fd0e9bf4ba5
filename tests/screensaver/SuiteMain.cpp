// main() of the screen-saver suites: a child mode first (the suites start themselves again
// as fresh processes), otherwise the tests, with tracing at level 2 so that the programs they
// start write their trace files.
#include "tests/screensaver/ChildModes.h"
#include "tests/support/TraceCapture.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    int exitCode = 0;
    if (saver_tests::RunChildMode(argc, argv, exitCode))
        return exitCode;
    testing_support::TraceCapture capture;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
