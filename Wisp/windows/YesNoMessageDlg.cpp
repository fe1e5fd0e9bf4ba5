#include "Wisp/windows/YesNoMessageDlg.h"

#include "common/TraceLog.h"
#include "Wisp/windows/ResourceFile.h"

bool YesNoMessageDlg::RefuseNull(const char* text, const char* operation, const char* argument) const
{
    if (text)
        return false;
    TraceLog("%s::%s - %s is NULL.\n", ClassName(), operation, argument);
    return true;
}

bool YesNoMessageDlg::SetMessage(const char* strMessage)
{
    if (RefuseNull(strMessage, "SetMessage", "strMessage"))
        return false;
    m_strMessage = strMessage;
    return true;
}

bool YesNoMessageDlg::SetYesText(const char* strYes)
{
    if (RefuseNull(strYes, "SetYesText", "strYes"))
        return false;
    m_strYes = strYes;
    return true;
}

bool YesNoMessageDlg::SetNoText(const char* strNo)
{
    if (RefuseNull(strNo, "SetNoText", "strNo"))
        return false;
    m_strNo = strNo;
    return true;
}

bool YesNoMessageDlg::InitStringsFromResource(const char* strMsgResourceName, const char* strYesResourceName,
                                              const char* strNoResourceName)
{
    if (RefuseNull(strMsgResourceName, "InitStringsFromResource", "strMsgResourceName") ||
        RefuseNull(strYesResourceName, "InitStringsFromResource", "strYesResourceName") ||
        RefuseNull(strNoResourceName, "InitStringsFromResource", "strNoResourceName"))
        return false;
    return ReadResourceStrings(
        {{strMsgResourceName, &m_strMessage}, {strYesResourceName, &m_strYes}, {strNoResourceName, &m_strNo}});
}

void YesNoMessageDlg::FillQuestion(HWND dialog, int iconId, int messageId, const std::string& yes,
                                   const std::string& no) const
{
    SendDlgItemMessageA(dialog, iconId, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconA(nullptr, IDI_EXCLAMATION)),
                        0);
    SetDlgItemTextA(dialog, IDYES, yes.c_str());
    SetDlgItemTextA(dialog, IDNO, no.c_str());
    SetMessageText(dialog, messageId, m_strMessage);
}

void YesNoMessageDlg::OnInitDialog(HWND dialog)
{
    FillQuestion(dialog, kIcon, kMessage, m_strYes, m_strNo);
}

bool YesNoMessageDlg::OnCommand(HWND dialog, int id)
{
    if (id != IDYES && id != IDNO && id != IDCANCEL)
        return false;
    EndDialog(dialog, id);
    return true;
}

bool YesNoMessageCheckDlg::SetCheckboxText(const char* strCheckbox)
{
    if (RefuseNull(strCheckbox, "SetCheckboxText", "strCheckbox"))
        return false;
    m_strCheckbox = strCheckbox;
    return true;
}

void YesNoMessageCheckDlg::OnInitDialog(HWND dialog)
{
    // This variant's button texts are the resource file's "Yes" and "No"; the members stand
    // where the file has none.
    const ResourceFile resources;
    std::string yes = m_strYes;
    std::string no = m_strNo;
    resources.GetResource("Yes", &yes);
    resources.GetResource("No", &no);
    FillQuestion(dialog, kIcon, kMessage, yes, no);
    SetDlgItemTextA(dialog, kCheckbox, m_strCheckbox.c_str());
    CheckDlgButton(dialog, kCheckbox, m_bCheckboxState ? BST_CHECKED : BST_UNCHECKED);
}

bool YesNoMessageCheckDlg::OnCommand(HWND dialog, int id)
{
    if (id == IDYES || id == IDNO)
        m_bCheckboxState = IsDlgButtonChecked(dialog, kCheckbox) == BST_CHECKED;
    return YesNoMessageDlg::OnCommand(dialog, id);
}
