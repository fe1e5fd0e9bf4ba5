#include "Wisp/windows/QDMenu.h"

#include "common/QDUtilities.h"
#include "common/TraceLog.h"
#include "common/com/Strings.h"
#include "common/com/Variant.h"
#include "Wisp/control/ScriptObject.h"
#include "Wisp/windows/MenuFile.h"

QDMenu::~QDMenu()
{
    DestroyHandle();
}

bool QDMenu::Load(const char* path)
{
    std::unique_ptr<char[]> buffer;
    if (path)
        buffer = QDUtilities::ReadFileIntoBuffer(path);
    if (!buffer) {
        TraceLog("QDMenu::Load - failed loading menu '%s'\n", path ? path : "(null)");
        return false;
    }
    std::vector<MenuFileItem> items;
    if (!MenuFile::Read(buffer.get(), items))
        return false;
    DestroyHandle();
    m_items.clear();
    Take(items);
    return true;
}

void QDMenu::Take(std::vector<MenuFileItem>& items)
{
    m_items.reserve(items.size());
    for (MenuFileItem& from : items) {
        QDMenuItem item;
        item.id = from.id;
        item.text = std::move(from.text);
        item.checkedSource = std::move(from.checkedSource);
        item.enabledSource = std::move(from.enabledSource);
        item.enabled = from.enabled;
        item.checked = from.checked;
        item.separator = from.separator;
        if (!from.icon.empty()) {
            item.icon.Reset(LoadImageA(nullptr, from.icon.c_str(), IMAGE_BITMAP, 0, 0,
                                       LR_LOADFROMFILE | LR_CREATEDIBSECTION | LR_DEFAULTSIZE));
            if (!item.icon)
                TraceLog("QDMenu::Load - failed loading icon '%s'. LastError = %d\n", from.icon.c_str(),
                         static_cast<int>(GetLastError()));
        }
        if (from.hasSubmenu) {
            item.submenu = std::make_unique<QDMenu>(m_owner, m_script);
            item.submenu->Take(from.submenu);
        }
        m_items.push_back(std::move(item));
    }
}

void QDMenu::DestroyHandle()
{
    m_menu.Reset();
    for (QDMenuItem& item : m_items)
        if (item.submenu)
            item.submenu->DropHandles();
}

void QDMenu::DropHandles()
{
    // Destroyed with the menu this one was attached to; destroying it again could hit a menu
    // that meanwhile got the same handle value.
    (void)m_menu.Release();
    for (QDMenuItem& item : m_items)
        if (item.submenu)
            item.submenu->DropHandles();
}

HMENU QDMenu::Build()
{
    DestroyHandle();
    m_menu.Reset(CreatePopupMenu());
    if (!m_menu) {
        TraceLog("QDMenu::Build - CreatePopupMenu failed. LastError = %d\n", static_cast<int>(GetLastError()));
        return nullptr;
    }
    for (const QDMenuItem& item : m_items)
        AppendItem(item);
    return m_menu.Get();
}

void QDMenu::AppendItem(const QDMenuItem& item)
{
    HMENU menu = m_menu.Get();
    const UINT_PTR id = static_cast<UINT_PTR>(static_cast<UINT>(item.id));
    if (item.separator) {
        AppendMenuA(menu, MF_SEPARATOR, id, nullptr);
        return;
    }
    UINT flags = State(item.checkedSource, item.checked, item.id) ? MF_CHECKED : 0;
    if (!State(item.enabledSource, item.enabled, item.id))
        flags |= MF_GRAYED | MF_DISABLED;
    const std::string label = Label(item);
    if (label.empty())
        return;
    if (!AppendMenuA(menu, MF_STRING | flags, id, label.c_str())) {
        TraceLog("QDMenu::Build - AppendMenu failed for item %d. LastError = %d\n", item.id,
                 static_cast<int>(GetLastError()));
        return;
    }
    const UINT position = static_cast<UINT>(GetMenuItemCount(menu) - 1);
    MENUITEMINFOA info = {};
    info.cbSize = sizeof info;
    if (item.icon) {
        info.fMask = MIIM_BITMAP;
        info.hbmpItem = static_cast<HBITMAP>(item.icon.Get());
        SetMenuItemInfoA(menu, position, TRUE, &info);
    }
    if (item.submenu) {
        HMENU submenu = item.submenu->Build();
        if (!submenu)
            return;
        info.fMask = MIIM_SUBMENU;
        info.hSubMenu = submenu;
        // Only an attached submenu goes with this menu; one that is not stays its own.
        if (!SetMenuItemInfoA(menu, position, TRUE, &info))
            item.submenu->DestroyHandle();
    }
}

bool QDMenu::CallBack(const std::string& name, int id, VARTYPE type, VARIANT& result)
{
    bool called = false;
    if (m_script) {
        Variant argument = Variant::FromInt(id);
        called = m_script->CallMethod(name.c_str(), argument.Get(), 1, &result) &&
                 SUCCEEDED(VariantChangeType(&result, &result, 0, type));
    }
    if (!called)
        TraceLog("Callback: '%s' failed.\n", name.c_str());
    return called;
}

std::string QDMenu::Label(const QDMenuItem& item)
{
    std::string name;
    if (!MenuFile::CallbackName(item.text, name))
        return item.text;
    Variant result;
    if (!CallBack(name, item.id, VT_BSTR, *result.Get()))
        return item.text;
    BSTR text = result.Get()->bstrVal;   // null is the empty string
    return text ? AnsiFromWide(text, SysStringLen(text)) : std::string();
}

bool QDMenu::State(const std::string& source, bool fixed, int id)
{
    std::string name;
    if (!MenuFile::CallbackName(source, name))
        return fixed;
    Variant result;
    if (!CallBack(name, id, VT_I4, *result.Get()))
        return fixed;
    return result.Get()->lVal != 0;
}

int QDMenu::Show()
{
    // A callback or timer reaching here from inside the menu loop would rebuild (destroy) the
    // handle being tracked: while this menu shows, showing it again answers nothing picked.
    if (m_showing) {
        TraceLog("QDMenu::Show - the menu is showing already.\n");
        return 0;
    }
    m_showing = true;
    struct Shown {
        bool& flag;
        ~Shown() { flag = false; }
    } shown{m_showing};
    HMENU menu = Build();
    POINT cursor = {};
    GetCursorPos(&cursor);
    if (!SetForegroundWindow(m_owner))
        TraceLog("QDMenu::Show - failed setting foreground window before showing menu.\n");
    const int picked = static_cast<int>(TrackPopupMenu(menu, TPM_RETURNCMD, cursor.x, cursor.y, 0, m_owner, nullptr));
    // Without it the menu would not close when the user clicks elsewhere.
    PostMessageA(m_owner, WM_NULL, 0, 0);
    return picked;
}
