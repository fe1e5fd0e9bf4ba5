// The check thread and its passes. Everything here runs on that thread and owns what it uses:
// the control is known only by its window handle, taken on the page's thread at the start.
// Winsock (the IMAP client) must come before windows.h.
#include <winsock2.h>

#include "Wisp/mail/EmailChecker.h"

#include <objbase.h>
#include <ole2.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <new>

#include "common/HostMessages.h"
#include "common/MessageBlock.h"
#include "common/ModuleThread.h"
#include "common/PersistentSettings.h"
#include "common/QDUtilities.h"
#include "common/SecretText.h"
#include "common/SettingsIds.h"
#include "common/TraceLog.h"
#include "Wisp/mail/IMapConnection.h"
#include "Wisp/mail/MailAccounts.h"
#include "Wisp/mail/MailMenu.h"
#include "Wisp/mail/MessagePump.h"
#include "Wisp/mail/WebMailCheck.h"
#include "Wisp/mail/WispOffscreenBrowser.h"

extern std::atomic<uint8_t> g_mailCheckBusy;

namespace {

const char kMailCheckingPage[] = "mailchecking.htm";
const std::size_t kContentPathLength = 260;

struct CheckThreadStart {
    HWND controlWindow;
    const void* checker;
    unsigned generation;
};

class CheckPass {
public:
    CheckPass(const CheckThreadStart& start, std::unique_ptr<CWispOffscreenBrowser>& browser)
        : m_start(start), m_browser(browser)
    {
    }
    void Run();

private:
    bool CreateBrowser();
    void CheckAccounts(int type);
    bool CheckAccount(int type, int index, int count, const std::string& user, const std::string& password,
                      const std::string& destination, std::string& errorText);
    bool CheckAolAccount(int index, const std::string& user, const std::string& password,
                         const std::string& destination, std::string& errorText);
    void Publish();

    const CheckThreadStart& m_start;
    std::unique_ptr<CWispOffscreenBrowser>& m_browser;
    MailCheckPass m_pass;
};

void CheckPass::Run()
{
    if (!m_start.controlWindow)
        return;
    int total = 0;
    {
        PersistentSettings settings;
        for (const char* type : {SettingsId::accountType_Yahoo, SettingsId::accountType_Hotmail,
                                 SettingsId::accountType_GMail, SettingsId::accountType_AOL})
            total += settings.GetAccountCount(type);
    }
    if (total == 0) {
        TraceLog("No email accounts have been setup.\n");
        return;
    }
    m_pass.Start();
    // Its window may have been closed from anywhere: a dead browser loads nothing, so every web
    // account would wait out its limit. A new one is made instead.
    if (m_browser && !IsWindow(m_browser->Window())) {
        TraceLog("EmailChecker::CheckMail - the offscreen browser is gone; making a new one.\n");
        m_browser.reset();
    }
    if (!m_browser && !CreateBrowser()) {
        TraceLog("EmailChecker::CheckMail could not create offscreen browser!\n");
        m_browser.reset();
        return;
    }
    for (int type : {kMailAccountAOL, kMailAccountGMail, kMailAccountHotmail, kMailAccountYahoo})
        CheckAccounts(type);
    m_browser->Navigate("about:blank");
    m_browser->DoMessageLoops(3000);
    SetProcessWorkingSetSize(GetCurrentProcess(), static_cast<SIZE_T>(-1), static_cast<SIZE_T>(-1));
    m_pass.Finish();
    Publish();
}

bool CheckPass::CreateBrowser()
{
    char path[kContentPathLength] = {};
    if (!QDUtilities::MakeContentPath(path, kMailCheckingPage, sizeof path))
        return false;
    m_browser.reset(new (std::nothrow) CWispOffscreenBrowser());
    return m_browser && m_browser->CreateWispOffscreenBrowser(path) != nullptr;
}

void CheckPass::CheckAccounts(int type)
{
    const char* prefix = MailAccountPrefix(type);
    int count = 0;
    {
        PersistentSettings settings;
        count = settings.GetAccountCount(prefix);
    }
    const std::string destination = ProviderMailUrl(type);
    for (int i = 0; i < count; ++i) {
        const int32_t before = m_pass.total;
        std::string errorText = "errorA";
        std::string password, user;
        int previous = 0;
        bool stop = false;
        {
            PersistentSettings settings;
            if (!settings.GetAccountProperty(SettingsId::emailPropertyType_password, prefix, i, password)) {
                TraceLog("failed getting %s%s%d", SettingsId::emailPropertyType_password, prefix, i);
                continue;
            }
            if (!settings.GetAccountProperty(SettingsId::emailPropertyType_username, prefix, i, user)) {
                TraceLog("failed getting %s%s%d", SettingsId::emailPropertyType_username, prefix, i);
                WipeSecret(password);
                continue;
            }
            settings.GetAccountProperty(SettingsId::emailPropertyType_previousUnreadCount, prefix, i, previous);
            if (!settings.GetAccountProperty(SettingsId::emailPropertyType_stopCheckingThisAccount, prefix, i, stop)) {
                TraceLog("failed getting %s%s%d", SettingsId::emailPropertyType_stopCheckingThisAccount, prefix, i);
                stop = false;
            }
        }
        bool checked = false;
        if (stop) {
            TraceLog("stopChecking bit set for %s%d", prefix, i);
            errorText = "password incorrect";
        } else {
            checked = CheckAccount(type, i, count, user, password, destination, errorText);
        }
        WipeSecret(password);
        if (checked) {
            const int32_t unread = m_pass.total - before;
            PersistentSettings settings;
            settings.SetAccountProperty(SettingsId::emailPropertyType_previousUnreadCount, prefix, i,
                                        static_cast<int>(unread));
            if (previous < unread)
                m_pass.newMail = true;
        } else {
            m_pass.AppendErrorItem(user, errorText, destination);
        }
    }
}

bool CheckPass::CheckAccount(int type, int index, int count, const std::string& user, const std::string& password,
                             const std::string& destination, std::string& errorText)
{
    if (type == kMailAccountAOL)
        return CheckAolAccount(index, user, password, destination, errorText);
    WebMailAccount account;
    account.index = index;
    account.userName = user;
    account.password = password;
    account.mailUrl = destination;
    account.moreThanOne = count > 1;
    bool checked = false;
    switch (type) {
    case kMailAccountGMail:
        checked = CheckAccountViaGmailHack(account, *m_browser, m_pass, errorText);
        break;
    case kMailAccountHotmail:
        checked = CheckAccountViaHotmailHack(account, *m_browser, m_pass, errorText);
        break;
    case kMailAccountYahoo:
        checked = CheckAccountViaYahooHack(account, *m_browser, m_pass, errorText);
        break;
    default:
        TraceLog("Bad email account type! %d \r\n", type);
        break;
    }
    WipeSecret(account.password);
    return checked;
}

bool CheckPass::CheckAolAccount(int index, const std::string& user, const std::string& password,
                                const std::string& destination, std::string& errorText)
{
    std::string server = kAolImapHost;
    {
        PersistentSettings settings;
        settings.GetProperty((std::string(SettingsId::wm_aol_params) + SettingsId::wm_mailServer).c_str(), server);
    }
    CIMapConnection imap;
    if (!imap.Connect(server, CutMailDomainSuffix(user, kAolMailDomainSuffix), password, kImapPort)) {
        // Only a refused log-in stops the account for good; a server out of reach, offline or
        // slow is a communication error, and the next pass tries again.
        if (!imap.LoginRefused()) {
            errorText = "communication error from the mail server";
            return false;
        }
        errorText = "password or username incorrect";
        PersistentSettings settings;
        settings.SetAccountProperty(SettingsId::emailPropertyType_stopCheckingThisAccount, SettingsId::accountType_AOL,
                                    index, 1);
        return false;
    }
    uint32_t count = 0, size = 0;
    if (!imap.Statistics(count, size)) {
        errorText = "communication error from the mail server";
        return false;
    }
    m_pass.total += static_cast<int32_t>(count);
    m_pass.AppendAccountItem(user, static_cast<int>(count), destination);
    return true;
}

void CheckPass::Publish()
{
    if (!IsWindow(m_start.controlWindow)) {
        EmailChecker::Stop();
        return;
    }
    auto* snapshot = static_cast<MailCheckSnapshot*>(
        AllocateMessageBlock(RM_EMAIL_CHECK_COMPLETE, sizeof(MailCheckSnapshot) + m_pass.menu.size()));
    if (!snapshot)
        return;
    snapshot->checker = m_start.checker;
    snapshot->total = m_pass.total;
    snapshot->newMail = m_pass.newMail ? 1 : 0;
    std::memcpy(snapshot->menu, m_pass.menu.c_str(), m_pass.menu.size() + 1);
    if (!PostMessageBlock(m_start.controlWindow, 0, snapshot)) {
        // The window went meanwhile (the block went with the post): nobody waits for passes.
        EmailChecker::Stop();
    }
}

DWORD CheckMailThread(void* parameter)
{
    std::unique_ptr<CheckThreadStart> start(static_cast<CheckThreadStart*>(parameter));
    TraceLog("checkMailThread started \n");
    OleInitialize(nullptr);
    {
        std::unique_ptr<CWispOffscreenBrowser> browser;
        // A stop may come before the first pass: the thread never sets a flag the stopper
        // cleared, and its idle wait ends with the run flag as well as with the sleep flag.
        while (EmailChecker::SleepBeforePass(start->generation)) {
            g_mailCheckBusy = 1;
            CheckPass(*start, browser).Run();
            g_mailCheckBusy = 0;
            while (EmailChecker::getSleepThread() && EmailChecker::KeepsRunning(start->generation))
                PumpMessagesFor(1000);
        }
        // The browser is a window of this thread: it goes here, before the thread ends.
    }
    OleUninitialize();
    TraceLog("checkMailThread completed \n");
    return 0;
}

}  // namespace

HANDLE EmailChecker::StartThread(HWND controlWindow)
{
    auto* start = new (std::nothrow) CheckThreadStart{controlWindow, this, 0};
    if (!start)
        return nullptr;
    // Set here rather than on the new thread, so that a stop that comes before the thread runs
    // is not undone by it.
    start->generation = StartGeneration();
    HANDLE thread = StartModuleThread(CheckMailThread, start);
    if (!thread) {
        delete start;
        return nullptr;
    }
    SetThreadPriority(thread, THREAD_PRIORITY_BELOW_NORMAL);
    return thread;
}
