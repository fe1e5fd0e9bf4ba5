// Yes/No questions from the host executable's templates: template 140 plain, template 132 with a
// check box whose state a Yes or a No answer reports. Escape and the close box answer IDCANCEL.
#pragma once

#include "Wisp/windows/MessageDialog.h"

class YesNoMessageDlg : public MessageDialog {
public:
    static const int kTemplateId = 140;
    enum ControlId { kMessage = 1009, kIcon = 1010 };

    explicit YesNoMessageDlg(HWND owner = nullptr, HINSTANCE instance = nullptr)
        : YesNoMessageDlg("YesNoMessageDlg", kTemplateId, owner, instance)
    {
    }

    // Each refuses a null text.
    bool SetMessage(const char* strMessage);
    bool SetYesText(const char* strYes);
    bool SetNoText(const char* strNo);
    // The three texts from the resource file; false if a name is null or a read fails.
    bool InitStringsFromResource(const char* strMsgResourceName, const char* strYesResourceName,
                                 const char* strNoResourceName);

    const std::string& Message() const { return m_strMessage; }

protected:
    YesNoMessageDlg(const char* className, int templateId, HWND owner, HINSTANCE instance)
        : MessageDialog(className, templateId, owner, instance)
    {
    }
    bool RefuseNull(const char* text, const char* operation, const char* argument) const;
    // The warning icon, the button texts and the message.
    void FillQuestion(HWND dialog, int iconId, int messageId, const std::string& yes, const std::string& no) const;

    void OnInitDialog(HWND dialog) override;
    bool OnCommand(HWND dialog, int id) override;

    std::string m_strMessage = "Do you like bananas?";
    std::string m_strYes = "Yes";
    std::string m_strNo = "No";
};

class YesNoMessageCheckDlg : public YesNoMessageDlg {
public:
    static const int kTemplateId = 132;
    enum ControlId { kIcon = 1001, kCheckbox = 1002, kMessage = 1003 };

    explicit YesNoMessageCheckDlg(HWND owner = nullptr, HINSTANCE instance = nullptr)
        : YesNoMessageDlg("YesNoMessageCheckDlg", kTemplateId, owner, instance)
    {
    }

    bool SetCheckboxText(const char* strCheckbox);
    bool GetCheckboxState() const { return m_bCheckboxState; }
    void SetCheckboxState(bool checked) { m_bCheckboxState = checked; }

private:
    void OnInitDialog(HWND dialog) override;
    bool OnCommand(HWND dialog, int id) override;

    std::string m_strCheckbox;
    bool m_bCheckboxState = false;
};
