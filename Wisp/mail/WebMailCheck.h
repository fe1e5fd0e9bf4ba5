// Gmail, Hotmail and Yahoo accounts, checked by operating the provider's own pages in the
// offscreen browser: load the mail address, recognise each page by its title, fill in and
// submit the sign-in form, and read the unread count off the inbox. The same loop verifies a
// newly entered account (sign-in only).
#pragma once

#include <atomic>
#include <string>

#include "Wisp/mail/WebMailParams.h"

class CWispOffscreenBrowser;
struct MailCheckPass;

// Page kinds the recognisers answer.
enum WebMailPageKind {
    kWebMailPageUnknown = 0,
    kWebMailPageSignIn = 1,
    kWebMailPageInbox = 2,
    kWebMailPageCookieFailure = 3,
    kWebMailPageOther = 5,
};

// The kind of the browser's page, by its location name (the title), in lower case.
int WhichGmailMailPage(CWispOffscreenBrowser& browser, const WebMailParams& params);
int WhichHotmailPage(CWispOffscreenBrowser& browser, const WebMailParams& params);
int WhichYahooMailPage(CWispOffscreenBrowser& browser, const WebMailParams& params);

// One check of an account in the pass's browser. True when the inbox was read: its count is
// added to the pass's total and its menu item appended. On failure errorText may be set.
struct WebMailAccount {
    int index = 0;
    std::string userName;
    std::string password;
    std::string mailUrl;
    bool moreThanOne = false;   // sign the previous account of the type out first
};
bool CheckAccountViaGmailHack(const WebMailAccount& account, CWispOffscreenBrowser& browser, MailCheckPass& pass,
                              std::string& errorText);
bool CheckAccountViaHotmailHack(const WebMailAccount& account, CWispOffscreenBrowser& browser, MailCheckPass& pass,
                                std::string& errorText);
bool CheckAccountViaYahooHack(const WebMailAccount& account, CWispOffscreenBrowser& browser, MailCheckPass& pass,
                              std::string& errorText);

// Sign-in alone, in a browser of its own; a set stop flag ends it with failure.
bool VerifyAccountViaGMailHack(const std::string& user, const std::string& password, const std::atomic<bool>& stop);
bool VerifyAccountViaHotmailHack(const std::string& user, const std::string& password, const std::atomic<bool>& stop);
bool VerifyAccountViaYahooHack(const std::string& user, const std::string& password, const std::atomic<bool>& stop);

// Whether credentials may be typed into a page at documentUrl for a provider whose mail
// address is mailUrl: the page's host is the mail address's host, or its domain (never a shared
// suffix such as co.uk), or under it, and the page is not plain http when the mail address is
// https.
bool MayFillCredentials(const std::string& mailUrl, const std::string& documentUrl);
// Whether a sign-in form with this action may carry the credentials: not over plain http when
// the mail address is https.
bool MayPostCredentials(const std::string& mailUrl, const std::string& formAction);

// The time a check or verification may take to reach the inbox, from its first navigation.
const unsigned long kWebMailLimitMs = 30000;
