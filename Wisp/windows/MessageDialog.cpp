#include "Wisp/windows/MessageDialog.h"

#include "common/PersistentSettings.h"
#include "common/SettingsIds.h"
#include "common/TraceLog.h"
#include "common/com/Handle.h"
#include "Wisp/windows/ResourceFile.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

const char MessageDialog::kHostExecutable[] = "TidewireDesktop.exe";

MessageDialog::MessageDialog(const char* className, int templateId, HWND owner, HINSTANCE instance)
    : m_hInstance(instance ? instance : reinterpret_cast<HINSTANCE>(&__ImageBase)),
      m_hWndOwner(owner ? owner : GetDesktopWindow()),
      m_className(className),
      m_templateId(templateId)
{
}

std::string MessageDialog::HostExecutablePath()
{
    std::string directory;
    PersistentSettings settings;
    settings.GetProperty(SettingsId::application_directory, directory);
    return directory + "\\" + kHostExecutable;
}

int MessageDialog::DoModal()
{
    const std::string path = HostExecutablePath();
    UniqueModule host(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!host) {
        TraceLog("%s::DoModal - failed loading '%s'. LastError = %d\n", m_className, path.c_str(),
                 static_cast<int>(GetLastError()));
        return -1;
    }
    HRSRC found = FindResourceA(host.Get(), MAKEINTRESOURCEA(m_templateId), MAKEINTRESOURCEA(5) /* RT_DIALOG */);
    HGLOBAL loaded = found ? LoadResource(host.Get(), found) : nullptr;
    const void* dialogTemplate = loaded ? LockResource(loaded) : nullptr;
    if (!dialogTemplate) {
        TraceLog("%s::DoModal - dialog template %d not found in '%s'.\n", m_className, m_templateId, path.c_str());
        return -1;
    }
    const INT_PTR result =
        DialogBoxIndirectParamA(m_hInstance, static_cast<LPCDLGTEMPLATEA>(dialogTemplate), m_hWndOwner, DialogProc,
                                reinterpret_cast<LPARAM>(this));
    if (result == -1)
        TraceLog("%s::DoModal - DialogBoxIndirectParam failed. LastError = %d\n", m_className,
                 static_cast<int>(GetLastError()));
    return static_cast<int>(result);
}

INT_PTR CALLBACK MessageDialog::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<MessageDialog*>(lParam);
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        self->OnInitDialog(dialog);
        return TRUE;
    }
    auto* self = reinterpret_cast<MessageDialog*>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (self && message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED)
        return self->OnCommand(dialog, LOWORD(wParam)) ? TRUE : FALSE;
    return FALSE;
}

bool MessageDialog::ReadResourceStrings(std::initializer_list<std::pair<const char*, std::string*>> strings) const
{
    const ResourceFile resources;
    for (const auto& string : strings)
        if (!resources.GetResource(string.first, string.second)) {
            TraceLog("%s::InitStringsFromResource - failed reading '%s' from resource file.\n", m_className,
                     string.first);
            return false;
        }
    return true;
}

void MessageDialog::SetMessageText(HWND dialog, int id, const std::string& text) const
{
    if (!SetDlgItemTextA(dialog, id, text.c_str()))
        TraceLog("LastError = %d\n", static_cast<int>(GetLastError()));
}

std::string DialogItemText(HWND dialog, int id)
{
    HWND item = GetDlgItem(dialog, id);
    const int length = item ? GetWindowTextLengthA(item) : 0;
    if (length <= 0)
        return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    text.resize(static_cast<std::size_t>(GetWindowTextA(item, &text[0], length + 1)));
    return text;
}
