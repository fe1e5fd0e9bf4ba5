// Opening a new window of the user's default browser, optionally on a URL.
#pragma once

namespace DefaultBrowser {

// Starts the default browser's program (through the management service, else directly), waits
// for it to take input and for its window to show (at most 3 s; true also when none shows).
// False when the program is unknown or could not be started. url may be null.
bool OpenNew(const char* url = nullptr);

}  // namespace DefaultBrowser
