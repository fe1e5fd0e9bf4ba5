#include "tests/support/ScratchState.h"

#include <fstream>
#include <sstream>

namespace testing_support {

bool ReadWholeFile(const std::string& path, std::string& bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::stringstream s;
    s << in.rdbuf();
    bytes = s.str();
    return true;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

FileBackup::FileBackup(std::string path) : m_path(std::move(path))
{
    m_existed = ReadWholeFile(m_path, m_bytes);
}

FileBackup::~FileBackup()
{
    SetFileAttributesA(m_path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (m_existed)
        WriteWholeFile(m_path, m_bytes);
    else
        DeleteFileA(m_path.c_str());
}

RegistryValueBackup::RegistryValueBackup(HKEY root, std::string subKey, std::string valueName)
    : m_root(root), m_subKey(std::move(subKey)), m_valueName(std::move(valueName))
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(m_root, m_subKey.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return;
    DWORD size = 0;
    if (RegQueryValueExA(key, m_valueName.c_str(), nullptr, &m_type, nullptr, &size) ==
        ERROR_SUCCESS) {
        m_data.resize(size);
        m_existed = RegQueryValueExA(key, m_valueName.c_str(), nullptr, &m_type,
                                     m_data.empty() ? nullptr : m_data.data(), &size) ==
                    ERROR_SUCCESS;
        m_data.resize(size);
    }
    RegCloseKey(key);
}

RegistryValueBackup::~RegistryValueBackup()
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(m_root, m_subKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    if (m_existed)
        RegSetValueExA(key, m_valueName.c_str(), 0, m_type, m_data.empty() ? nullptr : m_data.data(),
                       static_cast<DWORD>(m_data.size()));
    else
        RegDeleteValueA(key, m_valueName.c_str());
    RegCloseKey(key);
}

namespace {

void TakeSnapshot(HKEY key, RegistryKeyBackup::Snapshot& snapshot)
{
    char name[16384];
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = sizeof name;
        DWORD type = 0, size = 0;
        if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            break;
        RegistryKeyBackup::Value value{name, type, std::vector<BYTE>(size)};
        nameSize = sizeof name;
        RegEnumValueA(key, i, name, &nameSize, nullptr, &type, value.data.empty() ? nullptr : value.data.data(),
                      &size);
        value.data.resize(size);
        snapshot.values.push_back(std::move(value));
    }
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = sizeof name;
        if (RegEnumKeyExA(key, i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        RegistryKeyBackup::Snapshot child;
        child.name = name;
        HKEY sub = nullptr;
        if (RegOpenKeyExA(key, name, 0, KEY_READ, &sub) == ERROR_SUCCESS) {
            TakeSnapshot(sub, child);
            RegCloseKey(sub);
        }
        snapshot.keys.push_back(std::move(child));
    }
}

void PutSnapshot(HKEY parent, const RegistryKeyBackup::Snapshot& snapshot)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(parent, snapshot.name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    for (const auto& value : snapshot.values)
        RegSetValueExA(key, value.name.c_str(), 0, value.type, value.data.empty() ? nullptr : value.data.data(),
                       static_cast<DWORD>(value.data.size()));
    for (const auto& child : snapshot.keys)
        PutSnapshot(key, child);
    RegCloseKey(key);
}

}  // namespace

RegistryKeyBackup::RegistryKeyBackup(HKEY root, std::string subKey) : m_root(root), m_subKey(std::move(subKey))
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(m_root, m_subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    m_existed = true;
    m_snapshot.name = m_subKey;
    TakeSnapshot(key, m_snapshot);
    RegCloseKey(key);
}

RegistryKeyBackup::~RegistryKeyBackup()
{
    RegDeleteTreeA(m_root, m_subKey.c_str());
    RegDeleteKeyA(m_root, m_subKey.c_str());
    if (m_existed)
        PutSnapshot(m_root, m_snapshot);
}

TraceSwitch::TraceSwitch(DWORD level)
    : m_backup(HKEY_CURRENT_USER, "Software\\Ashgrove\\Tidewire", "debug")
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Ashgrove\\Tidewire", 0, nullptr, 0,
                        KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, "debug", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&level), sizeof level);
    RegCloseKey(key);
}

void RemoveTree(const std::string& path)
{
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &data);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = data.cFileName;
            if (name == "." || name == "..")
                continue;
            const std::string child = path + "\\" + name;
            SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileA(child.c_str());
        } while (FindNextFileA(search, &data));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
}

ScratchFolder::ScratchFolder(const std::string& name)
{
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof temp, temp);
    m_path = std::string(temp) + name + "." + std::to_string(GetCurrentProcessId());
    RemoveTree(m_path);
    CreateDirectoryA(m_path.c_str(), nullptr);
}

ScratchFolder::~ScratchFolder()
{
    RemoveTree(m_path);
}

TaskBarStandIn::TaskBarStandIn(const RECT* tray)
{
    WNDCLASSA bar = {};
    bar.lpfnWndProc = DefWindowProcA;
    bar.hInstance = GetModuleHandleA(nullptr);
    bar.lpszClassName = "Shell_TrayWnd";
    RegisterClassA(&bar);
    WNDCLASSA notify = bar;
    notify.lpszClassName = "TrayNotifyWnd";
    RegisterClassA(&notify);
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int top = GetSystemMetrics(SM_CYSCREEN) - 30;
    m_bar = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, "Shell_TrayWnd", "", WS_POPUP, 0, top, width, 30,
                            nullptr, nullptr, bar.hInstance, nullptr);
    if (!m_bar)
        return;
    SetWindowPos(m_bar, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    // Another child first: the notification area is found by its class, not by its place.
    CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 0, 0, 50, 30, m_bar, nullptr, bar.hInstance, nullptr);
    if (tray)
        CreateWindowExA(0, "TrayNotifyWnd", "", WS_CHILD | WS_VISIBLE, tray->left, tray->top - top,
                        tray->right - tray->left, tray->bottom - tray->top, m_bar, nullptr, bar.hInstance,
                        nullptr);
}

TaskBarStandIn::~TaskBarStandIn()
{
    if (m_bar)
        DestroyWindow(m_bar);
}

bool TaskBarStandIn::IsTheOneFound() const
{
    return m_bar && FindWindowA("Shell_TrayWnd", nullptr) == m_bar;
}

}  // namespace testing_support
