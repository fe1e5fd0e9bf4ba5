// The control's one connection point: containers that Advise an IPropertyNotifySink here are
// told when a stock property changes.
#pragma once

#include <windows.h>
#include <ocidl.h>

#include <utility>
#include <vector>

#include "common/com/ComObject.h"

class PropertyNotifyPoint : public ComObject<PropertyNotifyPoint>, public IConnectionPoint {
public:
    WISP_COM_INTERFACES(PropertyNotifyPoint, WISP_COM_ENTRY(IConnectionPoint))
    WISP_IUNKNOWN_FORWARD()

    explicit PropertyNotifyPoint(IConnectionPointContainer* owner) : m_owner(owner) {}
    // The container is going; a client still holding the point gets no container back.
    void Detach() { m_owner = nullptr; }
    void FireOnChanged(DISPID id);

    // IConnectionPoint
    STDMETHODIMP GetConnectionInterface(IID* iid) override;
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override;
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
    STDMETHODIMP Unadvise(DWORD cookie) override;
    STDMETHODIMP EnumConnections(IEnumConnections** connections) override;

private:
    IConnectionPointContainer* m_owner;
    DWORD m_lastCookie = 0;
    std::vector<std::pair<DWORD, ComPtr<IPropertyNotifySink>>> m_sinks;
};
