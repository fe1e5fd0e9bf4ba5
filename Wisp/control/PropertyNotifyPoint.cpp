#include "Wisp/control/PropertyNotifyPoint.h"

#include <olectl.h>

void PropertyNotifyPoint::FireOnChanged(DISPID id)
{
    // A sink may unadvise while it is told.
    const auto sinks = m_sinks;
    for (const auto& sink : sinks)
        sink.second->OnChanged(id);
}

STDMETHODIMP PropertyNotifyPoint::GetConnectionInterface(IID* iid)
{
    if (!iid)
        return E_POINTER;
    *iid = IID_IPropertyNotifySink;
    return S_OK;
}

STDMETHODIMP PropertyNotifyPoint::GetConnectionPointContainer(IConnectionPointContainer** container)
{
    if (!container)
        return E_POINTER;
    *container = m_owner;
    if (!m_owner)
        return E_UNEXPECTED;
    m_owner->AddRef();
    return S_OK;
}

STDMETHODIMP PropertyNotifyPoint::Advise(IUnknown* sink, DWORD* cookie)
{
    if (!sink || !cookie)
        return E_POINTER;
    *cookie = 0;
    ComPtr<IPropertyNotifySink> notify;
    if (FAILED(sink->QueryInterface(IID_IPropertyNotifySink, notify.PutVoid())) || !notify)
        return CONNECT_E_CANNOTCONNECT;
    *cookie = ++m_lastCookie;
    m_sinks.emplace_back(*cookie, notify);
    return S_OK;
}

STDMETHODIMP PropertyNotifyPoint::Unadvise(DWORD cookie)
{
    for (auto it = m_sinks.begin(); it != m_sinks.end(); ++it)
        if (it->first == cookie) {
            m_sinks.erase(it);
            return S_OK;
        }
    return CONNECT_E_NOCONNECTION;
}

STDMETHODIMP PropertyNotifyPoint::EnumConnections(IEnumConnections** connections)
{
    if (connections)
        *connections = nullptr;
    return E_NOTIMPL;
}
