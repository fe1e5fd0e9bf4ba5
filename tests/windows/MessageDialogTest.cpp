// The resource-string file and the question dialogs, with real resources.xml files in a content
// folder and the real templates of the test host TidewireDesktop.exe (application_directory is
// this suite's folder, where the host is built). A helper thread reads and answers each dialog.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "common/HostMessages.h"
#include "common/PersistentSettings.h"
#include "common/QDUtilities.h"
#include "common/SettingsIds.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/ScratchState.h"
#include "tests/support/TraceCapture.h"
#include "tests/support/WispLibrary.h"
#include "tests/support/host/HostApplication.h"
#include "Wisp/windows/RadioMessageCheckDlg.h"
#include "Wisp/windows/ResourceFile.h"
#include "Wisp/windows/YesNoMessageDlg.h"

using testing_support::DriveModal;
using testing_support::TraceCapture;

namespace {

const char kQuestionCaption[] = "Tidewire Desktop";   // the Yes/No templates' caption

const char kResources[] =
    "<?xml version='1.0' encoding='windows-1252'?>\r\n"
    "<resources>\r\n"
    "  <!-- <Ok value='from a comment'/> -->\r\n"
    "  <Ok value='Okay'/>\r\n"
    "  <Cancel value='Not now'/>\r\n"
    "  <Yes value='Yes please'/>\r\n"
    "  <No value='No thanks'/>\r\n"
    "  <RadioMessageCheckDlgCaption value='Feed links'/>\r\n"
    "  <RadioMessageCheckDlgMsg value='When you click a feed link:\\nwhat should happen?'/>\r\n"
    "  <RadioMessageCheckDlgRadio1 value='Show it in Tidewire'/>\r\n"
    "  <RadioMessageCheckDlgRadio2 value='Open it in the browser'/>\r\n"
    "  <RadioMessageCheckDlgCheck value='Remember my choice'/>\r\n"
    "  <AskMsg value='Make Tidewire your feed reader?'/>\r\n"
    "  <AskYes value='Do it'/><AskNo value='Leave it'/>\r\n"
    "</resources>\r\n";

std::string SettingsPath()
{
    std::string path;
    QDUtilities::GetSettingsFilePath(path);
    return path;
}

std::string ThisFolder()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string full = path;
    return full.substr(0, full.find_last_of('\\'));
}

struct RadioSeen {
    std::string caption, message, radio1, radio2, checkbox, ok, cancel;
    bool radio1Checked = false, radio2Checked = false, boxChecked = false, icon = false;
};

RadioSeen ReadRadioDialog(HWND d)
{
    RadioSeen seen;
    seen.caption = testing_support::WindowText(d);
    seen.message = testing_support::ItemText(d, 1008);
    seen.radio1 = testing_support::ItemText(d, 1005);
    seen.radio2 = testing_support::ItemText(d, 1006);
    seen.checkbox = testing_support::ItemText(d, 1004);
    seen.ok = testing_support::ItemText(d, IDOK);
    seen.cancel = testing_support::ItemText(d, IDCANCEL);
    seen.radio1Checked = testing_support::IsItemChecked(d, 1005);
    seen.radio2Checked = testing_support::IsItemChecked(d, 1006);
    seen.boxChecked = testing_support::IsItemChecked(d, 1004);
    seen.icon = testing_support::ItemIcon(d, 1007) != nullptr;
    return seen;
}

// Runs dialog.DoModal() while `answer` works the dialog captioned `caption`.
template <class Dialog, class Answerer>
int Answer(Dialog& dialog, const std::string& caption, Answerer answer)
{
    return DriveModal([&] {
        HWND d = testing_support::WaitForDialog(caption);
        if (!d) {
            ADD_FAILURE() << "no dialog captioned '" << caption << "'";
            testing_support::CancelAnyDialog();
            return;
        }
        answer(d);
    }, [&] { return dialog.DoModal(); });
}

class MessageDialogs : public ::testing::Test {
protected:
    void SetUp() override
    {
        QDUtilities::EnsureSaveFileDirectoryExists();
        DeleteFileA(SettingsPath().c_str());
        ASSERT_TRUE(testing_support::WriteWholeFile(ResourcesPath(), kResources));
        PersistentSettings settings;
        ASSERT_TRUE(settings.SetProperty(SettingsId::content_directory, m_content.Path()));
        ASSERT_TRUE(settings.SetProperty(SettingsId::application_directory, ThisFolder()));
        m_mark = TraceCapture::Mark();
    }

    std::string ResourcesPath() const { return m_content.Path() + "\\resources.xml"; }
    std::string Traced() const { return TraceCapture::Since(m_mark); }
    bool Has(const std::string& line) const { return Traced().find(line) != std::string::npos; }

    testing_support::FileBackup m_settings{SettingsPath()};
    testing_support::ScratchFolder m_content{"wisp-dialog-content"};
    std::size_t m_mark = 0;
};

TEST_F(MessageDialogs, ResourceStringsComeFromResourcesXmlInTheContentFolder)
{
    ResourceFile resources;
    EXPECT_EQ(m_content.Path() + "\\resources.xml", resources.Path());
    std::string text;
    ASSERT_TRUE(resources.GetResource("Ok", &text));
    EXPECT_EQ("Okay", text);

    // A missing name answers true and leaves the caller's string.
    text = "the caller's";
    EXPECT_TRUE(resources.GetResource("NoSuchString", &text));
    EXPECT_EQ("the caller's", text);

    EXPECT_FALSE(resources.GetResource(nullptr, &text));
    EXPECT_TRUE(Has("ResourceFile::GetResource - strResourceName is NULL.\n"));
    EXPECT_FALSE(resources.GetResource("Ok", nullptr));
    EXPECT_TRUE(Has("ResourceFile::GetResource - strVal is NULL.\n"));

    // The file is read at every lookup.
    ASSERT_TRUE(testing_support::WriteWholeFile(ResourcesPath(), "<r><Ok value='Changed'/></r>"));
    ASSERT_TRUE(resources.GetResource("Ok", &text));
    EXPECT_EQ("Changed", text);
    DeleteFileA(ResourcesPath().c_str());
    EXPECT_FALSE(resources.GetResource("Ok", &text));
    EXPECT_TRUE(Has("ResourceFile::GetResource - failed loading '" + ResourcesPath() + "'\n"));
}

TEST_F(MessageDialogs, TheRadioDialogShowsItsTextsAndOkKeepsTheChoiceAndTheCheckBox)
{
    RadioMessageCheckDlg dialog;
    ASSERT_TRUE(dialog.InitStringsFromResource("RadioMessageCheckDlgCaption", "RadioMessageCheckDlgMsg",
                                               "RadioMessageCheckDlgRadio1", "RadioMessageCheckDlgRadio2",
                                               "RadioMessageCheckDlgCheck"));
    EXPECT_EQ(1, dialog.GetSelectedOption());
    EXPECT_FALSE(dialog.GetCheckboxState());
    RadioSeen seen;
    EXPECT_EQ(IDOK, Answer(dialog, "Feed links", [&](HWND d) {
        seen = ReadRadioDialog(d);
        testing_support::ClickItem(d, 1006);
        testing_support::ClickItem(d, 1004);
        testing_support::PressButton(d, IDOK);
    }));
    EXPECT_EQ("Feed links", seen.caption);
    EXPECT_EQ("When you click a feed link:\nwhat should happen?", seen.message);
    EXPECT_EQ("Show it in Tidewire", seen.radio1);
    EXPECT_EQ("Open it in the browser", seen.radio2);
    EXPECT_EQ("Remember my choice", seen.checkbox);
    EXPECT_EQ("Okay", seen.ok);
    EXPECT_EQ("Not now", seen.cancel);
    EXPECT_TRUE(seen.radio1Checked);
    EXPECT_FALSE(seen.radio2Checked);
    EXPECT_FALSE(seen.boxChecked);
    EXPECT_TRUE(seen.icon);
    EXPECT_EQ(2, dialog.GetSelectedOption());
    EXPECT_TRUE(dialog.GetCheckboxState());

    // Shown again it starts from those values; Cancel (here Escape) keeps them whatever was
    // clicked.
    EXPECT_EQ(IDCANCEL, Answer(dialog, "Feed links", [&](HWND d) {
        seen = ReadRadioDialog(d);
        testing_support::ClickItem(d, 1005);
        testing_support::ClickItem(d, 1004);
        testing_support::PressEscape(d);
    }));
    EXPECT_TRUE(seen.radio2Checked);
    EXPECT_TRUE(seen.boxChecked);
    EXPECT_EQ(2, dialog.GetSelectedOption());
    EXPECT_TRUE(dialog.GetCheckboxState());

}

TEST_F(MessageDialogs, TheRadioDialogRefusesMissingNamesAndAnUnreadableResourceFile)
{
    RadioMessageCheckDlg dialog;
    EXPECT_FALSE(dialog.InitStringsFromResource(nullptr, "m", "r1", "r2", "c"));
    EXPECT_TRUE(Has("RadioMessageCheckDlg::InitStringsFromResourcee - strDlgCaptionResourceName is NULL.\n"));
    EXPECT_FALSE(dialog.InitStringsFromResource("c", "m", "r1", "r2", nullptr));
    EXPECT_TRUE(Has("RadioMessageCheckDlg::InitStringsFromResource - strCheckboxResourceName is NULL.\n"));

    DeleteFileA(ResourcesPath().c_str());
    EXPECT_FALSE(dialog.InitStringsFromResource("RadioMessageCheckDlgCaption", "m", "r1", "r2", "c"));
    EXPECT_TRUE(Has("RadioMessageCheckDlg::InitStringsFromResource - failed reading 'RadioMessageCheckDlgCaption' "
                    "from resource file.\n"));
}

TEST_F(MessageDialogs, TheYesNoDialogWithACheckBoxReportsTheBoxOnYesAndNoOnly)
{
    YesNoMessageCheckDlg dialog;
    ASSERT_TRUE(dialog.SetMessage("Make Tidewire\nyour feed reader?"));
    ASSERT_TRUE(dialog.SetCheckboxText("Do not ask again"));
    std::string message, box, yes, no;
    bool icon = false, checkedAtStart = true;
    EXPECT_EQ(IDYES, Answer(dialog, kQuestionCaption, [&](HWND d) {
        message = testing_support::ItemText(d, 1003);
        box = testing_support::ItemText(d, 1002);
        yes = testing_support::ItemText(d, IDYES);
        no = testing_support::ItemText(d, IDNO);
        icon = testing_support::ItemIcon(d, 1001) != nullptr;
        checkedAtStart = testing_support::IsItemChecked(d, 1002);
        testing_support::ClickItem(d, 1002);
        testing_support::PressButton(d, IDYES);
    }));
    EXPECT_EQ("Make Tidewire\nyour feed reader?", message);
    EXPECT_EQ("Do not ask again", box);
    // This variant's buttons read "Yes" and "No" from the resource file.
    EXPECT_EQ("Yes please", yes);
    EXPECT_EQ("No thanks", no);
    EXPECT_TRUE(icon);
    EXPECT_FALSE(checkedAtStart);
    EXPECT_TRUE(dialog.GetCheckboxState());

    EXPECT_EQ(IDNO, Answer(dialog, kQuestionCaption, [&](HWND d) {
        checkedAtStart = testing_support::IsItemChecked(d, 1002);
        testing_support::ClickItem(d, 1002);
        testing_support::PressButton(d, IDNO);
    }));
    EXPECT_TRUE(checkedAtStart);
    EXPECT_FALSE(dialog.GetCheckboxState());

    // Escape answers IDCANCEL and stores nothing.
    EXPECT_EQ(IDCANCEL, Answer(dialog, kQuestionCaption, [&](HWND d) {
        testing_support::ClickItem(d, 1002);
        testing_support::PressEscape(d);
    }));
    EXPECT_FALSE(dialog.GetCheckboxState());

    EXPECT_FALSE(dialog.SetCheckboxText(nullptr));
    EXPECT_TRUE(Has("YesNoMessageCheckDlg::SetCheckboxText - strCheckbox is NULL.\n"));
}

TEST_F(MessageDialogs, ThePlainYesNoDialogAnswersItsButtons)
{
    YesNoMessageDlg dialog;
    EXPECT_EQ("Do you like bananas?", dialog.Message());
    std::string message, yes, no;
    bool icon = false;
    EXPECT_EQ(IDYES, Answer(dialog, kQuestionCaption, [&](HWND d) {
        message = testing_support::ItemText(d, 1009);
        yes = testing_support::ItemText(d, IDYES);
        no = testing_support::ItemText(d, IDNO);
        icon = testing_support::ItemIcon(d, 1010) != nullptr;
        testing_support::PressButton(d, IDYES);
    }));
    EXPECT_EQ("Do you like bananas?", message);
    EXPECT_EQ("Yes", yes);
    EXPECT_EQ("No", no);
    EXPECT_TRUE(icon);

    ASSERT_TRUE(dialog.InitStringsFromResource("AskMsg", "AskYes", "AskNo"));
    EXPECT_EQ(IDNO, Answer(dialog, kQuestionCaption, [&](HWND d) {
        message = testing_support::ItemText(d, 1009);
        yes = testing_support::ItemText(d, IDYES);
        no = testing_support::ItemText(d, IDNO);
        testing_support::PressButton(d, IDNO);
    }));
    EXPECT_EQ("Make Tidewire your feed reader?", message);
    EXPECT_EQ("Do it", yes);
    EXPECT_EQ("Leave it", no);
    // The close box answers IDCANCEL.
    EXPECT_EQ(IDCANCEL, Answer(dialog, kQuestionCaption, [&](HWND d) { PostMessageA(d, WM_CLOSE, 0, 0); }));

    EXPECT_FALSE(dialog.SetMessage(nullptr));
    EXPECT_TRUE(Has("YesNoMessageDlg::SetMessage - strMessage is NULL.\n"));
    DeleteFileA(ResourcesPath().c_str());
    EXPECT_FALSE(dialog.InitStringsFromResource("AskMsg", "AskYes", "AskNo"));
    EXPECT_TRUE(Has("YesNoMessageDlg::InitStringsFromResource - failed reading 'AskMsg' from resource file.\n"));
}

TEST_F(MessageDialogs, WithoutTheHostExecutableNoDialogIsShown)
{
    {
        PersistentSettings settings;
        ASSERT_TRUE(settings.SetProperty(SettingsId::application_directory, m_content.Path()));
    }
    YesNoMessageDlg plain;
    EXPECT_EQ(-1, plain.DoModal());
    EXPECT_TRUE(Has("YesNoMessageDlg::DoModal - failed loading '" + m_content.Path() + "\\TidewireDesktop.exe'"));
    EXPECT_EQ(m_content.Path() + "\\TidewireDesktop.exe", MessageDialog::HostExecutablePath());

    // An executable without the templates: this suite's own.
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, sizeof self);
    ASSERT_TRUE(CopyFileA(self, (m_content.Path() + "\\TidewireDesktop.exe").c_str(), FALSE));
    RadioMessageCheckDlg radio;
    EXPECT_EQ(-1, radio.DoModal());
    EXPECT_TRUE(Has("RadioMessageCheckDlg::DoModal - dialog template 133 not found in '"));
    EXPECT_EQ(nullptr, FindWindowA("#32770", nullptr));
}

// Row "GetRSSFeedBehavior" as page script calls it.
class FeedBehavior : public MessageDialogs {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(S_OK, testing_support::RegisterWisp()); }
    void SetUp() override
    {
        MessageDialogs::SetUp();
        ASSERT_TRUE(m_host.OpenPage(L"fixtures\\windows\\menus.htm", 200, 120));
    }
    void TearDown() override { m_host.Destroy(); }

    std::string Ask(std::function<void(HWND)> answer)
    {
        return DriveModal([&] {
            HWND d = testing_support::WaitForDialog("Feed links");
            if (!d) {
                ADD_FAILURE() << "no feed-behaviour dialog";
                testing_support::CancelAnyDialog();
                return;
            }
            answer(d);
        }, [&] { return AskWithoutDialog(); });
    }
    std::string AskWithoutDialog()
    {
        return m_host.CallPageFunction(L"run", std::string("app().CallApplicationMethod('GetRSSFeedBehavior')"));
    }
    static bool Stored(int& value)
    {
        PersistentSettings settings;
        return settings.GetProperty(SettingsId::behavior_when_rss_link_clicked, value);
    }
    static void Store(int value)
    {
        PersistentSettings settings;
        settings.SetProperty(SettingsId::behavior_when_rss_link_clicked, value);
    }

    host::HostApplication m_host;
};

TEST_F(FeedBehavior, AStoredChoiceAnswersWithoutAsking)
{
    Store(2);
    EXPECT_EQ("number:2", AskWithoutDialog());
    Store(1);
    EXPECT_EQ("number:1", AskWithoutDialog());
}

TEST_F(FeedBehavior, OkStoresTheChoiceWhenTickedAndZeroOtherwiseCancelStoresNothing)
{
    int stored = -7;
    bool radio1 = false;
    // Nothing stored yet: cancel answers 0 and stores nothing.
    EXPECT_EQ("number:0", Ask([&](HWND d) {
        radio1 = testing_support::IsItemChecked(d, 1005);
        testing_support::ClickItem(d, 1006);
        testing_support::PressButton(d, IDCANCEL);
    }));
    EXPECT_TRUE(radio1);   // the first choice is preselected
    EXPECT_FALSE(Stored(stored));

    // OK without the tick: the choice, and 0 stored (so the question comes again).
    EXPECT_EQ("number:2", Ask([&](HWND d) {
        testing_support::ClickItem(d, 1006);
        testing_support::PressButton(d, IDOK);
    }));
    ASSERT_TRUE(Stored(stored));
    EXPECT_EQ(0, stored);

    EXPECT_EQ("number:1", Ask([&](HWND d) { testing_support::PressButton(d, IDOK); }));
    ASSERT_TRUE(Stored(stored));
    EXPECT_EQ(0, stored);

    // Ticked: the choice is stored and answers from then on.
    EXPECT_EQ("number:2", Ask([&](HWND d) {
        testing_support::ClickItem(d, 1006);
        testing_support::ClickItem(d, 1004);
        testing_support::PressButton(d, IDOK);
    }));
    ASSERT_TRUE(Stored(stored));
    EXPECT_EQ(2, stored);
    EXPECT_EQ("number:2", AskWithoutDialog());

    // Any other stored value asks again; cancel leaves it.
    Store(5);
    EXPECT_EQ("number:0", Ask([&](HWND d) { testing_support::PressEscape(d); }));
    ASSERT_TRUE(Stored(stored));
    EXPECT_EQ(5, stored);
}

TEST_F(FeedBehavior, WithoutTheResourceFileOrOneOfItsTextsNothingIsShownOrStored)
{
    DeleteFileA(ResourcesPath().c_str());
    EXPECT_EQ("number:0", AskWithoutDialog());
    int stored = -7;
    EXPECT_FALSE(Stored(stored));

    // The second choice's text is missing: no blank radio button is offered.
    std::string resources = kResources;
    resources.erase(resources.find("  <RadioMessageCheckDlgRadio2"), std::strlen("  <RadioMessageCheckDlgRadio2 value='Open it in the browser'/>\r\n"));
    ASSERT_TRUE(testing_support::WriteWholeFile(ResourcesPath(), resources));
    EXPECT_EQ("number:0", DriveModal([] {
        if (HWND d = testing_support::WaitForDialog("Feed links", 1500)) {
            ADD_FAILURE() << "asked with a blank choice";
            testing_support::PressButton(d, IDOK);
        }
    }, [&] { return AskWithoutDialog(); }));
    EXPECT_FALSE(Stored(stored));
    EXPECT_TRUE(Has("RadioMessageCheckDlg::InitStringsFromResource - failed reading 'RadioMessageCheckDlgRadio2' "
                    "from resource file.\n"));
}

}  // namespace
