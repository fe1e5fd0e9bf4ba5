// One context menu loaded from a menu file (Wisp/windows/MenuFile.h). The menu handle is built
// afresh at every show, so that labels and states whose source is "Callback:<function>" follow
// the page: the function is called with the item's id as a VT_I4.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "common/com/Handle.h"

class ScriptObject;
class QDMenu;
struct MenuFileItem;

struct QDMenuItem {
    int id = 0;
    std::string text;            // literal, or "Callback:" + function name
    std::string checkedSource;   // the "Checked" attribute as written
    std::string enabledSource;   // the "Enabled" attribute as written
    UniqueGdiObject icon;        // bitmap loaded from the "Icon" file
    bool enabled = true;
    bool checked = false;
    bool separator = false;
    std::unique_ptr<QDMenu> submenu;
};

class QDMenu {
public:
    QDMenu(HWND owner, ScriptObject* script) : m_owner(owner), m_script(script) {}
    ~QDMenu();
    QDMenu(const QDMenu&) = delete;
    QDMenu& operator=(const QDMenu&) = delete;

    bool Load(const char* path);
    // Shows the menu at the cursor, owned by the owner window; the picked command id, 0 for none
    // (also at once when this menu is showing already).
    int Show();

    // Builds the menu handle afresh (each Show does); it stays this menu's.
    HMENU Build();
    HMENU Handle() const { return m_menu.Get(); }
    const std::vector<QDMenuItem>& Items() const { return m_items; }

private:
    void Take(std::vector<MenuFileItem>& items);
    // A submenu's handle dies with the menu it is attached to: it is dropped, not destroyed again.
    void DestroyHandle();
    void DropHandles();
    void AppendItem(const QDMenuItem& item);
    std::string Label(const QDMenuItem& item);
    bool State(const std::string& source, bool fixed, int id);
    bool CallBack(const std::string& name, int id, VARTYPE type, VARIANT& result);

    HWND m_owner;
    ScriptObject* m_script;
    UniqueMenu m_menu;
    std::vector<QDMenuItem> m_items;
    bool m_showing = false;
};
