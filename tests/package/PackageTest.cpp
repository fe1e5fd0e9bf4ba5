// The installer package as a user runs it: msiexec installs it, a foreign automation client
// (cscript) uses the installed control, and msiexec takes it out again.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "common/ControlCreationMutex.h"
#include "common/PersistentSettings.h"
#include "common/QDUtilities.h"
#include "common/com/Handle.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ScratchState.h"
#include "tests/support/WispLibrary.h"

namespace {

const char kClsidKey[] = "CLSID\\{51FD1C75-2005-4EBA-8E41-45416E366143}";
// Everything the library's registration writes under HKEY_CLASSES_ROOT.
const char* const kRegisteredKeys[] = {
    kClsidKey,
    "Wisp.WispControl",
    "Wisp.WispControl.1",
    "TypeLib\\{775097FD-4104-4071-B098-CF615FB392B5}",
    "Interface\\{D4BB0EB7-A7BE-4D2A-B4A1-9FBEBED5BCF4}",
    "AppID\\{ADE83D1D-C5C8-438B-A104-9F8DB6125D6E}",
    "AppID\\Wisp.DLL",
};

std::string BesideExecutable(const std::string& name)
{
    const std::string self = testing_support::SelfPath();
    return self.substr(0, self.find_last_of("\\/") + 1) + name;
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs a command line to its end (at most 60 s); its exit code, or -1. With `output`, the
// child's standard output goes into that file.
long RunToEnd(std::string commandLine, const std::string& output = {})
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    UniqueFile out;
    STARTUPINFOA startup = {sizeof startup};
    if (!output.empty()) {
        out.Reset(CreateFileA(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr));
        if (!out)
            return -1;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = out.Get();
        startup.hStdError = out.Get();
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    }
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, !output.empty(), 0, nullptr, nullptr, &startup,
                        &process))
        return -1;
    UniqueHandle processHandle(process.hProcess), thread(process.hThread);
    if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
        return -1;
    }
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    return static_cast<long>(code);
}

std::string Quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

// Every key, value name, type and data below `key`, one line each, in a stable order.
void Picture(HKEY root, const std::string& key, std::set<std::string>& lines)
{
    UniqueHKey opened;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, opened.Put()) != ERROR_SUCCESS)
        return;
    lines.insert(key);
    char name[256];
    BYTE data[1024];
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
        if (RegEnumValueA(opened.Get(), i, name, &nameSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS)
            break;
        std::string text = type == REG_SZ ? std::string(reinterpret_cast<char*>(data), strnlen(reinterpret_cast<char*>(data), dataSize))
                                          : std::to_string(dataSize) + " bytes";
        lines.insert(key + " [" + name + "] " + std::to_string(type) + ": " + text);
    }
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = sizeof name;
        if (RegEnumKeyExA(opened.Get(), i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        Picture(root, key + "\\" + name, lines);
    }
}

std::string RegistrationPicture()
{
    std::set<std::string> lines;
    for (const char* key : kRegisteredKeys)
        Picture(HKEY_CLASSES_ROOT, key, lines);
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

std::string InstalledLibrary()
{
    char path[MAX_PATH] = "";
    LONG size = sizeof path;
    if (RegQueryValueA(HKEY_CLASSES_ROOT, (std::string(kClsidKey) + "\\InprocServer32").c_str(), path, &size) !=
        ERROR_SUCCESS)
        return {};
    return path;
}

std::string SettingsPath()
{
    std::string path;
    QDUtilities::GetSettingsFilePath(path);
    return path;
}

// What an outside script does with the installed control: the preference it is asked for and
// the screen-saver rows, which need Tidewire.scr in the system folder.
const char kClientScript[] =
    "var control = new ActiveXObject('Wisp.WispControl');\r\n"
    "WScript.Echo('GetPreference ' + control.CallApplicationMethod('GetPreference', 'wisp_package_test'));\r\n"
    "WScript.Echo('SetMarigoldScreenSaverOn ' + control.CallApplicationMethod('SetMarigoldScreenSaverOn', 1));\r\n"
    "WScript.Echo('MarigoldScreenSaverOn ' + control.CallApplicationMethod('MarigoldScreenSaverOn'));\r\n"
    "control.CallApplicationMethod('SetMarigoldScreenSaverOn', 0);\r\n";

TEST(Package, InstallsWhatRegistrationWritesServesAnOutsideClientAndUninstallsCleanly)
{
    const std::string package = BesideExecutable("fixtures\\package\\Tidewire.msi");
    ASSERT_TRUE(FileExists(package)) << package;
    testing_support::FileBackup settingsBackup(SettingsPath());
    testing_support::RegistryValueBackup screenSaver(HKEY_CURRENT_USER, "Control Panel\\Desktop", "SCRNSAVE.EXE");
    // What other suites registered would hide what the package writes (nothing there is fine).
    testing_support::RegisterWisp(false);
    {
        PersistentSettings settings;
        ASSERT_TRUE(settings.SetProperty("wisp_package_test", 4242));
        ASSERT_TRUE(settings.Save());
    }

    ASSERT_EQ(0, RunToEnd("msiexec /i " + Quoted(package) + " /qn"));
    const std::string library = InstalledLibrary();
    EXPECT_NE(std::string::npos, library.find("\\Tidewire\\Wisp.dll")) << library;
    EXPECT_TRUE(FileExists(library)) << library;
    char windows[MAX_PATH] = "";
    ASSERT_NE(0u, GetWindowsDirectoryA(windows, MAX_PATH));
    const std::string saver = std::string(windows) + "\\System32\\Tidewire.scr";
    EXPECT_TRUE(FileExists(saver)) << saver;
    const std::string installed = RegistrationPicture();

    // A foreign client gets controls only while a process holds the control-creation mutex.
    ASSERT_NE(nullptr, ProcessControlCreationMutex());
    const std::string script = BesideExecutable("package_client.js");
    const std::string output = BesideExecutable("package_client.out");
    {
        std::ofstream(script, std::ios::binary) << kClientScript;
    }
    EXPECT_EQ(0, RunToEnd("cscript.exe //nologo " + Quoted(script), output));
    const std::string answers = ReadFile(output);
    EXPECT_NE(std::string::npos, answers.find("GetPreference 4242")) << answers;
    EXPECT_NE(std::string::npos, answers.find("SetMarigoldScreenSaverOn true")) << answers;
    EXPECT_NE(std::string::npos, answers.find("MarigoldScreenSaverOn true")) << answers;
    const std::string settingsBefore = ReadFile(SettingsPath());

    ASSERT_EQ(0, RunToEnd("msiexec /x " + Quoted(package) + " /qn"));
    EXPECT_EQ("", RegistrationPicture());
    EXPECT_FALSE(FileExists(library));
    EXPECT_FALSE(FileExists(library.substr(0, library.find_last_of('\\'))));
    EXPECT_FALSE(FileExists(saver));
    EXPECT_EQ(settingsBefore, ReadFile(SettingsPath()));

    // regsvr32 of the same file in the same place writes exactly what the package wrote.
    CreateDirectoryA(library.substr(0, library.find_last_of('\\')).c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(testing_support::WispPath().c_str(), std::wstring(library.begin(), library.end()).c_str(), FALSE));
    EXPECT_EQ(0, RunToEnd("regsvr32 /s " + Quoted(library)));
    EXPECT_EQ(installed, RegistrationPicture());
    EXPECT_EQ(0, RunToEnd("regsvr32 /s /u " + Quoted(library)));
    DeleteFileA(library.c_str());
    RemoveDirectoryA(library.substr(0, library.find_last_of('\\')).c_str());

    // The other suites find the build's library registered, as before.
    EXPECT_EQ(S_OK, testing_support::RegisterWisp());
    DeleteFileA(script.c_str());
    DeleteFileA(output.c_str());
}

}  // namespace
