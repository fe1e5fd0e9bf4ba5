// The per-machine registration of the "feed" URL protocol under HKEY_CLASSES_ROOT: reading
// it, telling whether this product owns it, and taking it over after moving the previous
// values aside under "_QDBackup" names. One short-lived object per operation; the registry is
// the only lasting state.
#pragma once

#include <windows.h>

#include <string>

class RSSRegistrarIE {
public:
    // Bits of the items in the masks Load and Save answer.
    enum Item : unsigned {
        kOpenCommand = 0x001,
        kIcon = 0x002,
        kUrlProtocol = 0x004,
        kProtocolDescription = 0x008,
        kHandlerDescription = 0x010,
        kHandlerClass = 0x020,
        kMimeExtension = 0x040,
        kExtensionClass = 0x080,
        kFileTypeDescription = 0x100,
        kFileTypeCommand = 0x200,
        kFilterClass = 0x400,
    };

    static const char kFeedKey[];            // "feed"
    static const char kIconKey[];            // "feed\DefaultIcon"
    static const char kCommandKey[];         // "feed\shell\open\command"
    static const char kHandlerKey[];         // "PROTOCOLS\Handler\feed"
    // Where no protocol handler or filter is looked up: "PROTOCOLS_QDBackup\Handler\feed".
    static const char kHandlerBackupKey[];
    static const char kOldHandlerBackupKey[];   // kHandlerKey + "_QDBackup", still restored
    static const char kMimeKey[];            // "MIME\Database\Content Type\application/rss+xml"
    static const char kExtensionKey[];       // ".rss"
    static const char kFileTypeKey[];        // "rssfile"
    static const char kFilterKey[];          // "PROTOCOLS\Filter\application/rss+xml"
    static const char kHostExecutable[];     // "TidewireDesktop.exe"

    RSSRegistrarIE();

    // Reads every item from a cleared object: the bits of the items that could not be read.
    unsigned Load();
    // Writes the protocol's items (not the MIME, extension, file-type and filter ones); an
    // all-zero handler class deletes the handler key. The bits of the failed writes.
    unsigned Save();
    bool IsMarigoldOwnerOfRSSFeedProtocol();
    // Moves the protocol's values aside; a value already backed up keeps its first backup, one
    // that is absent is backed up as absent, and nothing is backed up while this product owns
    // the protocol. False, with nothing moved, when the handler key could not be copied whole.
    bool Backup();
    bool MakeMarigoldTheDefaultRSSReader();
    // Puts the backed-up values back in place of this product's and removes the backups.
    // False when something could not be put back.
    bool RestoreBackup();
    // The command registered to open feed addresses ("" when none).
    std::string GetRegisteredCommand();

    const char* OpenCommand() const { return m_strOpenCommand; }
    const char* Icon() const { return m_strIcon; }
    const GUID& HandlerClass() const { return m_guidHandler; }

private:
    static const int kTextSize = 260;

    void Clear();

    char m_strOpenCommand[kTextSize];
    char m_strIcon[kTextSize];
    char m_strUrlProtocol[kTextSize];
    char m_strProtocolDescription[kTextSize];
    char m_strHandlerDescription[kTextSize];
    GUID m_guidHandler;
    char m_strMimeExtension[kTextSize];
    char m_strExtensionClass[kTextSize];
    char m_strFileTypeDescription[kTextSize];
    char m_strFileTypeCommand[kTextSize];
    GUID m_guidFilter;
};
