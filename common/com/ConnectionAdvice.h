// One sink advised on one connection point of a source object. The source is held while the
// connection stands, so the connection is always undone on the object it was made on, even
// after the owner has moved on to another one.
#pragma once

#include <windows.h>
#include <ocidl.h>

#include "common/com/ComPtr.h"

class ConnectionAdvice {
public:
    ConnectionAdvice() = default;
    ~ConnectionAdvice() { Unadvise(); }
    ConnectionAdvice(const ConnectionAdvice&) = delete;
    ConnectionAdvice& operator=(const ConnectionAdvice&) = delete;

    // Undoes an earlier connection first.
    HRESULT Advise(IUnknown* source, REFIID iid, IUnknown* sink)
    {
        Unadvise();
        if (!source || !sink)
            return E_POINTER;
        ComPtr<IConnectionPointContainer> container;
        HRESULT hr = source->QueryInterface(IID_IConnectionPointContainer, container.PutVoid());
        if (FAILED(hr))
            return hr;
        ComPtr<IConnectionPoint> point;
        hr = container->FindConnectionPoint(iid, point.Put());
        if (FAILED(hr))
            return hr;
        DWORD cookie = 0;
        hr = point->Advise(sink, &cookie);
        if (FAILED(hr))
            return hr;
        m_source = ComPtr<IUnknown>(source);
        m_iid = iid;
        m_cookie = cookie;
        return S_OK;
    }

    // S_OK when nothing is connected. The connection counts as gone whatever the source says.
    HRESULT Unadvise()
    {
        if (!m_cookie)
            return S_OK;
        const DWORD cookie = m_cookie;
        m_cookie = 0;
        ComPtr<IUnknown> source = std::move(m_source);
        ComPtr<IConnectionPointContainer> container;
        HRESULT hr = source.As(IID_IConnectionPointContainer, container);
        ComPtr<IConnectionPoint> point;
        if (SUCCEEDED(hr))
            hr = container->FindConnectionPoint(m_iid, point.Put());
        if (SUCCEEDED(hr))
            hr = point->Unadvise(cookie);
        return hr;
    }

    bool Connected() const { return m_cookie != 0; }

private:
    ComPtr<IUnknown> m_source;
    IID m_iid = IID_NULL;
    DWORD m_cookie = 0;
};
