#include "common/QDUtilities.h"

#include "common/HostMessages.h"
#include "common/MessageBlock.h"
#include "common/PersistentSettings.h"
#include "common/QDCopyData.h"
#include "common/SettingsIds.h"
#include "common/TraceLog.h"

#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <mutex>
#include <new>

namespace QDUtilities {

const char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

namespace {

const char kSettingsFolder[] = "Quill\\Tidewire";
const char kDesktopKey[] = "Control Panel\\Desktop";
const char kScreenSaverValue[] = "SCRNSAVE.EXE";
const char kScreenSaverFile[] = "Tidewire.scr";
const char kScreenSaverMatch[] = "tidewi";   // the file name's first six letters, lowercased
const char kLoginCookie[] = "twuser";
const DWORD kScreenSaverValueMax = MAX_PATH;   // bytes read of "SCRNSAVE.EXE"

// Written and read on the control's thread only.
HWND g_applicationWindow = nullptr;

class RegistryKey {
public:
    RegistryKey() = default;
    ~RegistryKey()
    {
        if (m_key)
            RegCloseKey(m_key);
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    HKEY* Receive() { return &m_key; }
    HKEY Get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

class Library {
public:
    explicit Library(const char* name) : m_module(LoadLibraryA(name)) {}
    ~Library()
    {
        if (m_module)
            FreeLibrary(m_module);
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    FARPROC Find(const char* name) const
    {
        return m_module ? GetProcAddress(m_module, name) : nullptr;
    }
    bool Loaded() const { return m_module != nullptr; }

private:
    HMODULE m_module;
};

template <typename Function>
Function FunctionCast(FARPROC proc)
{
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(proc));
}

// Asked of the shell once per process, as soon as it answers: the folder does not move while
// the process runs, and asking costs more than reading the settings file it leads to. Saving
// creates the folders again should they be removed meanwhile.
bool AppDataFolder(std::string& path)
{
    static std::mutex lock;
    static std::string known;
    std::lock_guard<std::mutex> hold(lock);
    if (known.empty()) {
        char folder[MAX_PATH] = {};
        if (FAILED(SHGetFolderPathA(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, folder)))
            return false;
        known = folder;
    }
    path = known;
    return true;
}

bool WindowsFolder(std::string& path)
{
    return GetSpecialFolder(nullptr, CSIDL_WINDOWS, nullptr, 0, path) == 0;
}

bool ContentDirectory(std::string& directory)
{
    PersistentSettings settings;
    return settings.GetProperty(SettingsId::content_directory, directory);
}

void ToLower(std::string& text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

LRESULT SendRecord(UINT message, UINT kind, WPARAM wParam, LPARAM lParam, uint32_t byteCount,
                   const void* payload)
{
    // Parameters travel as their low 32 bits, as the record's fields are 32-bit.
    QDCopyDataRecord record(message, static_cast<uint32_t>(wParam),
                            static_cast<uint32_t>(lParam), payload, byteCount);
    return SendDataMessage(kind, static_cast<uint32_t>(record.Size()), record.Bytes());
}

}  // namespace

// --- Host and screen-saver messaging --------------------------------------------------------

int SetThisApplicationWND(HWND window)
{
    TraceLog("QDUtilities::SetThisApplicationWND  %X \n",
             static_cast<unsigned>(reinterpret_cast<UINT_PTR>(window)));
    g_applicationWindow = window;
    return 0;
}

HWND GetThisApplicationWND()
{
    return g_applicationWindow;
}

HWND FindApplicationWindow()
{
    return FindWindowA(HOST_WINDOW_CLASS, HOST_WINDOW_TITLE);
}

HWND FindScreenSaverWindow()
{
    return FindWindowA(SCREENSAVER_WINDOW_CLASS, SCREENSAVER_WINDOW_TITLE);
}

LRESULT SendApplicationMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (HWND window = g_applicationWindow) {
        QDCopyDataRecord record(message, static_cast<uint32_t>(wParam),
                                static_cast<uint32_t>(lParam));
        return SendMessageA(window, RM_NOTIFY_MOTHERSHIP, record.Size(),
                            reinterpret_cast<LPARAM>(record.Record()));
    }
    HWND host = FindApplicationWindow();
    if (!host)
        return 0;
    return SendMessageA(host, message, wParam, lParam);
}

bool PostApplicationMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND host = FindApplicationWindow();
    if (!host) {
        TraceLog("QDUtilities::SendApplicationMessage - Failed.  hWnd is NULL.\n");
        return false;
    }
    if (!PostMessageA(host, message, wParam, lParam)) {
        TraceLog("QDUtilities::PostApplicationMessage - PostMessage failed. Error %d\n",
                 static_cast<int>(GetLastError()));
        return false;
    }
    return true;
}

bool PostScreenSaverMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND target = FindScreenSaverWindow();
    UINT number = message;
    if (!target) {
        target = FindApplicationWindow();
        if (!target) {
            TraceLog("QDUtilities::SendApplicationMessage - Failed.  hWnd is NULL.\n");
            return false;
        }
        number = RM_RELAY_TO_SCREENSAVER;
        wParam = message;
    }
    if (!PostMessageA(target, number, wParam, lParam)) {
        TraceLog("QDUtilities::PostScreenSaverMessage - PostMessage failed. Error %d\n",
                 static_cast<int>(GetLastError()));
        return false;
    }
    return true;
}

LRESULT SendDataMessage(UINT message, uint32_t byteCount, const void* payload)
{
    if (byteCount && !payload) {
        TraceLog("QDUtilities::SendDataMessage - pData is NULL.\n");
        return 0;
    }
    if (HWND window = g_applicationWindow) {
        QDCopyDataRecord record(message, 0, 0, payload, byteCount);
        return SendMessageA(window, RM_NOTIFY_MOTHERSHIP, record.Size(),
                            reinterpret_cast<LPARAM>(record.Record()));
    }
    COPYDATASTRUCT data = {};
    data.dwData = message;
    data.cbData = byteCount;
    data.lpData = const_cast<void*>(payload);
    return SendApplicationMessage(WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
}

LRESULT NotifyClientsRecord(UINT message, WPARAM wParam, LPARAM lParam, uint32_t byteCount,
                            const void* payload)
{
    const bool withPayload = payload && byteCount;
    return SendRecord(message, RM_NOTIFY_CLIENTS, wParam, withPayload ? 0 : lParam,
                      withPayload ? byteCount : 0, payload);
}

LRESULT NotifyTopClientRecord(UINT message, WPARAM wParam, LPARAM lParam, uint32_t byteCount,
                              const void* payload)
{
    const bool withPayload = payload && byteCount;
    return SendRecord(message, RM_NOTIFY_TOP_CLIENT, wParam, withPayload ? 0 : lParam,
                      withPayload ? byteCount : 0, payload);
}

DWORD PostDataMessageSameProcessOnly(HWND window, UINT message, WPARAM wParam, const void* payload,
                                     size_t byteCount)
{
    if (byteCount == 0) {
        TraceLog("QDUtilities::PostDataMessageSameProcessOnly - cbSize is 0\n");
        return ERROR_INVALID_PARAMETER;
    }
    if (!payload) {
        TraceLog("QDUtilities::PostDataMessageSameProcessOnly - pData is NULL.\n");
        return ERROR_INVALID_PARAMETER;
    }
    void* copy = AllocateMessageBlock(message, byteCount);
    if (!copy) {
        TraceLog("QDUtilities::PostDataMessageSameProcessOnly - out of memory.\n");
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    std::memcpy(copy, payload, byteCount);
    if (!PostMessageBlock(window, wParam, copy)) {
        // The copy went with the failed post.
        const DWORD error = GetLastError();
        TraceLog("QDUtilities::PostDataMessageSameProcessOnly - PostMessage failed. Error %d\n",
                 static_cast<int>(error));
        return error ? error : ERROR_INVALID_WINDOW_HANDLE;
    }
    return 0;
}

// --- Log-on start entry ---------------------------------------------------------------------

bool AddAppToStartup(const char* valueName, const char* command)
{
    if (!valueName || !command) {
        TraceLog("QDUtilities::AddAppToStartup - %s is NULL.\n", valueName ? "command" : "valueName");
        return false;
    }
    RegistryKey key;
    // Created when missing: a fresh profile may not have the key yet.
    LONG error = RegCreateKeyExA(HKEY_CURRENT_USER, kRunKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                 KEY_SET_VALUE, nullptr, key.Receive(), nullptr);
    if (error != ERROR_SUCCESS) {
        TraceLog("QDUtilities::AddAppToStartup got error %d calling RegOpenKey",
                 static_cast<int>(error));
        return false;
    }
    // The count holds the terminator, as REG_SZ asks: without it a reader sizing its buffer
    // from the value gets a string that does not end.
    error = RegSetValueExA(key.Get(), valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(command),
                           static_cast<DWORD>(std::strlen(command) + 1));
    if (error != ERROR_SUCCESS) {
        TraceLog("QDUtilities::AddAppToStartup got error %d calling RegSetValueEx",
                 static_cast<int>(error));
        return false;
    }
    return true;
}

bool RemoveAppFromStartup(const char* valueName)
{
    if (!valueName) {
        TraceLog("QDUtilities::RemoveAppFromStartup - valueName is NULL.\n");
        return false;
    }
    RegistryKey key;
    LONG error = RegOpenKeyExA(HKEY_CURRENT_USER, kRunKey, 0, KEY_SET_VALUE, key.Receive());
    if (error != ERROR_SUCCESS) {
        TraceLog("QDUtilities::RemoveAppFromStartup got error %d calling RegOpenKey\n",
                 static_cast<int>(error));
        return false;
    }
    error = RegDeleteValueA(key.Get(), valueName);
    if (error != ERROR_SUCCESS) {
        TraceLog("QDUtilities::RemoveAppFromStartup got error %d calling RegDeleteValue\n",
                 static_cast<int>(error));
        return false;
    }
    return true;
}

// --- Window functions looked up at run time -------------------------------------------------

namespace {

// Loading the library and finding the name again at every call cost more than the calls
// themselves (a fade changes the alpha every 33 ms): user32 is loaded once and kept.
FARPROC User32Function(const char* name)
{
    static const Library user32("user32.dll");
    return user32.Find(name);
}

}  // namespace

BOOL SetLayeredWindowAttributesDyn(HWND window, COLORREF colorKey, BYTE alpha, DWORD flags)
{
    using Function = BOOL(WINAPI*)(HWND, COLORREF, BYTE, DWORD);
    static const Function function =
        FunctionCast<Function>(User32Function("SetLayeredWindowAttributes"));
    return function ? function(window, colorKey, alpha, flags) : FALSE;
}

HWND GetAncestorDyn(HWND window, UINT flags)
{
    using Function = HWND(WINAPI*)(HWND, UINT);
    static const Function function = FunctionCast<Function>(User32Function("GetAncestor"));
    return function ? function(window, flags) : window;
}

// --- Folders --------------------------------------------------------------------------------

int GetSpecialFolder(HWND owner, int csidl, HANDLE token, DWORD flags, std::string& path)
{
    char folder[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathA(owner, csidl | CSIDL_FLAG_CREATE, nullptr, 0, folder)))
        return ERROR_PATH_NOT_FOUND;
    path = folder;
    return 0;
}

bool GetContentDirectoryPath(std::string& path)
{
    std::string appData;
    if (!AppDataFolder(appData))
        return false;
    path = appData + "\\" + kSettingsFolder;
    return true;
}

bool GetSettingsFilePath(std::string& path)
{
    std::string folder;
    if (!GetContentDirectoryPath(folder))
        return false;
    path = folder + "\\" + "settings" + "." + "xml";
    return true;
}

bool EnsureSaveFileDirectoryExists()
{
    std::string folder;
    if (!GetContentDirectoryPath(folder))
        return false;
    const int result = SHCreateDirectoryExA(nullptr, folder.c_str(), nullptr);
    return result == ERROR_SUCCESS || result == ERROR_FILE_EXISTS || result == ERROR_ALREADY_EXISTS;
}

bool MakeContentPath(char* buffer, const char* fileName, size_t bufferSize)
{
    if (!buffer || !fileName || bufferSize == 0)
        return false;
    std::string directory;
    if (!ContentDirectory(directory)) {
        TraceLog("QuillDesktop::MakeContentPath - Failed getting content directory\n");
        directory.clear();
    }
    const std::string path = directory + "\\" + fileName;
    if (path.size() + 1 > bufferSize)
        return false;
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return true;
}

bool GetCacheDirectory(std::string& path)
{
    std::string directory;
    if (!ContentDirectory(directory))
        return false;
    const std::string cache = directory + "\\" + "cache";
    if (!CreateDirectoryA(cache.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return false;
    path = cache;
    return true;
}

bool ListFiles(const char* folder, const char* extension, std::vector<std::string>& files)
{
    if (!folder)
        return false;
    const std::string pattern =
        std::string(folder) + "\\*." + (extension ? extension : "*");
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(pattern.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    do {
        const size_t length = std::strlen(data.cFileName);
        if (length > 0 && data.cFileName[length - 1] != '.')
            files.push_back(std::string(folder) + "\\" + data.cFileName);
    } while (FindNextFileA(search, &data));
    FindClose(search);
    return true;
}

// --- Files ----------------------------------------------------------------------------------

std::unique_ptr<char[]> ReadFileIntoBuffer(const char* path, size_t* size)
{
    if (!path) {
        TraceLog("QDUtilities::ReadFileIntoBuffer - path is NULL.\n");
        return nullptr;
    }
    // Delete sharing lets a writer replace the file while it is being read; this handle
    // keeps reading the old contents.
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        TraceLog("QDUtilities::ReadFileIntoBuffer - failed opening '%s', error %X", path,
                 static_cast<unsigned>(GetLastError()));
        return nullptr;
    }
    std::unique_ptr<char[]> buffer;
    LARGE_INTEGER length = {};
    if (!GetFileSizeEx(file, &length) || length.QuadPart < 0 ||
        static_cast<unsigned long long>(length.QuadPart) >= 0x7FFFFFFF) {
        TraceLog("QDUtilities::ReadFileIntoBuffer - bad size of '%s', error %X\n", path,
                 static_cast<unsigned>(GetLastError()));
        CloseHandle(file);
        return nullptr;
    }
    const DWORD total = static_cast<DWORD>(length.QuadPart);
    buffer.reset(new (std::nothrow) char[total + 1]);
    if (!buffer) {
        CloseHandle(file);
        return nullptr;
    }
    std::memset(buffer.get(), 0, total + 1);
    DWORD done = 0;
    while (done < total) {
        DWORD read = 0;
        if (!ReadFile(file, buffer.get() + done, total - done, &read, nullptr)) {
            TraceLog("QDUtilities::ReadFileIntoBuffer - failed reading '%s', error %X\n", path,
                     static_cast<unsigned>(GetLastError()));
            CloseHandle(file);
            return nullptr;
        }
        if (read == 0)
            break;   // the file shrank meanwhile: what was read is what there is
        done += read;
    }
    CloseHandle(file);
    buffer[done] = '\0';
    if (size)
        *size = done;
    return buffer;
}

bool ReadFileIntoString(const char* path, std::string& text)
{
    size_t size = 0;
    std::unique_ptr<char[]> buffer = ReadFileIntoBuffer(path, &size);
    if (!buffer)
        return false;
    text.assign(buffer.get(), size);
    return true;
}

bool WriteStringToFileHandle(FILE* file, const std::string& text)
{
    if (!file)
        return false;
    return std::fwrite(text.data(), 1, text.size(), file) == text.size();
}

// --- Strings --------------------------------------------------------------------------------

int ReplaceAll(std::string& text, const std::string& find, const std::string& replacement)
{
    if (find.empty())
        return 0;
    int count = 0;
    size_t position = 0;
    while ((position = text.find(find, position)) != std::string::npos) {
        text.replace(position, find.size(), replacement);
        position += replacement.size();
        ++count;
    }
    return count;
}

std::string Mid(const std::string& text, int start, int count)
{
    const size_t from = start < 0 ? 0 : static_cast<size_t>(start);
    const size_t length = count < 0 ? 0 : static_cast<size_t>(count);
    if (from >= text.size())
        return std::string();
    return text.substr(from, std::min(length, text.size() - from));
}

// --- System screen-saver choice -------------------------------------------------------------

namespace {

bool IsOurScreenSaver(std::string value)
{
    ToLower(value);
    return value.find(kScreenSaverMatch) != std::string::npos;
}

// The "SCRNSAVE.EXE" text, at most 260 bytes; "" when missing or not a string.
std::string ReadScreenSaverValue(HKEY key)
{
    char value[kScreenSaverValueMax + 1] = {};
    DWORD size = kScreenSaverValueMax;
    DWORD type = 0;
    if (RegQueryValueExA(key, kScreenSaverValue, nullptr, &type, reinterpret_cast<BYTE*>(value),
                         &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return std::string();
    value[kScreenSaverValueMax] = '\0';
    return value;
}

}  // namespace

bool MarigoldScreenSaverOn()
{
    RegistryKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, KEY_READ, key.Receive()) != ERROR_SUCCESS)
        return false;
    return IsOurScreenSaver(ReadScreenSaverValue(key.Get()));
}

namespace {

// A 32-bit installer's System32 is redirected to SysWOW64, where the file then is; the 64-bit
// session that starts screen savers would look in the real System32 and find nothing.
const char* ScreenSaverFolder()
{
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64 ? "\\SysWOW64\\" : "\\System32\\";
}

}  // namespace

bool SetMarigoldScreenSaverOn(bool on)
{
    std::string previous;
    if (on) {
        RegistryKey key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, KEY_READ, key.Receive()) !=
            ERROR_SUCCESS) {
            TraceLog("QDUtilities::SetMarigoldScreenSaverOn - Failed openeing HKCU\\Control Panel\\Desktop\n");
            return false;
        }
        previous = ReadScreenSaverValue(key.Get());
        // Ours already chosen: the user's own choice is remembered from the first time and must
        // not be overwritten by our path, or turning us off could never give it back.
        if (!IsOurScreenSaver(previous)) {
            PersistentSettings settings;
            settings.SetProperty(SettingsId::previous_screen_saver_setting, previous);
        }
    } else {
        PersistentSettings settings;
        settings.GetProperty(SettingsId::previous_screen_saver_setting, previous);
    }

    RegistryKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, KEY_WRITE, key.Receive()) != ERROR_SUCCESS)
        return false;
    LONG error = ERROR_INVALID_FUNCTION;
    if (on) {
        std::string windows;
        char shortPath[MAX_PATH + 1] = {};
        if (WindowsFolder(windows)) {
            const std::string path = windows + ScreenSaverFolder() + kScreenSaverFile;
            const DWORD length = GetShortPathNameA(path.c_str(), shortPath, MAX_PATH);
            if (length > 0 && length < MAX_PATH)
                error = RegSetValueExA(key.Get(), kScreenSaverValue, 0, REG_SZ,
                                       reinterpret_cast<const BYTE*>(shortPath), length + 1);
            else
                TraceLog("QDUtilities::SetMarigoldScreenSaverOn - no short path for '%s'. Error %d\n",
                         path.c_str(), static_cast<int>(GetLastError()));
        }
    } else if (!previous.empty()) {
        error = RegSetValueExA(key.Get(), kScreenSaverValue, 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(previous.c_str()),
                               static_cast<DWORD>(previous.size() + 1));
    } else {
        error = RegDeleteValueA(key.Get(), kScreenSaverValue);
    }
    return error == ERROR_SUCCESS;
}

bool SSIsRunning()
{
    if (FindScreenSaverWindow())
        return true;
    BOOL running = FALSE;
    if (MarigoldScreenSaverOn() && SystemParametersInfoA(SPI_GETSCREENSAVERRUNNING, 0, &running, 0) &&
        running) {
        TraceLog("QDUtilities::SSIsRunning TRUE \n");
        return true;
    }
    return false;
}

// --- Control panel --------------------------------------------------------------------------

bool RunControlPanelApplet(const char* appletFile, HWND owner)
{
    if (!appletFile || !owner)
        return false;
    std::string windows;
    if (!WindowsFolder(windows))
        return false;
    const std::string path = windows + "\\system32\\" + appletFile;
    Library applet(path.c_str());
    if (!applet.Loaded()) {
        TraceLog("QDUtilities::RunControlPanelApplet - failed loading '%s'. Error %d\n",
                 path.c_str(), static_cast<int>(GetLastError()));
        return false;
    }
    using Function = LONG(APIENTRY*)(HWND, UINT, LPARAM, LPARAM);
    Function entry = FunctionCast<Function>(applet.Find("CPlApplet"));
    if (!entry) {
        TraceLog("QDUtilities::RunControlPanelApplet - '%s' has no CPlApplet.\n", path.c_str());
        return false;
    }
    entry(owner, 1, 0, 0);   // CPL_INIT
    entry(owner, 5, 0, 0);   // CPL_DBLCLK
    entry(owner, 7, 0, 0);   // CPL_EXIT
    return true;
}

// --- Notification area and task bar ---------------------------------------------------------

namespace {

BOOL CALLBACK FindTrayNotify(HWND window, LPARAM found)
{
    char name[64] = {};
    if (GetClassNameA(window, name, sizeof name) && std::strcmp(name, "TrayNotifyWnd") == 0) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

RECT GetTrayRect()
{
    HWND tray = FindWindowA("Shell_TrayWnd", nullptr);
    HWND notify = nullptr;
    if (tray)
        EnumChildWindows(tray, FindTrayNotify, reinterpret_cast<LPARAM>(&notify));
    RECT rect = {};
    if (notify && GetWindowRect(notify, &rect))
        return rect;
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    rect.left = width - 40;
    rect.top = height - 20;
    rect.right = width;
    rect.bottom = height;
    return rect;
}

int GetTaskTrayX() { return GetTrayRect().left; }
int GetTaskTrayY() { return GetTrayRect().top; }
int GetTaskTrayW()
{
    const RECT rect = GetTrayRect();
    return rect.right - rect.left;
}
int GetTaskTrayH()
{
    const RECT rect = GetTrayRect();
    return rect.bottom - rect.top;
}

int GetTaskBarEdge()
{
    APPBARDATA data = {};
    data.cbSize = sizeof data;
    if (!SHAppBarMessage(ABM_GETTASKBARPOS, &data))
        return ABE_BOTTOM;
    return static_cast<int>(data.uEdge);
}

// --- Firefox --------------------------------------------------------------------------------

bool GetFireFoxProfilePath(std::string& path)
{
    std::string appData;
    if (!AppDataFolder(appData)) {
        TraceLog("QDUtilities::GetMozillaAppDataPath shGetFolderPath failed");
        return false;
    }
    const std::string ini = appData + "\\Mozilla\\Firefox\\profiles.ini";
    std::unique_ptr<char[]> buffer = ReadFileIntoBuffer(ini.c_str());
    if (!buffer) {
        TraceLog("QDUtilities::GetFireFoxProfilePath QDUtilities::ReadFileIntoBuffer failed");
        return false;
    }
    const char* key = std::strstr(buffer.get(), "Path=");
    if (!key) {
        TraceLog("QDUtilities::GetFireFoxProfilePath could not find path parameter");
        return false;
    }
    const char* start = key + 5;
    const char* end = std::strchr(start, '\n');
    if (!end) {
        TraceLog("QDUtilities::GetFireFoxProfilePath could not find end of line after path parameter!");
        return false;
    }
    // A carriage return before the line feed is not part of the value; a line ended by a
    // line feed alone loses nothing.
    if (end > start && end[-1] == '\r')
        --end;
    std::string value(start, end);
    if (value.empty()) {
        TraceLog("firefox ini file not found or empty \n");
        return false;
    }
    std::replace(value.begin(), value.end(), '/', '\\');
    path = value;
    return true;
}

bool GetMozillaAppDataPath(std::string& path)
{
    std::string appData;
    if (!AppDataFolder(appData)) {
        TraceLog("QDUtilities::GetMozillaAppDataPath shGetFolderPath failed");
        return false;
    }
    std::string profile;
    if (!GetFireFoxProfilePath(profile)) {
        TraceLog("QDUtilities::GetMozillaAppDataPath GetFireFoxProfilePath failed");
        return false;
    }
    path = appData + "\\Mozilla\\Firefox\\" + profile;
    return true;
}

bool GetFireFoxAuthCookie(bool& found)
{
    std::string profile;
    if (!GetMozillaAppDataPath(profile)) {
        TraceLog("QDUtilities::GetFireFoxAuthCookie failed to get profile path");
        return false;
    }
    std::string cookies;
    if (!ReadFileIntoString((profile + "\\cookies.txt").c_str(), cookies)) {
        TraceLog("QDUtilities::GetFireFoxAuthCookie QDUtilities::ReadFileIntoBuffer failed");
        return false;
    }
    ToLower(cookies);
    found = cookies.find(kLoginCookie) != std::string::npos;
    if (found)
        TraceLog("QDUtilities::GetFireFoxAuthCookie found the cookie!");
    else
        TraceLog("QDUtilities::GetFireFoxAuthCookie could not find the cookie");
    return true;
}

}  // namespace QDUtilities
