// The "feed" protocol registration against the real HKEY_CLASSES_ROOT of the test prefix (each
// key the registrar touches is kept and put back), and the question that offers the takeover,
// shown with the test host's dialog template and answered by a helper thread.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "common/PersistentSettings.h"
#include "common/QDUtilities.h"
#include "common/SettingsIds.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/ScratchState.h"
#include "tests/support/TraceCapture.h"
#include "Wisp/web/BrowserName.h"
#include "Wisp/web/DefaultRSSReader.h"
#include "Wisp/web/RSSRegistrarIE.h"

using testing_support::RegistryKeyBackup;
using testing_support::TraceCapture;

namespace {

const char kOtherCommand[] = "\"C:\\Program Files\\Other Reader\\reader.exe\" /feed \"%1\"";
const char kOtherIcon[] = "C:\\Program Files\\Other Reader\\reader.exe,1";
const char kBrowserHandler[] = "{BDD5A4A3-A1D3-4B4F-9A2C-3B5B3A4B9E01}";
const char kQuestionCaption[] = "Tidewire Desktop";
const char kBackupRoot[] = "PROTOCOLS_QDBackup";
const char kHandlerBackup[] = "PROTOCOLS_QDBackup\\Handler\\feed";

std::string SettingsPath()
{
    std::string path;
    QDUtilities::GetSettingsFilePath(path);
    return path;
}

std::string ThisFolder()
{
    std::string self = testing_support::SelfPath();
    return self.substr(0, self.find_last_of('\\'));
}

void Put(const char* subKey, const char* value, const std::string& text)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CLASSES_ROOT, subKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                             &key, nullptr));
    RegSetValueExA(key, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
    RegCloseKey(key);
}

// The value's text, "<absent>" when there is none.
std::string Get(const char* subKey, const char* value)
{
    char text[512] = {};
    DWORD size = sizeof text - 1;
    if (RegGetValueA(HKEY_CLASSES_ROOT, subKey, value, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
        return "<absent>";
    return text;
}

bool KeyExists(const char* subKey)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, subKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

void RemoveKey(const char* subKey)
{
    RegDeleteTreeA(HKEY_CLASSES_ROOT, subKey);
    RegDeleteKeyA(HKEY_CLASSES_ROOT, subKey);
}

class FeedRegistration : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* key : {"feed", "PROTOCOLS\\Handler\\feed", "PROTOCOLS\\Handler\\feed_QDBackup", kBackupRoot})
            RemoveKey(key);
        QDUtilities::EnsureSaveFileDirectoryExists();
        PersistentSettings settings;
        ASSERT_TRUE(settings.SetProperty(SettingsId::application_directory, ThisFolder()));
        ASSERT_TRUE(settings.SetProperty(SettingsId::content_directory, m_content.Path()));
        m_mark = TraceCapture::Mark();
    }

    // Another reader owns the protocol and the browser's feed handler is registered.
    void RegisterAnotherReader()
    {
        Put("feed", "", "URL:Feed Protocol");
        Put("feed", "URL Protocol", "");
        Put("feed\\DefaultIcon", "", kOtherIcon);
        Put("feed\\shell\\open\\command", "", kOtherCommand);
        Put("PROTOCOLS\\Handler\\feed", "", "Feed Protocol Handler");
        Put("PROTOCOLS\\Handler\\feed", "CLSID", kBrowserHandler);
        Put("PROTOCOLS\\Handler\\feed", "Threading", "apartment");
        Put("PROTOCOLS\\Handler\\feed\\Server", "", "handler.dll");
    }
    std::string Program() const { return ThisFolder() + "\\TidewireDesktop.exe"; }
    std::string Trace() const { return TraceCapture::Since(m_mark); }

    RegistryKeyBackup m_feed{HKEY_CLASSES_ROOT, "feed"};
    RegistryKeyBackup m_handler{HKEY_CLASSES_ROOT, "PROTOCOLS\\Handler\\feed"};
    RegistryKeyBackup m_handlerBackup{HKEY_CLASSES_ROOT, "PROTOCOLS\\Handler\\feed_QDBackup"};
    RegistryKeyBackup m_backupRoot{HKEY_CLASSES_ROOT, kBackupRoot};
    testing_support::FileBackup m_settings{SettingsPath()};
    testing_support::ScratchFolder m_content{"feed content"};
    std::size_t m_mark = 0;
};

TEST_F(FeedRegistration, LoadMarksEveryItemItCannotRead)
{
    RSSRegistrarIE registrar;
    unsigned missing = registrar.Load();
    EXPECT_EQ(0x00Fu, missing & 0x00F);
    EXPECT_EQ(0x030u, missing & 0x030);
    EXPECT_STREQ("", registrar.OpenCommand());

    RegisterAnotherReader();
    missing = registrar.Load();
    EXPECT_EQ(0u, missing & 0x03F);
    EXPECT_STREQ(kOtherCommand, registrar.OpenCommand());
    EXPECT_STREQ(kOtherIcon, registrar.Icon());
    EXPECT_EQ(kOtherCommand, registrar.GetRegisteredCommand());
}

TEST_F(FeedRegistration, OnlyThisProductsProgramInCommandAndIconWithoutAHandlerIsOwnership)
{
    RSSRegistrarIE registrar;
    EXPECT_FALSE(registrar.IsMarigoldOwnerOfRSSFeedProtocol());
    EXPECT_TRUE(Trace().find("RSSRegistrarIE::IsMarigoldOwnerOfRSSFeedProtocol - Failed loading all of the "
                             "registry keys.  Error ") != std::string::npos);

    const std::string command = "\"" + Program() + "\" -Feed \"%1\"";
    Put("feed\\shell\\open\\command", "", command);
    Put("feed\\DefaultIcon", "", kOtherIcon);
    EXPECT_FALSE(registrar.IsMarigoldOwnerOfRSSFeedProtocol());
    Put("feed\\DefaultIcon", "", "c:\\apps\\tidewiredesktop.exe,0");   // the test is case-sensitive
    EXPECT_FALSE(registrar.IsMarigoldOwnerOfRSSFeedProtocol());
    Put("feed\\DefaultIcon", "", Program() + ",0");
    EXPECT_TRUE(registrar.IsMarigoldOwnerOfRSSFeedProtocol());
    Put("feed\\shell\\open\\command", "", "\"c:\\apps\\tidewiredesktop.exe\" -Feed \"%1\"");
    EXPECT_FALSE(registrar.IsMarigoldOwnerOfRSSFeedProtocol());
    Put("feed\\shell\\open\\command", "", command);
    // A protocol handler takes the addresses first, whatever the command says.
    Put("PROTOCOLS\\Handler\\feed", "CLSID", kBrowserHandler);
    EXPECT_FALSE(registrar.IsMarigoldOwnerOfRSSFeedProtocol());
}

TEST_F(FeedRegistration, TakingOverKeepsTheFirstBackupsAndRestoringGivesThePreviousReaderBack)
{
    RegisterAnotherReader();
    std::string reader;
    EXPECT_TRUE(DefaultBrowser::GetCurrentRSSReader(reader));
    EXPECT_EQ("reader.exe", reader);

    ASSERT_TRUE(RSSRegistrarIE().MakeMarigoldTheDefaultRSSReader());
    EXPECT_EQ("URL:feed protocol", Get("feed", ""));
    EXPECT_EQ("", Get("feed", "URL Protocol"));
    EXPECT_EQ(ThisFolder() + "\\TidewireDesktop.exe,0", Get("feed\\DefaultIcon", ""));
    EXPECT_EQ("\"" + ThisFolder() + "\\TidewireDesktop.exe\" -Feed \"%1\"", Get("feed\\shell\\open\\command", ""));
    EXPECT_FALSE(KeyExists("PROTOCOLS\\Handler\\feed"));
    // The previous values under their backup names, the handler's whole key where no handler is
    // looked up.
    EXPECT_EQ("URL:Feed Protocol", Get("feed", "_QDBackup"));
    EXPECT_EQ("", Get("feed", "URL Protocol_QDBackup"));
    EXPECT_EQ(kOtherIcon, Get("feed\\DefaultIcon", "_QDBackup"));
    EXPECT_EQ(kOtherCommand, Get("feed\\shell\\open\\command", "_QDBackup"));
    EXPECT_EQ("Feed Protocol Handler", Get(kHandlerBackup, ""));
    EXPECT_EQ(kBrowserHandler, Get(kHandlerBackup, "CLSID"));
    EXPECT_EQ("apartment", Get(kHandlerBackup, "Threading"));
    EXPECT_EQ("handler.dll", Get((std::string(kHandlerBackup) + "\\Server").c_str(), ""));
    EXPECT_FALSE(KeyExists("PROTOCOLS\\Handler\\feed_QDBackup"));
    EXPECT_TRUE(RSSRegistrarIE().IsMarigoldOwnerOfRSSFeedProtocol());
    EXPECT_TRUE(DefaultBrowser::GetCurrentRSSReader(reader));
    EXPECT_EQ("TidewireDesktop.exe", reader);

    // A second takeover: the same values, the first backups untouched.
    Put("PROTOCOLS\\Handler\\feed", "CLSID", "{00000000-0000-0000-0000-00000000AAAA}");
    ASSERT_TRUE(RSSRegistrarIE().MakeMarigoldTheDefaultRSSReader());
    EXPECT_EQ(kOtherCommand, Get("feed\\shell\\open\\command", "_QDBackup"));
    EXPECT_EQ(kBrowserHandler, Get(kHandlerBackup, "CLSID"));
    EXPECT_FALSE(KeyExists("PROTOCOLS\\Handler\\feed"));

    ASSERT_TRUE(RSSRegistrarIE().RestoreBackup());
    EXPECT_EQ("URL:Feed Protocol", Get("feed", ""));
    EXPECT_EQ("", Get("feed", "URL Protocol"));
    EXPECT_EQ(kOtherIcon, Get("feed\\DefaultIcon", ""));
    EXPECT_EQ(kOtherCommand, Get("feed\\shell\\open\\command", ""));
    EXPECT_EQ("<absent>", Get("feed\\shell\\open\\command", "_QDBackup"));
    EXPECT_EQ(kBrowserHandler, Get("PROTOCOLS\\Handler\\feed", "CLSID"));
    EXPECT_EQ("handler.dll", Get("PROTOCOLS\\Handler\\feed\\Server", ""));
    EXPECT_FALSE(KeyExists(kHandlerBackup));
    EXPECT_FALSE(RSSRegistrarIE().IsMarigoldOwnerOfRSSFeedProtocol());
    // Only this product's own registration is taken back.
    EXPECT_FALSE(RSSRegistrarIE().RestoreBackup());
    EXPECT_EQ(kOtherCommand, Get("feed\\shell\\open\\command", ""));
}

TEST_F(FeedRegistration, ATakeoverOfAnUnregisteredProtocolIsUndoneByRemovingItsValues)
{
    ASSERT_TRUE(RSSRegistrarIE().MakeMarigoldTheDefaultRSSReader());
    EXPECT_EQ("<absent>", Get("feed", "_QDBackup"));
    // Another reader's command comes and goes again: the first takeover's "absent" stays.
    Put("feed\\shell\\open\\command", "", kOtherCommand);
    ASSERT_TRUE(RSSRegistrarIE().MakeMarigoldTheDefaultRSSReader());
    // A second takeover while this product owns the protocol backs nothing up.
    ASSERT_TRUE(RSSRegistrarIE().MakeMarigoldTheDefaultRSSReader());
    EXPECT_TRUE(RSSRegistrarIE().IsMarigoldOwnerOfRSSFeedProtocol());
    ASSERT_TRUE(RSSRegistrarIE().RestoreBackup());
    EXPECT_EQ("<absent>", Get("feed", ""));
    EXPECT_EQ("<absent>", Get("feed\\shell\\open\\command", ""));
    std::string reader = "unchanged";
    EXPECT_FALSE(DefaultBrowser::GetCurrentRSSReader(reader));
    EXPECT_EQ("", reader);
}

TEST_F(FeedRegistration, AnEarlierTakeoverWithoutBackupsIsNotTakenForThePreviousReader)
{
    // What a takeover of an older version left: this product's values and no backups.
    Put("feed\\DefaultIcon", "", Program() + ",0");
    Put("feed\\shell\\open\\command", "", "\"" + Program() + "\" -Feed \"%1\"");
    ASSERT_TRUE(RSSRegistrarIE().MakeMarigoldTheDefaultRSSReader());
    EXPECT_EQ("<absent>", Get("feed\\shell\\open\\command", "_QDBackup"));
    ASSERT_TRUE(RSSRegistrarIE().RestoreBackup());
    EXPECT_EQ("<absent>", Get("feed\\shell\\open\\command", ""));
}

TEST_F(FeedRegistration, AHandlerKeyThatCannotBeCopiedStopsTheTakeover)
{
    RegisterAnotherReader();
    // A volatile parent takes no lasting sub-key: the copy fails.
    HKEY volatileKey = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CLASSES_ROOT, kBackupRoot, 0, nullptr, REG_OPTION_VOLATILE,
                                             KEY_ALL_ACCESS, nullptr, &volatileKey, nullptr));
    RegCloseKey(volatileKey);
    EXPECT_FALSE(RSSRegistrarIE().MakeMarigoldTheDefaultRSSReader());
    EXPECT_NE(std::string::npos,
              Trace().find("RSSRegistrarIE::Backup - failed backing up the protocol handler; nothing taken over.\n"));
    EXPECT_EQ(kBrowserHandler, Get("PROTOCOLS\\Handler\\feed", "CLSID"));
    EXPECT_EQ(kOtherCommand, Get("feed\\shell\\open\\command", ""));
    EXPECT_EQ("<absent>", Get("feed\\shell\\open\\command", "_QDBackup"));
    EXPECT_FALSE(KeyExists(kHandlerBackup));
    RemoveKey(kBackupRoot);

    // A backup where earlier versions kept it is still restored.
    Put("PROTOCOLS\\Handler\\feed_QDBackup", "CLSID", kBrowserHandler);
    RemoveKey("PROTOCOLS\\Handler\\feed");
    ASSERT_TRUE(RSSRegistrarIE().MakeMarigoldTheDefaultRSSReader());
    EXPECT_FALSE(KeyExists(kHandlerBackup));
    ASSERT_TRUE(RSSRegistrarIE().RestoreBackup());
    EXPECT_EQ(kBrowserHandler, Get("PROTOCOLS\\Handler\\feed", "CLSID"));
    EXPECT_FALSE(KeyExists("PROTOCOLS\\Handler\\feed_QDBackup"));
}

TEST_F(FeedRegistration, AnUnknownOrOverlongApplicationFolderIsRefused)
{
    RegisterAnotherReader();
    for (const std::string& folder : {std::string(), "C:\\" + std::string(240, 'd')}) {
        {
            PersistentSettings settings;
            if (folder.empty())
                settings.RemoveProperty(SettingsId::application_directory, PersistentSettings::Kind::String);
            else
                ASSERT_TRUE(settings.SetProperty(SettingsId::application_directory, folder));
        }
        EXPECT_FALSE(RSSRegistrarIE().MakeMarigoldTheDefaultRSSReader());
        EXPECT_EQ(kOtherCommand, Get("feed\\shell\\open\\command", ""));
        EXPECT_EQ("<absent>", Get("feed\\shell\\open\\command", "_QDBackup"));
    }
    EXPECT_NE(std::string::npos, Trace().find("RSSRegistrarIE::MakeMarigoldTheDefaultRSSReader - application_directory "
                                              "'' is unknown or too long.\n"));
}

class FeedQuestion : public FeedRegistration {
protected:
    void SetUp() override
    {
        FeedRegistration::SetUp();
        ASSERT_TRUE(testing_support::WriteWholeFile(
            m_content.Path() + "\\resources.xml",
            "<resources>\r\n"
            "  <Yes value='Yes'/><No value='No'/>\r\n"
            "  <NotDefaultRSSReaderDlgMsg value='%s opens your feeds (100%d of them).\\nLet Tidewire open them?'/>\r\n"
            "  <NotDefaultRSSReaderDlgCheck value='Keep asking me'/>\r\n"
            "</resources>\r\n"));
        RegisterAnotherReader();
    }
    static void SetCheck(int value)
    {
        PersistentSettings settings;
        ASSERT_TRUE(settings.SetProperty(SettingsId::check_marigold_default_rss_reader, value));
    }
    static int Check()
    {
        PersistentSettings settings;
        int value = -1;
        settings.GetProperty(SettingsId::check_marigold_default_rss_reader, value);
        return value;
    }
    // Runs the detection while a helper answers the question it shows (or finds none).
    bool Detect(int kind, const std::function<void(HWND)>& answer, std::string* message = nullptr)
    {
        bool asked = false;
        testing_support::DriveModal(
            [&] {
                HWND d = testing_support::WaitForDialog(kQuestionCaption, 1500);
                if (!d)
                    return;
                asked = true;
                if (message)
                    *message = testing_support::ItemText(d, 1003);
                answer(d);
            },
            [&] {
                DefaultRSSReader::DoDetect(kind, nullptr);
                return 0;
            });
        return asked;
    }
};

TEST_F(FeedQuestion, AskingTakesTheProtocolOnYesAndKeepsTheCheckBoxInTheSetting)
{
    EXPECT_FALSE(Detect(DefaultRSSReader::kDetectAsk, [](HWND d) { testing_support::PressButton(d, IDYES); }))
        << "asked without the setting";
    SetCheck(1);
    std::string message;
    bool startedChecked = true;
    EXPECT_TRUE(Detect(DefaultRSSReader::kDetectAsk, [&](HWND d) {
        startedChecked = testing_support::IsItemChecked(d, 1002);
        EXPECT_EQ("Keep asking me", testing_support::ItemText(d, 1002));
        testing_support::ClickItem(d, 1002);
        testing_support::PressButton(d, IDYES);
    }, &message));
    EXPECT_FALSE(startedChecked);
    // The reader's name fills the first "%s"; nothing else of the text is a format.
    EXPECT_EQ("reader.exe opens your feeds (100%d of them).\nLet Tidewire open them?", message);
    EXPECT_TRUE(RSSRegistrarIE().IsMarigoldOwnerOfRSSFeedProtocol());
    EXPECT_EQ(1, Check());
    // Owning the protocol, nothing is asked.
    EXPECT_FALSE(Detect(DefaultRSSReader::kDetectAsk, [](HWND d) { testing_support::PressButton(d, IDNO); }));
}

TEST_F(FeedQuestion, AMissingTextAsksNothingAndTakesNothing)
{
    ASSERT_TRUE(testing_support::WriteWholeFile(m_content.Path() + "\\resources.xml",
                                                "<resources><NotDefaultRSSReaderDlgCheck value='Keep asking me'/>"
                                                "</resources>"));
    SetCheck(1);
    EXPECT_FALSE(Detect(DefaultRSSReader::kDetectAsk, [](HWND d) { testing_support::PressButton(d, IDYES); }));
    EXPECT_FALSE(RSSRegistrarIE().IsMarigoldOwnerOfRSSFeedProtocol());
    EXPECT_EQ(1, Check());
}

TEST_F(FeedQuestion, NoLeavesTheProtocolAndTheSettingCanStopTheQuestions)
{
    SetCheck(1);
    EXPECT_TRUE(Detect(DefaultRSSReader::kDetectAsk, [](HWND d) { testing_support::PressButton(d, IDNO); }));
    EXPECT_FALSE(RSSRegistrarIE().IsMarigoldOwnerOfRSSFeedProtocol());
    EXPECT_EQ(0, Check());
    EXPECT_FALSE(Detect(DefaultRSSReader::kDetectAsk, [](HWND d) { testing_support::PressButton(d, IDYES); }));
    EXPECT_FALSE(RSSRegistrarIE().IsMarigoldOwnerOfRSSFeedProtocol());

    SetCheck(1);
    // Escape answers neither: the setting stays.
    EXPECT_TRUE(Detect(DefaultRSSReader::kDetectAsk, [](HWND d) { testing_support::PressEscape(d); }));
    EXPECT_EQ(1, Check());
    EXPECT_FALSE(Detect(DefaultRSSReader::kDetectNone, [](HWND d) { testing_support::PressButton(d, IDYES); }));
    EXPECT_FALSE(Detect(3, [](HWND d) { testing_support::PressButton(d, IDYES); }));
    EXPECT_NE(std::string::npos, Trace().find("DefaultRSSReader::DoDetect - Unknown detection type.\n"));
    EXPECT_FALSE(RSSRegistrarIE().IsMarigoldOwnerOfRSSFeedProtocol());
}

}  // namespace
