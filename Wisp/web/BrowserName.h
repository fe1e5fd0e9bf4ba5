// Naming the program a command starts, for the user: the product name in its version
// resource, else its file name.
#pragma once

#include <string>

namespace DefaultBrowser {

// The ProductName of the file's first translation, trimmed; false when any step is missing.
bool GetProductName(const char* exePath, std::string& name);
// The command's program (up to its first ".exe", without a leading quote) named by its
// product name, else by its file name. Always true.
bool GetBrowserName(const char* command, std::string& name);
// The name of the program registered for the "feed" protocol; "" (and false) when none is.
bool GetCurrentRSSReader(std::string& name);

}  // namespace DefaultBrowser
