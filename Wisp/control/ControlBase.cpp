#include "Wisp/control/ControlBase.h"

#include "common/TraceLog.h"
#include "common/WindowClass.h"
#include "Wisp/control/PropertyNotifyPoint.h"

#include <olectl.h>

#include <cstdint>

const char ControlBase::kWindowClass[] = "WispControlWindow";

namespace {

// What a control persists: a version and the stock properties with the extent.
struct PersistedState {
    uint32_t version;
    int32_t extentX, extentY;
    int32_t borderStyle, borderVisible, borderWidth;
};
const uint32_t kPersistVersion = 1;
const wchar_t kContentsStream[] = L"Contents";

}  // namespace

ControlBase::ControlBase(const CLSID& clsid, const IID& primaryIid, DWORD miscStatus)
    : m_clsid(clsid), m_primaryIid(primaryIid), m_miscStatus(miscStatus)
{
}

ControlBase::~ControlBase()
{
    DetachWindow();
    if (m_hWnd && IsWindow(m_hWnd))
        DestroyWindow(m_hWnd);
    if (m_propertyNotify)
        m_propertyNotify->Detach();
}

void ControlBase::DetachWindow()
{
    if (m_hWnd && IsWindow(m_hWnd))
        SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, 0);
}

bool ControlBase::RegisterWindowClass()
{
    return RegisterWindowClassOnce(ThisModule(), kWindowClass, WindowProcThunk);
}

LRESULT CALLBACK ControlBase::WindowProcThunk(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        auto* control = static_cast<ControlBase*>(create->lpCreateParams);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(control));
        control->m_hWnd = window;
    }
    auto* control = reinterpret_cast<ControlBase*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!control)
        return DefWindowProcA(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        // The last message: the object may be gone once its handlers have run, so it is not
        // offered further.
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        control->m_hWnd = nullptr;
        return DefWindowProcA(window, message, wParam, lParam);
    }
    return control->ControlWindowProc(message, wParam, lParam);
}

LRESULT ControlBase::DefaultWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(m_hWnd, message, wParam, lParam);
}

void ControlBase::StockPropertyChanged(DISPID id, const char* changedTrace)
{
    m_bRequiresSave = true;
    if (m_propertyNotify)
        m_propertyNotify->FireOnChanged(id);
    FireViewChange();
    if (m_dataAdvise)
        m_dataAdvise->SendOnDataChange(static_cast<IDataObject*>(this), 0, 0);
    TraceLog("%s", changedTrace);
}

void ControlBase::FireViewChange()
{
    if (m_inPlaceActive && m_hWnd)
        InvalidateRect(m_hWnd, nullptr, TRUE);
    else if (m_viewSink)
        m_viewSink->OnViewChange(DVASPECT_CONTENT, -1);
}

// --- activation ---------------------------------------------------------------------------

HRESULT ControlBase::InPlaceActivate(LONG verb, LPCRECT)
{
    if (!m_clientSite)
        return E_UNEXPECTED;
    if (!m_inPlaceSite) {
        m_clientSite.As(IID_IOleInPlaceSiteEx, m_inPlaceSiteEx);
        if (m_inPlaceSiteEx)
            m_inPlaceSite = ComPtr<IOleInPlaceSite>(m_inPlaceSiteEx.Get());
        else
            m_clientSite.As(IID_IOleInPlaceSite, m_inPlaceSite);
    }
    if (!m_inPlaceSite)
        return E_FAIL;
    if (!m_inPlaceActive) {
        if (m_inPlaceSite->CanInPlaceActivate() != S_OK)
            return E_FAIL;
        HRESULT hr;
        if (m_inPlaceSiteEx) {
            BOOL noRedraw = FALSE;
            hr = m_inPlaceSiteEx->OnInPlaceActivateEx(&noRedraw, 0);
        } else {
            hr = m_inPlaceSite->OnInPlaceActivate();
        }
        if (FAILED(hr))
            return hr;
        m_inPlaceActive = true;
    }

    RECT pos = {0, 0, 0, 0}, clip = {0, 0, 0, 0};
    OLEINPLACEFRAMEINFO frameInfo = {sizeof frameInfo};
    m_frame = nullptr;
    m_uiWindow = nullptr;
    m_inPlaceSite->GetWindowContext(m_frame.Put(), m_uiWindow.Put(), &pos, &clip, &frameInfo);
    HWND parent = nullptr;
    if (FAILED(m_inPlaceSite->GetWindow(&parent)) || !parent)
        return E_FAIL;

    if (!m_hWnd) {
        if (!RegisterWindowClass())
            return HRESULT_FROM_WIN32(GetLastError());
        HWND window = CreateWindowExA(0, kWindowClass, nullptr,
                                      WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, pos.left,
                                      pos.top, pos.right - pos.left, pos.bottom - pos.top, parent, nullptr,
                                      ThisModule(), static_cast<ControlBase*>(this));
        if (!window) {
            TraceLog("ControlBase::InPlaceActivate - CreateWindowEx failed. Error %d\n",
                     static_cast<int>(GetLastError()));
            return E_FAIL;
        }
    } else {
        if (GetParent(m_hWnd) != parent)
            SetParent(m_hWnd, parent);
        SetObjectRects(&pos, &clip);
    }
    if (verb != OLEIVERB_HIDE)
        ShowWindow(m_hWnd, SW_SHOW);

    if ((verb == OLEIVERB_UIACTIVATE || verb == OLEIVERB_PRIMARY) && !m_uiActive) {
        m_uiActive = true;
        m_inPlaceSite->OnUIActivate();
        if (!IsChild(m_hWnd, ::GetFocus()))
            ::SetFocus(m_hWnd);
        IOleInPlaceActiveObject* active = this;
        if (m_frame)
            m_frame->SetActiveObject(active, nullptr);
        if (m_uiWindow)
            m_uiWindow->SetActiveObject(active, nullptr);
        if (m_frame)
            m_frame->SetBorderSpace(nullptr);
        if (m_uiWindow)
            m_uiWindow->SetBorderSpace(nullptr);
    }
    if (m_clientSite)
        m_clientSite->ShowObject();
    return S_OK;
}

STDMETHODIMP ControlBase::InPlaceDeactivate()
{
    if (!m_inPlaceActive)
        return S_OK;
    UIDeactivate();
    m_inPlaceActive = false;
    if (m_hWnd) {
        DestroyWindow(m_hWnd);
        m_hWnd = nullptr;
    }
    if (m_inPlaceSite)
        m_inPlaceSite->OnInPlaceDeactivate();
    m_inPlaceSite = nullptr;
    m_inPlaceSiteEx = nullptr;
    m_frame = nullptr;
    m_uiWindow = nullptr;
    return S_OK;
}

STDMETHODIMP ControlBase::UIDeactivate()
{
    if (!m_uiActive)
        return S_OK;
    m_uiActive = false;
    if (m_uiWindow)
        m_uiWindow->SetActiveObject(nullptr, nullptr);
    if (m_frame)
        m_frame->SetActiveObject(nullptr, nullptr);
    if (m_inPlaceSite)
        m_inPlaceSite->OnUIDeactivate(FALSE);
    return S_OK;
}

STDMETHODIMP ControlBase::SetObjectRects(LPCRECT pos, LPCRECT)
{
    if (!pos)
        return E_POINTER;
    SIZEL pixels = {pos->right - pos->left, pos->bottom - pos->top};
    if (m_hWnd)
        SetWindowPos(m_hWnd, nullptr, pos->left, pos->top, pixels.cx, pixels.cy,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    return S_OK;
}

STDMETHODIMP ControlBase::GetWindow(HWND* window)
{
    if (!window)
        return E_POINTER;
    *window = m_hWnd;
    return m_hWnd ? S_OK : E_FAIL;
}

STDMETHODIMP ControlBase::GetDropTarget(IDropTarget** target)
{
    if (target)
        *target = nullptr;
    return E_NOTIMPL;
}

// --- IViewObject ---------------------------------------------------------------------------

STDMETHODIMP ControlBase::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC drawDc, LPCRECTL bounds,
                               LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR)
{
    if (aspect != DVASPECT_CONTENT && aspect != DVASPECT_OPAQUE && aspect != DVASPECT_TRANSPARENT)
        return DV_E_DVASPECT;
    if (!drawDc)
        return E_INVALIDARG;
    // The hosted page draws itself in the window; a container drawing us off-window gets a blank.
    if (bounds) {
        RECT rect = {bounds->left, bounds->top, bounds->right, bounds->bottom};
        FillRect(drawDc, &rect, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
    }
    return S_OK;
}

STDMETHODIMP ControlBase::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** colors)
{
    if (colors)
        *colors = nullptr;
    return S_FALSE;
}

STDMETHODIMP ControlBase::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink)
{
    m_viewAspects = aspects;
    m_viewFlags = flags;
    m_viewSink = ComPtr<IAdviseSink>(sink);
    return S_OK;
}

STDMETHODIMP ControlBase::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink)
{
    if (aspects)
        *aspects = m_viewAspects;
    if (flags)
        *flags = m_viewFlags;
    if (sink)
        m_viewSink.CopyTo(sink);
    return S_OK;
}

STDMETHODIMP ControlBase::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size)
{
    return GetExtent(aspect, size);
}

STDMETHODIMP ControlBase::GetViewStatus(DWORD* status)
{
    if (!status)
        return E_POINTER;
    *status = VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND;
    return S_OK;
}

STDMETHODIMP ControlBase::QueryHitPoint(DWORD aspect, LPCRECT bounds, POINT point, LONG, DWORD* result)
{
    if (!bounds || !result)
        return E_POINTER;
    if (aspect != DVASPECT_CONTENT)
        return E_FAIL;
    *result = PtInRect(bounds, point) ? HITRESULT_HIT : HITRESULT_OUTSIDE;
    return S_OK;
}

STDMETHODIMP ControlBase::QueryHitRect(DWORD aspect, LPCRECT bounds, LPCRECT rect, LONG, DWORD* result)
{
    if (!bounds || !rect || !result)
        return E_POINTER;
    if (aspect != DVASPECT_CONTENT)
        return E_FAIL;
    RECT overlap;
    *result = IntersectRect(&overlap, bounds, rect) ? HITRESULT_HIT : HITRESULT_OUTSIDE;
    return S_OK;
}

// --- IOleObject ----------------------------------------------------------------------------

STDMETHODIMP ControlBase::SetClientSite(IOleClientSite* site)
{
    m_clientSite = ComPtr<IOleClientSite>(site);
    return S_OK;
}

STDMETHODIMP ControlBase::GetClientSite(IOleClientSite** site)
{
    return m_clientSite.CopyTo(site);
}

STDMETHODIMP ControlBase::Close(DWORD)
{
    ComPtr<IUnknown> self(Self());   // the container may drop its last reference meanwhile
    InPlaceDeactivate();
    if (m_oleAdvise)
        m_oleAdvise->SendOnClose();
    m_oleAdvise = nullptr;
    m_dataAdvise = nullptr;
    m_viewSink = nullptr;
    return S_OK;
}

STDMETHODIMP ControlBase::GetMoniker(DWORD, DWORD, IMoniker** moniker)
{
    if (moniker)
        *moniker = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP ControlBase::GetClipboardData(DWORD, IDataObject** data)
{
    if (data)
        *data = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP ControlBase::DoVerb(LONG verb, LPMSG, IOleClientSite* activeSite, LONG, HWND, LPCRECT rect)
{
    if (!m_clientSite && activeSite)
        m_clientSite = ComPtr<IOleClientSite>(activeSite);
    switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE:
    case OLEIVERB_UIACTIVATE:
        return InPlaceActivate(verb, rect);
    case OLEIVERB_HIDE:
        UIDeactivate();
        if (m_hWnd)
            ShowWindow(m_hWnd, SW_HIDE);
        return S_OK;
    case OLEIVERB_OPEN:
    case OLEIVERB_DISCARDUNDOSTATE:
    case OLEIVERB_PROPERTIES:
        return S_OK;
    default:
        return verb < 0 ? E_NOTIMPL : OLEOBJ_S_INVALIDVERB;
    }
}

STDMETHODIMP ControlBase::EnumVerbs(IEnumOLEVERB** verbs)
{
    if (!verbs)
        return E_POINTER;
    return OleRegEnumVerbs(m_clsid, verbs);
}

STDMETHODIMP ControlBase::GetUserClassID(CLSID* clsid)
{
    return GetClassID(clsid);
}

STDMETHODIMP ControlBase::GetUserType(DWORD form, LPOLESTR* type)
{
    if (!type)
        return E_POINTER;
    return OleRegGetUserType(m_clsid, form, type);
}

STDMETHODIMP ControlBase::SetExtent(DWORD aspect, SIZEL* size)
{
    if (aspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    if (!size)
        return E_POINTER;
    if (size->cx != m_extent.cx || size->cy != m_extent.cy) {
        m_extent = *size;
        m_bRequiresSave = true;
        FireViewChange();
    }
    return S_OK;
}

STDMETHODIMP ControlBase::GetExtent(DWORD aspect, SIZEL* size)
{
    if (aspect != DVASPECT_CONTENT)
        return E_FAIL;
    if (!size)
        return E_POINTER;
    *size = m_extent;
    return S_OK;
}

STDMETHODIMP ControlBase::Advise(IAdviseSink* sink, DWORD* cookie)
{
    if (!m_oleAdvise) {
        HRESULT hr = CreateOleAdviseHolder(m_oleAdvise.Put());
        if (FAILED(hr))
            return hr;
    }
    return m_oleAdvise->Advise(sink, cookie);
}

STDMETHODIMP ControlBase::Unadvise(DWORD cookie)
{
    return m_oleAdvise ? m_oleAdvise->Unadvise(cookie) : OLE_E_NOCONNECTION;
}

STDMETHODIMP ControlBase::EnumAdvise(IEnumSTATDATA** advises)
{
    if (!advises)
        return E_POINTER;
    *advises = nullptr;
    return m_oleAdvise ? m_oleAdvise->EnumAdvise(advises) : E_FAIL;
}

STDMETHODIMP ControlBase::GetMiscStatus(DWORD, DWORD* status)
{
    if (!status)
        return E_POINTER;
    *status = m_miscStatus;
    return S_OK;
}

// --- persistence ---------------------------------------------------------------------------

STDMETHODIMP ControlBase::GetClassID(CLSID* clsid)
{
    if (!clsid)
        return E_POINTER;
    *clsid = m_clsid;
    return S_OK;
}

STDMETHODIMP ControlBase::Load(LPSTREAM stream)
{
    if (!stream)
        return E_POINTER;
    PersistedState state;
    ULONG read = 0;
    HRESULT hr = stream->Read(&state, sizeof state, &read);
    if (FAILED(hr))
        return hr;
    if (read != sizeof state || state.version != kPersistVersion)
        return E_FAIL;
    m_extent.cx = state.extentX;
    m_extent.cy = state.extentY;
    m_nBorderStyle = state.borderStyle;
    m_bBorderVisible = state.borderVisible;
    m_nBorderWidth = state.borderWidth;
    m_bRequiresSave = false;
    return S_OK;
}

STDMETHODIMP ControlBase::Save(LPSTREAM stream, BOOL clearDirty)
{
    if (!stream)
        return E_POINTER;
    PersistedState state = {kPersistVersion, m_extent.cx, m_extent.cy, static_cast<int32_t>(m_nBorderStyle),
                            m_bBorderVisible, static_cast<int32_t>(m_nBorderWidth)};
    HRESULT hr = stream->Write(&state, sizeof state, nullptr);
    if (SUCCEEDED(hr) && clearDirty)
        m_bRequiresSave = false;
    return hr;
}

STDMETHODIMP ControlBase::GetSizeMax(ULARGE_INTEGER* size)
{
    if (!size)
        return E_POINTER;
    size->QuadPart = sizeof(PersistedState);
    return S_OK;
}

STDMETHODIMP ControlBase::Load(IStorage* storage)
{
    if (!storage)
        return E_POINTER;
    ComPtr<IStream> stream;
    HRESULT hr = storage->OpenStream(kContentsStream, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.Put());
    return FAILED(hr) ? hr : Load(stream.Get());
}

STDMETHODIMP ControlBase::Save(IStorage* storage, BOOL)
{
    if (!storage)
        return E_POINTER;
    ComPtr<IStream> stream;
    HRESULT hr = storage->CreateStream(kContentsStream, STGM_WRITE | STGM_SHARE_EXCLUSIVE | STGM_CREATE, 0, 0,
                                       stream.Put());
    return FAILED(hr) ? hr : Save(stream.Get(), TRUE);
}

// --- error info, property pages, quick activation --------------------------------------------

STDMETHODIMP ControlBase::InterfaceSupportsErrorInfo(REFIID iid)
{
    return IsEqualIID(iid, m_primaryIid) ? S_OK : S_FALSE;
}

STDMETHODIMP ControlBase::GetPages(CAUUID* pages)
{
    if (!pages)
        return E_POINTER;
    pages->cElems = 0;
    pages->pElems = nullptr;
    return S_OK;
}

STDMETHODIMP ControlBase::QuickActivate(QACONTAINER* container, QACONTROL* control)
{
    if (!container || !control)
        return E_POINTER;
    if (container->cbSize < sizeof(QACONTAINER) || control->cbSize < sizeof(QACONTROL))
        return E_INVALIDARG;
    SetClientSite(container->pClientSite);
    if (container->pAdviseSink)
        SetAdvise(DVASPECT_CONTENT, 0, container->pAdviseSink);
    ULONG size = control->cbSize;
    ZeroMemory(control, size);
    control->cbSize = size;
    control->dwMiscStatus = m_miscStatus;
    GetViewStatus(&control->dwViewStatus);
    return S_OK;
}

STDMETHODIMP ControlBase::SetContentExtent(LPSIZEL size)
{
    return SetExtent(DVASPECT_CONTENT, size);
}

STDMETHODIMP ControlBase::GetContentExtent(LPSIZEL size)
{
    return GetExtent(DVASPECT_CONTENT, size);
}

// --- IDataObject ---------------------------------------------------------------------------

STDMETHODIMP ControlBase::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out)
{
    if (out)
        out->ptd = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP ControlBase::EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats)
{
    if (!formats)
        return E_POINTER;
    return OleRegEnumFormatEtc(m_clsid, direction, formats);
}

STDMETHODIMP ControlBase::DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink, DWORD* cookie)
{
    if (!m_dataAdvise) {
        HRESULT hr = CreateDataAdviseHolder(m_dataAdvise.Put());
        if (FAILED(hr))
            return hr;
    }
    return m_dataAdvise->Advise(static_cast<IDataObject*>(this), format, flags, sink, cookie);
}

STDMETHODIMP ControlBase::DUnadvise(DWORD cookie)
{
    return m_dataAdvise ? m_dataAdvise->Unadvise(cookie) : OLE_E_NOCONNECTION;
}

STDMETHODIMP ControlBase::EnumDAdvise(IEnumSTATDATA** advises)
{
    if (!advises)
        return E_POINTER;
    *advises = nullptr;
    return m_dataAdvise ? m_dataAdvise->EnumAdvise(advises) : E_FAIL;
}

// --- IProvideClassInfo2 --------------------------------------------------------------------

STDMETHODIMP ControlBase::GetClassInfo(ITypeInfo** info)
{
    if (!info)
        return E_POINTER;
    *info = nullptr;
    return CoClassTypeInfo(info);
}

STDMETHODIMP ControlBase::GetGUID(DWORD, GUID* guid)
{
    if (!guid)
        return E_POINTER;
    // The control has no outgoing (source) interface.
    *guid = GUID_NULL;
    return E_FAIL;
}

// --- IConnectionPointContainer ----------------------------------------------------------------

STDMETHODIMP ControlBase::EnumConnectionPoints(IEnumConnectionPoints** points)
{
    // Containers find the one point by its interface.
    if (points)
        *points = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP ControlBase::FindConnectionPoint(REFIID iid, IConnectionPoint** point)
{
    if (!point)
        return E_POINTER;
    *point = nullptr;
    if (!IsEqualIID(iid, IID_IPropertyNotifySink))
        return CONNECT_E_NOCONNECTION;
    if (!m_propertyNotify)
        m_propertyNotify = MakeComObject<PropertyNotifyPoint>(static_cast<IConnectionPointContainer*>(this));
    *point = m_propertyNotify.Get();
    (*point)->AddRef();
    return S_OK;
}
