// The provider-specific parameters of the web-mail checks: each a string setting named the
// provider's prefix ("wm_gmail_params.") + the parameter name, with a built-in default when the
// setting is absent, so that page script can adapt the checks when a provider changes its pages.
#pragma once

#include <string>

struct WebMailParams {
    std::string mailUrl;
    std::string signInPageName;
    std::string inboxPageName;
    std::string inboxPageName2;
    std::string cookieFailurePage;
    std::string otherPage;
    std::string inboxFrameName;
    std::string initialSearchString;
    std::string secondarySearchString;
    std::string tertiarySearchString;
    std::string regExpNumEmails;
    std::string loginElementName;
    std::string loginElementKey;
    std::string passwordElementName;
    std::string passwordElementKey;
    std::string signOutUrl;
    std::string badPasswordSearchString;
    std::string userNameAddition;
};

// The parameters of a web-mail account type (kMailAccountGMail, ...Hotmail, ...Yahoo), read
// with one settings object. Unknown types get empty parameters.
WebMailParams ReadWebMailParams(int accountType);
// The built-in defaults alone.
WebMailParams DefaultWebMailParams(int accountType);

// The provider's mail address: its "wm_mailUrl" setting, else the built-in one (AOL included).
std::string ProviderMailUrl(int accountType);
