// The user's default web browser: which one the "http" protocol is registered to, where its
// program is, its open top-level window, and showing the product's bar inside it. Everything
// runs on the control's thread (a single-threaded apartment).
#pragma once

#include <windows.h>

#include <cstddef>

namespace DefaultBrowser {

// HKEY_CLASSES_ROOT keys of the browser registered for "http".
extern const char kCommandKey[];       // "HTTP\shell\open\command"
extern const char kDdeAppKey[];        // "HTTP\shell\open\ddeexec\Application"

enum class Kind { InternetExplorer, Firefox, Netscape, Mozilla, Unrecognized };

// The default value of the ddeexec "Application" key, else of the "command" key.
bool GetExeName(char* strExeName, std::size_t size);
// The whole name compared without regard to case: a full-path command is not a kind.
Kind KindOfExeName(const char* name);
bool IsDefaultBrowserIE();
// The registered command's program, its arguments dropped; an 8.3 path expanded to its long
// form (then without quotes).
bool GetExePath(char* strPath, std::size_t size);
// The default browser's first open top-level window, or null.
HWND FindDefaultBrowserWindow();
bool IsDefaultBrowserOpen();
// Internet Explorer shows or hides the product's bar; the other known browsers remember the
// choice in the setting appbar_browser (and open a window when asked to show).
bool ShowQuillDesktop(bool show, bool openIfNeeded);

}  // namespace DefaultBrowser
