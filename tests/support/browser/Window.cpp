#include "Dom.h"

#include "Url.h"

#include "common/com/Bstr.h"
#include "common/com/Variant.h"

namespace standin {

namespace {

template <class I, class T>
HRESULT ReturnObject(T* object, I** out)
{
    if (!out)
        return E_POINTER;
    *out = object;
    if (object)
        object->AddRef();
    return S_OK;
}

}  // namespace

// ---- Location --------------------------------------------------------------------------------

Location::Location(Document* doc) : m_docRef(doc->Identity()), m_doc(doc)
{
    auto part = [this](std::wstring UrlParts::*field) {
        return [this, field](VARIANT* r) { return VariantFromString(SplitUrl(m_doc->Url()).*field, r); };
    };
    m_members.Property(L"href", [this](VARIANT* r) { return VariantFromString(m_doc->Url(), r); },
                       [this](const VARIANT& v) { return m_doc->Navigate(VariantToString(&v)); });
    m_members.Property(L"protocol", part(&UrlParts::protocol));
    m_members.Property(L"host", part(&UrlParts::host));
    m_members.Property(L"hostname", part(&UrlParts::hostname));
    m_members.Property(L"port", part(&UrlParts::port));
    m_members.Property(L"pathname", part(&UrlParts::pathname));
    m_members.Property(L"search", part(&UrlParts::search));
    m_members.Property(L"hash", part(&UrlParts::hash));
    auto go = [this](const DispArgs& a, VARIANT*) { return m_doc->Navigate(a.String(0)); };
    m_members.Method(L"assign", go);
    m_members.Method(L"replace", go);
    m_members.Method(L"reload", [this](const DispArgs&, VARIANT*) { return reload(VARIANT_FALSE); });
    m_members.Method(L"toString", [this](const DispArgs&, VARIANT* r) { return VariantFromString(m_doc->Url(), r); });
    m_members.Value([this](const DispArgs&, VARIANT* r) { return VariantFromString(m_doc->Url(), r); });
}

STDMETHODIMP Location::put_href(BSTR v) { return m_doc->Navigate(FromBstr(v)); }
STDMETHODIMP Location::get_href(BSTR* p) { return ReturnString(m_doc->Url(), p); }
STDMETHODIMP Location::get_protocol(BSTR* p) { return ReturnString(SplitUrl(m_doc->Url()).protocol, p); }
STDMETHODIMP Location::get_host(BSTR* p) { return ReturnString(SplitUrl(m_doc->Url()).host, p); }
STDMETHODIMP Location::get_hostname(BSTR* p) { return ReturnString(SplitUrl(m_doc->Url()).hostname, p); }
STDMETHODIMP Location::get_port(BSTR* p) { return ReturnString(SplitUrl(m_doc->Url()).port, p); }
STDMETHODIMP Location::get_pathname(BSTR* p) { return ReturnString(SplitUrl(m_doc->Url()).pathname, p); }
STDMETHODIMP Location::get_search(BSTR* p) { return ReturnString(SplitUrl(m_doc->Url()).search, p); }
STDMETHODIMP Location::get_hash(BSTR* p) { return ReturnString(SplitUrl(m_doc->Url()).hash, p); }
STDMETHODIMP Location::reload(VARIANT_BOOL) { return m_doc->Navigate(m_doc->Url()); }
STDMETHODIMP Location::replace(BSTR url) { return m_doc->Navigate(FromBstr(url)); }
STDMETHODIMP Location::assign(BSTR url) { return m_doc->Navigate(FromBstr(url)); }
STDMETHODIMP Location::toString(BSTR* p) { return ReturnString(m_doc->Url(), p); }

// ---- Window ----------------------------------------------------------------------------------

Window::Window(Document* doc) : m_doc(doc)
{
    auto object = [](IDispatch* d, VARIANT* r) { return VariantFromDispatch(d, r); };
    auto window = [this, object](HRESULT (STDMETHODCALLTYPE Window::*get)(IHTMLWindow2**)) {
        return [this, object, get](VARIANT* r) {
            ComPtr<IHTMLWindow2> w;
            HRESULT hr = (this->*get)(w.Put());
            return FAILED(hr) ? hr : object(w.Get(), r);
        };
    };
    m_members.Property(L"document", [this, object](VARIANT* r) {
        ComPtr<IHTMLDocument2> d;
        HRESULT hr = get_document(d.Put());
        return FAILED(hr) ? hr : object(d.Get(), r);
    });
    m_members.Property(L"external", [this, object](VARIANT* r) {
        ComPtr<IDispatch> e;
        HRESULT hr = get_external(e.Put());
        return FAILED(hr) ? hr : object(e.Get(), r);
    });
    m_members.Property(L"location",
                       [this, object](VARIANT* r) {
                           if (!m_doc)
                               return E_FAIL;
                           ComPtr<Location> l = MakeComObject<Location>(m_doc);
                           return object(l.Get(), r);
                       },
                       [this](const VARIANT& v) { return m_doc ? m_doc->Navigate(VariantToString(&v)) : E_FAIL; });
    m_members.Property(L"name", [this](VARIANT* r) {
        Bstr n;
        get_name(n.Put());
        return VariantFromString(FromBstr(n.Get()), r);
    }, [this](const VARIANT& v) {
        m_name = VariantToString(&v);
        return S_OK;
    });
    m_members.Property(L"status", [this](VARIANT* r) { return VariantFromString(m_status, r); },
                       [this](const VARIANT& v) {
                           m_status = VariantToString(&v);
                           return S_OK;
                       });
    m_members.Property(L"parent", window(&Window::get_parent));
    m_members.Property(L"top", window(&Window::get_top));
    m_members.Property(L"self", window(&Window::get_self));
    m_members.Property(L"window", window(&Window::get_self));
    m_members.Property(L"frames", window(&Window::get_self));
    m_members.Property(L"length", [this](VARIANT* r) {
        r->vt = VT_I4;
        return get_length(&r->lVal);
    });
    m_members.Property(L"onload", [this, object](VARIANT* r) { return object(m_onload.Get(), r); },
                       [this](const VARIANT& v) {
                           m_onload = v.vt == VT_DISPATCH ? ComPtr<IDispatch>(v.pdispVal) : nullptr;
                           return S_OK;
                       });
    m_members.Property(L"navigator", [object](VARIANT* r) {
        ComPtr<Bag> navigator = MakeComObject<Bag>();
        navigator->Set(L"userAgent", L"Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 6.1)");
        navigator->Set(L"appName", L"Microsoft Internet Explorer");
        return object(navigator.Get(), r);
    });
    m_members.Method(L"alert", [this](const DispArgs& a, VARIANT*) {
        Bstr text(a.String(0));
        return alert(text.Get());
    });
    m_members.Method(L"confirm", [this](const DispArgs& a, VARIANT* r) {
        if (m_doc && m_doc->Host())
            m_doc->Host()->Alert(a.String(0));
        r->vt = VT_BOOL;
        r->boolVal = VARIANT_TRUE;
        return S_OK;
    });
    m_members.Method(L"setTimeout", [this](const DispArgs& a, VARIANT* r) { return Timeout(a.At(0), a.Int(1), r); });
    m_members.Method(L"clearTimeout", [this](const DispArgs& a, VARIANT*) { return clearTimeout(a.Int(0)); });
    m_members.Method(L"execScript", [this](const DispArgs& a, VARIANT* r) {
        Bstr code(a.String(0));
        return execScript(code.Get(), nullptr, r);
    });
    m_members.Method(L"navigate", [this](const DispArgs& a, VARIANT*) {
        Bstr url(a.String(0));
        return navigate(url.Get());
    });
    m_members.Method(L"item", [this, object](const DispArgs& a, VARIANT* r) {
        ComPtr<Window> w = FrameWindow(a.At(0));
        return w ? object(w.Get(), r) : E_INVALIDARG;
    });
    for (const wchar_t* name : {L"close", L"focus", L"blur", L"scrollTo", L"resizeTo", L"moveTo"})
        m_members.Method(name, [](const DispArgs&, VARIANT*) { return S_OK; });
    m_members.Method(L"toString", [](const DispArgs&, VARIANT* r) { return VariantFromString(L"[object]", r); });
    // window.frameName
    m_members.Dynamic(
        [this](const std::wstring& name) {
            Variant key;
            VariantFromString(name, key.Get());
            return static_cast<bool>(FrameWindow(key.Get()));
        },
        [this, object](const std::wstring& name, WORD, const DispArgs&, const VARIANT* put, VARIANT* r) {
            if (put)
                return DISP_E_MEMBERNOTFOUND;
            Variant key;
            VariantFromString(name, key.Get());
            ComPtr<Window> w = FrameWindow(key.Get());
            return object(w.Get(), r);
        });
}

ComPtr<Window> Window::FrameWindow(const VARIANT* index)
{
    while (index && index->vt == (VT_BYREF | VT_VARIANT))
        index = index->pvarVal;
    if (!m_doc || !index)
        return nullptr;
    auto& frames = m_doc->Frames();
    if (index->vt == VT_BSTR) {
        std::wstring name = VariantToString(index);
        for (auto& f : frames) {
            std::wstring frameName = f.element->AttributeOr(L"name", f.element->AttributeOr(L"id"));
            if (f.doc && f.doc->WindowObject() && _wcsicmp(frameName.c_str(), name.c_str()) == 0)
                return ComPtr<Window>(f.doc->WindowObject());
        }
        return nullptr;
    }
    Variant converted;
    if (FAILED(VariantChangeType(converted.Get(), const_cast<VARIANT*>(index), 0, VT_I4)))
        return nullptr;
    LONG i = converted.Get()->lVal;
    if (i < 0 || static_cast<std::size_t>(i) >= frames.size() || !frames[static_cast<std::size_t>(i)].doc)
        return nullptr;
    return ComPtr<Window>(frames[static_cast<std::size_t>(i)].doc->WindowObject());
}

STDMETHODIMP Window::item(VARIANT* index, VARIANT* result)
{
    if (!result)
        return E_POINTER;
    VariantInit(result);
    ComPtr<Window> w = FrameWindow(index);
    if (!w)
        return E_INVALIDARG;
    return VariantFromDispatch(static_cast<IHTMLWindow2*>(w.Get()), result);
}

STDMETHODIMP Window::get_length(LONG* p)
{
    if (!p)
        return E_POINTER;
    *p = m_doc ? static_cast<LONG>(m_doc->Frames().size()) : 0;
    return S_OK;
}

STDMETHODIMP Window::get_frames(IHTMLFramesCollection2** p)
{
    return ReturnObject(static_cast<IHTMLFramesCollection2*>(this), p);
}

STDMETHODIMP Window::get_document(IHTMLDocument2** p)
{
    if (p && !m_doc) {
        *p = nullptr;
        return E_FAIL;
    }
    return ReturnObject(static_cast<IHTMLDocument2*>(m_doc), p);
}

STDMETHODIMP Window::get_location(IHTMLLocation** p)
{
    if (!p)
        return E_POINTER;
    *p = nullptr;
    if (!m_doc)
        return E_FAIL;
    ComPtr<Location> l = MakeComObject<Location>(m_doc);
    *p = l.Detach();
    return S_OK;
}

STDMETHODIMP Window::get_name(BSTR* p)
{
    if (m_name.empty() && m_doc && m_doc->Parent())
        return ReturnString(m_doc->FrameName(), p);
    return ReturnString(m_name, p);
}

STDMETHODIMP Window::put_name(BSTR v)
{
    m_name = FromBstr(v);
    return S_OK;
}

STDMETHODIMP Window::get_parent(IHTMLWindow2** p)
{
    if (m_doc && m_doc->Parent())
        return ReturnObject(m_doc->Parent()->WindowObject(), p);
    return ReturnObject(this, p);
}

STDMETHODIMP Window::get_top(IHTMLWindow2** p)
{
    if (m_doc)
        return ReturnObject(m_doc->Top()->WindowObject(), p);
    return ReturnObject(this, p);
}

STDMETHODIMP Window::get_self(IHTMLWindow2** p)
{
    return ReturnObject(this, p);
}

STDMETHODIMP Window::get_window(IHTMLWindow2** p)
{
    return ReturnObject(this, p);
}

STDMETHODIMP Window::get_external(IDispatch** p)
{
    if (!p)
        return E_POINTER;
    *p = nullptr;
    if (!m_doc || !m_doc->Host())
        return E_FAIL;
    ComPtr<IDispatch> external = m_doc->Host()->External();
    *p = external.Detach();
    return S_OK;
}

STDMETHODIMP Window::alert(BSTR message)
{
    if (m_doc && m_doc->Host())
        m_doc->Host()->Alert(FromBstr(message));
    return S_OK;
}

STDMETHODIMP Window::navigate(BSTR url)
{
    return m_doc ? m_doc->Navigate(FromBstr(url)) : E_FAIL;
}

STDMETHODIMP Window::execScript(BSTR code, BSTR language, VARIANT* result)
{
    if (result)
        VariantInit(result);
    if (!m_doc)
        return E_FAIL;
    std::wstring lang = FromBstr(language);
    if (!lang.empty() && _wcsicmp(lang.c_str(), L"JScript") != 0 && _wcsicmp(lang.c_str(), L"javascript") != 0)
        return E_INVALIDARG;
    return m_doc->RunCode(FromBstr(code), m_doc->Url());
}

HRESULT Window::Timeout(const VARIANT* code, LONG msec, VARIANT* result)
{
    while (code && code->vt == (VT_BYREF | VT_VARIANT))
        code = code->pvarVal;
    if (!m_doc || !m_doc->Host() || !code)
        return E_FAIL;
    ComPtr<IUnknown> docRef(m_doc->Identity());
    Document* doc = m_doc;
    std::function<void()> action;
    if (code->vt == VT_DISPATCH && code->pdispVal) {
        ComPtr<IDispatch> function(code->pdispVal);
        action = [docRef, doc, function] {
            if (!doc->Alive())
                return;
            DISPPARAMS none = {nullptr, nullptr, 0, 0};
            Variant ignored;
            function->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, ignored.Get(),
                             nullptr, nullptr);
        };
    } else {
        std::wstring text = VariantToString(code);
        action = [docRef, doc, text] {
            if (doc->Alive())
                doc->RunCode(text, doc->Url());
        };
    }
    UINT_PTR id = m_doc->Host()->SetTimeout(std::move(action), static_cast<UINT>(msec < 0 ? 0 : msec));
    if (result) {
        result->vt = VT_I4;
        result->lVal = static_cast<LONG>(id);
    }
    return S_OK;
}

STDMETHODIMP Window::setTimeout(BSTR expression, LONG msec, VARIANT*, LONG* timerID)
{
    Variant code;
    VariantFromString(FromBstr(expression), code.Get());
    Variant id;
    HRESULT hr = Timeout(code.Get(), msec, id.Get());
    if (timerID)
        *timerID = SUCCEEDED(hr) ? id.Get()->lVal : 0;
    return hr;
}

STDMETHODIMP Window::clearTimeout(LONG timerID)
{
    if (m_doc && m_doc->Host())
        m_doc->Host()->ClearTimeout(static_cast<UINT_PTR>(timerID));
    return S_OK;
}

STDMETHODIMP Window::get_status(BSTR* p)
{
    return ReturnString(m_status, p);
}

STDMETHODIMP Window::put_status(BSTR v)
{
    m_status = FromBstr(v);
    return S_OK;
}

}  // namespace standin
