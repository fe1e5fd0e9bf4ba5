#include "Wisp/update/Installer.h"

#include <windows.h>
#include <shellapi.h>

#include "common/HostMessages.h"
#include "common/QDUtilities.h"
#include "common/TraceLog.h"
#include "common/WMIProcess.h"
#include "Wisp/update/ManifestRules.h"

namespace {

bool HasExtension(const std::string& name, const char* extension)
{
    const std::size_t dot = name.find_last_of('.');
    const std::size_t slash = name.find_last_of("\\/");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return false;
    return lstrcmpiA(name.c_str() + dot, extension) == 0;
}

}  // namespace

std::string UnquotedPath(const char* path)
{
    std::string text = path ? path : "";
    std::string unquoted;
    for (char c : text)
        if (c != '"')
            unquoted += c;
    return unquoted;
}

bool IsInstallerPackage(const std::string& path)
{
    // An extension, not ".msi" anywhere: "C:\x.msi.d\setup.exe" is a program.
    return HasExtension(UnquotedPath(path.c_str()), ".msi");
}

bool FindInstaller(const char* updateFolder, std::string* quotedPath)
{
    if (!updateFolder || !quotedPath) {
        TraceLog("FindInstaller - %s is NULL.\n", updateFolder ? "strInstaller" : "strUpdateFolder");
        return false;
    }
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA((std::string(updateFolder) + "\\*_*.*").c_str(), &data);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    std::string best;
    int32_t bestStamp = 0;
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        const std::string name = data.cFileName;
        if (!HasExtension(name, ".msi") && !HasExtension(name, ".exe"))
            continue;
        const int32_t stamp = manifest_rules::ParseInteger(name.substr(0, name.find('_')));
        if (stamp != 0 && stamp >= bestStamp) {
            bestStamp = stamp;
            best = name;
        }
    } while (FindNextFileA(search, &data));
    FindClose(search);
    if (best.empty())
        return false;
    *quotedPath = "\"" + std::string(updateFolder) + "\\" + best + "\"";
    return true;
}

bool RunInstaller(const char* quotedPath)
{
    if (!quotedPath) {
        TraceLog("RunInstaller - strInstaller is NULL.\n");
        return false;
    }
    if (QDUtilities::SSIsRunning()) {
        const std::string command =
            IsInstallerPackage(quotedPath) ? std::string("msiexec /i ") + quotedPath : std::string(quotedPath);
        if (WMIProcess::ThreadCreate(command.c_str())) {
            QDUtilities::PostApplicationMessage(RM_EXIT, 0, 0);
            return true;
        }
        TraceLog("RunInstaller - the management service did not start '%s', using the shell.\n", command.c_str());
    }
    const std::string path = UnquotedPath(quotedPath);
    const INT_PTR started = reinterpret_cast<INT_PTR>(
        ShellExecuteA(GetDesktopWindow(), nullptr, path.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    // The host must not exit for an installer that never started: nothing would replace it.
    if (started <= 32) {
        TraceLog("RunInstaller - ShellExecute failed for '%s', error %d\n", path.c_str(), static_cast<int>(started));
        return false;
    }
    QDUtilities::PostApplicationMessage(RM_EXIT, 0, 0);
    return true;
}
