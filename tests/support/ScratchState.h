// Saves a piece of shared prefix state (a file, a registry value) when a test starts and puts
// it back when the test ends, so suites leave the prefix as they found it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testing_support {

// Keeps the file's bytes (or its absence); restores them on destruction.
class FileBackup {
public:
    explicit FileBackup(std::string path);
    ~FileBackup();
    FileBackup(const FileBackup&) = delete;
    FileBackup& operator=(const FileBackup&) = delete;

private:
    std::string m_path;
    bool m_existed = false;
    std::string m_bytes;
};

// Keeps a registry value's type and data (or its absence); restores them on destruction.
class RegistryValueBackup {
public:
    RegistryValueBackup(HKEY root, std::string subKey, std::string valueName);
    ~RegistryValueBackup();
    RegistryValueBackup(const RegistryValueBackup&) = delete;
    RegistryValueBackup& operator=(const RegistryValueBackup&) = delete;

private:
    HKEY m_root;
    std::string m_subKey;
    std::string m_valueName;
    bool m_existed = false;
    DWORD m_type = 0;
    std::vector<BYTE> m_data;
};

// Keeps a registry key with its values and sub-keys (or its absence); on destruction the key
// is removed and put back as it was.
class RegistryKeyBackup {
public:
    RegistryKeyBackup(HKEY root, std::string subKey);
    ~RegistryKeyBackup();
    RegistryKeyBackup(const RegistryKeyBackup&) = delete;
    RegistryKeyBackup& operator=(const RegistryKeyBackup&) = delete;

    struct Value {
        std::string name;
        DWORD type;
        std::vector<BYTE> data;
    };
    struct Snapshot {
        std::string name;
        std::vector<Value> values;
        std::vector<Snapshot> keys;
    };

private:
    HKEY m_root;
    std::string m_subKey;
    bool m_existed = false;
    Snapshot m_snapshot;
};

// Turns the trace switch (HKCU "Software\Ashgrove\Tidewire", "debug") to a level for the life
// of the object, so that child processes started meanwhile trace to the debugger.
class TraceSwitch {
public:
    explicit TraceSwitch(DWORD level);
    ~TraceSwitch() = default;

private:
    RegistryValueBackup m_backup;
};

// Whole-file helpers for tests.
bool ReadWholeFile(const std::string& path, std::string& bytes);
bool WriteWholeFile(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
// A fresh empty folder under the temporary folder; removed (with its contents) by the object.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& name);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};
void RemoveTree(const std::string& path);

// A task bar of the test's own: a top-level "Shell_TrayWnd" in front of any the prefix has,
// with a "TrayNotifyWnd" child at `tray` (screen coordinates, the bar's top-left at 0, height
// - 30) or, with no rectangle, without one. Gone with the object.
class TaskBarStandIn {
public:
    explicit TaskBarStandIn(const RECT* tray = nullptr);
    ~TaskBarStandIn();
    TaskBarStandIn(const TaskBarStandIn&) = delete;
    TaskBarStandIn& operator=(const TaskBarStandIn&) = delete;
    // Whether a lookup of the task bar by class finds this one.
    bool IsTheOneFound() const;

private:
    HWND m_bar = nullptr;
};

}  // namespace testing_support
