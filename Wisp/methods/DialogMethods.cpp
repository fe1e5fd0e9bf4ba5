// Native question dialogs that page script asks for. A settings store is never held open across
// a modal dialog: every other settings user, in any process, would wait for it.
#include "common/PersistentSettings.h"
#include "common/SettingsIds.h"
#include "Wisp/methods/ApplicationMethods.h"
#include "Wisp/windows/RadioMessageCheckDlg.h"

namespace methods {

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
