// main() for suites that read what they (and Wisp.dll) trace: the switch is set to level 2 before
// anything in the process traces, COM is initialised for the main thread.
#include "tests/support/TraceCapture.h"

#include <objbase.h>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    testing_support::TraceCapture capture;
    ::testing::InitGoogleTest(&argc, argv);
    OleInitialize(nullptr);
    int result = RUN_ALL_TESTS();
    OleUninitialize();
    return result;
}
