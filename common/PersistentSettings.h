// The user's preferences and e-mail accounts, kept in "<AppData>\Quill\Tidewire\settings.xml".
// Make a short-lived object, get or set, and let it go: the object holds the cross-process
// settings mutex for its whole life (re-entrant for the owning thread) and every get re-reads
// the file, so a value saved by another process is seen by the next get. Objects are not
// shared between threads. Property IDs are in common/SettingsIds.h.
#pragma once

#include <windows.h>

#include <string>

#include "common/SettingsDocument.h"

class PersistentSettings {
public:
    PersistentSettings();
    ~PersistentSettings();
    PersistentSettings(const PersistentSettings&) = delete;
    PersistentSettings& operator=(const PersistentSettings&) = delete;

    // Reads the file into the maps without clearing them first. True when the file was read,
    // also when the reading stopped at a syntax error. A file that exists but was not read
    // whole (unreadable, a syntax stop, zero bytes or a UTF-16 byte-order mark) is marked so
    // that this object never rewrites it.
    bool Load();
    // Rewrites the whole file from the maps. The new file is written beside the old one (a
    // temporary name of this process and thread) and then replaces it, so an interrupted save
    // leaves the previous file whole. False, with a trace, for a file that was not read whole.
    bool Save();
    // The temporary file a save of this thread writes before it replaces path.
    static std::string TemporaryPath(const std::string& path);

    // Each get re-reads the file first; a failing get leaves out untouched.
    bool GetProperty(const char* id, std::string& out);
    bool GetProperty(const char* id, int& out);
    bool GetProperty(const char* id, bool& out);

    // Without deferSave the file is saved at once (a failed save is not reported). True when
    // the object is usable. The auto-start ID changes the Run entry instead and reports that.
    // An ID or a text the file cannot hold (see IsStorable) is refused with a trace and false.
    bool SetProperty(const char* id, const std::string& value, bool deferSave = false);
    bool SetProperty(const char* id, const char* value, bool deferSave = false);
    bool SetProperty(const char* id, int value, bool deferSave = false);

    // The int and the string form of an ID are separate properties; this removes one of them.
    // Saved at once unless deferred. True when the object is usable.
    enum class Kind { Int, String };
    bool RemoveProperty(const char* id, Kind kind, bool deferSave = false);

    // Whether the file can hold this ID (or unscrambled text) so that it reads back the same
    // (settings_document::IsStorable).
    static bool IsStorable(const std::string& text);

    // E-mail accounts: the ID is propertyType + accountType + decimal index.
    bool GetAccountProperty(const char* propertyType, const char* accountType, int index,
                            std::string& out);
    bool GetAccountProperty(const char* propertyType, const char* accountType, int index, int& out);
    bool GetAccountProperty(const char* propertyType, const char* accountType, int index, bool& out);
    bool SetAccountProperty(const char* propertyType, const char* accountType, int index, int value,
                            bool deferSave = false);
    bool SetAccountProperty(const char* propertyType, const char* accountType, int index,
                            const std::string& value, bool deferSave = false);
    // "emailPropertyType.count." + accountType + "0"; 0 when absent.
    int GetAccountCount(const char* accountType);

    // False when the settings mutex could not be created: then every operation fails.
    bool IsUsable() const { return m_hSingleInstanceMutex != nullptr; }

private:
    bool BuildPath();
    bool WriteTo(const std::string& path) const;
    void MarkNotReadWhole(const char* why);
    static bool ComposeAccountId(const char* propertyType, const char* accountType, int index,
                                 std::string& id);

    bool m_bEncryptStrings = true;
    HANDLE m_hSingleInstanceMutex = nullptr;
    bool m_bOwnsMutex = false;
    bool m_bNotReadWhole = false;
    std::string m_strPath;
    SettingsDocument m_document;   // the int and the string properties
    std::string m_lastParsed;         // the file's bytes as the last parse read them
    bool m_bParsedUnchanged = false;  // the maps hold just that parse's result
};
