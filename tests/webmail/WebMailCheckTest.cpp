// The web-mail checks against the scripted provider sites of the test HTTP server (sign-in
// pages, inboxes and frames, session cookies through WinINet), run on this thread in an
// offscreen browser as the mail thread runs them.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "common/PersistentSettings.h"
#include "common/QDUtilities.h"
#include "common/SettingsIds.h"
#include "tests/support/FreedMemory.h"
#include "tests/support/ScratchState.h"
#include "tests/support/TestHttpServer.h"
#include "tests/support/TraceCapture.h"
#include "tests/support/WispLibrary.h"
#include "tests/support/host/HostApplication.h"
#include "Wisp/mail/MailAccounts.h"
#include "Wisp/mail/MailMenu.h"
#include "Wisp/mail/WebMailCheck.h"
#include "Wisp/mail/WispOffscreenBrowser.h"

using testing_support::TraceCapture;
using testing_support::TestHttpUrl;

namespace {

std::string SettingsPath()
{
    std::string path;
    QDUtilities::GetSettingsFilePath(path);
    return path;
}

std::string SiteUrl(const std::string& site, const char* provider, const char* page)
{
    return TestHttpUrl("/webmail/" + site + "/" + provider + "/" + page);
}

std::string TestName()
{
    return ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

void SetParam(const char* prefix, const char* name, const std::string& value)
{
    PersistentSettings settings;
    ASSERT_TRUE(settings.SetProperty((std::string(prefix) + name).c_str(), value));
}

// The sites of one test: a site of its own, so no session cookie of another test reaches it.
void PointAt(const std::string& site, const char* provider, const char* prefix)
{
    SetParam(prefix, SettingsId::wm_mailUrl, SiteUrl(site, provider, "mail"));
    SetParam(prefix, SettingsId::wm_signOutUrl, SiteUrl(site, provider, "logout"));
}

int Logins(const std::string& site, const char* provider)
{
    unsigned long status = 0;
    std::string body;
    if (!testing_support::FetchUrl(SiteUrl(site, provider, "logins"), status, body) || status != 200)
        return -1;
    return std::atoi(body.c_str());
}

WebMailAccount Account(int index, const std::string& user, const std::string& password, const std::string& url,
                       bool moreThanOne = false)
{
    WebMailAccount account;
    account.index = index;
    account.userName = user;
    account.password = password;
    account.mailUrl = url;
    account.moreThanOne = moreThanOne;
    return account;
}

class WebMail : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(S_OK, testing_support::RegisterWisp()); }
    void SetUp() override
    {
        ASSERT_FALSE(testing_support::TestHttpHost().empty()) << "the run gave no HTTP server";
        QDUtilities::EnsureSaveFileDirectoryExists();
        m_site = TestName();
        ASSERT_NE(nullptr, m_browser.CreateWispOffscreenBrowser("about:blank"));
        m_pass.Start();
        m_mark = TraceCapture::Mark();
    }

    testing_support::FileBackup m_settings{SettingsPath()};
    CWispOffscreenBrowser m_browser;
    MailCheckPass m_pass;
    std::string m_site;
    std::string m_error = "errorA";
    std::size_t m_mark = 0;
};

TEST_F(WebMail, GmailSignsInAndReadsTheCountFromTheInboxTitle)
{
    PointAt(m_site, "gmail", SettingsId::wm_gmail_params);
    const std::string url = SiteUrl(m_site, "gmail", "mail");
    ASSERT_TRUE(CheckAccountViaGmailHack(Account(0, "alice", "alice-pw", url), m_browser, m_pass, m_error));
    EXPECT_EQ(12, m_pass.total);
    EXPECT_EQ("<Menu> \r\n<MenuItem ID='101' Text='alice (12)' Enabled='true' destination='" + url +
                  "' newMessages='true'  />\n",
              m_pass.menu);
    EXPECT_EQ(1, Logins(m_site, "gmail"));
    const std::string traced = TraceCapture::Since(m_mark);
    EXPECT_NE(std::string::npos, traced.find("EmailChecker::CheckAccountViaGmailHack \n"));
    EXPECT_NE(std::string::npos, traced.find("EmailChecker::CheckAccountViaGMailHack navigating in to " + url + "\n"));
    EXPECT_NE(std::string::npos, traced.find("WhichGmailMailPage = SignIn\n"));
    EXPECT_NE(std::string::npos, traced.find("EmailChecker::CheckAccountViaGMailHack at sign in page \n"));
    EXPECT_NE(std::string::npos, traced.find("WhichGmailMailPage = Inbox\n"));
    EXPECT_NE(std::string::npos, traced.find("    GotWindowText = 'gmail - inbox (12)', initialSearchSTring = 'inbox'\n"));
    EXPECT_NE(std::string::npos, traced.find("EmailChecker::CheckAccountViaGMailHack complete\n"));
    // The password never reaches the trace.
    EXPECT_EQ(std::string::npos, traced.find("alice-pw"));
}

TEST_F(WebMail, GmailSignsThePreviousAccountOutWhenTheTypeHasSeveral)
{
    PointAt(m_site, "gmail", SettingsId::wm_gmail_params);
    const std::string url = SiteUrl(m_site, "gmail", "mail");
    ASSERT_TRUE(CheckAccountViaGmailHack(Account(0, "alice", "alice-pw", url, true), m_browser, m_pass, m_error));
    // Without the sign-out the second check would find alice's inbox, 12 unread.
    ASSERT_TRUE(CheckAccountViaGmailHack(Account(1, "bob", "bob-pw", url, true), m_browser, m_pass, m_error));
    EXPECT_EQ(12, m_pass.total);
    EXPECT_NE(std::string::npos, m_pass.menu.find("Text='bob (0)' Enabled='true' destination='" + url +
                                                  "' newMessages='false'  />\n"));
    EXPECT_EQ(2, Logins(m_site, "gmail"));
}

TEST_F(WebMail, AnAccountWithoutAnAddressToLoadCountsNothing)
{
    PointAt(m_site, "gmail", SettingsId::wm_gmail_params);
    const std::string url = SiteUrl(m_site, "gmail", "mail");
    ASSERT_TRUE(CheckAccountViaGmailHack(Account(0, "alice", "alice-pw", url), m_browser, m_pass, m_error));
    ASSERT_EQ(12, m_pass.total);
    // Alice's inbox still shows: it must not be counted for bob.
    SetParam(SettingsId::wm_gmail_params, SettingsId::wm_signOutUrl, "");
    EXPECT_FALSE(CheckAccountViaGmailHack(Account(1, "bob", "bob-pw", url, true), m_browser, m_pass, m_error));
    EXPECT_FALSE(CheckAccountViaGmailHack(Account(1, "bob", "bob-pw", ""), m_browser, m_pass, m_error));
    EXPECT_EQ(12, m_pass.total);
    EXPECT_EQ(std::string::npos, m_pass.menu.find("bob"));
}

TEST_F(WebMail, NoFreedBlockKeepsThePasswordTypedIntoThePage)
{
    PointAt(m_site, "gmail", SettingsId::wm_gmail_params);
    const WebMailAccount account = Account(0, "alice", "alice-pw", SiteUrl(m_site, "gmail", "mail"));
    {
        testing_support::FreedMemoryWatch watch(account.password);
        ASSERT_TRUE(CheckAccountViaGmailHack(account, m_browser, m_pass, m_error));
        EXPECT_EQ(0, watch.NarrowHits());
        EXPECT_EQ(0, watch.WideHits());
    }
    EXPECT_EQ(1, Logins(m_site, "gmail"));
}

TEST_F(WebMail, ABadPasswordStopsTheAccountBeingChecked)
{
    PointAt(m_site, "gmail", SettingsId::wm_gmail_params);
    const std::string url = SiteUrl(m_site, "gmail", "mail");
    EXPECT_FALSE(CheckAccountViaGmailHack(Account(2, "alice", "wrong", url), m_browser, m_pass, m_error));
    EXPECT_EQ("password incorrect", m_error);
    EXPECT_EQ(0, m_pass.total);
    PersistentSettings settings;
    int stop = 0;
    EXPECT_TRUE(settings.GetProperty("emailPropertyType.stopCheckingThisAccount.accountType.GMail.2", stop));
    EXPECT_EQ(1, stop);
}

TEST_F(WebMail, GmailNavigatesOnceMoreAfterTheCookieFailurePage)
{
    m_site = "cookiefail-" + TestName();
    PointAt(m_site, "gmail", SettingsId::wm_gmail_params);
    const std::string url = SiteUrl(m_site, "gmail", "mail");
    ASSERT_TRUE(CheckAccountViaGmailHack(Account(0, "bob", "bob-pw", url), m_browser, m_pass, m_error));
    EXPECT_EQ(0, m_pass.total);
    EXPECT_NE(std::string::npos, TraceCapture::Since(m_mark).find("WhichGmailMailPage = CookieFailure\n"));
}

TEST_F(WebMail, CredentialsGoOnlyToTheProvidersOwnPages)
{
    // The configured address redirects to the same site under another host name.
    const std::string foreign = "http://localhost:" + std::to_string(testing_support::TestHttpPort()) +
                                "/webmail/" + m_site + "/gmail/mail";
    const std::string url = TestHttpUrl("/redirect?to=" + testing_support::UrlEncode(foreign));
    SetParam(SettingsId::wm_gmail_params, SettingsId::wm_mailUrl, url);
    EXPECT_FALSE(CheckAccountViaGmailHack(Account(0, "alice", "alice-pw", url), m_browser, m_pass, m_error));
    EXPECT_EQ(0, Logins(m_site, "gmail"));
    EXPECT_NE(std::string::npos, TraceCapture::Since(m_mark).find("is not the provider's; nothing filled in.\n"));

    EXPECT_TRUE(MayFillCredentials("https://mail.example.com/mail/", "https://login.example.com/signin"));
    EXPECT_TRUE(MayFillCredentials("https://mail.example.com/mail/", "https://example.com/"));
    EXPECT_TRUE(MayFillCredentials("http://127.0.0.1:8080/mail", "http://127.0.0.1:8080/login"));
    EXPECT_FALSE(MayFillCredentials("https://mail.example.com/mail/", "http://mail.example.com/signin"));
    EXPECT_FALSE(MayFillCredentials("https://mail.example.com/mail/", "https://example.com.evil.test/"));
    EXPECT_FALSE(MayFillCredentials("https://mail.example.com/mail/", "https://badexample.com/"));
    EXPECT_FALSE(MayFillCredentials("http://127.0.0.1:8080/mail", "http://127.0.0.2:8080/login"));
    EXPECT_FALSE(MayFillCredentials("http://127.0.0.1/mail", "file:///c:/signin.htm"));
    // A parent that registries hand to many owners is never taken as the provider's domain.
    EXPECT_FALSE(MayFillCredentials("https://webmail.co.uk/", "https://evil.co.uk/login"));
    EXPECT_FALSE(MayFillCredentials("https://mail.com.au/", "https://other.com.au/"));
    EXPECT_FALSE(MayFillCredentials("https://www.ne.jp/", "https://ne.jp/"));
    EXPECT_TRUE(MayFillCredentials("https://webmail.co.uk/", "https://webmail.co.uk/login"));
    EXPECT_TRUE(MayFillCredentials("https://mail.example.co.uk/", "https://login.example.co.uk/"));
    EXPECT_TRUE(MayFillCredentials("https://mail.example.info/", "https://login.example.info/"));
    // Nor does a form of an https provider post the password over plain http.
    EXPECT_FALSE(MayPostCredentials("https://mail.example.com/", "http://mail.example.com/login"));
    EXPECT_FALSE(MayPostCredentials("https://mail.example.com/", " HTTP://mail.example.com/login"));
    EXPECT_TRUE(MayPostCredentials("https://mail.example.com/", "login"));
    EXPECT_TRUE(MayPostCredentials("https://mail.example.com/", "https://login.example.com/"));
    EXPECT_TRUE(MayPostCredentials("http://mail.example.com/", "http://mail.example.com/login"));
}

TEST_F(WebMail, ASlowSignInIsSubmittedOnce)
{
    m_site = "slowlogin-" + TestName();
    PointAt(m_site, "gmail", SettingsId::wm_gmail_params);
    const std::string url = SiteUrl(m_site, "gmail", "mail");
    ASSERT_TRUE(CheckAccountViaGmailHack(Account(0, "alice", "alice-pw", url), m_browser, m_pass, m_error));
    EXPECT_EQ(1, Logins(m_site, "gmail"));
}

TEST_F(WebMail, HotmailAddsTheDomainToTheUserAndReadsTheMainFrame)
{
    PointAt(m_site, "hotmail", SettingsId::wm_hotmail_params);
    const std::string url = SiteUrl(m_site, "hotmail", "mail");
    ASSERT_TRUE(CheckAccountViaHotmailHack(Account(0, "carol", "carol-pw", url), m_browser, m_pass, m_error));
    EXPECT_EQ(5, m_pass.total);
    EXPECT_NE(std::string::npos, m_pass.menu.find("Text='carol (5)'"));
    const std::string traced = TraceCapture::Since(m_mark);
    EXPECT_NE(std::string::npos, traced.find("EmailChecker::CheckAccountViaHotmailHack at Inbox page \n"));
    EXPECT_NE(std::string::npos, traced.find("CWispOffscreenBrowser::getFrameSource \n"));
}

TEST_F(WebMail, HotmailWithoutTheCountInTheFrameFails)
{
    PointAt(m_site, "hotmail", SettingsId::wm_hotmail_params);
    SetParam(SettingsId::wm_hotmail_params, SettingsId::wm_initialSearchString, "no such text");
    const std::string url = SiteUrl(m_site, "hotmail", "mail");
    EXPECT_FALSE(CheckAccountViaHotmailHack(Account(0, "carol", "carol-pw", url), m_browser, m_pass, m_error));
    EXPECT_EQ("error", m_error);
    EXPECT_NE(std::string::npos,
              TraceCapture::Since(m_mark).find("EmailChecker::CheckAccountViaHotmailHack failed to find search string \n"));
}

TEST_F(WebMail, YahooMatchesTheRegularExpressionInTheInboxFrame)
{
    PointAt(m_site, "yahoo", SettingsId::wm_yahoo_params);
    const std::string url = SiteUrl(m_site, "yahoo", "mail");
    ASSERT_TRUE(CheckAccountViaYahooHack(Account(0, "dave", "dave-pw", url), m_browser, m_pass, m_error));
    EXPECT_EQ(3, m_pass.total);
    EXPECT_NE(std::string::npos, TraceCapture::Since(m_mark).find("<B>3 unread \n"));

    // The expression comes from the settings when they hold one.
    SetParam(SettingsId::wm_yahoo_params, SettingsId::wm_regExpNumEmails, "<B>\\d( unread)");
    m_error = "errorA";
    ASSERT_TRUE(CheckAccountViaYahooHack(Account(0, "dave", "dave-pw", url), m_browser, m_pass, m_error));
    EXPECT_EQ(3, m_pass.total);
    EXPECT_NE(std::string::npos, m_pass.menu.find("Text='dave (0)'"));
}

TEST_F(WebMail, YahooFallsBackToThePageSourceWithoutTheFrame)
{
    PointAt(m_site, "yahoo", SettingsId::wm_yahoo_params);
    SetParam(SettingsId::wm_yahoo_params, SettingsId::wm_inboxFrameName, "nosuchframe");
    const std::string url = SiteUrl(m_site, "yahoo", "mail");
    ASSERT_TRUE(CheckAccountViaYahooHack(Account(0, "erin", "erin-pw", url), m_browser, m_pass, m_error));
    EXPECT_EQ(0, m_pass.total);
    EXPECT_NE(std::string::npos, TraceCapture::Since(m_mark).find("  Failed getting frame source for 'nosuchframe'\n"));
}

TEST_F(WebMail, VerificationSignsInOnlyAndHonoursItsStopFlag)
{
    PointAt(m_site, "gmail", SettingsId::wm_gmail_params);
    std::atomic<bool> stop(false);
    EXPECT_TRUE(VerifyAccountViaGMailHack("alice", "alice-pw", stop));
    EXPECT_FALSE(VerifyAccountViaGMailHack("bob", "wrong", stop));
    EXPECT_EQ(2, Logins(m_site, "gmail"));
    stop = true;
    const DWORD start = GetTickCount();
    EXPECT_FALSE(VerifyAccountViaGMailHack("bob", "bob-pw", stop));
    EXPECT_LT(GetTickCount() - start, 5000u);
    // Nothing of a verification marks the account in the settings.
    PersistentSettings settings;
    int flag = 0;
    EXPECT_FALSE(settings.GetProperty("emailPropertyType.stopCheckingThisAccount.accountType.GMail.0", flag));
}

// Its own CTest entry (it waits out the whole limit).
TEST_F(WebMail, NoInboxWithinTheLimitIsACommunicationsError)
{
    const std::string url = TestHttpUrl("/respond?type=text/html&body=" + testing_support::UrlEncode("<p>nothing</p>"));
    const DWORD start = GetTickCount();
    EXPECT_FALSE(CheckAccountViaGmailHack(Account(0, "alice", "alice-pw", url), m_browser, m_pass, m_error));
    EXPECT_GE(GetTickCount() - start, 30000u);
    EXPECT_EQ("communications error", m_error);
}

TEST(MailMenu, ItemsAndTheUpdatingMenuAreWrittenExactly)
{
    MailCheckPass pass;
    pass.Start();
    pass.AppendAccountItem("a@b", 0, "http://x/");
    pass.AppendErrorItem("c", "", "http://y/");
    pass.AppendErrorItem("d", "password incorrect", "http://z/");
    pass.Finish();
    EXPECT_EQ("<Menu> \r\n"
              "<MenuItem ID='101' Text='a@b (0)' Enabled='true' destination='http://x/' newMessages='false'  />\n"
              "<MenuItem ID='101' Text='c (errorB)' Enabled='true' destination='http://y/' newMessages='false'  />\n"
              "<MenuItem ID='101' Text='d (password incorrect)' Enabled='true' destination='http://z/' "
              "newMessages='false'  />\n"
              "<MenuItem ID='106' Separator='true' /> \n"
              "<MenuItem ID='1' Text='Add e-mail account...' Enabled='false' /> \n"
              "</Menu> \r\n",
              pass.menu);
    EXPECT_EQ("<Menu> \r\n<MenuItem ID='99' Text='Updating...' Enabled='true'  newMessages='false' />  \r\n</Menu> \r\n",
              UpdatingEmailMenu("Updating..."));
    EXPECT_EQ("\"o'neil\"", QuotedAttribute("o'neil"));
    EXPECT_EQ("'plain'", QuotedAttribute("plain"));
}

TEST(MailAccounts, TypesAndUserNames)
{
    EXPECT_EQ(kMailAccountAOL, MailAccountTypeFromText("AOL"));
    EXPECT_EQ(kMailAccountGMail, MailAccountTypeFromText("gmail"));
    EXPECT_EQ(kMailAccountHotmail, MailAccountTypeFromText("accountType.Hotmail."));
    EXPECT_EQ(kMailAccountYahoo, MailAccountTypeFromText("3"));
    EXPECT_EQ(kMailAccountUnknown, MailAccountTypeFromText("Outlook"));
    EXPECT_EQ(kMailAccountUnknown, MailAccountTypeFromText(""));
    EXPECT_EQ("someone", CutMailDomainSuffix("someone@AOL.com", "@aol.com"));
    EXPECT_EQ("@aol.com", CutMailDomainSuffix("@aol.com", "@aol.com"));
    EXPECT_EQ("someone@example.com", CutMailDomainSuffix("someone@example.com", "@aol.com"));
}

}  // namespace
