// The native question dialogs: their layouts are dialog templates in the host application's
// executable ("<application_directory>\TidewireDesktop.exe", loaded as a data file for the one
// show), their texts come from the resource-string file. Each dialog class fills its controls
// when the dialog starts and reads them back when a button ends it.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>
#include <utility>

class MessageDialog {
public:
    static const char kHostExecutable[];   // "TidewireDesktop.exe"

    virtual ~MessageDialog() = default;
    MessageDialog(const MessageDialog&) = delete;
    MessageDialog& operator=(const MessageDialog&) = delete;

    // Runs the dialog modally over the owner window; the button that ended it, or -1 when the
    // template could not be loaded (nothing was shown).
    int DoModal();

    // "<application_directory>\TidewireDesktop.exe".
    static std::string HostExecutablePath();

protected:
    // owner null: the desktop window. instance null: the module holding this code.
    MessageDialog(const char* className, int templateId, HWND owner, HINSTANCE instance);

    virtual void OnInitDialog(HWND dialog) = 0;
    // True when the command ended or belonged to the dialog.
    virtual bool OnCommand(HWND dialog, int id) = 0;

    const char* ClassName() const { return m_className; }
    // Reads each (resource name, text) pair from the resource file, in order; the first failed
    // read is traced and ends the reading with false.
    bool ReadResourceStrings(std::initializer_list<std::pair<const char*, std::string*>> strings) const;
    // The message text into its control; a failure is traced.
    void SetMessageText(HWND dialog, int id, const std::string& text) const;

    HINSTANCE m_hInstance;
    HWND m_hWndOwner;

private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

    const char* m_className;
    int m_templateId;
};

// The text of a dialog control as it stands (the template's, until something replaced it).
std::string DialogItemText(HWND dialog, int id);
