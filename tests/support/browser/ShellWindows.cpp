#include "ShellWindows.h"

#include "common/com/ComPtr.h"

#include <mutex>
#include <vector>

namespace standin {

namespace {

struct Entry {
    LONG cookie;
    ComPtr<IDispatch> browser;
};

std::mutex g_lock;
std::vector<Entry> g_windows;
LONG g_nextCookie = 1;

}  // namespace

STDMETHODIMP ShellWindows::GetTypeInfoCount(UINT* count)
{
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP ShellWindows::get_Count(LONG* count)
{
    if (!count)
        return E_POINTER;
    std::lock_guard<std::mutex> hold(g_lock);
    *count = static_cast<LONG>(g_windows.size());
    return S_OK;
}

STDMETHODIMP ShellWindows::Item(VARIANT index, IDispatch** item)
{
    if (!item)
        return E_POINTER;
    *item = nullptr;
    VARIANT converted;
    VariantInit(&converted);
    if (FAILED(VariantChangeType(&converted, &index, 0, VT_I4)))
        return E_INVALIDARG;
    std::lock_guard<std::mutex> hold(g_lock);
    if (converted.lVal < 0 || converted.lVal >= static_cast<LONG>(g_windows.size()))
        return S_FALSE;
    return g_windows[converted.lVal].browser.CopyTo(item);
}

STDMETHODIMP ShellWindows::Register(IDispatch* browser, LONG, int, LONG* cookie)
{
    if (!browser || !cookie)
        return E_POINTER;
    std::lock_guard<std::mutex> hold(g_lock);
    *cookie = g_nextCookie++;
    g_windows.push_back({*cookie, ComPtr<IDispatch>(browser)});
    return S_OK;
}

STDMETHODIMP ShellWindows::Revoke(LONG cookie)
{
    std::lock_guard<std::mutex> hold(g_lock);
    for (auto it = g_windows.begin(); it != g_windows.end(); ++it)
        if (it->cookie == cookie) {
            g_windows.erase(it);
            return S_OK;
        }
    return E_INVALIDARG;
}

}  // namespace standin
