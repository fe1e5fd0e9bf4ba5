// Drives modal loops (popup menus, dialogs, message boxes) the way a user would, from a helper
// thread while the test's thread sits in the modal call: find the menu window ("#32768") or
// the dialog ("#32770", by caption), read its items and texts, choose with keyboard input or
// WM_COMMAND, dismiss with Escape or EndMenu.
//
//   std::vector<MenuEntry> seen;
//   int picked = DriveModal([&] {
//       HWND menu = WaitForMenuWindow();
//       seen = ReadMenu(MenuOfWindow(menu));
//       ChooseMenuItem(owner, 2);
//   }, [&] { return ShowTheMenu(); });
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

const DWORD kModalWaitMs = 5000;

// Runs driver on a helper thread while modal() runs on this one; answers modal()'s result once
// both are done. The driver must end the modal loop (or the loop must end by itself).
template <class Modal>
auto DriveModal(std::function<void()> driver, Modal modal) -> decltype(modal())
{
    std::thread helper(std::move(driver));
    struct Join {
        std::thread& t;
        ~Join() { t.join(); }
    } join{helper};
    return modal();
}

// --- Menus ---------------------------------------------------------------------------------

struct MenuEntry {
    UINT id = 0;
    std::string text;
    bool separator = false;
    bool checked = false;
    bool disabled = false;   // grayed or disabled
    bool hasBitmap = false;
    HMENU submenu = nullptr;
    UINT state = 0;          // GetMenuState by position: MF_CHECKED, MF_GRAYED | MF_DISABLED, MF_SEPARATOR
};

// The visible popup-menu windows of this desktop, the most recently opened last (a submenu
// after its parent).
std::vector<HWND> VisibleMenuWindows();
// Waits until `count` popup-menu windows are visible; answers the last of them, or null.
HWND WaitForMenuWindow(std::size_t count = 1, DWORD timeoutMs = kModalWaitMs);
// Waits until no popup-menu window is visible.
bool WaitForNoMenuWindow(DWORD timeoutMs = kModalWaitMs);
HMENU MenuOfWindow(HWND menuWindow);   // MN_GETHMENU
std::vector<MenuEntry> ReadMenu(HMENU menu);

// Keyboard input to a tracked menu, posted to the menu's owner window (the tracking loop reads
// the owner thread's queue).
void PressKey(HWND window, UINT key);
// The position of the highlighted item, or -1.
int HighlightedItem(HMENU menu);
// Presses Down until the item at `position` is highlighted, waiting for each step to show;
// false when it never is (a separator, say).
bool HighlightItem(HWND owner, HMENU menu, int position, DWORD timeoutMs = kModalWaitMs);
// Highlights the item and presses Enter: the tracked call answers its id.
bool ChooseMenuItem(HWND owner, HMENU menu, int position);
// Highlights the item and presses Right; answers its submenu once that is open with its first
// item highlighted, or null.
HMENU OpenSubmenu(HWND owner, HMENU menu, int position, DWORD timeoutMs = kModalWaitMs);
// Ends whatever menu is tracked, choosing nothing.
void DismissMenu();

// --- Dialogs and message boxes ---------------------------------------------------------------

// A visible top-level "#32770" window with this caption, or null when none appears in time.
HWND WaitForDialog(const std::string& caption, DWORD timeoutMs = kModalWaitMs);
bool WaitForWindowGone(HWND window, DWORD timeoutMs = kModalWaitMs);
std::string WindowText(HWND window);
std::string ItemText(HWND dialog, int id);   // a MessageBox's text is item 65535
bool IsItemChecked(HWND dialog, int id);
// The icon a static control shows (STM_GETICON), or null.
HICON ItemIcon(HWND dialog, int id);
// Clicks a check box or radio button (BM_CLICK, sent: the state has changed on return).
void ClickItem(HWND dialog, int id);
// Posts WM_COMMAND(id, BN_CLICKED) as a button press does.
void PressButton(HWND dialog, int id);
// Escape, as the user presses it (to the dialog's focus window, through its dialog manager).
void PressEscape(HWND dialog);
// Ends every visible dialog of this process with IDCANCEL: a driver's way out when it did not
// find what it expected, so the test does not hang in the modal loop.
void CancelAnyDialog();

}  // namespace testing_support
