#include "Wisp/web/RSSRegistrarIE.h"

#include <cstdio>
#include <cstring>

#include "common/PersistentSettings.h"
#include "common/QDRegKey.h"
#include "common/SettingsIds.h"
#include "common/TraceLog.h"
#include "common/com/Handle.h"

const char RSSRegistrarIE::kFeedKey[] = "feed";
const char RSSRegistrarIE::kIconKey[] = "feed\\DefaultIcon";
const char RSSRegistrarIE::kCommandKey[] = "feed\\shell\\open\\command";
const char RSSRegistrarIE::kHandlerKey[] = "PROTOCOLS\\Handler\\feed";
const char RSSRegistrarIE::kHandlerBackupKey[] = "PROTOCOLS_QDBackup\\Handler\\feed";
const char RSSRegistrarIE::kOldHandlerBackupKey[] = "PROTOCOLS\\Handler\\feed_QDBackup";
const char RSSRegistrarIE::kMimeKey[] = "MIME\\Database\\Content Type\\application/rss+xml";
const char RSSRegistrarIE::kExtensionKey[] = ".rss";
const char RSSRegistrarIE::kFileTypeKey[] = "rssfile";
const char RSSRegistrarIE::kFilterKey[] = "PROTOCOLS\\Filter\\application/rss+xml";
const char RSSRegistrarIE::kHostExecutable[] = "TidewireDesktop.exe";

namespace {

const char kUrlProtocolValue[] = "URL Protocol";
const char kClsidValue[] = "CLSID";
// The longest command the registrar's 260-byte items hold.
const std::size_t kMaxCommandLength = 259;

struct BackedUpValue {
    const char* key;
    const char* value;
};

// The protocol's own values, in the order they are moved aside.
const BackedUpValue kBackedUp[] = {
    {RSSRegistrarIE::kFeedKey, ""},
    {RSSRegistrarIE::kFeedKey, kUrlProtocolValue},
    {RSSRegistrarIE::kIconKey, ""},
    {RSSRegistrarIE::kCommandKey, ""},
};

bool IsNullGuid(const GUID& guid)
{
    return IsEqualGUID(guid, GUID_NULL) != 0;
}

std::string BackupName(const char* value)
{
    return std::string(value) + QDRegKey::kBackupSuffix;
}

bool KeyExists(const char* subKey)
{
    UniqueHKey key;
    return RegOpenKeyExA(HKEY_CLASSES_ROOT, subKey, 0, KEY_READ, key.Put()) == ERROR_SUCCESS;
}

bool DeleteValue(const char* subKey, const char* value)
{
    UniqueHKey key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, subKey, 0, KEY_SET_VALUE, key.Put()) != ERROR_SUCCESS)
        return false;
    LONG error = RegDeleteValueA(key.Get(), value);
    return error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND;
}

bool DeleteTree(const char* subKey)
{
    LONG error = RegDeleteTreeA(HKEY_CLASSES_ROOT, subKey);
    if (error == ERROR_SUCCESS)
        error = RegDeleteKeyA(HKEY_CLASSES_ROOT, subKey);
    return error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND;
}

// The whole key, values and sub-keys, into `to` (created). A partial copy is removed again.
bool CopyKey(const char* from, const char* to)
{
    UniqueHKey source, target;
    LONG error = RegOpenKeyExA(HKEY_CLASSES_ROOT, from, 0, KEY_READ, source.Put());
    if (error == ERROR_SUCCESS)
        error = RegCreateKeyExA(HKEY_CLASSES_ROOT, to, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, target.Put(), nullptr);
    if (error == ERROR_SUCCESS)
        error = RegCopyTreeA(source.Get(), nullptr, target.Get());
    if (error == ERROR_SUCCESS)
        return true;
    TraceLog("RSSRegistrarIE::CopyKey - copying '%s' to '%s' failed, Error %d\n", from, to, static_cast<int>(error));
    target.Reset();
    DeleteTree(to);
    return false;
}

// A value that did not exist before the first takeover is backed up as this empty REG_NONE
// value, so that a later takeover does not take another reader's value for the original.
bool MarkAbsent(const char* subKey, const char* value)
{
    UniqueHKey key;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, subKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Put(), nullptr) !=
        ERROR_SUCCESS)
        return false;
    return RegSetValueExA(key.Get(), BackupName(value).c_str(), 0, REG_NONE, nullptr, 0) == ERROR_SUCCESS;
}

bool IsAbsentMark(const char* subKey, const char* value)
{
    DWORD type = REG_SZ, size = 0;
    return RegGetValueA(HKEY_CLASSES_ROOT, subKey, BackupName(value).c_str(), RRF_RT_ANY, &type, nullptr, &size) ==
               ERROR_SUCCESS &&
           type == REG_NONE && size == 0;
}

}  // namespace

RSSRegistrarIE::RSSRegistrarIE()
{
    Clear();
}

void RSSRegistrarIE::Clear()
{
    for (char* text : {m_strOpenCommand, m_strIcon, m_strUrlProtocol, m_strProtocolDescription,
                       m_strHandlerDescription, m_strMimeExtension, m_strExtensionClass,
                       m_strFileTypeDescription, m_strFileTypeCommand})
        std::memset(text, 0, kTextSize);
    m_guidHandler = GUID_NULL;
    m_guidFilter = GUID_NULL;
}

unsigned RSSRegistrarIE::Load()
{
    Clear();
    char fileTypeCommandKey[kTextSize];
    std::snprintf(fileTypeCommandKey, sizeof fileTypeCommandKey, "%s\\shell\\open\\command", kFileTypeKey);
    struct TextItem {
        unsigned bit;
        const char* key;
        const char* value;
        char* buffer;
    };
    const TextItem texts[] = {
        {kOpenCommand, kCommandKey, "", m_strOpenCommand},
        {kIcon, kIconKey, "", m_strIcon},
        {kUrlProtocol, kFeedKey, kUrlProtocolValue, m_strUrlProtocol},
        {kProtocolDescription, kFeedKey, "", m_strProtocolDescription},
        {kHandlerDescription, kHandlerKey, "", m_strHandlerDescription},
        {kMimeExtension, kMimeKey, "Extension", m_strMimeExtension},
        {kExtensionClass, kExtensionKey, "", m_strExtensionClass},
        {kFileTypeDescription, kFileTypeKey, "", m_strFileTypeDescription},
        {kFileTypeCommand, fileTypeCommandKey, "", m_strFileTypeCommand},
    };
    unsigned failed = 0;
    for (const TextItem& item : texts)
        if (!QDRegKey::GetString(HKEY_CLASSES_ROOT, item.key, item.value, item.buffer, kTextSize))
            failed |= item.bit;
    if (!QDRegKey::GetCLSID(HKEY_CLASSES_ROOT, kHandlerKey, kClsidValue, &m_guidHandler)) {
        m_guidHandler = GUID_NULL;
        failed |= kHandlerClass;
    }
    if (!QDRegKey::GetCLSID(HKEY_CLASSES_ROOT, kFilterKey, kClsidValue, &m_guidFilter)) {
        m_guidFilter = GUID_NULL;
        failed |= kFilterClass;
    }
    return failed;
}

unsigned RSSRegistrarIE::Save()
{
    struct TextItem {
        unsigned bit;
        const char* key;
        const char* value;
        const char* text;
    };
    const TextItem texts[] = {
        {kProtocolDescription, kFeedKey, "", m_strProtocolDescription},
        {kUrlProtocol, kFeedKey, kUrlProtocolValue, m_strUrlProtocol},
        {kIcon, kIconKey, "", m_strIcon},
        {kOpenCommand, kCommandKey, "", m_strOpenCommand},
        {kHandlerDescription, kHandlerKey, "", m_strHandlerDescription},
    };
    unsigned failed = 0;
    for (const TextItem& item : texts)
        if (!QDRegKey::SetString(HKEY_CLASSES_ROOT, item.key, item.value, item.text))
            failed |= item.bit;
    if (!IsNullGuid(m_guidHandler)) {
        if (!QDRegKey::SetCLSID(HKEY_CLASSES_ROOT, kHandlerKey, kClsidValue, m_guidHandler))
            failed |= kHandlerClass;
    } else if (!DeleteTree(kHandlerKey)) {
        failed |= kHandlerClass;
    }
    return failed;
}

bool RSSRegistrarIE::IsMarigoldOwnerOfRSSFeedProtocol()
{
    unsigned failed = Load();
    if (failed)
        TraceLog("RSSRegistrarIE::IsMarigoldOwnerOfRSSFeedProtocol - Failed loading all of the registry keys.  Error %d\n",
                 static_cast<int>(failed));
    // A registered protocol handler (the browser's own feed handler, say) takes feed addresses
    // before any command does.
    if (!IsNullGuid(m_guidHandler))
        return false;
    return std::strstr(m_strOpenCommand, kHostExecutable) && std::strstr(m_strIcon, kHostExecutable);
}

bool RSSRegistrarIE::Backup()
{
    // Backing up this product's own values would make them the "previous" reader.
    if (IsMarigoldOwnerOfRSSFeedProtocol())
        return true;
    // Taking the protocol deletes the handler key, which would lose another handler's
    // registration for good: the whole key is copied first (the first copy only), where no
    // handler or filter is looked up, and nothing is moved aside when that fails.
    if (KeyExists(kHandlerKey) && !KeyExists(kHandlerBackupKey) && !KeyExists(kOldHandlerBackupKey) &&
        !CopyKey(kHandlerKey, kHandlerBackupKey)) {
        TraceLog("RSSRegistrarIE::Backup - failed backing up the protocol handler; nothing taken over.\n");
        return false;
    }
    for (const BackedUpValue& item : kBackedUp) {
        if (QDRegKey::IsValueBackedUp(HKEY_CLASSES_ROOT, item.key, item.value))
            continue;
        if (!QDRegKey::ValueExists(HKEY_CLASSES_ROOT, item.key, item.value))
            MarkAbsent(item.key, item.value);
        else
            QDRegKey::BackupValue(HKEY_CLASSES_ROOT, item.key, item.value);
    }
    return true;
}

bool RSSRegistrarIE::MakeMarigoldTheDefaultRSSReader()
{
    std::string directory;
    {
        PersistentSettings settings;
        settings.GetProperty(SettingsId::application_directory, directory);
    }
    const std::string program = directory + "\\" + kHostExecutable;
    const std::string icon = program + ",0";
    const std::string command = "\"" + program + "\" -Feed \"%1\"";
    // Without the folder the command names no program, and a cut one names the wrong one.
    if (directory.empty() || command.size() > kMaxCommandLength) {
        TraceLog("RSSRegistrarIE::MakeMarigoldTheDefaultRSSReader - application_directory '%s' is unknown or too long.\n",
                 directory.c_str());
        return false;
    }
    if (!Backup())
        return false;

    RSSRegistrarIE values;
    auto put = [](char* buffer, const std::string& text) {
        std::snprintf(buffer, kTextSize, "%s", text.c_str());
    };
    put(values.m_strProtocolDescription, "URL:feed protocol");
    put(values.m_strUrlProtocol, "");
    put(values.m_strIcon, icon);
    put(values.m_strOpenCommand, command);
    put(values.m_strHandlerDescription, "");
    values.m_guidHandler = GUID_NULL;
    put(values.m_strMimeExtension, ".rss");
    put(values.m_strExtensionClass, "rssfile");
    put(values.m_strFileTypeDescription, "RSS feed");
    put(values.m_strFileTypeCommand, command);

    unsigned failed = values.Save();
    if (failed) {
        TraceLog("RSSRegistrarIE::MakeMarigoldTheDefaultRSSReader - failed saving.  0x%X\n", failed);
        return false;
    }
    return true;
}

bool RSSRegistrarIE::RestoreBackup()
{
    if (!IsMarigoldOwnerOfRSSFeedProtocol()) {
        TraceLog("RSSRegistrarIE::RestoreBackup - the feed protocol is not this product's.\n");
        return false;
    }
    bool restored = true;
    for (const BackedUpValue& item : kBackedUp) {
        // A value without a backup, or marked absent, was not there before the first takeover.
        const bool absent = IsAbsentMark(item.key, item.value);
        const bool backedUp = !absent && QDRegKey::IsValueBackedUp(HKEY_CLASSES_ROOT, item.key, item.value);
        if (!DeleteValue(item.key, item.value) || (absent && !DeleteValue(item.key, BackupName(item.value).c_str())) ||
            (backedUp && !QDRegKey::RenameValue(HKEY_CLASSES_ROOT, item.key, BackupName(item.value).c_str(),
                                                item.value))) {
            TraceLog("RSSRegistrarIE::RestoreBackup - failed restoring '%s' '%s'.\n", item.key, item.value);
            restored = false;
        }
    }
    // Backups taken before they moved out of the handlers' key are restored from where they are.
    for (const char* backup : {kHandlerBackupKey, kOldHandlerBackupKey}) {
        if (!KeyExists(backup))
            continue;
        if (!CopyKey(backup, kHandlerKey) || !DeleteTree(backup)) {
            TraceLog("RSSRegistrarIE::RestoreBackup - failed restoring the protocol handler.\n");
            restored = false;
        }
    }
    return restored;
}

std::string RSSRegistrarIE::GetRegisteredCommand()
{
    Load();
    return m_strOpenCommand;
}
