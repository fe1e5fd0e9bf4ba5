// Windows of the library (pop-ups, balloons) that want the messages reaching a control's window
// register here; the control offers each message to them in turn after its own map.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

class MessageMapTarget {
public:
    virtual ~MessageMapTarget() = default;
    // True when the message was handled (its result in `result`). `mapId` selects the map.
    virtual bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                      LRESULT& result, DWORD mapId) = 0;
};

class DynamicMessageChain {
public:
    DynamicMessageChain() = default;
    DynamicMessageChain(const DynamicMessageChain&) = delete;
    DynamicMessageChain& operator=(const DynamicMessageChain&) = delete;

    // Adds target (or changes its map id when it is already there).
    void Add(MessageMapTarget* target, DWORD mapId);
    // False when target was not registered.
    bool Remove(MessageMapTarget* target);
    // Offers the message to every entry in turn until one handles it.
    bool Offer(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    std::size_t Size() const { return m_entries.size(); }

private:
    struct Entry {
        MessageMapTarget* target;
        DWORD mapId;
    };
    std::vector<std::unique_ptr<Entry>> m_entries;
};
