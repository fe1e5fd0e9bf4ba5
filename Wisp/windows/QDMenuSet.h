// The control's menus: 25 numbered slots, each holding one menu loaded from a menu file. A
// slot's index is the menu id page script uses; it stays valid until the slot is removed or
// the set is destroyed. Loading the same file twice gives two ids.
#pragma once

#include <windows.h>

#include <memory>

#include "Wisp/windows/QDMenu.h"

class ScriptObject;

class QDMenuSet {
public:
    static const int kSlotCount = 25;

    QDMenuSet(HWND owner, ScriptObject* script) : m_owner(owner), m_script(script) {}
    QDMenuSet(const QDMenuSet&) = delete;
    QDMenuSet& operator=(const QDMenuSet&) = delete;

    // The new menu's id (0..24), or -1: null path, no free slot, or the file failed to load.
    int Load(const char* path);
    // The picked command id, 0 when nothing was picked, -1 for a bad id or an empty slot.
    int Show(int id);
    // False for a bad id or an empty slot.
    bool Remove(int id);

    HWND Owner() const { return m_owner; }
    ScriptObject* Callbacks() const { return m_script; }
    const QDMenu* Menu(int id) const { return IsValidId(id) ? m_slots[id].get() : nullptr; }

private:
    static bool IsValidId(int id) { return id >= 0 && id < kSlotCount; }

    HWND m_owner;
    ScriptObject* m_script;
    // Shared so that a menu removed (or the whole set deleted) by page script while it is shown
    // lives until its show returns.
    std::shared_ptr<QDMenu> m_slots[kSlotCount];
};
