#include "Wisp/mail/MailAccounts.h"

#include "common/SettingsIds.h"

#include <cctype>
#include <cstdlib>

const char kAolImapHost[] = "imap.aol.com";
const char kAolMailDomainSuffix[] = "@aol.com";

namespace {

struct AccountKind {
    int type;
    const char* name;
    const char* prefix;
    const char* params;
};

const AccountKind kKinds[] = {
    {kMailAccountAOL, "aol", SettingsId::accountType_AOL, SettingsId::wm_aol_params},
    {kMailAccountGMail, "gmail", SettingsId::accountType_GMail, SettingsId::wm_gmail_params},
    {kMailAccountHotmail, "hotmail", SettingsId::accountType_Hotmail, SettingsId::wm_hotmail_params},
    {kMailAccountYahoo, "yahoo", SettingsId::accountType_Yahoo, SettingsId::wm_yahoo_params},
};

const AccountKind* KindOf(int type)
{
    for (const auto& kind : kKinds)
        if (kind.type == type)
            return &kind;
    return nullptr;
}

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

const char* MailAccountPrefix(int type)
{
    const AccountKind* kind = KindOf(type);
    return kind ? kind->prefix : nullptr;
}

const char* MailParamsPrefix(int type)
{
    const AccountKind* kind = KindOf(type);
    return kind ? kind->params : nullptr;
}

int MailAccountTypeFromText(const std::string& text)
{
    const std::string lower = Lower(text);
    for (const auto& kind : kKinds)
        if (lower == kind.name || lower == Lower(kind.prefix))
            return kind.type;
    if (lower.size() == 1 && lower[0] >= '0' && lower[0] <= '3')
        return lower[0] - '0';
    return kMailAccountUnknown;
}

std::string CutMailDomainSuffix(const std::string& user, const char* suffix)
{
    const std::string tail = Lower(suffix ? suffix : "");
    const std::size_t at = tail.empty() ? std::string::npos : Lower(user).find(tail);
    return at != std::string::npos && at > 0 ? user.substr(0, at) : user;
}
