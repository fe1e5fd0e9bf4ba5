// The downloaded installer: finding the newest one in the update folder and starting it. While
// a screen saver runs it is started by the management service (WMI), an installer package
// through "msiexec /i"; otherwise, or when that fails, with the shell's default action. Once
// it started, the host is told to exit (RM_EXIT) so that it can be replaced.
#pragma once

#include <string>

// Among "<updateFolder>\*_*.*" with the extension ".msi" or ".exe" (any case), the one with the
// greatest timestamp (the number before the first underscore; a later one with the same
// timestamp wins; 0 never counts), as "\"<folder>\<name>\"". Only the top folder is looked at.
bool FindInstaller(const char* updateFolder, std::string* quotedPath);

// The path without its double quotes.
std::string UnquotedPath(const char* path);
// Whether the file is an installer package: its extension is ".msi" (any case).
bool IsInstallerPackage(const std::string& path);

// True, and RM_EXIT posted to the host, when the installer started; false (and no RM_EXIT)
// when neither route could start it.
bool RunInstaller(const char* quotedPath);
