// The four kinds of e-mail account and what the settings call them. Gmail, Hotmail and Yahoo
// accounts are checked through the provider's web pages, AOL accounts over IMAP.
#pragma once

#include <string>

enum MailAccountType {
    kMailAccountAOL = 0,
    kMailAccountGMail = 1,
    kMailAccountHotmail = 2,
    kMailAccountYahoo = 3,
    kMailAccountUnknown = -1,
};

// "accountType.AOL." and the others; null for an unknown type.
const char* MailAccountPrefix(int type);
// The web-mail parameter prefix ("wm_aol_params." ...); null for an unknown type.
const char* MailParamsPrefix(int type);
// A type named by page script: "AOL", "GMail", "Hotmail" or "Yahoo" in any case, also written
// as its settings prefix ("accountType.Yahoo."), or the type's number as text. Anything else
// is kMailAccountUnknown.
int MailAccountTypeFromText(const std::string& text);

// The AOL account's defaults: IMAP host and the mail-domain suffix cut off user names.
extern const char kAolImapHost[];
extern const char kAolMailDomainSuffix[];
const unsigned short kImapPort = 143;
// The user name cut before the provider's suffix ("@aol.com"), when it holds it and the cut
// leaves something.
std::string CutMailDomainSuffix(const std::string& user, const char* suffix);
