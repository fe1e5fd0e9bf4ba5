// Replaces one imported function of a loaded module (its import address table entry) for the
// life of the object, so a test can watch what a library asks of the system, e.g. which menu
// handles it destroys. The replacement must call the original for the behaviour to stay.
#pragma once

#include <windows.h>

namespace testing_support {

class ImportHook {
public:
    // dll: the imported library's name ("user32.dll", any case); function: its export name.
    ImportHook(HMODULE module, const char* dll, const char* function, void* replacement);
    ~ImportHook();
    ImportHook(const ImportHook&) = delete;
    ImportHook& operator=(const ImportHook&) = delete;

    bool Installed() const { return m_slot != nullptr; }
    // The function the module imported before.
    void* Original() const { return m_original; }

private:
    void** m_slot = nullptr;
    void* m_original = nullptr;
};

// While it lives, Wisp.dll's CoCreateInstance refuses `clsid` (every class when null) with
// REGDB_E_CLASSNOTREG and passes the others on.
class ClassRefusal {
public:
    explicit ClassRefusal(const CLSID* clsid);
    ~ClassRefusal();
    bool Installed() const { return m_hook.Installed(); }

private:
    ImportHook m_hook;
};

}  // namespace testing_support
