#include "Wisp/control/DynamicMessageChain.h"

void DynamicMessageChain::Add(MessageMapTarget* target, DWORD mapId)
{
    if (!target)
        return;
    for (auto& entry : m_entries)
        if (entry->target == target) {
            entry->mapId = mapId;
            return;
        }
    m_entries.push_back(std::unique_ptr<Entry>(new Entry{target, mapId}));
}

bool DynamicMessageChain::Remove(MessageMapTarget* target)
{
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it)
        if ((*it)->target == target) {
            m_entries.erase(it);
            return true;
        }
    return false;
}

bool DynamicMessageChain::Offer(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    // A handler may remove itself (or others) while it runs: walk a snapshot and skip the gone.
    std::vector<Entry> snapshot;
    snapshot.reserve(m_entries.size());
    for (auto& entry : m_entries)
        snapshot.push_back(*entry);
    for (const Entry& entry : snapshot) {
        bool present = false;
        for (auto& current : m_entries)
            present = present || current->target == entry.target;
        if (present && entry.target->ProcessWindowMessage(window, message, wParam, lParam, result, entry.mapId))
            return true;
    }
    return false;
}
