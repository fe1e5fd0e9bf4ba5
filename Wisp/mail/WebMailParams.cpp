#include "Wisp/mail/WebMailParams.h"

#include "common/PersistentSettings.h"
#include "common/SettingsIds.h"
#include "Wisp/mail/MailAccounts.h"

namespace {

using Field = std::string WebMailParams::*;

// Defaults for Gmail, Hotmail and Yahoo, in that order.
struct Param {
    const char* name;
    Field field;
    const char* defaults[3];
};

const Param kParams[] = {
    {SettingsId::wm_mailUrl, &WebMailParams::mailUrl,
     {"https://mail.google.com/mail/", "https://www.hotmail.com/", "https://mail.yahoo.com/"}},
    {SettingsId::wm_signInPageName, &WebMailParams::signInPageName,
     {"welcome to gmail", "sign in", "yahoo! mail - the best web-based email!"}},
    {SettingsId::wm_inboxPageName, &WebMailParams::inboxPageName, {"gmail", "msn hotmail - today", "yahoo! mail"}},
    {SettingsId::wm_inboxPageName2, &WebMailParams::inboxPageName2, {"", "mail", ""}},
    {SettingsId::wm_cookieFailurePage, &WebMailParams::cookieFailurePage, {"google accounts", "", ""}},
    {SettingsId::wm_otherPage, &WebMailParams::otherPage, {"", "hotmail.com", "yahoo!"}},
    {SettingsId::wm_inboxFrameName, &WebMailParams::inboxFrameName, {"", "", "ymailmain"}},
    {SettingsId::wm_initialSearchString, &WebMailParams::initialSearchString, {"inbox", "inbox (", ""}},
    {SettingsId::wm_secondarySearchString, &WebMailParams::secondarySearchString, {"(", "(", ""}},
    {SettingsId::wm_tertiarySearchString, &WebMailParams::tertiarySearchString, {")", ")", ""}},
    {SettingsId::wm_regExpNumEmails, &WebMailParams::regExpNumEmails, {"", "", "<B>(\\d*) unread"}},
    {SettingsId::wm_loginElementName, &WebMailParams::loginElementName, {"email", "login", "login"}},
    {SettingsId::wm_loginElementKey, &WebMailParams::loginElementKey, {"value", "value", "value"}},
    {SettingsId::wm_passwordElementName, &WebMailParams::passwordElementName, {"passwd", "passwd", "passwd"}},
    {SettingsId::wm_passwordElementKey, &WebMailParams::passwordElementKey, {"value", "value", "value"}},
    {SettingsId::wm_signOutUrl, &WebMailParams::signOutUrl,
     {"https://mail.google.com/gmail?logout", "https://www.hotmail.com/cgi-bin/logout",
      "https://login.yahoo.com/config/login?logout=1"}},
    {SettingsId::wm_badPasswordSearchString, &WebMailParams::badPasswordSearchString,
     {"username and password do not match", "password is incorrect", "invalid id or password"}},
    {SettingsId::wm_userNameAddition, &WebMailParams::userNameAddition, {"", "@hotmail.com", ""}},
};

const char kAolMailUrl[] = "https://mail.aol.com/";

int ColumnOf(int accountType)
{
    switch (accountType) {
    case kMailAccountGMail:
        return 0;
    case kMailAccountHotmail:
        return 1;
    case kMailAccountYahoo:
        return 2;
    default:
        return -1;
    }
}

}  // namespace

WebMailParams DefaultWebMailParams(int accountType)
{
    WebMailParams params;
    const int column = ColumnOf(accountType);
    if (column < 0)
        return params;
    for (const auto& param : kParams)
        params.*param.field = param.defaults[column];
    return params;
}

WebMailParams ReadWebMailParams(int accountType)
{
    WebMailParams params = DefaultWebMailParams(accountType);
    const char* prefix = MailParamsPrefix(accountType);
    if (ColumnOf(accountType) < 0 || !prefix)
        return params;
    PersistentSettings settings;
    for (const auto& param : kParams) {
        std::string value;
        if (settings.GetProperty((std::string(prefix) + param.name).c_str(), value))
            params.*param.field = value;
    }
    return params;
}

std::string ProviderMailUrl(int accountType)
{
    const char* prefix = MailParamsPrefix(accountType);
    std::string url = accountType == kMailAccountAOL ? kAolMailUrl : DefaultWebMailParams(accountType).mailUrl;
    if (prefix) {
        PersistentSettings settings;
        settings.GetProperty((std::string(prefix) + SettingsId::wm_mailUrl).c_str(), url);
    }
    return url;
}
