// A question with two options (radio buttons) and a check box, from template 133 of the host
// executable. OK keeps the choice and the check box; Cancel leaves both as they were.
#pragma once

#include "Wisp/windows/MessageDialog.h"

class RadioMessageCheckDlg : public MessageDialog {
public:
    static const int kTemplateId = 133;
    enum ControlId { kCheckbox = 1004, kRadio1 = 1005, kRadio2 = 1006, kIcon = 1007, kMessage = 1008 };

    explicit RadioMessageCheckDlg(HWND owner = nullptr, HINSTANCE instance = nullptr)
        : MessageDialog("RadioMessageCheckDlg", kTemplateId, owner, instance)
    {
    }

    // Caption, message, check-box and radio texts from the resource file.
    bool InitStringsFromResource(const char* strDlgCaptionResourceName, const char* strMsgResourceName,
                                 const char* strRadio1ResourceName, const char* strRadio2ResourceName,
                                 const char* strCheckboxResourceName);

    bool GetCheckboxState() const { return m_bCheckboxState; }
    void SetCheckboxState(bool checked) { m_bCheckboxState = checked; }
    // 1 first radio, 2 second radio, 0 none.
    int GetSelectedOption() const { return m_nSelectedOption; }
    void SetSelectedOption(int option) { m_nSelectedOption = option; }

private:
    void OnInitDialog(HWND dialog) override;
    bool OnCommand(HWND dialog, int id) override;

    std::string m_strCaption;
    std::string m_strMessage;
    std::string m_strCheckbox;
    std::string m_strRadio1;
    std::string m_strRadio2;
    bool m_bCheckboxState = false;
    int m_nSelectedOption = 1;
};
