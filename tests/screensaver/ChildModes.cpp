#include "tests/screensaver/ChildModes.h"

#include "common/WMIProcess.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ScratchState.h"

#include <windows.h>

#include <cstring>

namespace saver_tests {

namespace {
const char kQueryRunning[] = "--query-screensaver-running";
const int kFlagBase = 100;
}

int ScreenSaverRunningFlag()
{
    testing_support::ChildProcess child;
    if (!child.Start("\"" + testing_support::SelfPath() + "\" " + kQueryRunning) || !child.Wait(15000))
        return -1;
    const int code = static_cast<int>(child.ExitCode()) - kFlagBase;
    return code == 0 || code == 1 ? code : -1;
}

bool RunChildMode(int argc, char** argv, int& exitCode)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], kQueryRunning) == 0) {
            BOOL running = FALSE;
            exitCode = SystemParametersInfoA(SPI_GETSCREENSAVERRUNNING, 0, &running, 0) ? kFlagBase + (running ? 1 : 0)
                                                                                         : kFlagBase - 1;
            return true;
        }
        if (std::strncmp(argv[i], kRecordArguments, std::strlen(kRecordArguments)) == 0) {
            exitCode = testing_support::WriteWholeFile(argv[i] + std::strlen(kRecordArguments), GetCommandLineA()) ? 0 : 1;
            return true;
        }
        if (std::strncmp(argv[i], kWmiLaunch, std::strlen(kWmiLaunch)) == 0) {
            std::string commandLine;
            testing_support::ReadWholeFile(argv[i] + std::strlen(kWmiLaunch), commandLine);
            exitCode = WMIProcess::ThreadCreate(commandLine.c_str()) ? 1 : 0;
            return true;
        }
    }
    return false;
}

}  // namespace saver_tests
