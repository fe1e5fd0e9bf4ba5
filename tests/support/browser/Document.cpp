#include "Dom.h"

#include "Url.h"

#include "common/com/Bstr.h"
#include "common/com/Variant.h"

#include <wininet.h>

#include <cwctype>

namespace standin {

HRESULT ReturnString(const std::wstring& text, BSTR* out)
{
    if (!out)
        return E_POINTER;
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

std::wstring FromBstr(BSTR b)
{
    return b ? std::wstring(b, SysStringLen(b)) : std::wstring();
}

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

std::wstring LowerText(std::wstring s)
{
    for (wchar_t& c : s)
        c = static_cast<wchar_t>(std::towlower(c));
    return s;
}

// Script hidden from old browsers inside <!-- ... -->.
std::wstring StripCommentHiding(std::wstring code)
{
    std::size_t start = code.find_first_not_of(L" \t\r\n");
    if (start != std::wstring::npos && code.compare(start, 4, L"<!--") == 0) {
        std::size_t eol = code.find(L'\n', start);
        code.erase(start, eol == std::wstring::npos ? std::wstring::npos : eol - start);
    }
    std::size_t end = code.rfind(L"-->");
    if (end != std::wstring::npos && code.find_first_not_of(L" \t\r\n", end + 3) == std::wstring::npos) {
        std::size_t lineStart = code.rfind(L'\n', end);
        lineStart = lineStart == std::wstring::npos ? 0 : lineStart + 1;
        code.erase(lineStart);
    }
    return code;
}

bool IsJScript(const Node& script)
{
    std::wstring kind = LowerText(script.AttributeOr(L"type") + script.AttributeOr(L"language"));
    return kind.find(L"vbscript") == std::wstring::npos;
}

std::wstring RawText(const Node& node)
{
    std::wstring text;
    for (auto& c : node.children)
        if (c->kind == Node::Text)
            text += c->text;
    return text;
}

}  // namespace

Document::Document(PageHost* host, Document* parent, std::wstring url, NodePtr root, std::wstring frameName)
    : m_host(host), m_parent(parent), m_url(std::move(url)), m_root(std::move(root)),
      m_frameName(std::move(frameName))
{
    if (!m_root)
        m_root = ParseDocument(L"");
    m_title = TitleOf(*m_root);
    m_window = MakeComObject<Window>(this);
    BuildMembers();
}

Document::~Document()
{
    Teardown();
}

Document* Document::Top()
{
    Document* d = this;
    while (d->m_parent)
        d = d->m_parent;
    return d;
}

void Document::Teardown()
{
    for (Frame& f : m_frames)
        if (f.doc)
            f.doc->Teardown();
    m_frames.clear();
    if (m_script) {
        ComPtr<ScriptSite> script = std::move(m_script);
        script->Close();
    }
    if (m_window) {
        m_window->Detach();
        m_window = nullptr;
    }
    m_host = nullptr;
}

void Document::RunScripts(const std::map<std::wstring, std::wstring>& sources)
{
    if (!m_host)
        return;
    if (!m_script) {
        m_script = MakeComObject<ScriptSite>(m_window.Get(), m_host->Window(), [this](const std::wstring& message) {
            if (m_host)
                m_host->ScriptError(m_url + L": " + message);
        });
        if (FAILED(m_script->Start())) {
            m_host->ScriptError(m_url + L": the script engine did not start");
            m_script = nullptr;
            return;
        }
    }
    m_readyState = L"interactive";
    for (const NodePtr& script : FindElements(*m_root, [](const Node& n) { return n.Is(L"script"); })) {
        if (!m_host)
            return;   // a script navigated the page away
        if (!IsJScript(*script))
            continue;
        std::wstring code;
        if (const std::wstring* src = script->Attribute(L"src")) {
            auto found = sources.find(ResolveUrl(m_url, *src));
            if (found == sources.end()) {
                m_host->ScriptError(m_url + L": could not load script '" + *src + L"'");
                continue;
            }
            code = found->second;
        } else {
            code = RawText(*script);
        }
        RunCode(StripCommentHiding(code), m_url);
    }
}

void Document::RunLoadHandlers()
{
    if (!m_host)
        return;
    NodePtr body = BodyOf(*m_root);
    if (body && body->Attribute(L"onload"))
        Fire(body, L"onload");
    if (m_window && m_window->OnLoadHandler()) {
        ComPtr<IDispatch> handler(m_window->OnLoadHandler());
        DISPPARAMS none = {nullptr, nullptr, 0, 0};
        Variant result;
        handler->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, result.Get(),
                        nullptr, nullptr);
    }
    m_readyState = L"complete";
}

HRESULT Document::RunCode(const std::wstring& code, const std::wstring& where)
{
    if (!m_script)
        return E_UNEXPECTED;
    ComPtr<ScriptSite> keep = m_script;
    return keep->Execute(code, where);
}

HRESULT Document::EvaluateCode(const std::wstring& code, VARIANT* result)
{
    if (!m_script)
        return E_UNEXPECTED;
    ComPtr<ScriptSite> keep = m_script;
    return keep->Evaluate(code, result);
}

bool Document::Fire(const NodePtr& element, const wchar_t* handlerAttribute)
{
    const std::wstring* code = element ? element->Attribute(handlerAttribute) : nullptr;
    if (!code || !m_script)
        return true;
    // The engine runs handler text as the body of a function whose `this` is the element;
    // returning false cancels the default action.
    Variant function;
    if (FAILED(EvaluateCode(L"(function(){" + *code + L"\n})", function.Get())) || function.Type() != VT_DISPATCH)
        return true;
    ComPtr<Element> self = Wrap(element);
    VARIANT thisArg;
    thisArg.vt = VT_DISPATCH;
    thisArg.pdispVal = static_cast<IHTMLElement*>(self.Get());
    DISPID named = DISPID_THIS;
    DISPPARAMS params = {&thisArg, &named, 1, 1};
    Variant result;
    ComPtr<IDispatch> callable(function.Get()->pdispVal);
    callable->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result.Get(), nullptr,
                     nullptr);
    return !(result.Type() == VT_BOOL && result.Get()->boolVal == VARIANT_FALSE);
}

ComPtr<Element> Document::Wrap(const NodePtr& node)
{
    if (!node)
        return nullptr;
    auto found = m_wrappers.find(node.get());
    if (found != m_wrappers.end())
        return ComPtr<Element>(found->second);
    ComPtr<Element> element = MakeComObject<Element>(this, node);
    m_wrappers[node.get()] = element.Get();
    return element;
}

void Document::Forget(Element* element)
{
    auto found = m_wrappers.find(element->DomNode().get());
    if (found != m_wrappers.end() && found->second == element)
        m_wrappers.erase(found);
}

ComPtr<Collection> Document::MakeCollection(Collection::Query query)
{
    return MakeComObject<Collection>(this, std::move(query));
}

std::vector<NodePtr> Document::Query(const std::function<bool(const standin::Node&)>& match) const
{
    return FindElements(*m_root, match);
}

HRESULT Document::SubmitForm(const NodePtr& form, const NodePtr& submitter)
{
    if (!m_host)
        return E_FAIL;
    if (!form || !form->Is(L"form"))
        return E_INVALIDARG;
    std::vector<std::pair<std::wstring, std::wstring>> fields;
    for (const NodePtr& field : FindElements(*form, IsFormField)) {
        std::wstring name = field->AttributeOr(L"name");
        if (name.empty() || field->Attribute(L"disabled"))
            continue;
        std::wstring type = LowerText(field->AttributeOr(L"type", L"text"));
        if (field->Is(L"input") || field->Is(L"button")) {
            bool isButton = field->Is(L"button") || type == L"submit" || type == L"button" ||
                            type == L"reset" || type == L"image";
            if (isButton) {
                if (field == submitter && type != L"reset" && type != L"button")
                    fields.emplace_back(name, field->AttributeOr(L"value"));
                continue;
            }
            if (type == L"file")
                continue;
            if ((type == L"checkbox" || type == L"radio") && !field->Attribute(L"checked"))
                continue;
            std::wstring fallback = (type == L"checkbox" || type == L"radio") ? L"on" : L"";
            fields.emplace_back(name, field->AttributeOr(L"value", fallback));
        } else {
            Bstr value;
            Wrap(field)->get_value(value.Put());
            fields.emplace_back(name, FromBstr(value.Get()));
        }
    }
    std::wstring action = form->AttributeOr(L"action");
    std::wstring target = action.empty() ? m_url : ResolveUrl(m_url, action);
    std::string encoded = FormEncode(fields);
    if (_wcsicmp(form->AttributeOr(L"method", L"get").c_str(), L"post") == 0)
        return m_host->NavigateFrom(*this, target, L"POST", encoded);
    std::wstring query(encoded.begin(), encoded.end());
    return m_host->NavigateFrom(*this, WithQuery(target, query), L"GET", std::string());
}

HRESULT Document::Navigate(const std::wstring& url)
{
    if (!m_host)
        return E_FAIL;
    return m_host->NavigateFrom(*this, ResolveUrl(m_url, url), L"GET", std::string());
}

void Document::BuildMembers()
{
    auto object = [](IDispatch* d, VARIANT* r) { return VariantFromDispatch(d, r); };
    m_members.Property(L"body", [this, object](VARIANT* r) {
        ComPtr<Element> body = Wrap(BodyOf(*m_root));
        return object(static_cast<IHTMLElement*>(body.Get()), r);
    });
    m_members.Property(L"title", [this](VARIANT* r) { return VariantFromString(m_title, r); },
                       [this](const VARIANT& v) {
                           Bstr text(VariantToString(&v));
                           return put_title(text.Get());
                       });
    m_members.Property(L"URL", [this](VARIANT* r) { return VariantFromString(m_url, r); });
    m_members.Property(L"readyState", [this](VARIANT* r) { return VariantFromString(m_readyState, r); });
    m_members.Property(L"location",
                       [this, object](VARIANT* r) {
                           ComPtr<Location> l = MakeComObject<Location>(this);
                           return object(l.Get(), r);
                       },
                       [this](const VARIANT& v) { return Navigate(VariantToString(&v)); });
    m_members.Property(L"parentWindow", [this, object](VARIANT* r) { return object(m_window.Get(), r); });
    m_members.Property(L"frames", [this, object](VARIANT* r) { return object(m_window.Get(), r); });
    auto collection = [this, object](std::function<bool(const standin::Node&)> match) {
        return [this, object, match](VARIANT* r) {
            ComPtr<Collection> c = MakeCollection([this, match] { return Query(match); });
            return object(c.Get(), r);
        };
    };
    m_members.Property(L"all", collection([](const standin::Node&) { return true; }));
    m_members.Property(L"forms", collection([](const standin::Node& n) { return n.Is(L"form"); }));
    m_members.Property(L"images", collection([](const standin::Node& n) { return n.Is(L"img"); }));
    m_members.Property(L"links", collection([](const standin::Node& n) {
        return (n.Is(L"a") || n.Is(L"area")) && n.Attribute(L"href");
    }));
    m_members.Property(L"scripts", collection([](const standin::Node& n) { return n.Is(L"script"); }));
    m_members.Property(L"cookie",
                       [this](VARIANT* r) {
                           Bstr cookie;
                           HRESULT hr = get_cookie(cookie.Put());
                           return FAILED(hr) ? hr : VariantFromString(FromBstr(cookie.Get()), r);
                       },
                       [this](const VARIANT& v) {
                           Bstr text(VariantToString(&v));
                           return put_cookie(text.Get());
                       });
    m_members.Method(L"getElementById", [this, object](const DispArgs& a, VARIANT* r) {
        std::wstring id = a.String(0);
        NodePtr n = FindElement(*m_root, [&](const standin::Node& e) {
            const std::wstring* v = e.Attribute(L"id");
            return v && *v == id;
        });
        if (!n)   // the old engine falls back to name
            n = FindElement(*m_root, [&](const standin::Node& e) {
                const std::wstring* v = e.Attribute(L"name");
                return v && *v == id;
            });
        ComPtr<Element> e = Wrap(n);
        return object(static_cast<IHTMLElement*>(e.Get()), r);
    });
    m_members.Method(L"getElementsByName", [this, collection](const DispArgs& a, VARIANT* r) {
        std::wstring name = a.String(0);
        return collection([name](const standin::Node& n) { return n.AttributeOr(L"name") == name; })(r);
    });
    m_members.Method(L"getElementsByTagName", [this, collection](const DispArgs& a, VARIANT* r) {
        std::wstring tag = LowerText(a.String(0));
        return collection([tag](const standin::Node& n) { return tag == L"*" || n.tag == tag; })(r);
    });
    auto write = [this](bool newline) {
        return [this, newline](const DispArgs& a, VARIANT*) {
            std::wstring text;
            for (UINT i = 0; i < a.Count(); ++i)
                text += a.String(i);
            if (newline)
                text += L"\r\n";
            if (NodePtr body = BodyOf(*m_root))
                for (NodePtr& n : ParseFragment(text))
                    body->Append(n);
            return S_OK;
        };
    };
    m_members.Method(L"write", write(false));
    m_members.Method(L"writeln", write(true));
    m_members.Method(L"toString", [](const DispArgs&, VARIANT* r) { return VariantFromString(L"[object]", r); });
    // document.loginForm: forms by name.
    auto formNamed = [this](const std::wstring& name) {
        return FindElement(*m_root, [&](const standin::Node& n) {
            return n.Is(L"form") && _wcsicmp(n.AttributeOr(L"name").c_str(), name.c_str()) == 0;
        });
    };
    m_members.Dynamic([formNamed](const std::wstring& name) { return formNamed(name) != nullptr; },
                      [this, formNamed, object](const std::wstring& name, WORD flags, const DispArgs&,
                                                const VARIANT* put, VARIANT* r) {
                          if (put)
                              return DISP_E_MEMBERNOTFOUND;
                          ComPtr<Element> e = Wrap(formNamed(name));
                          return object(static_cast<IHTMLElement*>(e.Get()), r);
                      });
}

STDMETHODIMP Document::get_Script(IDispatch** p)
{
    if (!p)
        return E_POINTER;
    *p = nullptr;
    if (!m_script)
        return E_FAIL;
    return m_script->GlobalDispatch(p);
}

STDMETHODIMP Document::get_all(IHTMLElementCollection** p)
{
    ComPtr<Collection> c = MakeCollection([this] { return Query([](const standin::Node&) { return true; }); });
    return ReturnObject(c.Get(), p);
}

STDMETHODIMP Document::get_body(IHTMLElement** p)
{
    ComPtr<Element> body = Wrap(BodyOf(*m_root));
    return ReturnObject(static_cast<IHTMLElement*>(body.Get()), p);
}

STDMETHODIMP Document::get_forms(IHTMLElementCollection** p)
{
    ComPtr<Collection> c = MakeCollection([this] { return Query([](const standin::Node& n) { return n.Is(L"form"); }); });
    return ReturnObject(c.Get(), p);
}

STDMETHODIMP Document::get_links(IHTMLElementCollection** p)
{
    ComPtr<Collection> c = MakeCollection([this] {
        return Query([](const standin::Node& n) { return (n.Is(L"a") || n.Is(L"area")) && n.Attribute(L"href"); });
    });
    return ReturnObject(c.Get(), p);
}

STDMETHODIMP Document::get_images(IHTMLElementCollection** p)
{
    ComPtr<Collection> c = MakeCollection([this] { return Query([](const standin::Node& n) { return n.Is(L"img"); }); });
    return ReturnObject(c.Get(), p);
}

STDMETHODIMP Document::get_scripts(IHTMLElementCollection** p)
{
    ComPtr<Collection> c = MakeCollection([this] { return Query([](const standin::Node& n) { return n.Is(L"script"); }); });
    return ReturnObject(c.Get(), p);
}

STDMETHODIMP Document::put_title(BSTR v)
{
    m_title = FromBstr(v);
    if (m_host)
        m_host->TitleChanged(*this);
    return S_OK;
}

STDMETHODIMP Document::get_title(BSTR* p)
{
    return ReturnString(m_title, p);
}

STDMETHODIMP Document::get_readyState(BSTR* p)
{
    return ReturnString(m_readyState, p);
}

STDMETHODIMP Document::get_frames(IHTMLFramesCollection2** p)
{
    return ReturnObject(static_cast<IHTMLFramesCollection2*>(m_window.Get()), p);
}

STDMETHODIMP Document::get_location(IHTMLLocation** p)
{
    ComPtr<Location> l = MakeComObject<Location>(this);
    return ReturnObject(l.Get(), p);
}

STDMETHODIMP Document::get_URL(BSTR* p)
{
    return ReturnString(m_url, p);
}

STDMETHODIMP Document::put_URL(BSTR v)
{
    return Navigate(FromBstr(v));
}

STDMETHODIMP Document::get_parentWindow(IHTMLWindow2** p)
{
    if (p && !m_window) {
        *p = nullptr;
        return E_FAIL;
    }
    return ReturnObject(m_window.Get(), p);
}

STDMETHODIMP Document::get_cookie(BSTR* p)
{
    std::wstring scheme = SchemeOf(m_url);
    wchar_t buffer[4096] = {};
    DWORD size = 4096;
    if ((scheme == L"http" || scheme == L"https") && InternetGetCookieW(m_url.c_str(), nullptr, buffer, &size))
        return ReturnString(buffer, p);
    return ReturnString(L"", p);
}

STDMETHODIMP Document::put_cookie(BSTR v)
{
    std::wstring scheme = SchemeOf(m_url);
    if (scheme != L"http" && scheme != L"https")
        return S_OK;
    return InternetSetCookieW(m_url.c_str(), nullptr, FromBstr(v).c_str()) ? S_OK : E_FAIL;
}

STDMETHODIMP Document::toString(BSTR* p)
{
    return ReturnString(L"[object]", p);
}

STDMETHODIMP Document::QueryService(REFGUID service, REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (!m_host)
        return E_FAIL;
    if (IsEqualGUID(service, IID_IWebBrowserApp) || IsEqualGUID(service, IID_IWebBrowser2))
        return m_host->Browser()->QueryInterface(iid, out);
    return E_NOINTERFACE;
}

}  // namespace standin
