// The mail checker driven from page script: CheckEmail over accounts of all four types (Dovecot
// on port 143 of the run's own loopback address, the scripted provider sites), the menu file
// read back by the menu code, the settings and the page callback; verification; UnInit during
// a pass.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "common/HostMessages.h"
#include "common/PersistentSettings.h"
#include "common/QDUtilities.h"
#include "common/SettingsIds.h"
#include "common/com/Handle.h"
#include "tests/support/ScratchState.h"
#include "tests/support/TestHttpServer.h"
#include "tests/support/TraceCapture.h"
#include "tests/support/WispLibrary.h"
#include "tests/support/host/HostApplication.h"
#include "Wisp/mail/EmailChecker.h"
#include "Wisp/windows/MenuFile.h"

using host::HostApplication;
using testing_support::TraceCapture;
using testing_support::TestHttpUrl;

namespace {

const char kFlagsMutex[] = "{3367BB47-67BD-4647-BD1A-BCE3C0B2FD0A}";

std::string SettingsPath()
{
    std::string path;
    QDUtilities::GetSettingsFilePath(path);
    return path;
}

std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string SiteUrl(const std::string& site, const char* provider, const char* page)
{
    return TestHttpUrl("/webmail/" + site + "/" + provider + "/" + page);
}

class MailChecker : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(S_OK, testing_support::RegisterWisp()); }

    void SetUp() override
    {
        ASSERT_FALSE(testing_support::TestHttpHost().empty()) << "the run gave no HTTP server";
        QDUtilities::EnsureSaveFileDirectoryExists();
        {
            PersistentSettings settings;
            ASSERT_TRUE(settings.SetProperty(SettingsId::content_directory, m_content.Path()));
        }
        ASSERT_TRUE(testing_support::WriteWholeFile(m_content.Path() + "\\mailchecking.htm",
                                                    "<html><head><title>checking</title></head><body></body></html>"));
        ASSERT_TRUE(m_host.OpenPage(L"fixtures\\webmail\\mail.htm", 200, 100));
        m_site = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        m_mark = TraceCapture::Mark();
    }
    void TearDown() override
    {
        m_host.Destroy();
        // Every check thread of the process has ended before the next test starts one.
        if (TraceCapture::Since(m_mark).find("checkMailThread started \n") != std::string::npos)
            TraceCapture::WaitFor("checkMailThread completed \n", m_mark, 45000);
    }

    void AddAccount(const char* type, int index, const std::string& user, const std::string& password)
    {
        PersistentSettings settings;
        settings.SetAccountProperty(SettingsId::emailPropertyType_count, type, 0, index + 1);
        settings.SetAccountProperty(SettingsId::emailPropertyType_username, type, index, user);
        settings.SetAccountProperty(SettingsId::emailPropertyType_password, type, index, password);
    }
    void SetString(const std::string& id, const std::string& value)
    {
        PersistentSettings settings;
        ASSERT_TRUE(settings.SetProperty(id.c_str(), value));
    }
    void PointAt(const char* provider, const char* prefix)
    {
        SetString(std::string(prefix) + SettingsId::wm_mailUrl, SiteUrl(m_site, provider, "mail"));
        SetString(std::string(prefix) + SettingsId::wm_signOutUrl, SiteUrl(m_site, provider, "logout"));
    }
    std::string Run(const std::string& code) { return m_host.CallPageFunction(L"run", code); }
    std::string App(const std::string& arguments) { return Run("app().CallApplicationMethod(" + arguments + ")"); }
    // Pumps until the page has heard `count` results; all of them, '|' between.
    std::string WaitResults(int count, DWORD timeoutMs)
    {
        const std::string expected = "number:" + std::to_string(count);
        testing_support::PumpUntil([&] { return Run("results.length") == expected; }, timeoutMs);
        const std::string joined = Run("results.join('|')");
        return joined.compare(0, 7, "string:") == 0 ? joined.substr(7) : joined;
    }
    int Count(const std::string& text)
    {
        const std::string traced = TraceCapture::Since(m_mark);
        int count = 0;
        for (std::size_t at = traced.find(text); at != std::string::npos; at = traced.find(text, at + 1))
            ++count;
        return count;
    }
    std::string ReadMenuFile()
    {
        std::string bytes;
        testing_support::ReadWholeFile(m_content.Path() + "\\EmailMenu.xml", bytes);
        return bytes;
    }
    int Logins(const char* provider)
    {
        unsigned long status = 0;
        std::string body;
        testing_support::FetchUrl(SiteUrl(m_site, provider, "logins"), status, body);
        return std::atoi(body.c_str());
    }

    testing_support::FileBackup m_settings{SettingsPath()};
    testing_support::ScratchFolder m_content{"mailchecker"};
    HostApplication m_host;
    std::string m_site;
    std::size_t m_mark = 0;
};

TEST_F(MailChecker, APassOverAllFourTypesPublishesMenuSettingsAndCallback)
{
    ASSERT_FALSE(Env("WISP_IMAP143_HOST").empty()) << "the run gave no IMAP server on port 143";
    SetString(std::string(SettingsId::wm_aol_params) + SettingsId::wm_mailServer, Env("WISP_IMAP143_HOST"));
    SetString(std::string(SettingsId::wm_aol_params) + SettingsId::wm_mailUrl, "http://mail.aol.example/");
    // The AOL user name loses its domain before it logs in.
    AddAccount(SettingsId::accountType_AOL, 0, Env("WISP_MAIL_SMALL_USER") + "@aol.com",
               Env("WISP_MAIL_SMALL_PASSWORD"));
    PointAt("gmail", SettingsId::wm_gmail_params);
    AddAccount(SettingsId::accountType_GMail, 0, "alice", "alice-pw");
    AddAccount(SettingsId::accountType_GMail, 1, "o'neil", "oneil-pw");
    PointAt("hotmail", SettingsId::wm_hotmail_params);
    AddAccount(SettingsId::accountType_Hotmail, 0, "carol", "carol-pw");
    PointAt("yahoo", SettingsId::wm_yahoo_params);
    AddAccount(SettingsId::accountType_Yahoo, 0, "dave", "dave-pw");
    AddAccount(SettingsId::accountType_Yahoo, 1, "erin", "wrong");
    {
        PersistentSettings settings;
        // Carol's password was refused before: she is not contacted.
        settings.SetAccountProperty(SettingsId::emailPropertyType_stopCheckingThisAccount,
                                    SettingsId::accountType_Hotmail, 0, 1);
        // Dave had 1 unread at the last check, alice 12: only dave's count rose.
        settings.SetAccountProperty(SettingsId::emailPropertyType_previousUnreadCount, SettingsId::accountType_Yahoo,
                                    0, 1);
        settings.SetAccountProperty(SettingsId::emailPropertyType_previousUnreadCount, SettingsId::accountType_GMail,
                                    0, 12);
        settings.SetAccountProperty(SettingsId::emailPropertyType_previousUnreadCount, SettingsId::accountType_GMail,
                                    1, 4);
    }

    EXPECT_EQ("boolean:true", App("'CheckEmail', 'onMail'"));
    ASSERT_TRUE(TraceCapture::WaitFor("checkMailThread started \n", m_mark, 10000));
    ASSERT_TRUE(TraceCapture::WaitFor("EmailChecker::CheckAccountViaGmailHack \n", m_mark, 10000));
    // A pass runs: another check is refused and changes nothing.
    EXPECT_EQ("boolean:false", App("'CheckEmail', 'someOtherFunction'"));

    EXPECT_EQ("boolean true:string 21", WaitResults(1, 120000));
    const std::string traced = TraceCapture::Since(m_mark);
    EXPECT_NE(std::string::npos, traced.find("stopChecking bit set for accountType.Hotmail.0"));
    EXPECT_NE(std::string::npos, traced.find("EmailChecker::CompleteMailCheckNotification \n"));
    EXPECT_EQ(0, Logins("hotmail"));
    EXPECT_EQ(std::string::npos, traced.find("alice-pw"));

    // The menu file, as the menu code reads it.
    std::string bytes;
    ASSERT_TRUE(testing_support::ReadWholeFile(m_content.Path() + "\\EmailMenu.xml", bytes));
    EXPECT_NE(std::string::npos, bytes.find("<MenuItem ID='101' Text='alice (12)' Enabled='true' destination='" +
                                            SiteUrl(m_site, "gmail", "mail") + "' newMessages='true'  />\r\n"));
    std::vector<MenuFileItem> items;
    ASSERT_TRUE(MenuFile::Read(&bytes[0], items));
    const char* texts[] = {"small@aol.com (2)",         "alice (12)", "o'neil (4)",
                           "carol (password incorrect)", "dave (3)",   "erin (password incorrect)",
                           "",                           "Add e-mail account..."};
    ASSERT_EQ(8u, items.size());
    for (std::size_t i = 0; i < 8; ++i)
        EXPECT_EQ(texts[i], items[i].text) << i;
    EXPECT_EQ(101, items[0].id);
    EXPECT_TRUE(items[6].separator);
    EXPECT_EQ(106, items[6].id);
    EXPECT_FALSE(items[7].enabled);

    PersistentSettings settings;
    int count = 0, fresh = 0, previous = 0, stop = 0;
    EXPECT_TRUE(settings.GetProperty(SettingsId::mail_check_results_count, count));
    EXPECT_EQ(21, count);
    EXPECT_TRUE(settings.GetProperty(SettingsId::mail_check_results_new, fresh));
    EXPECT_EQ(1, fresh);
    EXPECT_TRUE(settings.GetAccountProperty(SettingsId::emailPropertyType_previousUnreadCount,
                                            SettingsId::accountType_Yahoo, 0, previous));
    EXPECT_EQ(3, previous);
    EXPECT_TRUE(settings.GetAccountProperty(SettingsId::emailPropertyType_previousUnreadCount,
                                            SettingsId::accountType_AOL, 0, previous));
    EXPECT_EQ(2, previous);
    EXPECT_TRUE(settings.GetAccountProperty(SettingsId::emailPropertyType_stopCheckingThisAccount,
                                            SettingsId::accountType_Yahoo, 1, stop));
    EXPECT_EQ(1, stop);
}

TEST_F(MailChecker, WithoutAccountsNothingIsWrittenAndAnIdleThreadStopsAtOnce)
{
    EXPECT_EQ("boolean:true", App("'CheckEmail', 'onMail'"));
    ASSERT_TRUE(TraceCapture::WaitFor("No email accounts have been setup.\n", m_mark, 10000));
    testing_support::PumpMessages(1500);
    EXPECT_EQ("number:0", Run("results.length"));
    EXPECT_FALSE(testing_support::FileExists(m_content.Path() + "\\EmailMenu.xml"));
    // Woken, it runs another pass within a second.
    const std::size_t woken = TraceCapture::Mark();
    EXPECT_EQ("boolean:true", App("'CheckEmail', 'onMail'"));
    EXPECT_TRUE(TraceCapture::WaitFor("No email accounts have been setup.\n", woken, 2500));
    const DWORD start = GetTickCount();
    m_host.Destroy();
    EXPECT_TRUE(TraceCapture::WaitFor("checkMailThread completed \n", m_mark, 3000));
    EXPECT_LT(GetTickCount() - start, 3000u);
}

TEST_F(MailChecker, AnUnreachableImapServerIsACommunicationErrorAndNoRefusal)
{
    // Nothing listens on port 143 here (the run's Dovecot takes a 127.20 address or above).
    SetString(std::string(SettingsId::wm_aol_params) + SettingsId::wm_mailServer, "127.1.0.143");
    AddAccount(SettingsId::accountType_AOL, 0, "someone", "secret");
    EXPECT_EQ("boolean:true", App("'CheckEmail', 'onMail'"));
    EXPECT_EQ("boolean false:string 0", WaitResults(1, 30000));
    EXPECT_NE(std::string::npos, ReadMenuFile().find("Text='someone (communication error from the mail server)'"));
    // The next pass tries again.
    PersistentSettings settings;
    int stop = 0;
    settings.GetAccountProperty(SettingsId::emailPropertyType_stopCheckingThisAccount, SettingsId::accountType_AOL, 0,
                                stop);
    EXPECT_EQ(0, stop);
}

TEST_F(MailChecker, AClosedOffscreenBrowserIsMadeAgainForTheNextPass)
{
    PointAt("gmail", SettingsId::wm_gmail_params);
    AddAccount(SettingsId::accountType_GMail, 0, "alice", "alice-pw");
    EXPECT_EQ("boolean:true", App("'CheckEmail', 'onMail'"));
    ASSERT_EQ("boolean true:string 12", WaitResults(1, 60000));
    HWND browser = FindWindowA("WispOffscreenBrowserWindow", nullptr);
    ASSERT_NE(nullptr, browser);
    PostMessageA(browser, WM_CLOSE, 0, 0);
    testing_support::PumpUntil([&] { return !IsWindow(browser); }, 5000);
    ASSERT_FALSE(IsWindow(browser));
    // CheckEmail answers false until the pass has let go of its busy flag.
    EXPECT_TRUE(testing_support::PumpUntil([&] { return App("'CheckEmail', 'onMail'") == "boolean:true"; }, 5000));
    EXPECT_EQ("boolean true:string 12|boolean false:string 12", WaitResults(2, 60000));
    EXPECT_EQ(std::string::npos, TraceCapture::Since(m_mark).find("communications error"));
}

TEST_F(MailChecker, CheckEmailAfterAnotherControlsStopStartsAFreshThread)
{
    host::HostApplication other;
    other.SetContractWindow(false);
    ASSERT_TRUE(other.OpenPage(L"fixtures\\webmail\\mail.htm", 200, 100));
    EXPECT_EQ("boolean:true", other.CallPageFunction(L"run", "app().CallApplicationMethod('CheckEmail', 'onMail')"));
    EXPECT_EQ("boolean:true", App("'CheckEmail', 'onMail'"));
    ASSERT_TRUE(testing_support::PumpUntil([&] { return Count("No email accounts have been setup.\n") == 2; }, 10000));
    std::size_t stopped = 0;
    {
        // Held on this thread (the controls take it recursively here), it keeps both idle threads
        // from seeing the stop until this control has asked for its next pass.
        UniqueHandle flags(CreateMutexA(nullptr, FALSE, kFlagsMutex));
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(flags.Get(), 5000));
        other.Destroy();   // its stop ends every check thread of the process
        stopped = TraceCapture::Mark();
        EXPECT_EQ("boolean:true", App("'CheckEmail', 'onMail'"));
        ReleaseMutex(flags.Get());
    }
    EXPECT_TRUE(TraceCapture::WaitFor("No email accounts have been setup.\n", stopped, 5000));
    m_host.Destroy();
    EXPECT_TRUE(testing_support::PumpUntil(
        [&] { return Count("checkMailThread completed \n") == Count("checkMailThread started \n"); }, 10000));
}

TEST(MailCheckThread, AStopIsNeverUndoneByTheThreadOrALaterStart)
{
    // Holding the flags' mutex keeps the new thread from its first flag access until the stop.
    UniqueHandle flags(CreateMutexA(nullptr, FALSE, kFlagsMutex));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(flags.Get(), 5000));
    EmailChecker checker(nullptr);
    UniqueHandle early(checker.StartThread(nullptr));
    ASSERT_TRUE(early);
    EmailChecker::Stop();
    ReleaseMutex(flags.Get());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(early.Get(), 10000));

    // A thread a stop sent on its way out stays on it when a new one starts.
    UniqueHandle first(checker.StartThread(nullptr));
    EmailChecker::Stop();
    UniqueHandle second(checker.StartThread(nullptr));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(first.Get(), 10000));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(second.Get(), 0));
    EmailChecker::Stop();
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(second.Get(), 10000));
}

TEST_F(MailChecker, DestroyingTheControlDuringAPassIsSafe)
{
    m_site = "slowlogin-" + m_site;
    PointAt("gmail", SettingsId::wm_gmail_params);
    AddAccount(SettingsId::accountType_GMail, 0, "alice", "alice-pw");
    EXPECT_EQ("boolean:true", App("'CheckEmail', 'onMail'"));
    ASSERT_TRUE(TraceCapture::WaitFor("EmailChecker::CheckAccountViaGMailHack at sign in page \n", m_mark, 15000));
    m_host.Destroy();
    // The thread finishes its pass with its own browser and finds no window to tell.
    EXPECT_TRUE(TraceCapture::WaitFor("checkMailThread completed \n", m_mark, 45000));
    const std::string traced = TraceCapture::Since(m_mark);
    EXPECT_NE(std::string::npos, traced.find("EmailChecker::CheckAccountViaGMailHack complete\n"));
    EXPECT_EQ(std::string::npos, traced.find("EmailChecker::CompleteMailCheckNotification \n"));
    EXPECT_FALSE(testing_support::FileExists(m_content.Path() + "\\EmailMenu.xml"));
}

TEST_F(MailChecker, VerificationTellsThePageAndCanBeStopped)
{
    ASSERT_FALSE(Env("WISP_IMAP143_HOST").empty()) << "the run gave no IMAP server on port 143";
    SetString(std::string(SettingsId::wm_aol_params) + SettingsId::wm_mailServer, Env("WISP_IMAP143_HOST"));
    const std::string user = host::JsString(Env("WISP_MAIL_SINGLE_USER") + "@AOL.com");
    const std::string password = host::JsString(Env("WISP_MAIL_SINGLE_PASSWORD"));
    EXPECT_EQ("number:1", App("'VerifyEmailAccount', 'AOL', " + user + ", " + password + ", 'onVerify'"));
    EXPECT_EQ("verify true:false", WaitResults(1, 15000));
    EXPECT_EQ("number:1", App("'VerifyEmailAccount', 'aol', " + user + ", 'wrong', 'onVerify'"));
    EXPECT_EQ("verify true:false|verify false:false", WaitResults(2, 15000));
    EXPECT_EQ("number:1", App("'VerifyEmailAccount', 'Outlook', 'x', 'y', 'onVerify'"));
    EXPECT_EQ("verify true:false|verify false:false|verify false:false", WaitResults(3, 15000));
    EXPECT_NE(std::string::npos, TraceCapture::Since(m_mark).find("Bad email account type! -1 "));

    PointAt("gmail", SettingsId::wm_gmail_params);
    EXPECT_EQ("boolean:false", App("'StopEmailVerify', true"));
    EXPECT_EQ("number:1", App("'VerifyEmailAccount', 'GMail', 'alice', 'alice-pw', 'onVerify'"));
    EXPECT_EQ("boolean:true", App("'StopEmailVerify', true"));
    WaitResults(4, 15000);
    EXPECT_EQ("string:verify false:true", Run("results[3]"));
}

TEST_F(MailChecker, UpdateEmailMenuWritesTheUpdatingMenuAndTellsTheHost)
{
    ASSERT_TRUE(testing_support::WriteWholeFile(m_content.Path() + "\\resources.xml",
                                                "<resources><EmailMenuUpdating value=\"Updating the mail...\"/></resources>"));
    m_host.ClearMessages();
    EXPECT_EQ("number:0", App("'UpdateEmailMenu'"));
    EXPECT_EQ(1, m_host.CountMessages(1077));
    std::string bytes;
    ASSERT_TRUE(testing_support::ReadWholeFile(m_content.Path() + "\\EmailMenu.xml", bytes));
    EXPECT_EQ("<Menu> \r\r\n<MenuItem ID='99' Text='Updating the mail...' Enabled='true'  newMessages='false' />  "
              "\r\r\n</Menu> \r\r\n",
              bytes);
    // Without a content folder nothing is written.
    {
        PersistentSettings settings;
        settings.RemoveProperty(SettingsId::content_directory, PersistentSettings::Kind::String);
    }
    const std::size_t mark = TraceCapture::Mark();
    App("'UpdateEmailMenu'");
    EXPECT_NE(std::string::npos, TraceCapture::Since(mark).find("Callback: failed to get the content directory \n"));
}

TEST_F(MailChecker, AProvidersPageInTheOffscreenBrowserGetsNoBridgeToThePasswords)
{
    // The site's sign-in page asks window.external for alice's stored password.
    m_site = "snoop-" + m_site;
    PointAt("gmail", SettingsId::wm_gmail_params);
    AddAccount(SettingsId::accountType_GMail, 0, "alice", "alice-pw");
    EXPECT_EQ("boolean:true", App("'CheckEmail', 'onMail'"));
    EXPECT_EQ("boolean true:string 12", WaitResults(1, 60000));
    EXPECT_EQ(1, Logins("gmail"));
    unsigned long status = 0;
    std::string snooped;
    ASSERT_TRUE(testing_support::FetchUrl(SiteUrl(m_site, "gmail", "snooped"), status, snooped));
    EXPECT_EQ("no external", snooped);
}

}  // namespace
