#include "common/QDRegKey.h"

#include "common/TraceLog.h"

#include <cstring>
#include <string>
#include <vector>

namespace QDRegKey {

const char kBackupSuffix[] = "_QDBackup";

namespace {

const REGSAM kRead = KEY_READ;
const REGSAM kReadWrite = KEY_READ | KEY_WRITE;

class Key {
public:
    Key() = default;
    ~Key()
    {
        if (m_key)
            RegCloseKey(m_key);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;

    LONG Open(HKEY root, const char* subKey, REGSAM access)
    {
        return RegOpenKeyExA(root, subKey, 0, access, &m_key);
    }
    LONG Create(HKEY root, const char* subKey)
    {
        return RegCreateKeyExA(root, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, kReadWrite,
                               nullptr, &m_key, nullptr);
    }
    HKEY Get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

// A string value into buffer: REG_SZ or REG_EXPAND_SZ, terminated within what was read.
LONG QueryString(HKEY key, const char* valueName, char* buffer, DWORD bufferSize)
{
    DWORD type = 0;
    DWORD size = bufferSize;
    LONG error = RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                                  &size);
    if (error == ERROR_SUCCESS) {
        if ((type != REG_SZ && type != REG_EXPAND_SZ) || size == 0 || size > bufferSize ||
            !std::memchr(buffer, '\0', size))
            error = ERROR_INVALID_DATA;
    }
    if (error != ERROR_SUCCESS)
        std::memset(buffer, 0, bufferSize);
    return error;
}

DWORD ClampSize(std::size_t size)
{
    return size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<DWORD>(size);
}

}  // namespace

bool GetString(HKEY root, const char* subKey, const char* valueName, char* buffer,
               std::size_t bufferSize)
{
    if (!subKey) {
        TraceLog("QDRegKey::GetString - strKey is NULL.\n");
        return false;
    }
    if (!buffer) {
        TraceLog("QDRegKey::GetString - strVal is NULL.\n");
        return false;
    }
    std::memset(buffer, 0, bufferSize);
    Key key;
    LONG error = key.Open(root, subKey, kRead);
    if (error != ERROR_SUCCESS) {
        TraceLog("QDRegKey::GetString - failed opening reg key '%s'. Error %d\n", subKey,
                 static_cast<int>(error));
        return false;
    }
    error = QueryString(key.Get(), valueName, buffer, ClampSize(bufferSize));
    if (error != ERROR_SUCCESS) {
        TraceLog("QDRegKey::GetString - failed getting key value '%s'. Error %d\n",
                 valueName ? valueName : "", static_cast<int>(error));
        return false;
    }
    return true;
}

bool SetString(HKEY root, const char* subKey, const char* valueName, const char* text)
{
    if (!subKey) {
        TraceLog("QDRegKey::SetString - strKey is NULL.\n");
        return false;
    }
    if (!text) {
        TraceLog("QDRegKey::SetString - strVal is NULL.\n");
        return false;
    }
    Key key;
    LONG error = key.Create(root, subKey);
    if (error != ERROR_SUCCESS) {
        TraceLog("QDRegKey::SetString - Failed creating key '%s'. Error %d\n", subKey,
                 static_cast<int>(error));
        return false;
    }
    error = RegSetValueExA(key.Get(), valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                           ClampSize(std::strlen(text) + 1));
    if (error != ERROR_SUCCESS) {
        TraceLog("QDRegKey::SetString - Failed setting value '%s'. Error %d\n",
                 valueName ? valueName : "", static_cast<int>(error));
        return false;
    }
    return true;
}

bool ValueExists(HKEY root, const char* subKey, const char* valueName)
{
    if (!subKey) {
        TraceLog("QDRegKey::ValueExists - strSubKey is NULL.\n");
        return false;
    }
    if (!valueName) {
        TraceLog("QDRegKey::ValueExists - strValueName is NULL.\n");
        return false;
    }
    Key key;
    if (key.Open(root, subKey, kReadWrite) != ERROR_SUCCESS)
        return false;
    DWORD type = 0;
    DWORD size = 0;
    return RegQueryValueExA(key.Get(), valueName, nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
}

bool RenameValue(HKEY root, const char* subKey, const char* oldName, const char* newName)
{
    if (!subKey) {
        TraceLog("QDRegKey::RenameValue - Failed, strSubKey is NULL.\n");
        return false;
    }
    if (!oldName) {
        TraceLog("QDRegKey::RenameValue - Failed, strValueNameOld is NULL.\n");
        return false;
    }
    if (!newName) {
        TraceLog("QDRegKey::RenameValue - Failed, strValueNameNew is NULL.\n");
        return false;
    }
    Key key;
    LONG error = key.Open(root, subKey, kReadWrite);
    if (error != ERROR_SUCCESS) {
        TraceLog("QDRegKey::RenameValue - failed opening '%s', Error 0x%X\n", subKey,
                 static_cast<unsigned>(error));
        return false;
    }
    DWORD type = 0;
    DWORD size = 0;
    error = RegQueryValueExA(key.Get(), oldName, nullptr, &type, nullptr, &size);
    std::vector<BYTE> data(size + 1, 0);
    if (error == ERROR_SUCCESS)
        error = RegQueryValueExA(key.Get(), oldName, nullptr, &type, data.data(), &size);
    if (error != ERROR_SUCCESS) {
        TraceLog("QDRegKey::RenameValue - QueryValue '%s' failed. Error 0x%X\n", oldName,
                 static_cast<unsigned>(error));
        return false;
    }
    error = RegSetValueExA(key.Get(), newName, 0, type, data.data(), size);
    if (error != ERROR_SUCCESS) {
        TraceLog("QDRegKey::RenameValue - SetValue '%s' failed. Error 0x%X\n", newName,
                 static_cast<unsigned>(error));
        return false;
    }
    error = RegDeleteValueA(key.Get(), oldName);
    if (error != ERROR_SUCCESS) {
        TraceLog("QDRegKey::RenameValue - Delete '%s' failed. Error 0x%X\n", oldName,
                 static_cast<unsigned>(error));
        return false;
    }
    return true;
}

bool GetCLSID(HKEY root, const char* subKey, const char* valueName, GUID* guid)
{
    if (!subKey) {
        TraceLog("QDRegKey::GetCLSID - strKey is NULL.\n");
        return false;
    }
    if (!guid) {
        TraceLog("QDRegKey::GetCLSID - pGuid is NULL.\n");
        return false;
    }
    Key key;
    LONG error = key.Open(root, subKey, kRead);
    if (error != ERROR_SUCCESS) {
        TraceLog("QDRegKey::GetCLSID - failed opening reg key '%s'. Error %d\n", subKey,
                 static_cast<int>(error));
        return false;
    }
    char text[64];
    error = QueryString(key.Get(), valueName, text, sizeof text);
    if (error == ERROR_SUCCESS && text[0] != '{')
        error = ERROR_INVALID_DATA;
    GUID parsed = {};
    if (error == ERROR_SUCCESS) {
        wchar_t wide[64] = {};
        if (!MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 64))
            error = static_cast<LONG>(GetLastError());
        else if (FAILED(CLSIDFromString(wide, &parsed)))
            error = ERROR_INVALID_DATA;
    }
    if (error != ERROR_SUCCESS) {
        TraceLog("QDRegKey::GetCLSID - failed getting key value '%s'. Error %d\n",
                 valueName ? valueName : "", static_cast<int>(error));
        return false;
    }
    *guid = parsed;
    return true;
}

bool SetCLSID(HKEY root, const char* subKey, const char* valueName, const GUID& guid)
{
    if (!subKey) {
        TraceLog("QDRegKey::SetCLSID - strKey is NULL.\n");
        return false;
    }
    Key key;
    LONG error = key.Create(root, subKey);
    if (error != ERROR_SUCCESS) {
        TraceLog("QDRegKey::SetCLSID - Failed creating\\opening key '%s'. Error %d\n", subKey,
                 static_cast<int>(error));
        return false;
    }
    wchar_t wide[40] = {};
    char text[40] = {};
    if (!StringFromGUID2(guid, wide, 40) ||
        !WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, nullptr, nullptr))
        error = ERROR_INVALID_DATA;
    else
        error = RegSetValueExA(key.Get(), valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                               static_cast<DWORD>(std::strlen(text) + 1));
    if (error != ERROR_SUCCESS) {
        TraceLog("QDRegKey::SetCLSID - Failed setting value '%s'. Error %d\n",
                 valueName ? valueName : "", static_cast<int>(error));
        return false;
    }
    return true;
}

bool IsValueBackedUp(HKEY root, const char* subKey, const char* valueName)
{
    if (!subKey) {
        TraceLog("RSSRegistrarIE::IsValueBackedUp - strSubKey is NULL.\n");
        return false;
    }
    if (!valueName) {
        TraceLog("RSSRegistrarIE::IsValueBackedUp - strValueName is NULL.\n");
        return false;
    }
    return ValueExists(root, subKey, (std::string(valueName) + kBackupSuffix).c_str());
}

bool BackupValue(HKEY root, const char* subKey, const char* valueName)
{
    if (!subKey) {
        TraceLog("QDRegKey::BackupValue - strSubKey is NULL.\n");
        return false;
    }
    if (!valueName) {
        TraceLog("QDRegKey::BackupValue - strValueName is NULL.\n");
        return false;
    }
    if (!ValueExists(root, subKey, valueName))
        return true;
    if (IsValueBackedUp(root, subKey, valueName))
        return true;
    // The rename works on the same root as the checks above.
    const bool renamed =
        RenameValue(root, subKey, valueName, (std::string(valueName) + kBackupSuffix).c_str());
    if (!renamed)
        TraceLog("QDRegKey::BackupValue - RenameValue failed.\n");
    return renamed;
}

}  // namespace QDRegKey
