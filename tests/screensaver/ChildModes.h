// The screen-saver suites start themselves again as fresh processes to look at the system
// from outside: these are the child's jobs.
#pragma once

#include <string>

namespace saver_tests {

// SPI_GETSCREENSAVERRUNNING as a fresh process sees it: 1, 0, or -1 when it could not be read.
int ScreenSaverRunningFlag();

// The switch that makes a child write its own command line to <path> and exit.
const char kRecordArguments[] = "--record-arguments=";
// The switch that makes a child run WMIProcess::ThreadCreate with the command line read from
// <path>; the exit code is its result (1 or 0).
const char kWmiLaunch[] = "--wmi-launch=";

// True when the arguments named a child job; exitCode is then the process's exit code.
bool RunChildMode(int argc, char** argv, int& exitCode);

}  // namespace saver_tests
