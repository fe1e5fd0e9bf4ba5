#include "tests/support/TraceCapture.h"

#include "common/TraceLog.h"

#include <shlobj.h>

#include <fstream>
#include <sstream>

namespace testing_support {

namespace {
const char kKey[] = "Software\\Ashgrove\\Tidewire";
}

TraceCapture::TraceCapture()
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key, nullptr) ==
        ERROR_SUCCESS) {
        DWORD size = sizeof m_oldValue;
        m_hadValue = RegQueryValueExA(key, "debug", nullptr, nullptr, reinterpret_cast<BYTE*>(&m_oldValue), &size) ==
                     ERROR_SUCCESS;
        DWORD level = 2;
        RegSetValueExA(key, "debug", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&level), sizeof level);
        RegCloseKey(key);
    }
    char folder[MAX_PATH];
    if (SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, folder))) {
        std::string path = std::string(folder) + "\\Quill";
        CreateDirectoryA(path.c_str(), nullptr);
        path += "\\Tidewire";
        CreateDirectoryA(path.c_str(), nullptr);
    }
}

TraceCapture::~TraceCapture()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_WRITE, &key) == ERROR_SUCCESS) {
        if (m_hadValue)
            RegSetValueExA(key, "debug", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&m_oldValue), sizeof m_oldValue);
        else
            RegDeleteValueA(key, "debug");
        RegCloseKey(key);
    }
}

namespace {

// The messages only: line ends as written ("\n"), without the "PID:..(TID:..)[TS:.. ms]" prefixes.
std::string MessagesOfFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream raw;
    raw << in.rdbuf();
    const std::string file = raw.str();
    std::string text;
    text.reserve(file.size());
    for (std::size_t i = 0; i < file.size();) {
        if (file.compare(i, 4, "PID:") == 0) {
            std::size_t end = file.find(" ms]", i);
            if (end != std::string::npos && file.find('\n', i) > end) {
                i = end + 4;
                continue;
            }
        }
        if (file[i] != '\r')
            text += file[i];
        ++i;
    }
    return text;
}

}  // namespace

std::string TraceCapture::Text()
{
    char path[MAX_PATH];
    if (!BuildTraceLogPath(path, sizeof path))
        return {};
    return MessagesOfFile(path);
}

std::string ProcessTraceText(const std::string& program, DWORD processId)
{
    char folder[MAX_PATH];
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, folder)))
        return {};
    return MessagesOfFile(std::string(folder) + "\\Quill\\Tidewire\\" + program + "." +
                          std::to_string(processId) + ".txt");
}

std::string TraceCapture::Since(std::size_t mark)
{
    std::string text = Text();
    return mark < text.size() ? text.substr(mark) : std::string();
}

bool TraceCapture::WaitFor(const std::string& needle, std::size_t mark, DWORD timeoutMs)
{
    return PumpUntil([&] { return Since(mark).find(needle) != std::string::npos; }, timeoutMs);
}

int TraceCapture::Count(const std::string& text, const std::string& needle)
{
    int count = 0;
    for (std::size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size()))
        ++count;
    return count;
}

void PumpMessages(DWORD ms)
{
    DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    } while (GetTickCount() - start < ms);
}

}  // namespace testing_support
