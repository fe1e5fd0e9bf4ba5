#include "Wisp/web/DefaultBrowser.h"

#include <cctype>
#include <cstring>
#include <string>

#include "common/PersistentSettings.h"
#include "common/SettingsIds.h"
#include "common/TraceLog.h"
#include "common/com/Handle.h"
#include "Wisp/web/DefaultBrowserOpenNew.h"
#include "Wisp/web/InternetExplorer.h"

namespace DefaultBrowser {

const char kCommandKey[] = "HTTP\\shell\\open\\command";
const char kDdeAppKey[] = "HTTP\\shell\\open\\ddeexec\\Application";

namespace {

const std::size_t kNameSize = 260;

// A key's default value as text, terminated within size bytes.
LONG QueryDefault(HKEY key, char* buffer, std::size_t size)
{
    std::memset(buffer, 0, size);
    DWORD type = 0;
    DWORD bytes = static_cast<DWORD>(size - 1);
    LONG error = RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes);
    if (error == ERROR_SUCCESS && type != REG_SZ && type != REG_EXPAND_SZ)
        error = ERROR_INVALID_DATA;
    if (error != ERROR_SUCCESS)
        std::memset(buffer, 0, size);
    return error;
}

bool EndsWithLowered(const char* caption, const char* suffix)
{
    std::string text = caption;
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::size_t n = std::strlen(suffix);
    return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

// The first top-level window of the class whose lowercased caption ends with suffix.
HWND FindMozillaWindow(const char* windowClass, const char* suffix)
{
    HWND window = nullptr;
    while ((window = FindWindowExA(nullptr, window, windowClass, nullptr)) != nullptr) {
        char caption[kNameSize] = {};
        GetWindowTextA(window, caption, sizeof caption);
        TraceLog("    Found a mozilla: 0x%X\n", static_cast<unsigned>(reinterpret_cast<UINT_PTR>(window)));
        TraceLog("    caption = '%s'\n", caption);
        if (EndsWithLowered(caption, suffix))
            return window;
    }
    return nullptr;
}

bool StoreBrowserMode(bool show, const char* failureTrace)
{
    PersistentSettings settings;
    if (settings.SetProperty(SettingsId::appbar_browser, show ? 1 : 0))
        return true;
    TraceLog("%s", failureTrace);
    return false;
}

}  // namespace

bool GetExeName(char* strExeName, std::size_t size)
{
    if (!strExeName) {
        TraceLog("DefaultBrowser::GetExeName - strExeName is NULL.\n");
        return false;
    }
    if (size == 0)
        return false;
    UniqueHKey key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, kDdeAppKey, 0, KEY_READ, key.Put()) != ERROR_SUCCESS &&
        RegOpenKeyExA(HKEY_CLASSES_ROOT, kCommandKey, 0, KEY_READ, key.Put()) != ERROR_SUCCESS) {
        TraceLog("DefaultBrowser::GetExeName - failed opening default browser reg key.\n");
        std::memset(strExeName, 0, size);
        return false;
    }
    if (QueryDefault(key.Get(), strExeName, size) != ERROR_SUCCESS) {
        TraceLog("DefaultBrowser::GetExeName - failed querying registry value.\n");
        return false;
    }
    return true;
}

Kind KindOfExeName(const char* name)
{
    if (!name)
        return Kind::Unrecognized;
    if (_stricmp(name, "IExplore") == 0)
        return Kind::InternetExplorer;
    if (_stricmp(name, "Firefox") == 0)
        return Kind::Firefox;
    if (_stricmp(name, "Netscape") == 0)
        return Kind::Netscape;
    if (_stricmp(name, "Mozilla") == 0)
        return Kind::Mozilla;
    return Kind::Unrecognized;
}

bool IsDefaultBrowserIE()
{
    char name[kNameSize];
    return GetExeName(name, sizeof name) && KindOfExeName(name) == Kind::InternetExplorer;
}

bool GetExePath(char* strPath, std::size_t size)
{
    if (!strPath) {
        TraceLog("DefaultBrowser::GetExePath - strPath is NULL.\n");
        return false;
    }
    if (size == 0)
        return false;
    UniqueHKey key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, kCommandKey, 0, KEY_READ, key.Put()) != ERROR_SUCCESS) {
        TraceLog("DefaultBrowser::GetExePath - failed opening default browser reg key.\n");
        return false;
    }
    char command[kNameSize];
    if (QueryDefault(key.Get(), command, sizeof command) != ERROR_SUCCESS) {
        TraceLog("DefaultBrowser::GetExePath - failed querying registry value.\n");
        return false;
    }

    // Drive, folder, file name and extension as the C runtime's path split gives them; the
    // extension's first blank ends the program and starts its arguments.
    std::string text = command;
    std::string drive, folder, name, extension;
    std::size_t start = 0;
    if (text.size() >= 2 && text[1] == ':') {
        drive = text.substr(0, 2);
        start = 2;
    }
    std::size_t slash = text.find_last_of("\\/");
    std::size_t nameStart = start;
    if (slash != std::string::npos && slash >= start) {
        folder = text.substr(start, slash + 1 - start);
        nameStart = slash + 1;
    }
    std::size_t dot = text.find_last_of('.');
    if (dot != std::string::npos && dot >= nameStart) {
        name = text.substr(nameStart, dot - nameStart);
        extension = text.substr(dot);
    } else {
        name = text.substr(nameStart);
    }
    std::size_t blank = extension.find(' ');
    if (blank != std::string::npos)
        extension.erase(blank);

    std::string path = drive + folder + name + extension;
    std::memset(strPath, 0, size);
    if (path.size() >= size)
        return false;
    std::memcpy(strPath, path.c_str(), path.size());

    if (path.find('~') != std::string::npos) {
        std::string unquoted;
        for (char c : path)
            if (c != '"')
                unquoted += c;
        std::memset(strPath, 0, size);
        std::memcpy(strPath, unquoted.c_str(), unquoted.size());
        DWORD length = GetLongPathNameA(unquoted.c_str(), strPath, static_cast<DWORD>(size));
        if (length == 0 || length >= size) {
            TraceLog("DefaultBrowser::GetExePath - failed getting long path name. error = %d\n",
                     static_cast<int>(GetLastError()));
            return false;
        }
    }
    return true;
}

HWND FindDefaultBrowserWindow()
{
    char name[kNameSize];
    if (!GetExeName(name, sizeof name))
        return nullptr;
    switch (KindOfExeName(name)) {
    case Kind::InternetExplorer:
        return FindWindowA("IEFrame", nullptr);
    case Kind::Netscape:
        return FindWindowA("NS_AE_WindowClass", nullptr);
    case Kind::Firefox:
        if (HWND window = FindMozillaWindow("MozillaWindowClass", "mozilla firefox"))
            return window;
        return FindWindowA("MozillaUIWindowClass", nullptr);
    case Kind::Mozilla:
        return FindMozillaWindow("MozillaWindowClass", "mozilla");
    case Kind::Unrecognized:
        break;
    }
    return nullptr;
}

bool IsDefaultBrowserOpen()
{
    return FindDefaultBrowserWindow() != nullptr;
}

bool ShowQuillDesktop(bool show, bool openIfNeeded)
{
    HWND window = FindDefaultBrowserWindow();
    if (!window) {
        TraceLog("DefaultBrowser::ShowQuillDesktop - No default browsers open.\n");
        return false;
    }
    char name[kNameSize];
    GetExeName(name, sizeof name);
    const char* modeFailure = nullptr;
    switch (KindOfExeName(name)) {
    case Kind::InternetExplorer:
        if (!IEShowQuillDesktop(window, show)) {
            TraceLog("DefaultBrowser::ShowQuillDesktop - Failed setting QuillDesktop(%d) in IE.\n", show ? 1 : 0);
            return false;
        }
        return true;
    case Kind::Firefox:
        modeFailure = "DefaultBrowser::ShowQuillDesktop - Failed setting browser mode for Firefox.\n";
        break;
    case Kind::Netscape:
        modeFailure = "DefaultBrowser::ShowQuillDesktop - Failed setting browser mode for Netscape.\n";
        break;
    case Kind::Mozilla:
        modeFailure = "DefaultBrowser::ShowQuillDesktop - Failed setting browser mode for Mozilla.\n";
        break;
    case Kind::Unrecognized:
        TraceLog("DefaultBrowser::ShowQuillDesktop - Unrecognized browser '%s'\n", name);
        return false;
    }
    bool stored = StoreBrowserMode(show, modeFailure);
    if (show && openIfNeeded)
        OpenNew(nullptr);
    return stored;
}

}  // namespace DefaultBrowser
