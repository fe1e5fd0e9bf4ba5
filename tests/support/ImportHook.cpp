#include "tests/support/ImportHook.h"

namespace testing_support {

namespace {

void** FindSlot(HMODULE module, const char* dll, const char* function)
{
    auto* base = reinterpret_cast<BYTE*>(module);
    if (!base)
        return nullptr;
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!directory.VirtualAddress)
        return nullptr;
    for (auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress); entry->Name;
         ++entry) {
        if (lstrcmpiA(reinterpret_cast<const char*>(base + entry->Name), dll) != 0)
            continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + (entry->OriginalFirstThunk ? entry->OriginalFirstThunk
                                                                                          : entry->FirstThunk));
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (lstrcmpA(reinterpret_cast<const char*>(byName->Name), function) == 0)
                return reinterpret_cast<void**>(&slots->u1.Function);
        }
    }
    return nullptr;
}

void Write(void** slot, void* value)
{
    DWORD old = 0;
    if (VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old)) {
        *slot = value;
        VirtualProtect(slot, sizeof *slot, old, &old);
    }
}

using CoCreate = HRESULT(WINAPI*)(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID*);
CoCreate g_coCreate = nullptr;
const CLSID* g_refused = nullptr;

HRESULT WINAPI RefusingCoCreate(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* out)
{
    if (!g_refused || IsEqualCLSID(clsid, *g_refused)) {
        if (out)
            *out = nullptr;
        return REGDB_E_CLASSNOTREG;
    }
    return g_coCreate(clsid, outer, context, iid, out);
}

}  // namespace

ClassRefusal::ClassRefusal(const CLSID* clsid)
    : m_hook(GetModuleHandleW(L"Wisp.dll"), "ole32.dll", "CoCreateInstance", reinterpret_cast<void*>(RefusingCoCreate))
{
    g_refused = clsid;
    g_coCreate = reinterpret_cast<CoCreate>(m_hook.Original());
}

ClassRefusal::~ClassRefusal()
{
    g_refused = nullptr;
}

ImportHook::ImportHook(HMODULE module, const char* dll, const char* function, void* replacement)
    : m_slot(FindSlot(module, dll, function))
{
    if (!m_slot)
        return;
    m_original = *m_slot;
    Write(m_slot, replacement);
}

ImportHook::~ImportHook()
{
    if (m_slot)
        Write(m_slot, m_original);
}

}  // namespace testing_support
