// Stateless registry operations on ANSI strings. Each opens its sub-key for the one call,
// closes it on every path and traces every failure.
#pragma once

#include <windows.h>

#include <cstddef>

namespace QDRegKey {

// The suffix that marks a value's backup: V + "_QDBackup"; "_QDBackup" for the default value.
extern const char kBackupSuffix[];

// Zero-fills bufferSize bytes, then reads a REG_SZ or REG_EXPAND_SZ value that ends with a
// terminator inside the buffer. On failure the buffer is left zero-filled.
bool GetString(HKEY root, const char* subKey, const char* valueName, char* buffer,
               std::size_t bufferSize);
// Creates missing keys; writes REG_SZ with its terminator.
bool SetString(HKEY root, const char* subKey, const char* valueName, const char* text);
// False also when the key cannot be opened for reading and writing.
bool ValueExists(HKEY root, const char* subKey, const char* valueName);
// Copies the value to the new name with its type, then deletes the old one. A failed delete
// leaves both.
bool RenameValue(HKEY root, const char* subKey, const char* oldName, const char* newName);
bool GetCLSID(HKEY root, const char* subKey, const char* valueName, GUID* guid);
bool SetCLSID(HKEY root, const char* subKey, const char* valueName, const GUID& guid);
// Moves the value to its backup name unless it is missing or a backup exists already (the
// first backup is never overwritten). "" names the key's default value.
bool BackupValue(HKEY root, const char* subKey, const char* valueName);
bool IsValueBackedUp(HKEY root, const char* subKey, const char* valueName);

}  // namespace QDRegKey
