// Native question dialogs and modal HTML dialogs that page script asks for. A settings store is
// never held open across a modal dialog: every other settings user, in any process, would wait
// for it. An HTML dialog gets the opening page's browser as its opener reference.
#include "common/HostMessages.h"
#include "common/PersistentSettings.h"
#include "common/QDUtilities.h"
#include "common/SettingsIds.h"
#include "common/TraceLog.h"
#include "common/com/Bstr.h"
#include "Wisp/control/WispControl.h"
#include "Wisp/methods/ApplicationMethods.h"
#include "Wisp/windows/HtmlDialog.h"
#include "Wisp/windows/RadioMessageCheckDlg.h"

namespace methods {

namespace {

const char kOptionsPanelPage[] = "optionsPanel.htm";
// The options page is the second load: the frame page comes first.
const long kOptionsPageLoad = 2;

// Empty when there is no file or no content folder: without the folder the path would name a
// file at the root of the drive, and the dialog would show empty.
std::string ContentPath(const std::string& file)
{
    std::string folder;
    {
        PersistentSettings settings;
        settings.GetProperty(SettingsId::content_directory, folder);
    }
    char path[MAX_PATH] = "";
    if (file.empty() || folder.empty() || !QDUtilities::MakeContentPath(path, file.c_str(), sizeof path))
        return {};
    return path;
}

// The host's browser window (answered by the notification window) when the client lives in
// the browser, else the control's own top-level window when asked for, else the desktop.
HWND OptionsPanelOwner(CWispControl& control, bool ownedByControl)
{
    bool browserMode = false;
    {
        PersistentSettings settings;
        settings.GetProperty(SettingsId::appbar_browser, browserMode);
    }
    if (browserMode) {
        HWND notify = control.NotifyWindow();
        HWND owner = notify ? reinterpret_cast<HWND>(SendMessageA(notify, RM_SHOW_OPTIONS_PANEL, 0, 0)) : nullptr;
        if (!owner)
            owner = notify;
        return owner ? QDUtilities::GetAncestorDyn(owner, GA_ROOT) : nullptr;
    }
    HWND window = control.ControlWindow();
    return ownedByControl && window ? QDUtilities::GetAncestorDyn(window, GA_ROOT) : nullptr;
}

}  // namespace

void ShowOptionsPanel(MethodCall& call)
{
    if (QDUtilities::SendApplicationMessage(RM_MODAL_DIALOG_SHOWING, 0, 0)) {
        QDUtilities::SendApplicationMessage(RM_FORCE_MODAL_TO_FRONT, 1, 0);
        call.SetBool(false);
        return;
    }
    const std::string path = ContentPath(kOptionsPanelPage);
    if (path.empty()) {
        // The content folder is unknown: an empty dialog would only hold the page modally.
        TraceLog("ApplicationMethods::ShowOptionsPanel - no content file.\n");
        call.SetBool(false);
        return;
    }
    HWND owner = OptionsPanelOwner(*call.control, call.args.Bool(0));
    HtmlDialog dialog(path, call.control->Browser(), 0, 0, true);
    dialog.SetPageTrust(call.control->TrustForNested());
    Variant category = Variant::FromBstr(Bstr::FromAnsi(call.args.String(1).c_str()).Detach());
    dialog.QueueScriptCall("changeCategory", nullptr, 1, category.Get(), kOptionsPageLoad);
    call.SetBool(dialog.DoModal(owner) != -1);
}

// Arguments: 0 the content file, 1 width and 2 height in pixels (0 keeps the template's).
// Result: the dialog's (IDCANCEL once closed), -1 when it could not be shown.
void ModalHtmlDialog(MethodCall& call)
{
    const std::string path = ContentPath(call.args.String(0));
    if (path.empty()) {
        // An empty dialog nobody can fill would still hold the page modally.
        TraceLog("ApplicationMethods::ModalHtmlDialog - no content file.\n");
        call.SetInt(-1);
        return;
    }
    HWND window = call.control->ControlWindow();
    HWND owner = window ? QDUtilities::GetAncestorDyn(window, GA_ROOT) : nullptr;
    HtmlDialog dialog(path, call.control->Browser(), static_cast<int>(call.args.Int(1)),
                      static_cast<int>(call.args.Int(2)), true);
    dialog.SetPageTrust(call.control->TrustForNested());
    call.SetInt(static_cast<long>(dialog.DoModal(owner)));
}

void GetRSSFeedBehavior(MethodCall& call)
{
    int behavior = 0;
    {
        PersistentSettings settings;
        settings.GetProperty(SettingsId::behavior_when_rss_link_clicked, behavior);
    }
    if (behavior == 1 || behavior == 2) {
        call.SetInt(behavior);
        return;
    }
    RadioMessageCheckDlg dialog;
    int choice = 0;
    if (dialog.InitStringsFromResource("RadioMessageCheckDlgCaption", "RadioMessageCheckDlgMsg",
                                       "RadioMessageCheckDlgRadio1", "RadioMessageCheckDlgRadio2",
                                       "RadioMessageCheckDlgCheck") &&
        dialog.DoModal() == IDOK) {
        choice = dialog.GetSelectedOption();
        PersistentSettings settings;
        settings.SetProperty(SettingsId::behavior_when_rss_link_clicked, dialog.GetCheckboxState() ? choice : 0);
    }
    call.SetInt(choice);
}

}  // namespace methods
