// The control's XML-described context menus. The control creates one when its window is created
// and deletes it in UnInit; menu callbacks go to the page through the control's script object.
// This holds the ownership and the two bindings; loading and showing menus arrive with the menus.
#pragma once

#include <windows.h>

class ScriptObject;

class QDMenu {
public:
    QDMenu(HWND owner, ScriptObject* callbacks) : m_owner(owner), m_callbacks(callbacks) {}
    QDMenu(const QDMenu&) = delete;
    QDMenu& operator=(const QDMenu&) = delete;

    HWND Owner() const { return m_owner; }
    ScriptObject* Callbacks() const { return m_callbacks; }

private:
    HWND m_owner;
    ScriptObject* m_callbacks;
};
