// What only the screen saver needs of the host and the system: making sure the host
// application runs before the page shows, the story file the host may read, and whether the
// screen saver is password-protected.
#pragma once

#include <string>

namespace QDUtilities {

// 0: the host was already running. 1: this call launched it and its start-up event arrived.
// -1: the launch failed, or the event did not arrive within kStartupWaitMs. The start-up
// event is created first in every case and stays open for the life of the process.
long EnsureQuillDesktopMothershipIsRunning(bool suppressBrowser);
const unsigned long kStartupWaitMs = 20000;

// "<AppData>\Quill\Tidewire\sstmpfile.htm", the folder created when missing.
bool GetStoryFilePath(std::string& path);
// Replaces the story file's content with the text (text mode, no terminator).
bool WriteStoryFile(const std::string& text);

// True exactly when HKCU "Control Panel\Desktop" "ScreenSaverIsSecure" is a string ending
// inside its data and equal to "1".
bool IsScreenSaverSecure();

}  // namespace QDUtilities
