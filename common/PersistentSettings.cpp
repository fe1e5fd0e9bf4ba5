#include "common/PersistentSettings.h"

#include "common/HostMessages.h"
#include "common/QDUtilities.h"
#include "common/SettingsIds.h"
#include "common/TraceLog.h"

#include <io.h>
#include <share.h>

#include <climits>
#include <cstring>
#include <cstdio>
#include <memory>

namespace {

const DWORD kMutexTimeoutMs = 10000;
const char kAutoStartValue[] = HOST_EXECUTABLE;

bool AutoStartEntryExists()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, QDUtilities::kRunKey, 0, KEY_ALL_ACCESS, &key) !=
        ERROR_SUCCESS)
        return false;
    const bool exists =
        RegQueryValueExA(key, kAutoStartValue, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    RegCloseKey(key);
    return exists;
}

struct FileCloser {
    void operator()(FILE* file) const
    {
        if (file)
            fclose(file);
    }
};

}  // namespace

PersistentSettings::PersistentSettings()
{
    m_hSingleInstanceMutex = CreateMutexA(nullptr, FALSE, SETTINGS_MUTEX);
    if (!m_hSingleInstanceMutex) {
        TraceLog("PersistentSettings::PersistentSettings m_hSingleInstanceMutex failed to be created \r");
        return;
    }
    // A mutex abandoned by a killed process is ours now; the file it was saving is whole,
    // since a save only ever replaces it by a complete new file.
    const DWORD wait = WaitForSingleObject(m_hSingleInstanceMutex, kMutexTimeoutMs);
    if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED)
        m_bOwnsMutex = true;
    else if (wait == WAIT_TIMEOUT)
        TraceLog("PersistentSettings::PersistentSettings - WaitForSingleObject timed out.\n");
    else
        TraceLog("PersistentSettings::PersistentSettings - WaitForSingleObject failed. Error %d\n",
                 static_cast<int>(GetLastError()));
    Load();
}

PersistentSettings::~PersistentSettings()
{
    if (!m_hSingleInstanceMutex) {
        TraceLog("PersistentSettings::~PersistentSettings m_hSingleInstanceMutex is NULL and was never created! \r");
    } else {
        if (m_bOwnsMutex)
            ReleaseMutex(m_hSingleInstanceMutex);
        // Other holders keep the named mutex alive; this handle is only ours.
        CloseHandle(m_hSingleInstanceMutex);
        m_hSingleInstanceMutex = nullptr;
    }
    m_document.ints.clear();
    m_document.strings.clear();
}

bool PersistentSettings::BuildPath()
{
    return QDUtilities::GetSettingsFilePath(m_strPath);
}

bool PersistentSettings::Load()
{
    if (!IsUsable() || !BuildPath())
        return false;
    std::size_t size = 0;
    std::unique_ptr<char[]> buffer = QDUtilities::ReadFileIntoBuffer(m_strPath.c_str(), &size);
    if (!buffer) {
        TraceLog("PersistentSettings::Load failed, no xml buffer \n");
        // A file that is there but could not be read now (held by another program, a read
        // error) must not be replaced by the few entries this object was given.
        const DWORD attributes = GetFileAttributesA(m_strPath.c_str());
        const DWORD error = GetLastError();
        if (attributes != INVALID_FILE_ATTRIBUTES ||
            (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND))
            MarkNotReadWhole("it could not be read");
        return false;
    }
    // The getters load the file the constructor has just loaded: the same bytes over maps
    // nobody changed since would give the maps they hold, so the parse is left out.
    if (m_bParsedUnchanged && size == m_lastParsed.size() && std::memcmp(buffer.get(), m_lastParsed.data(), size) == 0)
        return true;
    m_lastParsed.assign(buffer.get(), size);   // before the parse, which cuts the text up
    m_bParsedUnchanged = true;
    // A save rewrites the file from what was read: after a partial reading it would drop
    // every entry the reader did not reach, so such a file is never rewritten.
    if (!settings_document::IsPlainText(buffer.get(), size))
        MarkNotReadWhole("it holds a zero byte or a byte-order mark");
    if (!settings_document::Parse(buffer.get(), m_document))
        MarkNotReadWhole("the reading stopped at a malformed tag");
    return true;
}

void PersistentSettings::MarkNotReadWhole(const char* why)
{
    if (!m_bNotReadWhole)
        TraceLog("PersistentSettings::Load - '%s' was not read whole (%s); it will not be rewritten.\n",
                 m_strPath.c_str(), why);
    m_bNotReadWhole = true;
}

bool PersistentSettings::WriteTo(const std::string& path) const
{
    // Denying other writers keeps a second saver (one whose mutex wait timed out) from
    // interleaving its lines with ours.
    std::unique_ptr<FILE, FileCloser> file(_fsopen(path.c_str(), "wt", _SH_DENYWR));
    if (!file)
        return false;
    FILE* out = file.get();
    std::vector<settings_document::LeftOut> leftOut;
    const std::string text = settings_document::Write(m_document, m_bEncryptStrings, &leftOut);
    for (const settings_document::LeftOut& entry : leftOut) {
        if (entry.isInt)
            TraceLog("PersistentSettings::Save - left out int '%s': its ID cannot be kept.\n", entry.id.c_str());
        else
            TraceLog("PersistentSettings::Save - left out string '%s': it cannot be kept.\n", entry.id.c_str());
    }
    fwrite(text.data(), 1, text.size(), out);
    // On the disk before it replaces the old file, so that a crash cannot leave an empty one.
    const bool written = fflush(out) == 0 && _commit(_fileno(out)) == 0 && !ferror(out);
    return fclose(file.release()) == 0 && written;
}

bool PersistentSettings::Save()
{
    if (!IsUsable())
        return false;
    if (m_bNotReadWhole) {
        TraceLog("PersistentSettings::Save - '%s' was not read whole; it is left as it is.\n", m_strPath.c_str());
        return false;
    }
    if (!QDUtilities::EnsureSaveFileDirectoryExists() || !BuildPath())
        return false;

    // Each saver has its own temporary file: after a mutex time-out two savers would otherwise
    // write, and one's clean-up delete, the same file.
    const std::string temporary = TemporaryPath(m_strPath);
    if (!WriteTo(temporary)) {
        TraceLog("PersistentSettings::Save - failed writing '%s'. Error %d\n", temporary.c_str(),
                 static_cast<int>(GetLastError()));
        DeleteFileA(temporary.c_str());
        return false;
    }
    if (!MoveFileExA(temporary.c_str(), m_strPath.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        TraceLog("PersistentSettings::Save - failed replacing '%s'. Error %d\n", m_strPath.c_str(),
                 static_cast<int>(GetLastError()));
        DeleteFileA(temporary.c_str());
        return false;
    }
    return true;
}

std::string PersistentSettings::TemporaryPath(const std::string& path)
{
    return path + "." + std::to_string(GetCurrentProcessId()) + "." + std::to_string(GetCurrentThreadId()) +
           ".tmp";
}

bool PersistentSettings::GetProperty(const char* id, std::string& out)
{
    if (!id) {
        TraceLog("PersistentSettings::GetProperty (string) - id is NULL.\n");
        return false;
    }
    if (!Load()) {
        TraceLog("PersistentSettings::GetProperty (string) failed! \n");
        return false;
    }
    auto found = m_document.strings.find(id);
    if (found == m_document.strings.end())
        return false;
    out = found->second;
    return true;
}

bool PersistentSettings::GetProperty(const char* id, int& out)
{
    if (!id) {
        TraceLog("PersistentSettings::GetProperty (int) - id is NULL.\n");
        return false;
    }
    if (std::strcmp(id, SettingsId::auto_start_marigold) == 0) {
        out = AutoStartEntryExists() ? 1 : 0;
        return true;
    }
    if (!Load()) {
        TraceLog("PersistentSettings::GetProperty (int) failed! \n");
        return false;
    }
    auto found = m_document.ints.find(id);
    if (found == m_document.ints.end())
        return false;
    out = found->second;
    return true;
}

bool PersistentSettings::GetProperty(const char* id, bool& out)
{
    int value = 0;
    if (!GetProperty(id, value))
        return false;
    out = value != 0;
    return true;
}

bool PersistentSettings::IsStorable(const std::string& text)
{
    return settings_document::IsStorable(text);
}

bool PersistentSettings::SetProperty(const char* id, const std::string& value, bool deferSave)
{
    if (!id) {
        TraceLog("PersistentSettings::SetProperty (string) - id is NULL.\n");
        return false;
    }
    // Refused rather than stored: the file could not give it back as it was.
    if (!IsStorable(id) || value.find('\0') != std::string::npos ||
        (!m_bEncryptStrings && !IsStorable(value))) {
        TraceLog("PersistentSettings::SetProperty (string) - '%s' cannot be kept in the settings file.\n", id);
        return false;
    }
    if (!IsUsable())
        return false;
    m_document.strings[id] = value;
    m_bParsedUnchanged = false;
    if (!deferSave)
        Save();
    return true;
}

bool PersistentSettings::SetProperty(const char* id, const char* value, bool deferSave)
{
    if (!value) {
        TraceLog("PersistentSettings::SetProperty (string) - value is NULL.\n");
        return false;
    }
    return SetProperty(id, std::string(value), deferSave);
}

bool PersistentSettings::SetProperty(const char* id, int value, bool deferSave)
{
    if (!id) {
        TraceLog("PersistentSettings::SetProperty (int) - id is NULL.\n");
        return false;
    }
    if (std::strcmp(id, SettingsId::auto_start_marigold) == 0) {
        std::string directory;
        if (!GetProperty(SettingsId::application_directory, directory))
            return false;
        if (!value)
            return QDUtilities::RemoveAppFromStartup(kAutoStartValue);
        const std::string command =
            "\"" + directory + "\\" + kAutoStartValue + "\" " HOST_SWITCH_NO_BROWSER;
        return QDUtilities::AddAppToStartup(kAutoStartValue, command.c_str());
    }
    if (!IsStorable(id)) {
        TraceLog("PersistentSettings::SetProperty (int) - '%s' cannot be kept in the settings file.\n", id);
        return false;
    }
    if (!IsUsable())
        return false;
    m_document.ints[id] = value;
    m_bParsedUnchanged = false;
    if (!deferSave)
        Save();
    return true;
}

bool PersistentSettings::RemoveProperty(const char* id, Kind kind, bool deferSave)
{
    if (!id) {
        TraceLog("PersistentSettings::RemoveProperty - id is NULL.\n");
        return false;
    }
    if (!IsUsable())
        return false;
    if (kind == Kind::Int)
        m_document.ints.erase(id);
    else
        m_document.strings.erase(id);
    m_bParsedUnchanged = false;
    if (!deferSave)
        Save();
    return true;
}

bool PersistentSettings::ComposeAccountId(const char* propertyType, const char* accountType,
                                          int index, std::string& id)
{
    if (!propertyType || !accountType) {
        TraceLog("PersistentSettings::ComposeAccountId - %s is NULL.\n",
                 propertyType ? "accountType" : "propertyType");
        return false;
    }
    id = std::string(propertyType) + accountType + std::to_string(index);
    return true;
}

bool PersistentSettings::GetAccountProperty(const char* propertyType, const char* accountType,
                                            int index, std::string& out)
{
    std::string id;
    return ComposeAccountId(propertyType, accountType, index, id) && GetProperty(id.c_str(), out);
}

bool PersistentSettings::GetAccountProperty(const char* propertyType, const char* accountType,
                                            int index, int& out)
{
    std::string id;
    return ComposeAccountId(propertyType, accountType, index, id) && GetProperty(id.c_str(), out);
}

bool PersistentSettings::GetAccountProperty(const char* propertyType, const char* accountType,
                                            int index, bool& out)
{
    std::string id;
    return ComposeAccountId(propertyType, accountType, index, id) && GetProperty(id.c_str(), out);
}

bool PersistentSettings::SetAccountProperty(const char* propertyType, const char* accountType,
                                            int index, int value, bool deferSave)
{
    std::string id;
    return ComposeAccountId(propertyType, accountType, index, id) &&
           SetProperty(id.c_str(), value, deferSave);
}

bool PersistentSettings::SetAccountProperty(const char* propertyType, const char* accountType,
                                            int index, const std::string& value, bool deferSave)
{
    std::string id;
    return ComposeAccountId(propertyType, accountType, index, id) &&
           SetProperty(id.c_str(), value, deferSave);
}

int PersistentSettings::GetAccountCount(const char* accountType)
{
    int count = 0;
    if (!GetAccountProperty(SettingsId::emailPropertyType_count, accountType, 0, count))
        return 0;
    return count;
}
