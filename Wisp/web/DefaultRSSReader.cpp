#include "Wisp/web/DefaultRSSReader.h"

#include <string>

#include "common/PersistentSettings.h"
#include "common/SettingsIds.h"
#include "common/TraceLog.h"
#include "Wisp/web/BrowserName.h"
#include "Wisp/web/RSSRegistrarIE.h"
#include "Wisp/windows/ResourceFile.h"
#include "Wisp/windows/YesNoMessageDlg.h"

namespace {

// The question's text with the current reader's name in place of its first "%s". The text
// comes from a content file, so it is never used as a format: other directives stay as written.
std::string FormatMessage(std::string text, const std::string& reader)
{
    std::size_t at = text.find("%s");
    if (at != std::string::npos)
        text.replace(at, 2, reader);
    return text;
}

void AskToBecomeTheReader(HWND owner)
{
    if (RSSRegistrarIE().IsMarigoldOwnerOfRSSFeedProtocol())
        return;
    std::string reader;
    DefaultBrowser::GetCurrentRSSReader(reader);
    ResourceFile resources;
    std::string message, checkbox;
    // A text missing from the file reads as empty: a blank question whose Yes took the protocol
    // would be worse than none, so it is not asked (as if cancelled).
    if (!resources.GetResource("NotDefaultRSSReaderDlgMsg", &message) ||
        !resources.GetResource("NotDefaultRSSReaderDlgCheck", &checkbox) || message.empty() || checkbox.empty()) {
        TraceLog("DefaultRSSReader::DoDetect - failed reading the question's texts.\n");
        return;
    }
    YesNoMessageCheckDlg dialog(owner);
    dialog.SetMessage(FormatMessage(message, reader).c_str());
    dialog.SetCheckboxText(checkbox.c_str());
    int answer = dialog.DoModal();
    if (answer != IDYES && answer != IDNO)
        return;
    {
        PersistentSettings settings;
        settings.SetProperty(SettingsId::check_marigold_default_rss_reader, dialog.GetCheckboxState() ? 1 : 0);
    }
    if (answer == IDYES)
        RSSRegistrarIE().MakeMarigoldTheDefaultRSSReader();
}

}  // namespace

void DefaultRSSReader::DoDetect(int kind, HWND owner)
{
    bool check = false;
    {
        PersistentSettings settings;
        if (!settings.GetProperty(SettingsId::check_marigold_default_rss_reader, check))
            check = false;
    }
    if (!check)
        return;
    switch (kind) {
    case kDetectNone:
        break;
    case kDetectAsk:
        AskToBecomeTheReader(owner);
        break;
    default:
        TraceLog("DefaultRSSReader::DoDetect - Unknown detection type.\n");
        break;
    }
}
