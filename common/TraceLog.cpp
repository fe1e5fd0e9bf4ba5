#include "common/TraceLog.h"

#include <shlobj.h>
#include <share.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

const char kSwitchKey[] = "Software\\Ashgrove\\Tidewire";
const char kSwitchValue[] = "debug";

// -1 until the switch has been read. A negative stored value keeps it unread, so such a
// value is read again at every call.
std::atomic<int> g_level{-1};
std::mutex g_setupLock;

// Opened on the first write at level 2 and kept open for the life of the process.
std::atomic<FILE*> g_file{nullptr};
std::mutex g_fileLock;

int CurrentLevel()
{
    int level = g_level.load(std::memory_order_acquire);
    if (level >= 0)
        return level;

    // Simultaneous first calls: one thread reads the switch, the others wait for its answer.
    std::lock_guard<std::mutex> guard(g_setupLock);
    level = g_level.load(std::memory_order_acquire);
    if (level >= 0)
        return level;
    level = ReadDebugLevel();
    // Said before the level is published, so that no other thread's message precedes it.
    OutputDebugStringA(level != 0 ? "Debug Mode is ON\n" : "Debug Mode is OFF\n");
    g_level.store(level, std::memory_order_release);
    return level;
}

FILE* LogFile()
{
    FILE* file = g_file.load(std::memory_order_acquire);
    if (file)
        return file;

    std::lock_guard<std::mutex> guard(g_fileLock);
    file = g_file.load(std::memory_order_acquire);
    if (file)
        return file;
    char path[MAX_PATH];
    if (!BuildTraceLogPath(path, sizeof path))
        return nullptr;
    // Shared both ways: other processes may read (or write) the file while it is open.
    file = _fsopen(path, "at", _SH_DENYNO);
    if (file)
        g_file.store(file, std::memory_order_release);
    return file;   // null: the next message tries again
}

void WriteToFile(const char* text)
{
    FILE* file = LogFile();
    if (!file)
        return;
    fputs(text, file);
    fflush(file);
}

}  // namespace

int ReadDebugLevel()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSwitchKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return 0;
    // Up to four raw bytes into a zeroed integer, whatever the value's type.
    int level = 0;
    DWORD size = sizeof level;
    if (RegQueryValueExA(key, kSwitchValue, nullptr, nullptr, reinterpret_cast<BYTE*>(&level), &size)
        != ERROR_SUCCESS)
        level = 0;
    RegCloseKey(key);
    return level;
}

bool BuildTraceLogPath(char* path, std::size_t size)
{
    if (!path || size == 0)
        return false;
    char appData[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, appData)))
        return false;

    char exe[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(nullptr, exe, sizeof exe);
    if (length == 0 || length >= sizeof exe)
        return false;
    const char* name = exe;
    for (const char* p = exe; *p; ++p)
        if (*p == '\\' || *p == '/')
            name = p + 1;
    char base[MAX_PATH] = {};
    std::snprintf(base, sizeof base, "%s", name);
    if (char* dot = std::strrchr(base, '.'))
        *dot = '\0';

    std::size_t limit = size < MAX_PATH ? size : MAX_PATH;
    int written = std::snprintf(path, limit, "%s\\Quill\\Tidewire\\%s.%lu.txt", appData, base,
                                static_cast<unsigned long>(GetCurrentProcessId()));
    return written > 0 && static_cast<std::size_t>(written) < limit;
}

namespace {

// Formats and writes one message. Kept apart from TraceLog, so that a call while tracing is
// off pays for none of its 4 kB of stack.
__attribute__((noinline)) void WriteMessage(int level, DWORD timeStamp, const char* format,
                                            va_list args)
{
    char message[4097];
    message[0] = '\0';
    if (format)
        std::vsnprintf(message, 4096 + 1, format, args);
    message[4096] = '\0';

    char prefix[100];
    std::snprintf(prefix, sizeof prefix, "PID:%d(TID:%d)[TS:%d ms]",
                  static_cast<int>(GetCurrentProcessId()), static_cast<int>(GetCurrentThreadId()),
                  static_cast<int>(timeStamp));

    OutputDebugStringA(prefix);
    OutputDebugStringA(message);
    if (level > 1) {
        WriteToFile(prefix);
        WriteToFile(message);
    }
}

}  // namespace

void TraceLog(const char* format, ...)
{
    const DWORD timeStamp = GetTickCount();
    const int level = CurrentLevel();
    if (level == 0)
        return;
    va_list args;
    va_start(args, format);
    WriteMessage(level, timeStamp, format, args);
    va_end(args);
}

void TraceRect(const char* label, const RECT& rect)
{
    TraceLog("%s {Left=%d, Top=%d, Right=%d, Bottom=%d}\n", label ? label : "",
             static_cast<int>(rect.left), static_cast<int>(rect.top),
             static_cast<int>(rect.right), static_cast<int>(rect.bottom));
}
