// Menus from menu files on disk, as page script loads and shows them through the control in the
// test host; a helper thread reads the shown menu and chooses from it like a user.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "common/HostMessages.h"
#include "common/com/Bstr.h"
#include "common/com/ComPtr.h"
#include "tests/support/ImportHook.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/ScratchState.h"
#include "tests/support/TraceCapture.h"
#include "tests/support/WispLibrary.h"
#include "tests/support/host/HostApplication.h"

using host::JsString;
using testing_support::DriveModal;
using testing_support::MenuEntry;
using testing_support::TraceCapture;

namespace {

const DWORD kLoadTimeout = 10000;

// A 16 x 16 24-bit bitmap file.
std::string BitmapFile()
{
    const int side = 16, row = side * 3;
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER info = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + row * side;
    info.biSize = sizeof info;
    info.biWidth = side;
    info.biHeight = side;
    info.biPlanes = 1;
    info.biBitCount = 24;
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
    bytes.append(reinterpret_cast<const char*>(&info), sizeof info);
    bytes.append(static_cast<std::size_t>(row * side), '\x7f');
    return bytes;
}

// What Wisp.dll does with menu handles, through its imports.
struct MenuHandleLog {
    std::vector<HMENU> created;
    int destroyed = 0;
    int destroyedDead = 0;   // DestroyMenu on a handle that was no longer a menu
};
MenuHandleLog g_log;
HMENU(WINAPI* g_createPopupMenu)() = nullptr;
BOOL(WINAPI* g_destroyMenu)(HMENU) = nullptr;

HMENU WINAPI LoggingCreatePopupMenu()
{
    HMENU menu = g_createPopupMenu();
    g_log.created.push_back(menu);
    return menu;
}

BOOL WINAPI LoggingDestroyMenu(HMENU menu)
{
    ++g_log.destroyed;
    if (!IsMenu(menu))
        ++g_log.destroyedDead;
    return g_destroyMenu(menu);
}

// Logs the menu handles Wisp.dll creates and destroys, for the life of the object.
struct MenuHandleHooks {
    explicit MenuHandleHooks(HMODULE wisp)
        : create(wisp, "user32.dll", "CreatePopupMenu", reinterpret_cast<void*>(&LoggingCreatePopupMenu)),
          destroy(wisp, "user32.dll", "DestroyMenu", reinterpret_cast<void*>(&LoggingDestroyMenu))
    {
        g_log = MenuHandleLog();
        g_createPopupMenu = reinterpret_cast<HMENU(WINAPI*)()>(create.Original());
        g_destroyMenu = reinterpret_cast<BOOL(WINAPI*)(HMENU)>(destroy.Original());
    }
    bool Installed() const { return create.Installed() && destroy.Installed(); }

    testing_support::ImportHook create;
    testing_support::ImportHook destroy;
};

class MenuPage : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(S_OK, testing_support::RegisterWisp()); }

    void SetUp() override
    {
        ASSERT_TRUE(m_host.OpenPage(L"fixtures\\windows\\menus.htm", 320, 200, true, kLoadTimeout));
        testing_support::PumpMessages(30);
        m_mark = TraceCapture::Mark();
    }
    void TearDown() override { m_host.Destroy(); }

    std::string Run(const std::string& code) { return m_host.CallPageFunction(L"run", code); }
    std::string File(const std::string& name, const std::string& content)
    {
        std::string path = m_folder.Path() + "\\" + name;
        EXPECT_TRUE(testing_support::WriteWholeFile(path, content));
        return path;
    }
    int AddMenu(const std::string& path)
    {
        std::string answer = Run("app().CallApplicationMethod('AddMenu', " + JsString(path) + ")");
        EXPECT_EQ(0u, answer.find("number:")) << answer;
        return std::atoi(answer.c_str() + 7);
    }
    std::string ShowFromPage(int id)
    {
        return Run("app().CallApplicationMethod('ShowMenu', " + std::to_string(id) + ")");
    }
    // Shows menu `id` from page script while `driver` works the menu; the page's answer.
    std::string Show(int id, std::function<void()> driver)
    {
        return DriveModal(std::move(driver), [&] { return ShowFromPage(id); });
    }
    // Shows the menu, reads its items and dismisses it.
    std::vector<MenuEntry> ShowAndRead(int id, std::string* answer = nullptr)
    {
        std::vector<MenuEntry> items;
        std::string shown = Show(id, [&] {
            items = testing_support::ReadMenu(testing_support::MenuOfWindow(testing_support::WaitForMenuWindow()));
            testing_support::DismissMenu();
        });
        if (answer)
            *answer = shown;
        return items;
    }
    std::string Traced() const { return TraceCapture::Since(m_mark); }

    host::HostApplication m_host;
    testing_support::ScratchFolder m_folder{"wisp-menus"};
    std::size_t m_mark = 0;
};

TEST_F(MenuPage, ANestedMenuFileShowsItsItemsStatesSeparatorsIconsAndSubmenus)
{
    const std::string icon = File("open.bmp", BitmapFile());
    const std::string path = File("menu.xml",
                                  "<?xml version='1.0'?>\r\n<Menu>\r\n"
                                  "  <MenuItem ID='1' Text='Open' Icon='" + icon + "'/>\r\n"
                                  "  <MenuItem Separator='true'/>\r\n"
                                  "  <MenuItem ID='2' Text='Disabled' Enabled='FALSE'/>\r\n"
                                  "  <MenuItem ID='3' Text='Still enabled' Enabled='no'/>\r\n"
                                  "  <MenuItem ID='4' Text='Ticked' Checked='1'/>\r\n"
                                  "  <MenuItem ID='5'/>\r\n"
                                  "  <Menu ID='6' Text='More'>\r\n"
                                  "    <MenuItem ID='10' Text='Deep' Checked='true'/>\r\n"
                                  "    <Menu Text='Deeper'><MenuItem ID='20' Text='Deepest'/></Menu>\r\n"
                                  "  </Menu>\r\n"
                                  "</Menu>\r\n");
    const int id = AddMenu(path);
    EXPECT_EQ(0, id);

    SetCursorPos(150, 120);
    HWND menuWindow = nullptr;
    std::vector<MenuEntry> top, more, deeper;
    std::string answer = Show(id, [&] {
        menuWindow = testing_support::WaitForMenuWindow();
        top = testing_support::ReadMenu(testing_support::MenuOfWindow(menuWindow));
        if (top.size() == 6) {
            more = testing_support::ReadMenu(top[5].submenu);
            if (more.size() == 2)
                deeper = testing_support::ReadMenu(more[1].submenu);
        }
        RECT at = {};
        GetWindowRect(menuWindow, &at);
        if (at.left != 150 || at.top != 120)
            ADD_FAILURE() << "menu at " << at.left << "," << at.top;
        testing_support::DismissMenu();
    });
    EXPECT_EQ("number:0", answer);   // dismissed: nothing picked

    // The item without a label is left out.
    ASSERT_EQ(6u, top.size());
    EXPECT_EQ(1u, top[0].id);
    EXPECT_EQ("Open", top[0].text);
    EXPECT_TRUE(top[0].hasBitmap);
    EXPECT_TRUE(top[1].separator);
    EXPECT_EQ(0x800u, top[1].state & 0x800);
    EXPECT_EQ("Disabled", top[2].text);
    EXPECT_EQ(0x3u, top[2].state & 0x3);
    EXPECT_TRUE(top[2].disabled);
    EXPECT_FALSE(top[3].disabled);
    EXPECT_EQ(0u, top[3].state & 0xB);
    EXPECT_EQ(0x8u, top[4].state & 0x8);
    EXPECT_TRUE(top[4].checked);
    EXPECT_EQ("More", top[5].text);
    EXPECT_EQ(6u, top[5].id);
    ASSERT_NE(nullptr, top[5].submenu);
    ASSERT_EQ(2u, more.size());
    EXPECT_EQ("Deep", more[0].text);
    EXPECT_TRUE(more[0].checked);
    ASSERT_EQ(1u, deeper.size());
    EXPECT_EQ(20u, deeper[0].id);

    // The control's window took the keyboard focus for the menu.
    EXPECT_EQ(m_host.ControlWindow(), GetFocus());
    EXPECT_TRUE(testing_support::WaitForNoMenuWindow());
}

TEST_F(MenuPage, KeyboardChoicesAnswerTheCommandIds)
{
    const int id = AddMenu(File("choose.xml", "<Menu><MenuItem ID='41' Text='First'/><MenuItem Separator='1'/>"
                                              "<MenuItem ID='42' Text='Second'/>"
                                              "<Menu ID='43' Text='Sub'><MenuItem ID='44' Text='Inner'/></Menu>"
                                              "</Menu>"));
    HWND owner = m_host.ControlWindow();
    const auto choose = [&](int position) {
        return Show(id, [&] {
            HMENU menu = testing_support::MenuOfWindow(testing_support::WaitForMenuWindow());
            if (!testing_support::ChooseMenuItem(owner, menu, position)) {
                ADD_FAILURE() << "item " << position << " could not be highlighted";
                testing_support::DismissMenu();
            }
        });
    };
    EXPECT_EQ("number:41", choose(0));
    EXPECT_EQ("number:42", choose(2));   // Down steps over the separator
    // Right opens the submenu on its first item.
    EXPECT_EQ("number:44", Show(id, [&] {
        HMENU menu = testing_support::MenuOfWindow(testing_support::WaitForMenuWindow());
        if (!testing_support::OpenSubmenu(owner, menu, 3)) {
            ADD_FAILURE() << "the submenu did not open";
            testing_support::DismissMenu();
            return;
        }
        testing_support::PressKey(owner, VK_RETURN);
    }));
    EXPECT_EQ("number:0", Show(id, [&] {
        testing_support::WaitForMenuWindow();
        testing_support::PressKey(owner, VK_ESCAPE);
    }));
}

TEST_F(MenuPage, ShowingAMenuThatIsShowingAnswersZeroAndLeavesTheShownOneWhole)
{
    const int id = AddMenu(File("again.xml", "<Menu><MenuItem ID='51' Text='Only'/></Menu>"));
    // A timer of the page fires inside the menu loop and shows the same menu again.
    Run("again = 'none'; setTimeout(function () { again = describe(app().CallApplicationMethod('ShowMenu', " +
        std::to_string(id) + ")); }, 200)");
    HWND owner = m_host.ControlWindow();
    EXPECT_EQ("number:51", Show(id, [&] {
        HMENU menu = testing_support::MenuOfWindow(testing_support::WaitForMenuWindow());
        TraceCapture::WaitFor("QDMenu::Show - the menu is showing already.\n", m_mark, 5000);
        if (!testing_support::ChooseMenuItem(owner, menu, 0)) {
            ADD_FAILURE() << "the shown menu lost its item";
            testing_support::DismissMenu();
        }
    }));
    EXPECT_EQ("string:number:0", Run("again"));
}

TEST_F(MenuPage, CallbacksDecideLabelsAndStatesAtEveryShowWithTheItemId)
{
    const int id = AddMenu(File("callbacks.xml",
                                "<Menu><MenuItem ID='7' Text='Callback:labelFor' Checked='Callback:isTicked' "
                                "Enabled='Callback:isEnabled'/>"
                                "<MenuItem ID='8' Text='Callback:emptyLabel'/>"
                                "<MenuItem ID='9' Text='Callback:missingFunction' Enabled='Callback:throws' "
                                "Checked='Callback:alsoMissing'/>"
                                "<MenuItem ID='11' Text='callback:lowerCase'/></Menu>"));
    std::vector<MenuEntry> items = ShowAndRead(id);
    // Checked, then Enabled, then the label; an empty computed label leaves the item out.
    EXPECT_EQ("isTicked(number:7) isEnabled(number:7) labelFor(number:7) emptyLabel(number:8) throws(number:9)",
              m_host.CallPageFunction(L"takeCalls"));
    ASSERT_EQ(3u, items.size());
    EXPECT_EQ("Label 7", items[0].text);
    EXPECT_FALSE(items[0].checked);
    EXPECT_FALSE(items[0].disabled);
    // Failed callbacks fall back to the static values: the source text, and true for a
    // "Callback:" value (it is no false word).
    EXPECT_EQ("Callback:missingFunction", items[1].text);
    EXPECT_FALSE(items[1].disabled);
    EXPECT_TRUE(items[1].checked);
    EXPECT_EQ("callback:lowerCase", items[2].text);   // the prefix is exact
    const std::string traced = Traced();
    EXPECT_NE(std::string::npos, traced.find("Callback: 'missingFunction' failed.\n"));
    EXPECT_NE(std::string::npos, traced.find("Callback: 'throws' failed.\n"));
    EXPECT_NE(std::string::npos, traced.find("Callback: 'alsoMissing' failed.\n"));

    // The next show follows the page's state.
    Run("ticked = true; enabled = false; suffix = ' again'");
    items = ShowAndRead(id);
    ASSERT_EQ(3u, items.size());
    EXPECT_EQ("Label 7 again", items[0].text);
    EXPECT_TRUE(items[0].checked);
    EXPECT_TRUE(items[0].disabled);
}

TEST_F(MenuPage, CallbacksReachThePageShownNowAfterANavigation)
{
    const int id = AddMenu(File("labels.xml", "<Menu><MenuItem ID='3' Text='Callback:labelFor'/></Menu>"));
    std::wstring second = host::FileUrl(host::PathBesideExecutable(L"fixtures\\windows\\second.htm"));
    Bstr url(second.c_str());
    const int loads = m_host.CountMessages(RM_DOCUMENT_COMPLETE);
    ASSERT_EQ(S_OK, m_host.Control()->LoadHTML(url.Get()));
    ASSERT_TRUE(m_host.WaitForMessage(RM_DOCUMENT_COMPLETE, kLoadTimeout, loads));
    testing_support::PumpMessages(30);
    std::vector<MenuEntry> items = ShowAndRead(id);
    ASSERT_EQ(1u, items.size());
    EXPECT_EQ("Second page 3", items[0].text);
}

TEST_F(MenuPage, LoadFailuresAnswerMinusOneAndAMalformedTagKeepsTheItemsSoFar)
{
    const std::string missing = m_folder.Path() + "\\no-such-menu.xml";
    EXPECT_EQ("number:-1", Run("app().CallApplicationMethod('AddMenu', " + JsString(missing) + ")"));
    EXPECT_NE(std::string::npos, Traced().find("QDMenu::Load - failed loading menu '" + missing + "'\n"));
    EXPECT_NE(std::string::npos, Traced().find("Failed loading menu '" + missing + "'\n"));

    const std::string noMenu = File("nomenu.xml", "<menu><MenuItem ID='1' Text='lower-case menu'/></menu>");
    EXPECT_EQ("number:-1", Run("app().CallApplicationMethod('AddMenu', " + JsString(noMenu) + ")"));
    EXPECT_NE(std::string::npos, Traced().find("Failed loading menu '" + noMenu + "'\n"));
    // The failed loads gave their slots back.
    const int id = AddMenu(File("malformed.xml",
                                "<!-- <Menu><MenuItem ID='9' Text='Commented out'/></Menu> -->\r\n"
                                "<Menu><MenuItem ID='1' Text='One'/><MenuItem ID='2' Text=\"Two\"/>"
                                "<MenuItem ID=3 Text='Three'/><MenuItem ID='4' Text='Four'/></Menu>"));
    EXPECT_EQ(0, id);
    std::vector<MenuEntry> items = ShowAndRead(id);
    ASSERT_EQ(2u, items.size());
    EXPECT_EQ("One", items[0].text);
    EXPECT_EQ("Two", items[1].text);
}

TEST_F(MenuPage, TwentyFiveSlotsAndDeletedSlotsAreReused)
{
    const std::string path = File("slot.xml", "<Menu><MenuItem ID='1' Text='Slot'/></Menu>");
    for (int i = 0; i < 25; ++i)
        EXPECT_EQ(i, AddMenu(path));   // the same file again gives a new id
    EXPECT_EQ("number:-1", Run("app().CallApplicationMethod('AddMenu', " + JsString(path) + ")"));

    EXPECT_EQ("boolean:true", Run("app().CallApplicationMethod('DeleteMenu', 3)"));
    EXPECT_EQ("boolean:false", Run("app().CallApplicationMethod('DeleteMenu', 3)"));
    EXPECT_EQ("number:-1", ShowFromPage(3));   // an empty slot shows nothing
    EXPECT_EQ(3, AddMenu(path));
    EXPECT_EQ("number:-1", Run("app().CallApplicationMethod('AddMenu', " + JsString(path) + ")"));

    EXPECT_EQ("boolean:false", Run("app().CallApplicationMethod('DeleteMenu', 25)"));
    EXPECT_EQ("boolean:false", Run("app().CallApplicationMethod('DeleteMenu', -1)"));
    EXPECT_EQ("number:-1", ShowFromPage(25));
    EXPECT_EQ("number:-1", ShowFromPage(-1));
    EXPECT_TRUE(testing_support::VisibleMenuWindows().empty());
    EXPECT_EQ("Slot", ShowAndRead(24).at(0).text);
}

TEST_F(MenuPage, LongAttributeValuesAreCutNeverOverrun)
{
    const std::string longText(1000, 'w');
    const int id = AddMenu(File("long.xml", "<Menu><MenuItem ID='1' Text='" + longText + "' Icon='" + longText +
                                                "'/><MenuItem ID='2' Text='Callback:" + std::string(600, 'f') +
                                                "'/></Menu>"));
    std::vector<MenuEntry> items = ShowAndRead(id);
    ASSERT_EQ(2u, items.size());
    EXPECT_EQ(std::string(259, 'w'), items[0].text);
    EXPECT_FALSE(items[0].hasBitmap);
    EXPECT_EQ("Callback:" + std::string(250, 'f'), items[1].text);
    EXPECT_NE(std::string::npos, Traced().find("Callback: '" + std::string(250, 'f') + "' failed.\n"));
}

TEST_F(MenuPage, SubmenuHandlesAreDestroyedOnceAndUnInitDeletesTheMenus)
{
    HMODULE wisp = GetModuleHandleA("Wisp.dll");
    ASSERT_NE(nullptr, wisp);
    MenuHandleHooks hooks(wisp);
    ASSERT_TRUE(hooks.Installed());

    const std::string path = File("nested.xml", "<Menu><Menu Text='A'><Menu Text='B'><MenuItem ID='1' Text='C'/>"
                                                "</Menu></Menu><MenuItem ID='2' Text='D'/></Menu>");
    const int first = AddMenu(path);
    const int second = AddMenu(path);
    ShowAndRead(first);
    ShowAndRead(first);   // rebuilt: the first build's three handles go
    ShowAndRead(second);
    ASSERT_EQ(9u, g_log.created.size());
    EXPECT_EQ("boolean:true", Run("app().CallApplicationMethod('DeleteMenu', " + std::to_string(second) + ")"));
    for (std::size_t i = 6; i < 9; ++i)
        EXPECT_FALSE(IsMenu(g_log.created[i])) << "menu " << i << " outlived its slot";
    EXPECT_TRUE(IsMenu(g_log.created[3]));   // the menu in slot 0 is still built

    ASSERT_EQ(S_OK, m_host.Control()->UnInit());
    for (std::size_t i = 0; i < g_log.created.size(); ++i)
        EXPECT_FALSE(IsMenu(g_log.created[i])) << "menu " << i << " outlived UnInit";
    EXPECT_EQ(0, g_log.destroyedDead) << "of " << g_log.destroyed << " DestroyMenu calls";
    EXPECT_EQ("number:-1", ShowFromPage(first));
    EXPECT_EQ("number:-1", Run("app().CallApplicationMethod('AddMenu', " + JsString(path) + ")"));
}

TEST_F(MenuPage, ActivatingTheControlAgainDeletesTheMenusOfTheWindowThatWent)
{
    HMODULE wisp = GetModuleHandleA("Wisp.dll");
    ASSERT_NE(nullptr, wisp);
    MenuHandleHooks hooks(wisp);
    ASSERT_TRUE(hooks.Installed());
    ShowAndRead(AddMenu(File("flat.xml", "<Menu><MenuItem ID='1' Text='A'/></Menu>")));
    ASSERT_EQ(1u, g_log.created.size());
    ASSERT_TRUE(IsMenu(g_log.created[0]));

    ComPtr<IOleInPlaceObject> inPlace;
    ComPtr<IOleObject> ole;
    ComPtr<IOleClientSite> site;
    ASSERT_EQ(S_OK, m_host.Control()->QueryInterface(IID_IOleInPlaceObject, inPlace.PutVoid()));
    ASSERT_EQ(S_OK, m_host.Control()->QueryInterface(IID_IOleObject, ole.PutVoid()));
    ASSERT_EQ(S_OK, ole->GetClientSite(site.Put()));
    HWND before = nullptr;
    m_host.Control()->get_HWND(&before);
    HWND container = GetParent(before);
    RECT rect;
    GetClientRect(container, &rect);
    ASSERT_EQ(S_OK, inPlace->InPlaceDeactivate());
    ASSERT_EQ(S_OK, ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site.Get(), 0, container, &rect));
    HWND after = nullptr;
    m_host.Control()->get_HWND(&after);
    ASSERT_TRUE(IsWindow(after));
    EXPECT_FALSE(IsMenu(g_log.created[0])) << "the menu outlived the window it was shown for";
}

}  // namespace
