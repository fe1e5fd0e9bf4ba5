#include "Wisp/windows/RadioMessageCheckDlg.h"

#include "common/TraceLog.h"
#include "Wisp/windows/ResourceFile.h"

bool RadioMessageCheckDlg::InitStringsFromResource(const char* strDlgCaptionResourceName,
                                                   const char* strMsgResourceName,
                                                   const char* strRadio1ResourceName,
                                                   const char* strRadio2ResourceName,
                                                   const char* strCheckboxResourceName)
{
    const struct {
        const char* name;
        const char* missing;
    } names[] = {
        {strDlgCaptionResourceName,
         "RadioMessageCheckDlg::InitStringsFromResourcee - strDlgCaptionResourceName is NULL.\n"},
        {strMsgResourceName, "RadioMessageCheckDlg::InitStringsFromResource - strMsgResourceName is NULL.\n"},
        {strRadio1ResourceName, "RadioMessageCheckDlg::InitStringsFromResource - strRadio1ResourceName is NULL.\n"},
        {strRadio2ResourceName, "RadioMessageCheckDlg::InitStringsFromResource - strRadio2ResourceName is NULL.\n"},
        {strCheckboxResourceName,
         "RadioMessageCheckDlg::InitStringsFromResource - strCheckboxResourceName is NULL.\n"},
    };
    for (const auto& required : names)
        if (!required.name) {
            TraceLog("%s", required.missing);
            return false;
        }
    const std::initializer_list<std::pair<const char*, std::string*>> strings = {
        {strDlgCaptionResourceName, &m_strCaption},
        {strMsgResourceName, &m_strMessage},
        {strCheckboxResourceName, &m_strCheckbox},
        {strRadio1ResourceName, &m_strRadio1},
        {strRadio2ResourceName, &m_strRadio2}};
    for (const auto& string : strings)
        string.second->clear();
    if (!ReadResourceStrings(strings))
        return false;
    // A name missing from the file leaves its text empty: blank choices are no question to ask.
    for (const auto& string : strings)
        if (string.second->empty()) {
            TraceLog("RadioMessageCheckDlg::InitStringsFromResource - failed reading '%s' from resource file.\n",
                     string.first);
            return false;
        }
    return true;
}

void RadioMessageCheckDlg::OnInitDialog(HWND dialog)
{
    const ResourceFile resources;
    std::string ok = DialogItemText(dialog, IDOK);
    std::string cancel = DialogItemText(dialog, IDCANCEL);
    resources.GetResource("Ok", &ok);
    resources.GetResource("Cancel", &cancel);
    SetDlgItemTextA(dialog, IDOK, ok.c_str());
    SetDlgItemTextA(dialog, IDCANCEL, cancel.c_str());
    SetWindowTextA(dialog, m_strCaption.c_str());
    SetMessageText(dialog, kMessage, m_strMessage);
    SetDlgItemTextA(dialog, kRadio1, m_strRadio1.c_str());
    SetDlgItemTextA(dialog, kRadio2, m_strRadio2.c_str());
    SetDlgItemTextA(dialog, kCheckbox, m_strCheckbox.c_str());
    CheckDlgButton(dialog, kCheckbox, m_bCheckboxState ? BST_CHECKED : BST_UNCHECKED);
    CheckRadioButton(dialog, kRadio1, kRadio2, m_nSelectedOption == 1 ? kRadio1 : kRadio2);
    SendDlgItemMessageA(dialog, kIcon, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconA(nullptr, IDI_QUESTION)), 0);
}

bool RadioMessageCheckDlg::OnCommand(HWND dialog, int id)
{
    switch (id) {
    case IDOK:
        m_bCheckboxState = IsDlgButtonChecked(dialog, kCheckbox) == BST_CHECKED;
        if (IsDlgButtonChecked(dialog, kRadio1) == BST_CHECKED)
            m_nSelectedOption = 1;
        else if (IsDlgButtonChecked(dialog, kRadio2) == BST_CHECKED)
            m_nSelectedOption = 2;
        else
            m_nSelectedOption = 0;
        EndDialog(dialog, IDOK);
        return true;
    case IDCANCEL:
        EndDialog(dialog, IDCANCEL);
        return true;
    default:
        return false;
    }
}
