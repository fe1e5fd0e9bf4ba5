#include "Wisp/mail/WebMailCheck.h"

#include <windows.h>
#include <mshtml.h>

#include <cctype>
#include <cstdlib>
#include <memory>

#include "common/PersistentSettings.h"
#include "common/SettingsIds.h"
#include "common/TraceLog.h"
#include "common/UrlSplitter.h"
#include "common/com/Bstr.h"
#include "common/com/ComPtr.h"
#include "Wisp/mail/MailAccounts.h"
#include "Wisp/mail/MailMenu.h"
#include "Wisp/mail/RegExpMatch.h"
#include "Wisp/mail/WispOffscreenBrowser.h"

namespace {

const DWORD kInboxSettleMs = 5000;
const std::size_t kWindowTextLength = 260;

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool StartsWith(const std::string& text, const std::string& start)
{
    return !start.empty() && text.compare(0, start.size(), start) == 0;
}

bool Equals(const std::string& text, const std::string& other)
{
    return !other.empty() && text == other;
}

std::string LowerTitle(CWispOffscreenBrowser& browser)
{
    std::string title;
    browser.getLocationName(title);
    return Lower(title);
}

// The number between the secondary and the tertiary string that follow the initial string's
// place in text (all in lower case). False when a string is missing; which one goes to `missing`.
bool NumberBetween(const std::string& text, std::size_t initialAt, const WebMailParams& params, int& count,
                   int& missing)
{
    const std::string secondary = Lower(params.secondarySearchString);
    const std::string tertiary = Lower(params.tertiarySearchString);
    const std::size_t second = text.find(secondary, initialAt);
    if (secondary.empty() || second == std::string::npos) {
        missing = 2;
        return false;
    }
    const std::size_t from = second + secondary.size();
    const std::size_t third = text.find(tertiary, from);
    if (tertiary.empty() || third == std::string::npos) {
        missing = 3;
        return false;
    }
    count = std::atoi(text.substr(from, third - from).c_str());
    return true;
}

bool IsDottedAddress(const std::string& host)
{
    return !host.empty() && host.find_first_not_of("0123456789.") == std::string::npos;
}

// A two-label name such as co.uk, com.au or ne.jp: a country's two-letter label under a label
// of at most three letters, which registries hand out to many owners.
bool IsSharedSuffix(const std::string& domain)
{
    const std::size_t dot = domain.find('.');
    if (dot == std::string::npos || domain.find('.', dot + 1) != std::string::npos)
        return false;
    return dot > 0 && dot <= 3 && domain.size() - dot - 1 == 2;
}

enum class Step { Wait, Success, Failure };

// The loop of one provider's check or verification.
class WebMailSession {
public:
    WebMailSession(int type, const char* name, bool verify, CWispOffscreenBrowser& browser)
        : m_type(type), m_verify(verify), m_browser(browser), m_params(ReadWebMailParams(type))
    {
        m_method = std::string(verify ? "Verify" : "Check") + "AccountVia" + name + "Hack";
    }

    // Always the account; a check also has its pass and error text, a verification its stop flag.
    const WebMailAccount* account = nullptr;
    MailCheckPass* pass = nullptr;
    std::string* errorText = nullptr;
    const std::atomic<bool>* stop = nullptr;

    const WebMailParams& Params() const { return m_params; }
    bool Run(const std::string& firstAddress);

private:
    Step OnPage();
    Step OnSignInPage();
    Step SubmitSignIn(const std::string& user, const std::string& password);
    Step OnInboxPage();
    bool ReadGmailCount(int& count, bool& loaded);
    bool ReadHotmailCount(int& count);
    bool ReadYahooCount(int& count);
    void WaitForSubmission();
    bool Stopped() const { return stop && stop->load(); }
    void SetError(const char* text)
    {
        if (errorText)
            *errorText = text;
    }

    int m_type;
    bool m_verify;
    CWispOffscreenBrowser& m_browser;
    WebMailParams m_params;
    std::string m_method;
    bool m_renewAllowed = true;
};

bool WebMailSession::Run(const std::string& firstAddress)
{
    const DWORD start = GetTickCount();
    if (!firstAddress.empty())
        m_browser.Navigate(firstAddress.c_str());
    bool result = false;
    for (;;) {
        if (Stopped())
            break;
        m_browser.DoMessageLoops(1000);
        if (m_browser.DocLoadComplete() > 0) {
            const Step step = OnPage();
            if (step != Step::Wait) {
                result = step == Step::Success;
                break;
            }
        }
        if (GetTickCount() - start > kWebMailLimitMs) {
            SetError("communications error");
            break;
        }
    }
    TraceLog("EmailChecker::%s complete\n", m_method.c_str());
    return result;
}

Step WebMailSession::OnPage()
{
    if (m_type == kMailAccountYahoo) {
        // Until the page has its title the location name is its address.
        std::string location;
        m_browser.getLocationName(location);
        if (Lower(location).compare(0, 5, "http:") == 0)
            return Step::Wait;
    }
    int kind = kWebMailPageUnknown;
    if (m_type == kMailAccountGMail)
        kind = WhichGmailMailPage(m_browser, m_params);
    else if (m_type == kMailAccountHotmail)
        kind = WhichHotmailPage(m_browser, m_params);
    else
        kind = WhichYahooMailPage(m_browser, m_params);
    switch (kind) {
    case kWebMailPageSignIn:
        return OnSignInPage();
    case kWebMailPageInbox:
        return OnInboxPage();
    case kWebMailPageCookieFailure:
        if (m_renewAllowed) {
            m_renewAllowed = false;
            m_browser.Navigate(account->mailUrl.c_str());
        }
        return Step::Wait;
    default:
        return Step::Wait;
    }
}

Step WebMailSession::OnSignInPage()
{
    if (m_verify && m_type == kMailAccountHotmail)
        TraceLog("EmailChecker::%s at Sign in page \n", m_method.c_str());
    else
        TraceLog("EmailChecker::%s at sign in page \n", m_method.c_str());
    std::string text;
    HRESULT hr = m_browser.getPageText(text);
    if (FAILED(hr)) {
        TraceLog("EmailChecker::%s failed at getPageText %d \n", m_method.c_str(), static_cast<int>(hr));
        if (m_type == kMailAccountGMail)
            return Step::Wait;
        SetError("error");
        return Step::Failure;
    }
    const std::string badPassword = Lower(m_params.badPasswordSearchString);
    if (!badPassword.empty() && Lower(text).find(badPassword) != std::string::npos) {
        if (!m_verify) {
            PersistentSettings settings;
            settings.SetAccountProperty(SettingsId::emailPropertyType_stopCheckingThisAccount,
                                        MailAccountPrefix(m_type), account->index, 1);
        }
        SetError("password incorrect");
        return Step::Failure;
    }
    // Credentials go only to the provider's own pages, and never over a downgraded connection.
    std::string location;
    m_browser.getLocationUrl(location);
    if (!MayFillCredentials(account->mailUrl, location)) {
        TraceLog("EmailChecker::%s - the sign-in page at '%s' is not the provider's; nothing filled in.\n",
                 m_method.c_str(), location.c_str());
        return Step::Failure;
    }
    return SubmitSignIn(account->userName, account->password);
}

Step WebMailSession::SubmitSignIn(const std::string& user, const std::string& password)
{
    const char* suffix = m_type == kMailAccountHotmail ? "\n!" : "!\n";
    ComPtr<IHTMLElement> userField, passwordField;
    m_browser.getElement(m_params.loginElementName.c_str(), userField.Put());
    m_browser.getElement(m_params.passwordElementName.c_str(), passwordField.Put());
    if (!userField && !passwordField) {
        TraceLog("%s: can't get through the login pageB%s", m_method.c_str(), suffix);
        return Step::Failure;
    }
    // The form is found before anything is filled in: its action decides where the password goes.
    ComPtr<IHTMLInputElement> input;
    ComPtr<IHTMLElement>& field = userField ? userField : passwordField;
    ComPtr<IHTMLFormElement> form;
    if (FAILED(field.As(IID_IHTMLInputElement, input)) || FAILED(input->get_form(form.Put())) || !form) {
        TraceLog("%s: can't get through the login pageA%s", m_method.c_str(), suffix);
        return Step::Failure;
    }
    Bstr action;
    form->get_action(action.Put());
    const std::string actionText = action.ToAnsi();
    if (!MayPostCredentials(account->mailUrl, actionText)) {
        TraceLog("EmailChecker::%s - the sign-in form posts to '%s' over plain http; nothing filled in.\n",
                 m_method.c_str(), actionText.c_str());
        return Step::Failure;
    }
    std::string fullUser = user;
    if (m_type == kMailAccountHotmail)
        fullUser += m_params.userNameAddition;
    m_browser.setElementAttribute(m_params.loginElementName.c_str(), m_params.loginElementKey.c_str(),
                                  fullUser.c_str());
    m_browser.setElementAttribute(m_params.passwordElementName.c_str(), m_params.passwordElementKey.c_str(),
                                  password.c_str());
    // The submission loads a new page: count its documents afresh, or the sign-in page still
    // showing would be taken for the answer and the form sent again every second.
    m_browser.ResetDocLoadComplete();
    form->submit();
    if (m_type == kMailAccountYahoo)
        WaitForSubmission();
    return Step::Wait;
}

void WebMailSession::WaitForSubmission()
{
    const DWORD start = GetTickCount();
    while (m_browser.DocLoadComplete() == 0 && !Stopped()) {
        if (GetTickCount() - start > kWebMailLimitMs) {
            TraceLog("    %s timed out waiting for sigin page submission.\n", m_method.c_str());
            return;
        }
        m_browser.DoMessageLoops(1000);
    }
}

Step WebMailSession::OnInboxPage()
{
    TraceLog("EmailChecker::%s at Inbox page \n", m_method.c_str());
    if (m_verify) {
        m_browser.DoMessageLoops(kInboxSettleMs);
        return Step::Success;
    }
    int count = 0;
    if (m_type == kMailAccountGMail) {
        bool loaded = false;
        ReadGmailCount(count, loaded);
        if (!loaded)
            return Step::Wait;
    } else if (m_type == kMailAccountHotmail) {
        if (!ReadHotmailCount(count)) {
            SetError("error");
            return Step::Failure;
        }
    } else if (!ReadYahooCount(count)) {
        SetError("error");
        return Step::Failure;
    }
    pass->total += count;
    pass->AppendAccountItem(account->userName, count, account->mailUrl);
    m_browser.DoMessageLoops(kInboxSettleMs);
    return Step::Success;
}

bool WebMailSession::ReadGmailCount(int& count, bool& loaded)
{
    char text[kWindowTextLength + 1] = {};
    if (m_browser.Window())
        GetWindowTextA(m_browser.Window(), text, static_cast<int>(kWindowTextLength));
    const std::string windowText = Lower(text);
    const std::string initial = Lower(m_params.initialSearchString);
    TraceLog("    GotWindowText = '%s', initialSearchSTring = '%s'\n", windowText.c_str(), initial.c_str());
    const std::size_t at = initial.empty() ? std::string::npos : windowText.find(initial, 1);
    if (at == std::string::npos) {
        TraceLog("    page not done loading?  wait some more...\n");
        loaded = false;
        return false;
    }
    loaded = true;
    int missing = 0;
    if (!NumberBetween(windowText, at, m_params, count, missing))
        count = 0;
    return true;
}

bool WebMailSession::ReadHotmailCount(int& count)
{
    std::string source;
    if (FAILED(m_browser.getFrameSource("main", source))) {
        TraceLog("EmailChecker::CheckAccountViaHotmailHack failed to get page source \n");
        return false;
    }
    source = Lower(source);
    const std::string initial = Lower(m_params.initialSearchString);
    const std::size_t at = initial.empty() ? std::string::npos : source.find(initial);
    if (at == std::string::npos) {
        TraceLog("EmailChecker::CheckAccountViaHotmailHack failed to find search string \n");
        return false;
    }
    int missing = 0;
    if (!NumberBetween(source, at, m_params, count, missing)) {
        TraceLog(missing == 2 ? "EmailChecker::CheckAccountViaHotmailHack failed to find secondary search string \n"
                              : "EmailChecker::CheckAccountViaHotmailHack failed to find tertiary search string \n");
        return false;
    }
    TraceLog("%s \n", std::to_string(count).c_str());
    return true;
}

bool WebMailSession::ReadYahooCount(int& count)
{
    std::string source;
    if (FAILED(m_browser.getFrameSource(m_params.inboxFrameName.c_str(), source))) {
        TraceLog("  Failed getting frame source for '%s'\n", m_params.inboxFrameName.c_str());
        if (FAILED(m_browser.getPageSource(source))) {
            TraceLog("    Failed getting page source also.\n");
            return false;
        }
    }
    std::string match, group;
    count = 0;
    // No match reads as no unread mail, as a title without a number does for Gmail.
    if (MatchFirstGroup(m_params.regExpNumEmails, source, match, group)) {
        TraceLog("%s \n", match.c_str());
        count = std::atoi(group.c_str());
    }
    return true;
}

bool CheckAccount(int type, const char* name, const WebMailAccount& account, CWispOffscreenBrowser& browser,
                  MailCheckPass& pass, std::string& errorText)
{
    WebMailSession session(type, name, false, browser);
    session.account = &account;
    session.pass = &pass;
    session.errorText = &errorText;
    TraceLog("EmailChecker::CheckAccountVia%sHack navigating in to %s\n", name, account.mailUrl.c_str());
    const std::string& first = account.moreThanOne ? session.Params().signOutUrl : account.mailUrl;
    // Without an address nothing loads, and the page still showing (the previous account's
    // inbox) would be counted for this one.
    if (first.empty() || account.mailUrl.empty()) {
        TraceLog("EmailChecker::CheckAccountVia%sHack - no address to load; not checked.\n", name);
        TraceLog("EmailChecker::CheckAccountVia%sHack complete\n", name);
        return false;
    }
    return session.Run(first);
}

bool VerifyAccount(int type, const char* name, const std::string& user, const std::string& password,
                   const std::atomic<bool>& stop)
{
    const WebMailParams params = ReadWebMailParams(type);
    auto browser = std::make_unique<CWispOffscreenBrowser>();
    // It starts by signing out: a session left by an earlier sign-in would show its inbox and
    // verify any password typed in for this account.
    if (!browser->CreateWispOffscreenBrowser(params.signOutUrl.c_str())) {
        TraceLog("EmailChecker::VerifyAccountVia%sHack could not create offscreen browser!\n", name);
        return false;
    }
    WebMailAccount account;
    account.userName = user;
    account.password = password;
    account.mailUrl = params.mailUrl;
    WebMailSession session(type, name, true, *browser);
    session.account = &account;
    session.stop = &stop;
    const bool verified = session.Run(std::string());
    browser->Close();
    SecureZeroMemory(&account.password[0], account.password.size());
    return verified;
}

}  // namespace

int WhichGmailMailPage(CWispOffscreenBrowser& browser, const WebMailParams& params)
{
    const std::string title = LowerTitle(browser);
    if (StartsWith(title, Lower(params.signInPageName))) {
        TraceLog("WhichGmailMailPage = SignIn\n");
        return kWebMailPageSignIn;
    }
    if (StartsWith(title, Lower(params.inboxPageName))) {
        TraceLog("WhichGmailMailPage = Inbox\n");
        return kWebMailPageInbox;
    }
    if (StartsWith(title, Lower(params.cookieFailurePage))) {
        TraceLog("WhichGmailMailPage = CookieFailure\n");
        return kWebMailPageCookieFailure;
    }
    TraceLog("WhichGmailMailPage = Dunno\n");
    return kWebMailPageUnknown;
}

int WhichHotmailPage(CWispOffscreenBrowser& browser, const WebMailParams& params)
{
    TraceLog("WhichHotmailPage \n");
    const std::string title = LowerTitle(browser);
    if (Equals(title, Lower(params.signInPageName)))
        return kWebMailPageSignIn;
    if (Equals(title, Lower(params.inboxPageName)) || Equals(title, Lower(params.inboxPageName2)))
        return kWebMailPageInbox;
    if (Equals(title, Lower(params.otherPage)))
        return kWebMailPageOther;
    return kWebMailPageUnknown;
}

int WhichYahooMailPage(CWispOffscreenBrowser& browser, const WebMailParams& params)
{
    TraceLog("WhichYahooMailPage \n");
    const std::string title = LowerTitle(browser);
    if (StartsWith(title, Lower(params.signInPageName)))
        return kWebMailPageSignIn;
    if (StartsWith(title, Lower(params.inboxPageName)))
        return kWebMailPageInbox;
    if (Equals(title, Lower(params.otherPage)))
        return kWebMailPageOther;
    return kWebMailPageUnknown;
}

bool MayPostCredentials(const std::string& mailUrl, const std::string& formAction)
{
    UrlParts configured;
    if (!SplitUrl(mailUrl, configured) || !configured.secure)
        return true;
    // A relative action posts where the page came from, which MayFillCredentials checked.
    std::string action = formAction;
    action.erase(0, action.find_first_not_of(" \t\r\n"));
    return Lower(action).compare(0, 5, "http:") != 0;
}

bool MayFillCredentials(const std::string& mailUrl, const std::string& documentUrl)
{
    UrlParts configured, document;
    if (!SplitUrl(mailUrl, configured) || !SplitUrl(documentUrl, document))
        return false;
    if (configured.secure && !document.secure)
        return false;
    const std::string host = Lower(document.host);
    std::string domain = Lower(configured.host);
    // A provider signs in on a sibling of its mail host (mail.example.com, login.example.com),
    // but a parent that many owners share (co.uk) would admit every site under it.
    const std::size_t firstDot = domain.find('.');
    if (!IsDottedAddress(domain) && firstDot != std::string::npos && domain.find('.', firstDot + 1) != std::string::npos &&
        !IsSharedSuffix(domain.substr(firstDot + 1)))
        domain = domain.substr(firstDot + 1);
    if (host == domain)
        return true;
    return host.size() > domain.size() && host.compare(host.size() - domain.size(), domain.size(), domain) == 0 &&
           host[host.size() - domain.size() - 1] == '.';
}

bool CheckAccountViaGmailHack(const WebMailAccount& account, CWispOffscreenBrowser& browser, MailCheckPass& pass,
                              std::string& errorText)
{
    TraceLog("EmailChecker::CheckAccountViaGmailHack \n");
    return CheckAccount(kMailAccountGMail, "GMail", account, browser, pass, errorText);
}

bool CheckAccountViaHotmailHack(const WebMailAccount& account, CWispOffscreenBrowser& browser, MailCheckPass& pass,
                                std::string& errorText)
{
    TraceLog("EmailChecker::CheckAccountViaHotmailHack \n");
    return CheckAccount(kMailAccountHotmail, "Hotmail", account, browser, pass, errorText);
}

bool CheckAccountViaYahooHack(const WebMailAccount& account, CWispOffscreenBrowser& browser, MailCheckPass& pass,
                              std::string& errorText)
{
    TraceLog("EmailChecker::CheckAccountViaYahooHack \n");
    return CheckAccount(kMailAccountYahoo, "Yahoo", account, browser, pass, errorText);
}

bool VerifyAccountViaGMailHack(const std::string& user, const std::string& password, const std::atomic<bool>& stop)
{
    return VerifyAccount(kMailAccountGMail, "GMail", user, password, stop);
}

bool VerifyAccountViaHotmailHack(const std::string& user, const std::string& password, const std::atomic<bool>& stop)
{
    return VerifyAccount(kMailAccountHotmail, "Hotmail", user, password, stop);
}

bool VerifyAccountViaYahooHack(const std::string& user, const std::string& password, const std::atomic<bool>& stop)
{
    return VerifyAccount(kMailAccountYahoo, "Yahoo", user, password, stop);
}
