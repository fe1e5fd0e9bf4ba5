#include "tests/support/ModalDriver.h"

#include <algorithm>
#include <cstring>

namespace testing_support {

namespace {

const char kMenuClass[] = "#32768";
const char kDialogClass[] = "#32770";
const UINT kGetMenu = 0x01E1;   // MN_GETHMENU

bool ClassIs(HWND window, const char* name)
{
    char buffer[64] = {};
    GetClassNameA(window, buffer, sizeof buffer);
    return std::strcmp(buffer, name) == 0;
}

template <class Pred>
bool Poll(Pred done, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > timeoutMs)
            return done();
        Sleep(10);
    }
    return true;
}

BOOL CALLBACK CollectMenuWindow(HWND window, LPARAM list)
{
    if (IsWindowVisible(window) && ClassIs(window, kMenuClass))
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

BOOL CALLBACK CancelDialog(HWND window, LPARAM)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && IsWindowVisible(window) && ClassIs(window, kDialogClass))
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    return TRUE;
}

}  // namespace

std::vector<HWND> VisibleMenuWindows()
{
    // EnumWindows lists top-level windows front to back: the newest menu comes first.
    std::vector<HWND> found;
    EnumWindows(CollectMenuWindow, reinterpret_cast<LPARAM>(&found));
    std::reverse(found.begin(), found.end());
    return found;
}

HWND WaitForMenuWindow(std::size_t count, DWORD timeoutMs)
{
    std::vector<HWND> windows;
    Poll([&] {
        windows = VisibleMenuWindows();
        return windows.size() >= count;
    }, timeoutMs);
    return windows.size() >= count ? windows.back() : nullptr;
}

bool WaitForNoMenuWindow(DWORD timeoutMs)
{
    return Poll([] { return VisibleMenuWindows().empty(); }, timeoutMs);
}

HMENU MenuOfWindow(HWND menuWindow)
{
    return menuWindow ? reinterpret_cast<HMENU>(SendMessageA(menuWindow, kGetMenu, 0, 0)) : nullptr;
}

std::vector<MenuEntry> ReadMenu(HMENU menu)
{
    std::vector<MenuEntry> entries;
    const int count = menu ? GetMenuItemCount(menu) : 0;
    for (int i = 0; i < count; ++i) {
        char text[1024] = {};
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STATE | MIIM_STRING | MIIM_SUBMENU | MIIM_BITMAP;
        info.dwTypeData = text;
        info.cch = sizeof text;
        if (!GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &info))
            continue;
        MenuEntry entry;
        entry.id = info.wID;
        entry.separator = (info.fType & MFT_SEPARATOR) != 0;
        entry.text = entry.separator ? std::string() : std::string(text);
        entry.checked = (info.fState & MFS_CHECKED) != 0;
        entry.disabled = (info.fState & (MFS_GRAYED | MFS_DISABLED)) != 0;
        entry.hasBitmap = info.hbmpItem != nullptr;
        entry.submenu = info.hSubMenu;
        entry.state = GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION);
        entries.push_back(entry);
    }
    return entries;
}

void PressKey(HWND window, UINT key)
{
    PostMessageA(window, WM_KEYDOWN, key, 1);
    PostMessageA(window, WM_KEYUP, key, 0xC0000001);
}

int HighlightedItem(HMENU menu)
{
    const int count = menu ? GetMenuItemCount(menu) : 0;
    for (int i = 0; i < count; ++i)
        if (GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_HILITE)
            return i;
    return -1;
}

// A menu opens at the pointer, and a mouse move over a menu (Wine synthesises one when the
// menu window appears under the pointer) takes the highlight from the keyboard's item. The
// pointer goes above and left of every menu before the keys.
void MovePointerOffMenus()
{
    POINT pointer = {};
    GetCursorPos(&pointer);
    bool onMenu = false;
    LONG left = pointer.x, top = pointer.y;
    for (HWND window : VisibleMenuWindows()) {
        RECT rect = {};
        GetWindowRect(window, &rect);
        onMenu = onMenu || PtInRect(&rect, pointer);
        left = std::min(left, rect.left);
        top = std::min(top, rect.top);
    }
    if (!onMenu)
        return;
    SetCursorPos(std::max<LONG>(left - 16, 0), std::max<LONG>(top - 16, 0));
    Sleep(100);   // for the moves already queued to be read by the menu loop
}

// Wine takes the highlight off the old item before it puts it on the new one, so a single read
// can see none in between; a late mouse move can also take it away. The item that stays
// highlighted for a few reads in a row is the one the next key starts from.
int SettledHighlight(HMENU menu)
{
    int seen = HighlightedItem(menu);
    for (int same = 0, reads = 0; same < 3 && reads < 100; ++reads) {
        Sleep(10);
        const int now = HighlightedItem(menu);
        same = now == seen ? same + 1 : 0;
        seen = now;
    }
    return seen;
}

bool HighlightItem(HWND owner, HMENU menu, int position, DWORD timeoutMs)
{
    MovePointerOffMenus();
    // One step at a time: each press waits until the highlight has moved and settled. Twice
    // round the menu leaves room for a highlight lost to a mouse move.
    const int steps = 2 * GetMenuItemCount(menu) + 2;
    int now = SettledHighlight(menu);
    for (int step = 0; step < steps && now != position; ++step) {
        PressKey(owner, VK_DOWN);
        if (!Poll([&] { return HighlightedItem(menu) != now; }, timeoutMs))
            return false;
        now = SettledHighlight(menu);
    }
    return now == position;
}

bool ChooseMenuItem(HWND owner, HMENU menu, int position)
{
    if (!HighlightItem(owner, menu, position))
        return false;
    PressKey(owner, VK_RETURN);
    return true;
}

HMENU OpenSubmenu(HWND owner, HMENU menu, int position, DWORD timeoutMs)
{
    HMENU submenu = GetSubMenu(menu, position);
    if (!submenu || !HighlightItem(owner, menu, position, timeoutMs))
        return nullptr;
    PressKey(owner, VK_RIGHT);
    return Poll([&] { return HighlightedItem(submenu) == 0 && VisibleMenuWindows().size() >= 2; }, timeoutMs)
               ? submenu
               : nullptr;
}

void DismissMenu()
{
    EndMenu();
}

HWND WaitForDialog(const std::string& caption, DWORD timeoutMs)
{
    HWND found = nullptr;
    Poll([&] {
        found = FindWindowA(kDialogClass, caption.c_str());
        return found && IsWindowVisible(found);
    }, timeoutMs);
    return found && IsWindowVisible(found) ? found : nullptr;
}

bool WaitForWindowGone(HWND window, DWORD timeoutMs)
{
    return Poll([&] { return !IsWindow(window); }, timeoutMs);
}

std::string WindowText(HWND window)
{
    char text[2048] = {};
    if (window)
        GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string ItemText(HWND dialog, int id)
{
    return WindowText(GetDlgItem(dialog, id));
}

bool IsItemChecked(HWND dialog, int id)
{
    return SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

HICON ItemIcon(HWND dialog, int id)
{
    return reinterpret_cast<HICON>(SendDlgItemMessageA(dialog, id, STM_GETICON, 0, 0));
}

void ClickItem(HWND dialog, int id)
{
    SendDlgItemMessageA(dialog, id, BM_CLICK, 0, 0);
}

void PressButton(HWND dialog, int id)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void PressEscape(HWND dialog)
{
    HWND target = GetDlgItem(dialog, IDOK);
    if (!target)
        target = GetDlgItem(dialog, IDYES);
    PressKey(target ? target : dialog, VK_ESCAPE);
}

void CancelAnyDialog()
{
    EnumWindows(CancelDialog, 0);
}

}  // namespace testing_support
