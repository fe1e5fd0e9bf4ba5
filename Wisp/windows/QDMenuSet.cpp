#include "Wisp/windows/QDMenuSet.h"

#include <new>

#include "common/TraceLog.h"

int QDMenuSet::Load(const char* path)
{
    if (!path)
        return -1;
    int id = 0;
    while (id < kSlotCount && m_slots[id])
        ++id;
    if (id == kSlotCount)
        return -1;
    m_slots[id] = std::shared_ptr<QDMenu>(new (std::nothrow) QDMenu(m_owner, m_script));
    if (!m_slots[id] || !m_slots[id]->Load(path)) {
        TraceLog("Failed loading menu '%s'\n", path);
        m_slots[id].reset();
        return -1;
    }
    return id;
}

int QDMenuSet::Show(int id)
{
    if (!IsValidId(id) || !m_slots[id])
        return -1;
    std::shared_ptr<QDMenu> menu = m_slots[id];
    return menu->Show();
}

bool QDMenuSet::Remove(int id)
{
    if (!IsValidId(id) || !m_slots[id])
        return false;
    m_slots[id].reset();
    return true;
}
