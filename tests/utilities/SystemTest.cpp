// The per-user Run entry, the system screen-saver choice, control-panel applets, folders,
// files, strings, the notification area and the Firefox profile lookups.
#include "common/PersistentSettings.h"
#include "common/QDUtilities.h"
#include "common/SettingsIds.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ImportHook.h"
#include "tests/support/ScratchState.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <vector>

using testing_support::FileBackup;
using testing_support::FileExists;
using testing_support::ReadWholeFile;
using testing_support::RegistryValueBackup;
using testing_support::ScratchFolder;
using testing_support::WriteWholeFile;

namespace {

const char kDesktopKey[] = "Control Panel\\Desktop";

std::string AppData()
{
    char folder[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, folder);
    return folder;
}

std::string SettingsPath()
{
    std::string path;
    QDUtilities::GetSettingsFilePath(path);
    return path;
}

bool ReadRegistryText(HKEY root, const char* subKey, const char* name, std::string& text)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, subKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    char data[1024] = {};
    DWORD size = sizeof data - 1;
    const bool found = RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(data),
                                        &size) == ERROR_SUCCESS;
    RegCloseKey(key);
    text = data;
    return found;
}

void WriteRegistryText(HKEY root, const char* subKey, const char* name, const char* text)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, subKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                             &key, nullptr));
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                   static_cast<DWORD>(std::strlen(text) + 1));
    RegCloseKey(key);
}

void DeleteRegistryValue(HKEY root, const char* subKey, const char* name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, subKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, name);
        RegCloseKey(key);
    }
}

// The settings file is put back after each test; tests start from an empty one.
class WithSettings : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_settings.reset(new FileBackup(SettingsPath()));
        DeleteFileA(SettingsPath().c_str());
    }
    void TearDown() override { m_settings.reset(); }
    std::unique_ptr<FileBackup> m_settings;
};

// --- Run entry ------------------------------------------------------------------------------

TEST(RunEntry, AddWritesTheCommandAndRemoveDeletesIt)
{
    const char name[] = "WispTests.RunEntry";
    RegistryValueBackup backup(HKEY_CURRENT_USER, QDUtilities::kRunKey, name);
    const std::string command = "\"C:\\x y\\a.exe\" -NoBrowser";
    ASSERT_TRUE(QDUtilities::AddAppToStartup(name, command.c_str()));
    std::string text;
    ASSERT_TRUE(ReadRegistryText(HKEY_CURRENT_USER, QDUtilities::kRunKey, name, text));
    EXPECT_EQ(command, text);
    // As a reader sizing its buffer from the value sees it: a REG_SZ whose bytes are the text
    // and its terminator, so a buffer of exactly that size holds a whole string.
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, QDUtilities::kRunKey, 0, KEY_QUERY_VALUE, &key));
    DWORD type = 0, size = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, name, nullptr, &type, nullptr, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(command.size() + 1, size);
    std::vector<char> bytes(size, 'x');
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(bytes.data()), &size));
    RegCloseKey(key);
    EXPECT_EQ(command + '\0', std::string(bytes.begin(), bytes.end()));
    ASSERT_TRUE(QDUtilities::RemoveAppFromStartup(name));
    EXPECT_FALSE(ReadRegistryText(HKEY_CURRENT_USER, QDUtilities::kRunKey, name, text));
    EXPECT_FALSE(QDUtilities::RemoveAppFromStartup(name));
    EXPECT_FALSE(QDUtilities::AddAppToStartup(nullptr, "x"));
    EXPECT_FALSE(QDUtilities::AddAppToStartup(name, nullptr));
}

// --- Screen-saver choice --------------------------------------------------------------------

class ScreenSaverSetting : public WithSettings {
protected:
    void SetUp() override
    {
        WithSettings::SetUp();
        m_value.reset(new RegistryValueBackup(HKEY_CURRENT_USER, kDesktopKey, "SCRNSAVE.EXE"));
        char windows[MAX_PATH] = {};
        GetWindowsDirectoryA(windows, sizeof windows);
        m_installed = std::string(windows) + "\\System32\\Tidewire.scr";
        if (!FileExists(m_installed)) {
            ASSERT_TRUE(WriteWholeFile(m_installed, "MZ stand-in"));
            m_createdFile = true;
        }
    }
    void TearDown() override
    {
        if (m_createdFile)
            DeleteFileA(m_installed.c_str());
        m_value.reset();
        WithSettings::TearDown();
    }
    static std::string Current()
    {
        std::string text;
        ReadRegistryText(HKEY_CURRENT_USER, kDesktopKey, "SCRNSAVE.EXE", text);
        return text;
    }
    static bool Present()
    {
        std::string text;
        return ReadRegistryText(HKEY_CURRENT_USER, kDesktopKey, "SCRNSAVE.EXE", text);
    }

    std::unique_ptr<RegistryValueBackup> m_value;
    std::string m_installed;
    bool m_createdFile = false;
};

TEST_F(ScreenSaverSetting, OursIsRecognisedByTheFirstSixLettersOfItsName)
{
    WriteRegistryText(HKEY_CURRENT_USER, kDesktopKey, "SCRNSAVE.EXE", "C:\\WINDOWS\\SYSTEM32\\TIDEWI~1.SCR");
    EXPECT_TRUE(QDUtilities::MarigoldScreenSaverOn());
    WriteRegistryText(HKEY_CURRENT_USER, kDesktopKey, "SCRNSAVE.EXE", "c:\\windows\\system32\\Tidewire.scr");
    EXPECT_TRUE(QDUtilities::MarigoldScreenSaverOn());
    WriteRegistryText(HKEY_CURRENT_USER, kDesktopKey, "SCRNSAVE.EXE", "C:\\windows\\system32\\ssmyst.scr");
    EXPECT_FALSE(QDUtilities::MarigoldScreenSaverOn());
    DeleteRegistryValue(HKEY_CURRENT_USER, kDesktopKey, "SCRNSAVE.EXE");
    EXPECT_FALSE(QDUtilities::MarigoldScreenSaverOn());
    EXPECT_FALSE(QDUtilities::SSIsRunning());
}

TEST_F(ScreenSaverSetting, OnRemembersThePreviousChoiceAndOffPutsItBack)
{
    WriteRegistryText(HKEY_CURRENT_USER, kDesktopKey, "SCRNSAVE.EXE", "C:\\windows\\system32\\old.scr");
    ASSERT_TRUE(QDUtilities::SetMarigoldScreenSaverOn(true));
    EXPECT_TRUE(QDUtilities::MarigoldScreenSaverOn());
    char shortPath[MAX_PATH] = {};
    ASSERT_NE(0u, GetShortPathNameA(m_installed.c_str(), shortPath, sizeof shortPath));
    EXPECT_EQ(shortPath, Current());
    {
        PersistentSettings settings;
        std::string previous;
        ASSERT_TRUE(settings.GetProperty(SettingsId::previous_screen_saver_setting, previous));
        EXPECT_EQ("C:\\windows\\system32\\old.scr", previous);
    }
    ASSERT_TRUE(QDUtilities::SetMarigoldScreenSaverOn(false));
    EXPECT_EQ("C:\\windows\\system32\\old.scr", Current());
    EXPECT_FALSE(QDUtilities::MarigoldScreenSaverOn());
}

TEST_F(ScreenSaverSetting, OnTwiceThenOffGivesTheUsersChoiceBack)
{
    WriteRegistryText(HKEY_CURRENT_USER, kDesktopKey, "SCRNSAVE.EXE", "C:\\windows\\system32\\users.scr");
    ASSERT_TRUE(QDUtilities::SetMarigoldScreenSaverOn(true));
    ASSERT_TRUE(QDUtilities::SetMarigoldScreenSaverOn(true));
    {
        PersistentSettings settings;
        std::string previous;
        ASSERT_TRUE(settings.GetProperty(SettingsId::previous_screen_saver_setting, previous));
        EXPECT_EQ("C:\\windows\\system32\\users.scr", previous);
    }
    ASSERT_TRUE(QDUtilities::SetMarigoldScreenSaverOn(false));
    EXPECT_EQ("C:\\windows\\system32\\users.scr", Current());
}

BOOL WINAPI ReportWow64(HANDLE, PBOOL wow64)
{
    *wow64 = TRUE;
    return TRUE;
}

BOOL WINAPI ReportNative(HANDLE, PBOOL wow64)
{
    *wow64 = FALSE;
    return TRUE;
}

TEST_F(ScreenSaverSetting, UnderWow64TheValueNamesSysWow64)
{
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, sizeof windows);
    const std::string redirected = std::string(windows) + "\\SysWOW64\\Tidewire.scr";
    const bool created = !FileExists(redirected);
    if (created)
        ASSERT_TRUE(WriteWholeFile(redirected, "MZ stand-in"));
    char expected[MAX_PATH] = {};
    ASSERT_NE(0u, GetShortPathNameA(redirected.c_str(), expected, sizeof expected));
    {
        testing_support::ImportHook hook(GetModuleHandleA(nullptr), "kernel32.dll", "IsWow64Process",
                                         reinterpret_cast<void*>(&ReportWow64));
        ASSERT_TRUE(hook.Installed());
        ASSERT_TRUE(QDUtilities::SetMarigoldScreenSaverOn(true));
    }
    std::string stored = Current();
    EXPECT_EQ(expected, stored);
    std::transform(stored.begin(), stored.end(), stored.begin(), [](char c) { return static_cast<char>(std::toupper(c)); });
    EXPECT_NE(std::string::npos, stored.find("\\SYSWOW64\\")) << stored;
    EXPECT_TRUE(QDUtilities::MarigoldScreenSaverOn());
    if (created)
        DeleteFileA(redirected.c_str());

    // Without WOW64 the real system folder.
    testing_support::ImportHook hook(GetModuleHandleA(nullptr), "kernel32.dll", "IsWow64Process",
                                     reinterpret_cast<void*>(&ReportNative));
    ASSERT_TRUE(QDUtilities::SetMarigoldScreenSaverOn(true));
    char system[MAX_PATH] = {};
    ASSERT_NE(0u, GetShortPathNameA(m_installed.c_str(), system, sizeof system));
    EXPECT_EQ(system, Current());
}

TEST_F(ScreenSaverSetting, OffWithoutAPreviousChoiceRemovesTheValue)
{
    DeleteRegistryValue(HKEY_CURRENT_USER, kDesktopKey, "SCRNSAVE.EXE");
    ASSERT_TRUE(QDUtilities::SetMarigoldScreenSaverOn(true));
    EXPECT_TRUE(Present());
    ASSERT_TRUE(QDUtilities::SetMarigoldScreenSaverOn(false));
    EXPECT_FALSE(Present());
}

TEST_F(ScreenSaverSetting, OnWithoutTheInstalledFileChangesNothing)
{
    if (!m_createdFile)
        GTEST_SKIP() << "a real Tidewire.scr is installed in this prefix";
    DeleteFileA(m_installed.c_str());
    WriteRegistryText(HKEY_CURRENT_USER, kDesktopKey, "SCRNSAVE.EXE", "C:\\windows\\system32\\old.scr");
    EXPECT_FALSE(QDUtilities::SetMarigoldScreenSaverOn(true));
    EXPECT_EQ("C:\\windows\\system32\\old.scr", Current());
}

// --- Control panel --------------------------------------------------------------------------

TEST(ControlPanel, AppletIsRunThroughInitDoubleClickAndExit)
{
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, sizeof windows);
    const std::string name = "wisptest" + std::to_string(GetCurrentProcessId()) + ".cpl";
    const std::string installed = std::string(windows) + "\\system32\\" + name;
    const std::string built = testing_support::SelfPath().substr(
                                  0, testing_support::SelfPath().find_last_of('\\')) +
                              "\\test_applet.cpl";
    ASSERT_TRUE(CopyFileA(built.c_str(), installed.c_str(), FALSE)) << built;
    ScratchFolder folder("WispAppletLog");
    const std::string log = folder.Path() + "\\calls.txt";
    SetEnvironmentVariableA("WISP_TEST_APPLET_LOG", log.c_str());

    HWND owner = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                                 nullptr);
    EXPECT_TRUE(QDUtilities::RunControlPanelApplet(name.c_str(), owner));
    EXPECT_FALSE(QDUtilities::RunControlPanelApplet("wisp-no-such-applet.cpl", owner));
    EXPECT_FALSE(QDUtilities::RunControlPanelApplet(nullptr, owner));
    EXPECT_FALSE(QDUtilities::RunControlPanelApplet(name.c_str(), nullptr));
    // A library without the entry point.
    EXPECT_FALSE(QDUtilities::RunControlPanelApplet("version.dll", owner));
    DestroyWindow(owner);
    SetEnvironmentVariableA("WISP_TEST_APPLET_LOG", nullptr);

    std::string calls;
    ASSERT_TRUE(ReadWholeFile(log, calls));
    char ownerText[32];
    std::snprintf(ownerText, sizeof ownerText, "%llx",
                  static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(owner)));
    const std::string o = ownerText;
    EXPECT_EQ(o + " 1 0 0\n" + o + " 5 0 0\n" + o + " 7 0 0\n", calls);
    EXPECT_TRUE(DeleteFileA(installed.c_str()));
}

// --- Folders --------------------------------------------------------------------------------

TEST_F(WithSettings, FoldersAndContentPaths)
{
    std::string folder, file;
    ASSERT_TRUE(QDUtilities::GetContentDirectoryPath(folder));
    EXPECT_EQ(AppData() + "\\Quill\\Tidewire", folder);
    ASSERT_TRUE(QDUtilities::GetSettingsFilePath(file));
    EXPECT_EQ(folder + "\\settings.xml", file);
    EXPECT_TRUE(QDUtilities::EnsureSaveFileDirectoryExists());
    EXPECT_TRUE(QDUtilities::EnsureSaveFileDirectoryExists());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(folder.c_str()));

    std::string special;
    EXPECT_EQ(0, QDUtilities::GetSpecialFolder(nullptr, CSIDL_APPDATA, nullptr, 0, special));
    EXPECT_EQ(AppData(), special);
    EXPECT_EQ(3, QDUtilities::GetSpecialFolder(nullptr, 0x7F, nullptr, 0, special));

    // Without a content folder the name stands after a lone separator.
    char buffer[64];
    ASSERT_TRUE(QDUtilities::MakeContentPath(buffer, "menu.xml", sizeof buffer));
    EXPECT_STREQ("\\menu.xml", buffer);
    std::string cache;
    EXPECT_FALSE(QDUtilities::GetCacheDirectory(cache));

    ScratchFolder content("WispContent");
    {
        PersistentSettings settings;
        ASSERT_TRUE(settings.SetProperty(SettingsId::content_directory, content.Path()));
    }
    const std::string expected = content.Path() + "\\menu.xml";
    std::vector<char> exact(expected.size() + 1, 'x');
    ASSERT_TRUE(QDUtilities::MakeContentPath(exact.data(), "menu.xml", exact.size()));
    EXPECT_EQ(expected, exact.data());
    // One byte short: false, and the buffer is untouched.
    std::vector<char> small(expected.size(), 'x');
    EXPECT_FALSE(QDUtilities::MakeContentPath(small.data(), "menu.xml", small.size()));
    EXPECT_EQ(std::string(expected.size(), 'x'), std::string(small.begin(), small.end()));
    EXPECT_FALSE(QDUtilities::MakeContentPath(nullptr, "menu.xml", 10));
    EXPECT_FALSE(QDUtilities::MakeContentPath(buffer, nullptr, 10));
    EXPECT_FALSE(QDUtilities::MakeContentPath(buffer, "menu.xml", 0));

    ASSERT_TRUE(QDUtilities::GetCacheDirectory(cache));
    EXPECT_EQ(content.Path() + "\\cache", cache);
    EXPECT_TRUE(GetFileAttributesA(cache.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    ASSERT_TRUE(QDUtilities::GetCacheDirectory(cache));
}

TEST(Files, ListFilesGivesFullPathsOfMatchingEntries)
{
    ScratchFolder folder("WispList");
    for (const char* name : {"a.xml", "b.xml", "c.txt"})
        ASSERT_TRUE(WriteWholeFile(folder.Path() + "\\" + name, "x"));
    CreateDirectoryA((folder.Path() + "\\sub").c_str(), nullptr);

    std::vector<std::string> files;
    ASSERT_TRUE(QDUtilities::ListFiles(folder.Path().c_str(), "xml", files));
    std::sort(files.begin(), files.end());
    EXPECT_EQ((std::vector<std::string>{folder.Path() + "\\a.xml", folder.Path() + "\\b.xml"}), files);

    files.clear();
    ASSERT_TRUE(QDUtilities::ListFiles(folder.Path().c_str(), nullptr, files));
    std::sort(files.begin(), files.end());
    // "." and ".." are left out; the sub-folder is an entry like the others.
    EXPECT_EQ((std::vector<std::string>{folder.Path() + "\\a.xml", folder.Path() + "\\b.xml",
                                        folder.Path() + "\\c.txt", folder.Path() + "\\sub"}),
              files);

    files.clear();
    EXPECT_FALSE(QDUtilities::ListFiles(folder.Path().c_str(), "none", files));
    EXPECT_FALSE(QDUtilities::ListFiles((folder.Path() + "\\missing").c_str(), nullptr, files));
    EXPECT_TRUE(files.empty());
}

TEST(Files, WholeFileReading)
{
    ScratchFolder folder("WispRead");
    const std::string path = folder.Path() + "\\data.bin";
    const std::string bytes("one\0two\r\nthree", 14);
    ASSERT_TRUE(WriteWholeFile(path, bytes));

    size_t size = 0;
    std::unique_ptr<char[]> buffer = QDUtilities::ReadFileIntoBuffer(path.c_str(), &size);
    ASSERT_NE(nullptr, buffer);
    EXPECT_EQ(14u, size);
    EXPECT_EQ(bytes, std::string(buffer.get(), size));
    EXPECT_EQ('\0', buffer[size]);

    std::string text;
    ASSERT_TRUE(QDUtilities::ReadFileIntoString(path.c_str(), text));
    EXPECT_EQ(bytes, text);

    ASSERT_TRUE(WriteWholeFile(path, ""));
    text = "old";
    ASSERT_TRUE(QDUtilities::ReadFileIntoString(path.c_str(), text));
    EXPECT_EQ("", text);

    EXPECT_EQ(nullptr, QDUtilities::ReadFileIntoBuffer((folder.Path() + "\\missing").c_str()));
    EXPECT_EQ(nullptr, QDUtilities::ReadFileIntoBuffer(nullptr));
    EXPECT_FALSE(QDUtilities::ReadFileIntoString((folder.Path() + "\\missing").c_str(), text));

    FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, out);
    EXPECT_TRUE(QDUtilities::WriteStringToFileHandle(out, std::string("x\0y", 3)));
    std::fclose(out);
    ASSERT_TRUE(ReadWholeFile(path, text));
    EXPECT_EQ(std::string("x\0y", 3), text);
    EXPECT_FALSE(QDUtilities::WriteStringToFileHandle(nullptr, "x"));
}

TEST(Strings, ReplaceAllAndMid)
{
    std::string text = "aaa";
    EXPECT_EQ(1, QDUtilities::ReplaceAll(text, "aa", "a"));
    EXPECT_EQ("aa", text);
    text = "a\\nb\\nc";
    EXPECT_EQ(2, QDUtilities::ReplaceAll(text, "\\n", "\n"));
    EXPECT_EQ("a\nb\nc", text);
    // Replaced text is not scanned again.
    text = "xax";
    EXPECT_EQ(1, QDUtilities::ReplaceAll(text, "a", "aa"));
    EXPECT_EQ("xaax", text);
    text = "Case case";
    EXPECT_EQ(1, QDUtilities::ReplaceAll(text, "case", "X"));
    EXPECT_EQ("Case X", text);
    EXPECT_EQ(0, QDUtilities::ReplaceAll(text, "", "y"));
    EXPECT_EQ("Case X", text);

    EXPECT_EQ("cde", QDUtilities::Mid("abcdef", 2, 3));
    EXPECT_EQ("ab", QDUtilities::Mid("abcdef", -4, 2));
    EXPECT_EQ("", QDUtilities::Mid("abcdef", 2, -1));
    EXPECT_EQ("ef", QDUtilities::Mid("abcdef", 4, 100));
    EXPECT_EQ("", QDUtilities::Mid("abcdef", 6, 1));
    EXPECT_EQ("", QDUtilities::Mid("abcdef", 60, 1));
}

// --- Notification area ----------------------------------------------------------------------

TEST(Tray, RectangleOfTheNotifyWindowOrTheCornerOfTheScreen)
{
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    auto expectRect = [](const RECT& expected, const RECT& found) {
        EXPECT_EQ(expected.left, found.left);
        EXPECT_EQ(expected.top, found.top);
        EXPECT_EQ(expected.right, found.right);
        EXPECT_EQ(expected.bottom, found.bottom);
    };
    const RECT corner = {width - 40, height - 20, width, height};
    if (!FindWindowA("Shell_TrayWnd", nullptr))
        expectRect(corner, QDUtilities::GetTrayRect());
    {
        // A task bar without a notification area gives the corner as well.
        testing_support::TaskBarStandIn bar;
        ASSERT_TRUE(bar.IsTheOneFound());
        expectRect(corner, QDUtilities::GetTrayRect());
        EXPECT_EQ(width - 40, QDUtilities::GetTaskTrayX());
        EXPECT_EQ(40, QDUtilities::GetTaskTrayW());
    }
    {
        const RECT tray = {300, height - 28, 420, height - 2};
        testing_support::TaskBarStandIn bar(&tray);
        ASSERT_TRUE(bar.IsTheOneFound());
        expectRect(tray, QDUtilities::GetTrayRect());
        EXPECT_EQ(300, QDUtilities::GetTaskTrayX());
        EXPECT_EQ(height - 28, QDUtilities::GetTaskTrayY());
        EXPECT_EQ(120, QDUtilities::GetTaskTrayW());
        EXPECT_EQ(26, QDUtilities::GetTaskTrayH());
    }
    const int edge = QDUtilities::GetTaskBarEdge();
    EXPECT_GE(edge, 0);
    EXPECT_LE(edge, 3);
}

// --- Firefox --------------------------------------------------------------------------------

class Firefox : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_mozilla = AppData() + "\\Mozilla";
        m_createdMozilla = !FileExists(m_mozilla);
        m_firefox = m_mozilla + "\\Firefox";
        SHCreateDirectoryExA(nullptr, m_firefox.c_str(), nullptr);
        m_ini.reset(new FileBackup(m_firefox + "\\profiles.ini"));
        m_profile = m_firefox + "\\Profiles\\wisptest.default";
        SHCreateDirectoryExA(nullptr, m_profile.c_str(), nullptr);
    }
    void TearDown() override
    {
        m_ini.reset();
        testing_support::RemoveTree(m_profile);
        if (m_createdMozilla)
            testing_support::RemoveTree(m_mozilla);
    }
    void Ini(const std::string& text) { ASSERT_TRUE(WriteWholeFile(m_firefox + "\\profiles.ini", text)); }

    std::string m_mozilla, m_firefox, m_profile;
    bool m_createdMozilla = false;
    std::unique_ptr<FileBackup> m_ini;
};

TEST_F(Firefox, FirstProfilePathWithBackslashesAndWithoutTheLineEnd)
{
    Ini("[General]\r\nStartWithLastProfile=1\r\n\r\n[Profile0]\r\nName=default\r\nIsRelative=1\r\n"
        "Path=Profiles/wisptest.default\r\n\r\n[Profile1]\r\nPath=Profiles/second\r\n");
    std::string path;
    ASSERT_TRUE(QDUtilities::GetFireFoxProfilePath(path));
    EXPECT_EQ("Profiles\\wisptest.default", path);
    ASSERT_TRUE(QDUtilities::GetMozillaAppDataPath(path));
    EXPECT_EQ(m_profile, path);

    // A line ended by a line feed alone keeps its last character.
    Ini("[Profile0]\nPath=Profiles/abc\n");
    ASSERT_TRUE(QDUtilities::GetFireFoxProfilePath(path));
    EXPECT_EQ("Profiles\\abc", path);
}

TEST_F(Firefox, UnusableIniFilesAreRefused)
{
    std::string path = "unchanged";
    Ini("[Profile0]\r\nName=default\r\n");
    EXPECT_FALSE(QDUtilities::GetFireFoxProfilePath(path));
    Ini("[Profile0]\r\nPath=Profiles/abc");
    EXPECT_FALSE(QDUtilities::GetFireFoxProfilePath(path));
    Ini("[Profile0]\r\nPath=\r\n");
    EXPECT_FALSE(QDUtilities::GetFireFoxProfilePath(path));
    Ini("[Profile0]\nPath=\n");
    EXPECT_FALSE(QDUtilities::GetFireFoxProfilePath(path));
    Ini("path=lower/case\r\n");
    EXPECT_FALSE(QDUtilities::GetFireFoxProfilePath(path));
    DeleteFileA((m_firefox + "\\profiles.ini").c_str());
    EXPECT_FALSE(QDUtilities::GetFireFoxProfilePath(path));
    EXPECT_FALSE(QDUtilities::GetMozillaAppDataPath(path));
    EXPECT_EQ("unchanged", path);
    bool found = true;
    EXPECT_FALSE(QDUtilities::GetFireFoxAuthCookie(found));
}

TEST_F(Firefox, LoginCookieIsLookedForInTheProfilesCookies)
{
    Ini("[Profile0]\r\nPath=Profiles/wisptest.default\r\n");
    bool found = true;
    EXPECT_FALSE(QDUtilities::GetFireFoxAuthCookie(found));   // no cookies.txt yet

    ASSERT_TRUE(WriteWholeFile(m_profile + "\\cookies.txt",
                               ".example.com\tTRUE\t/\tFALSE\t0\tother\tv\n"));
    ASSERT_TRUE(QDUtilities::GetFireFoxAuthCookie(found));
    EXPECT_FALSE(found);

    ASSERT_TRUE(WriteWholeFile(m_profile + "\\cookies.txt",
                               ".example.com\tTRUE\t/\tFALSE\t0\tother\tv\n"
                               ".tidewire.example\tTRUE\t/\tFALSE\t0\tTWUser\tabc\n"));
    ASSERT_TRUE(QDUtilities::GetFireFoxAuthCookie(found));
    EXPECT_TRUE(found);
}

}  // namespace
