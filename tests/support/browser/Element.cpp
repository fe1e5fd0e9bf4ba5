#include "Dom.h"

#include "common/com/Bstr.h"
#include "common/com/Variant.h"

#include <cwctype>

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

std::wstring Lower(std::wstring s)
{
    for (wchar_t& c : s)
        c = static_cast<wchar_t>(std::towlower(c));
    return s;
}

std::wstring Upper(std::wstring s)
{
    for (wchar_t& c : s)
        c = static_cast<wchar_t>(std::towupper(c));
    return s;
}

bool IsNumber(const std::wstring& s)
{
    if (s.empty())
        return false;
    for (wchar_t c : s)
        if (!std::iswdigit(c))
            return false;
    return true;
}

bool IsIndexType(VARTYPE vt)
{
    switch (vt) {
    case VT_I1: case VT_I2: case VT_I4: case VT_I8: case VT_UI1: case VT_UI2: case VT_UI4: case VT_UI8:
    case VT_INT: case VT_UINT: case VT_R4: case VT_R8:
        return true;
    default:
        return false;
    }
}

const VARIANT* Deref(const VARIANT* v)
{
    while (v && v->vt == (VT_BYREF | VT_VARIANT))
        v = v->pvarVal;
    return v;
}

bool BooleanAttribute(const std::wstring& name)
{
    return name == L"checked" || name == L"disabled" || name == L"selected" || name == L"readonly";
}

std::wstring DecodedText(const Node& node)
{
    std::wstring text;
    for (auto& c : node.children)
        if (c->kind == Node::Text)
            text += c->text;
    return DecodeEntities(text);
}

bool Matches(const Node& n, const std::wstring& name)
{
    const std::wstring* id = n.Attribute(L"id");
    const std::wstring* nm = n.Attribute(L"name");
    return (id && _wcsicmp(id->c_str(), name.c_str()) == 0) || (nm && _wcsicmp(nm->c_str(), name.c_str()) == 0);
}

}  // namespace

// ---- Bag -------------------------------------------------------------------------------------

Bag::Bag()
{
    m_members.Dynamic([](const std::wstring&) { return true; },
                      [this](const std::wstring& name, WORD, const DispArgs&, const VARIANT* put, VARIANT* r) {
                          if (put) {
                              VARIANT& slot = m_values[name];
                              if (slot.vt == 0)
                                  VariantInit(&slot);
                              return VariantCopy(&slot, const_cast<VARIANT*>(put));
                          }
                          auto found = m_values.find(name);
                          if (found == m_values.end())
                              return S_OK;
                          return VariantCopy(r, &found->second);
                      });
}

Bag::~Bag()
{
    for (auto& v : m_values)
        VariantClear(&v.second);
}

void Bag::Set(const std::wstring& name, const std::wstring& value)
{
    VARIANT& slot = m_values[name];
    VariantClear(&slot);
    VariantFromString(value, &slot);
}

// ---- Collection ------------------------------------------------------------------------------

Collection::Collection(Document* doc, Query query)
    : m_docRef(doc->Identity()), m_doc(doc), m_query(std::move(query))
{
    m_members.Property(L"length", [this](VARIANT* r) {
        r->vt = VT_I4;
        r->lVal = static_cast<LONG>(m_query().size());
        return S_OK;
    });
    auto item = [this](const DispArgs& a, VARIANT* r) { return Item(a.At(0), a.At(1), r); };
    m_members.Method(L"item", item);
    m_members.Method(L"namedItem", item);
    m_members.Value(item);
    m_members.Method(L"tags", [this](const DispArgs& a, VARIANT* r) {
        Variant name;
        VariantFromString(a.String(0), name.Get());
        ComPtr<IDispatch> found;
        HRESULT hr = tags(*name.Get(), found.Put());
        return FAILED(hr) ? hr : VariantFromDispatch(found.Get(), r);
    });
    m_members.Dynamic(
        [this](const std::wstring& name) {
            if (IsNumber(name))
                return true;
            for (const NodePtr& n : m_query())
                if (Matches(*n, name))
                    return true;
            return false;
        },
        [this](const std::wstring& name, WORD, const DispArgs&, const VARIANT* put, VARIANT* r) {
            if (put)
                return DISP_E_MEMBERNOTFOUND;
            Variant key;
            VariantFromString(name, key.Get());
            return Item(key.Get(), nullptr, r);
        });
}

HRESULT Collection::Item(const VARIANT* name, const VARIANT* index, VARIANT* result)
{
    name = Deref(name);
    index = Deref(index);
    if (!name || name->vt == VT_EMPTY || name->vt == VT_ERROR)
        return E_INVALIDARG;
    std::vector<NodePtr> nodes = m_query();
    auto element = [&](const NodePtr& n) {
        ComPtr<Element> e = m_doc->Wrap(n);
        return VariantFromDispatch(static_cast<IHTMLElement*>(e.Get()), result);
    };
    LONG position = -1;
    std::wstring key;
    if (IsIndexType(name->vt)) {
        Variant converted;
        if (FAILED(VariantChangeType(converted.Get(), const_cast<VARIANT*>(name), 0, VT_I4)))
            return E_INVALIDARG;
        position = converted.Get()->lVal;
    } else {
        key = VariantToString(name);
        if (IsNumber(key))
            position = std::wcstol(key.c_str(), nullptr, 10);
    }
    if (position >= 0 || IsIndexType(name->vt)) {
        if (position < 0 || static_cast<std::size_t>(position) >= nodes.size())
            return VariantFromDispatch(nullptr, result);
        return element(nodes[static_cast<std::size_t>(position)]);
    }
    std::vector<NodePtr> matches;
    for (const NodePtr& n : nodes)
        if (Matches(*n, key))
            matches.push_back(n);
    if (index && IsIndexType(index->vt)) {
        Variant converted;
        VariantChangeType(converted.Get(), const_cast<VARIANT*>(index), 0, VT_I4);
        LONG i = converted.Get()->lVal;
        if (i < 0 || static_cast<std::size_t>(i) >= matches.size())
            return VariantFromDispatch(nullptr, result);
        return element(matches[static_cast<std::size_t>(i)]);
    }
    if (matches.empty())
        return VariantFromDispatch(nullptr, result);
    if (matches.size() == 1)
        return element(matches[0]);
    Query query = m_query;
    ComPtr<Collection> sub = m_doc->MakeCollection([query, key] {
        std::vector<NodePtr> out;
        for (const NodePtr& n : query())
            if (Matches(*n, key))
                out.push_back(n);
        return out;
    });
    return VariantFromDispatch(sub.Get(), result);
}

STDMETHODIMP Collection::get_length(LONG* p)
{
    if (!p)
        return E_POINTER;
    *p = static_cast<LONG>(m_query().size());
    return S_OK;
}

STDMETHODIMP Collection::item(VARIANT name, VARIANT index, IDispatch** pdisp)
{
    if (!pdisp)
        return E_POINTER;
    *pdisp = nullptr;
    Variant result;
    HRESULT hr = Item(&name, &index, result.Get());
    if (FAILED(hr))
        return hr;
    if (result.Type() == VT_DISPATCH) {
        *pdisp = result.Get()->pdispVal;
        (*pdisp)->AddRef();
    }
    return S_OK;
}

STDMETHODIMP Collection::tags(VARIANT tagName, IDispatch** pdisp)
{
    if (!pdisp)
        return E_POINTER;
    std::wstring tag = Lower(VariantToString(&tagName));
    Query query = m_query;
    ComPtr<Collection> sub = m_doc->MakeCollection([query, tag] {
        std::vector<NodePtr> out;
        for (const NodePtr& n : query())
            if (n->tag == tag)
                out.push_back(n);
        return out;
    });
    *pdisp = static_cast<IHTMLElementCollection*>(sub.Detach());
    return S_OK;
}

// ---- Element ---------------------------------------------------------------------------------

Element::Element(Document* doc, NodePtr node) : m_docRef(doc->Identity()), m_doc(doc), m_node(std::move(node))
{
    BuildMembers();
}

Element::~Element()
{
    m_doc->Forget(this);
}

STDMETHODIMP Element::QueryInterface(REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (IsEqualIID(iid, IID_IHTMLInputElement) && !m_node->Is(L"input"))
        return E_NOINTERFACE;
    if (IsEqualIID(iid, IID_IHTMLFormElement) && !m_node->Is(L"form"))
        return E_NOINTERFACE;
    return InternalQueryInterface(iid, out);
}

std::wstring Element::Value() const
{
    const Node& n = *m_node;
    if (n.Is(L"textarea"))
        return n.Attribute(L"value") ? *n.Attribute(L"value") : DecodedText(n);
    if (n.Is(L"select")) {
        auto options = FindElements(n, [](const Node& o) { return o.Is(L"option"); });
        NodePtr chosen;
        for (auto& o : options)
            if (o->Attribute(L"selected")) {
                chosen = o;
                break;
            }
        if (!chosen && !options.empty())
            chosen = options[0];
        if (!chosen)
            return {};
        return chosen->Attribute(L"value") ? *chosen->Attribute(L"value") : InnerText(*chosen);
    }
    if (n.Is(L"option"))
        return n.Attribute(L"value") ? *n.Attribute(L"value") : InnerText(n);
    std::wstring type = Lower(n.AttributeOr(L"type"));
    if (n.Is(L"input") && (type == L"checkbox" || type == L"radio"))
        return n.AttributeOr(L"value", L"on");
    return n.AttributeOr(L"value");
}

void Element::SetValue(const std::wstring& value)
{
    Node& n = *m_node;
    if (n.Is(L"select")) {
        for (auto& o : FindElements(n, [](const Node& x) { return x.Is(L"option"); })) {
            std::wstring v = o->Attribute(L"value") ? *o->Attribute(L"value") : InnerText(*o);
            if (v == value)
                o->SetAttribute(L"selected", L"selected");
            else
                o->RemoveAttribute(L"selected");
        }
        return;
    }
    n.SetAttribute(L"value", value);
}

STDMETHODIMP Element::setAttribute(BSTR name, VARIANT value, LONG)
{
    std::wstring key = Lower(FromBstr(name));
    if (key.empty())
        return E_INVALIDARG;
    if (key == L"classname")
        key = L"class";
    const VARIANT* v = Deref(&value);
    if (BooleanAttribute(key) && v && v->vt == VT_BOOL) {
        if (v->boolVal)
            m_node->SetAttribute(key, key);
        else
            m_node->RemoveAttribute(key);
        return S_OK;
    }
    std::wstring text = VariantToString(v);
    if (key == L"value")
        SetValue(text);
    else
        m_node->SetAttribute(key, text);
    return S_OK;
}

STDMETHODIMP Element::getAttribute(BSTR name, LONG, VARIANT* value)
{
    if (!value)
        return E_POINTER;
    VariantInit(value);
    std::wstring key = Lower(FromBstr(name));
    if (key == L"classname")
        key = L"class";
    if (key == L"value" && (m_node->Attribute(L"value") || m_node->Is(L"select") || m_node->Is(L"textarea")))
        return VariantFromString(Value(), value);
    const std::wstring* v = m_node->Attribute(key);
    if (!v) {
        value->vt = VT_NULL;
        return S_OK;
    }
    return VariantFromString(*v, value);
}

STDMETHODIMP Element::removeAttribute(BSTR name, LONG, VARIANT_BOOL* success)
{
    bool removed = m_node->RemoveAttribute(FromBstr(name));
    if (success)
        *success = removed ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

STDMETHODIMP Element::put_id(BSTR v)
{
    m_node->SetAttribute(L"id", FromBstr(v));
    return S_OK;
}

STDMETHODIMP Element::get_id(BSTR* p)
{
    return ReturnString(m_node->AttributeOr(L"id"), p);
}

STDMETHODIMP Element::get_tagName(BSTR* p)
{
    return ReturnString(Upper(m_node->tag), p);
}

STDMETHODIMP Element::get_className(BSTR* p)
{
    return ReturnString(m_node->AttributeOr(L"class"), p);
}

STDMETHODIMP Element::get_parentElement(IHTMLElement** p)
{
    NodePtr parent = SharedFrom(m_node->parent);
    ComPtr<Element> e = parent ? m_doc->Wrap(parent) : nullptr;
    return ReturnObject(static_cast<IHTMLElement*>(e.Get()), p);
}

STDMETHODIMP Element::get_innerHTML(BSTR* p)
{
    return ReturnString(InnerHtml(*m_node), p);
}

STDMETHODIMP Element::put_innerHTML(BSTR v)
{
    std::wstring markup = FromBstr(v);
    if (m_node->Is(L"script") || m_node->Is(L"style") || m_node->Is(L"textarea") || m_node->Is(L"title")) {
        auto text = std::make_shared<Node>();
        text->kind = Node::Text;
        text->text = markup;
        m_node->ReplaceChildren({text});
        return S_OK;
    }
    m_node->ReplaceChildren(ParseFragment(markup));
    Repaint();
    return S_OK;
}

STDMETHODIMP Element::get_innerText(BSTR* p)
{
    return ReturnString(InnerText(*m_node), p);
}

STDMETHODIMP Element::put_innerText(BSTR v)
{
    auto text = std::make_shared<Node>();
    text->kind = Node::Text;
    text->text = EscapeText(FromBstr(v));
    m_node->ReplaceChildren({text});
    Repaint();
    return S_OK;
}

void Element::Repaint()
{
    // What the page shows changed: its view paints again.
    if (m_doc && m_doc->Host())
        InvalidateRect(m_doc->Host()->Window(), nullptr, TRUE);
}

STDMETHODIMP Element::get_outerHTML(BSTR* p)
{
    return ReturnString(OuterHtml(*m_node), p);
}

STDMETHODIMP Element::get_document(IDispatch** p)
{
    return ReturnObject(static_cast<IHTMLDocument2*>(m_doc), p);
}

STDMETHODIMP Element::get_all(IDispatch** p)
{
    NodePtr node = m_node;
    ComPtr<Collection> c = m_doc->MakeCollection([node] {
        return FindElements(*node, [](const Node&) { return true; });
    });
    return ReturnObject(static_cast<IHTMLElementCollection*>(c.Get()), p);
}

STDMETHODIMP Element::get_children(IDispatch** p)
{
    NodePtr node = m_node;
    ComPtr<Collection> c = m_doc->MakeCollection([node] {
        std::vector<NodePtr> out;
        for (auto& child : node->children)
            if (child->kind == Node::Element)
                out.push_back(child);
        return out;
    });
    return ReturnObject(static_cast<IHTMLElementCollection*>(c.Get()), p);
}

STDMETHODIMP Element::click()
{
    ComPtr<Element> keep(this);
    if (!m_doc->Fire(m_node, L"onclick"))
        return S_OK;
    std::wstring type = Lower(m_node->AttributeOr(L"type", m_node->Is(L"button") ? L"submit" : L"text"));
    if (m_node->Is(L"input") && type == L"checkbox") {
        if (m_node->Attribute(L"checked"))
            m_node->RemoveAttribute(L"checked");
        else
            m_node->SetAttribute(L"checked", L"checked");
    } else if (m_node->Is(L"input") && type == L"radio") {
        NodePtr form = FormOf(*m_node);
        std::wstring name = m_node->AttributeOr(L"name");
        if (form && !name.empty())
            for (auto& other : FindElements(*form, [&](const Node& n) { return n.Is(L"input") && n.AttributeOr(L"name") == name; }))
                other->RemoveAttribute(L"checked");
        m_node->SetAttribute(L"checked", L"checked");
    } else if ((m_node->Is(L"input") && (type == L"submit" || type == L"image")) ||
               (m_node->Is(L"button") && type == L"submit")) {
        if (NodePtr form = FormOf(*m_node))
            if (m_doc->Fire(form, L"onsubmit"))
                return m_doc->SubmitForm(form, m_node);
    } else if (m_node->Is(L"a") && m_node->Attribute(L"href")) {
        std::wstring href = *m_node->Attribute(L"href");
        if (_wcsnicmp(href.c_str(), L"javascript:", 11) == 0)
            return m_doc->RunCode(href.substr(11), m_doc->Url());
        return m_doc->Navigate(href);
    }
    return S_OK;
}

STDMETHODIMP Element::get_type(BSTR* p)
{
    if (m_node->Is(L"select"))
        return ReturnString(m_node->Attribute(L"multiple") ? L"select-multiple" : L"select-one", p);
    if (m_node->Is(L"textarea"))
        return ReturnString(L"textarea", p);
    return ReturnString(Lower(m_node->AttributeOr(L"type", m_node->Is(L"button") ? L"submit" : L"text")), p);
}

STDMETHODIMP Element::put_value(BSTR v)
{
    SetValue(FromBstr(v));
    return S_OK;
}

STDMETHODIMP Element::get_value(BSTR* p)
{
    return ReturnString(Value(), p);
}

STDMETHODIMP Element::put_name(BSTR v)
{
    m_node->SetAttribute(L"name", FromBstr(v));
    return S_OK;
}

STDMETHODIMP Element::get_name(BSTR* p)
{
    return ReturnString(m_node->AttributeOr(L"name"), p);
}

STDMETHODIMP Element::get_form(IHTMLFormElement** p)
{
    ComPtr<Element> form = m_doc->Wrap(FormOf(*m_node));
    return ReturnObject(static_cast<IHTMLFormElement*>(form.Get()), p);
}

STDMETHODIMP Element::put_checked(VARIANT_BOOL v)
{
    if (v)
        m_node->SetAttribute(L"checked", L"checked");
    else
        m_node->RemoveAttribute(L"checked");
    return S_OK;
}

STDMETHODIMP Element::get_checked(VARIANT_BOOL* p)
{
    if (!p)
        return E_POINTER;
    *p = m_node->Attribute(L"checked") ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

STDMETHODIMP Element::put_action(BSTR v)
{
    m_node->SetAttribute(L"action", FromBstr(v));
    return S_OK;
}

STDMETHODIMP Element::get_action(BSTR* p)
{
    return ReturnString(m_node->AttributeOr(L"action"), p);
}

STDMETHODIMP Element::put_method(BSTR v)
{
    m_node->SetAttribute(L"method", FromBstr(v));
    return S_OK;
}

STDMETHODIMP Element::get_method(BSTR* p)
{
    return ReturnString(Lower(m_node->AttributeOr(L"method", L"get")), p);
}

STDMETHODIMP Element::get_elements(IDispatch** p)
{
    NodePtr node = m_node;
    ComPtr<Collection> c = m_doc->MakeCollection([node] { return FindElements(*node, IsFormField); });
    return ReturnObject(static_cast<IHTMLElementCollection*>(c.Get()), p);
}

STDMETHODIMP Element::get_length(LONG* p)
{
    if (!p)
        return E_POINTER;
    *p = static_cast<LONG>(FindElements(*m_node, IsFormField).size());
    return S_OK;
}

STDMETHODIMP Element::submit()
{
    ComPtr<Element> keep(this);
    return m_doc->SubmitForm(m_node, nullptr);
}

STDMETHODIMP Element::item(VARIANT name, VARIANT index, IDispatch** pdisp)
{
    ComPtr<IDispatch> elements;
    HRESULT hr = get_elements(elements.Put());
    if (FAILED(hr))
        return hr;
    ComPtr<IHTMLElementCollection> collection;
    hr = elements.As(IID_IHTMLElementCollection, collection);
    return FAILED(hr) ? hr : collection->item(name, index, pdisp);
}

void Element::BuildMembers()
{
    auto text = [this](HRESULT (STDMETHODCALLTYPE Element::*get)(BSTR*)) {
        return [this, get](VARIANT* r) {
            Bstr value;
            HRESULT hr = (this->*get)(value.Put());
            return FAILED(hr) ? hr : VariantFromString(FromBstr(value.Get()), r);
        };
    };
    auto setText = [this](HRESULT (STDMETHODCALLTYPE Element::*put)(BSTR)) {
        return [this, put](const VARIANT& v) {
            Bstr value(VariantToString(&v));
            return (this->*put)(value.Get());
        };
    };
    auto attribute = [this](const wchar_t* name) {
        std::wstring key = name;
        return std::make_pair(
            DispatchTable::Getter([this, key](VARIANT* r) { return VariantFromString(m_node->AttributeOr(key), r); }),
            DispatchTable::Setter([this, key](const VARIANT& v) {
                m_node->SetAttribute(key, VariantToString(&v));
                return S_OK;
            }));
    };
    auto object = [](IDispatch* d, VARIANT* r) { return VariantFromDispatch(d, r); };
    auto flag = [this](const wchar_t* name) {
        std::wstring key = name;
        return std::make_pair(
            DispatchTable::Getter([this, key](VARIANT* r) {
                r->vt = VT_BOOL;
                r->boolVal = m_node->Attribute(key) ? VARIANT_TRUE : VARIANT_FALSE;
                return S_OK;
            }),
            DispatchTable::Setter([this, key](const VARIANT& v) {
                Variant b;
                if (FAILED(VariantChangeType(b.Get(), const_cast<VARIANT*>(&v), 0, VT_BOOL)))
                    return DISP_E_TYPEMISMATCH;
                if (b.Get()->boolVal)
                    m_node->SetAttribute(key, key);
                else
                    m_node->RemoveAttribute(key);
                return S_OK;
            }));
    };

    m_members.Property(L"id", text(&Element::get_id), setText(&Element::put_id));
    m_members.Property(L"name", text(&Element::get_name), setText(&Element::put_name));
    auto cls = attribute(L"class");
    m_members.Property(L"className", cls.first, cls.second);
    m_members.Property(L"tagName", text(&Element::get_tagName));
    m_members.Property(L"innerHTML", text(&Element::get_innerHTML), setText(&Element::put_innerHTML));
    m_members.Property(L"innerText", text(&Element::get_innerText), setText(&Element::put_innerText));
    m_members.Property(L"outerHTML", text(&Element::get_outerHTML));
    m_members.Property(L"value", text(&Element::get_value), setText(&Element::put_value));
    m_members.Property(L"type", text(&Element::get_type));
    for (const wchar_t* name : {L"href", L"src", L"title", L"alt", L"target"}) {
        auto a = attribute(name);
        m_members.Property(name, a.first, a.second);
    }
    for (const wchar_t* name : {L"checked", L"disabled", L"selected", L"readOnly"}) {
        auto f = flag(name);
        m_members.Property(name, f.first, f.second);
    }
    if (m_node->Is(L"form")) {
        m_members.Property(L"action", text(&Element::get_action), setText(&Element::put_action));
        m_members.Property(L"method", text(&Element::get_method), setText(&Element::put_method));
        m_members.Property(L"elements", [this, object](VARIANT* r) {
            ComPtr<IDispatch> e;
            get_elements(e.Put());
            return object(e.Get(), r);
        });
        m_members.Property(L"length", [this](VARIANT* r) {
            r->vt = VT_I4;
            return get_length(&r->lVal);
        });
        m_members.Method(L"submit", [this](const DispArgs&, VARIANT*) { return submit(); });
        m_members.Method(L"reset", [](const DispArgs&, VARIANT*) { return S_OK; });
    }
    m_members.Property(L"form", [this, object](VARIANT* r) {
        ComPtr<Element> form = m_doc->Wrap(FormOf(*m_node));
        return object(static_cast<IHTMLElement*>(form.Get()), r);
    });
    m_members.Property(L"parentElement", [this, object](VARIANT* r) {
        ComPtr<IHTMLElement> parent;
        get_parentElement(parent.Put());
        return object(parent.Get(), r);
    });
    m_members.Property(L"all", [this, object](VARIANT* r) {
        ComPtr<IDispatch> all;
        get_all(all.Put());
        return object(all.Get(), r);
    });
    m_members.Property(L"children", [this, object](VARIANT* r) {
        ComPtr<IDispatch> children;
        get_children(children.Put());
        return object(children.Get(), r);
    });
    m_members.Property(L"document", [this, object](VARIANT* r) {
        return object(static_cast<IHTMLDocument2*>(m_doc), r);
    });
    m_members.Property(L"style", [this, object](VARIANT* r) {
        if (!m_style)
            m_style = MakeComObject<Bag>();
        return object(m_style.Get(), r);
    });
    m_members.Method(L"getAttribute", [this](const DispArgs& a, VARIANT* r) {
        Bstr name(a.String(0));
        return getAttribute(name.Get(), 0, r);
    });
    m_members.Method(L"setAttribute", [this](const DispArgs& a, VARIANT*) {
        Bstr name(a.String(0));
        Variant value;
        if (a.At(1))
            VariantCopy(value.Get(), const_cast<VARIANT*>(a.At(1)));
        return setAttribute(name.Get(), *value.Get(), 0);
    });
    m_members.Method(L"removeAttribute", [this](const DispArgs& a, VARIANT* r) {
        Bstr name(a.String(0));
        r->vt = VT_BOOL;
        return removeAttribute(name.Get(), 0, &r->boolVal);
    });
    m_members.Method(L"click", [this](const DispArgs&, VARIANT*) { return click(); });
    m_members.Method(L"focus", [](const DispArgs&, VARIANT*) { return S_OK; });
    m_members.Method(L"blur", [](const DispArgs&, VARIANT*) { return S_OK; });
    m_members.Method(L"toString", [](const DispArgs&, VARIANT* r) { return VariantFromString(L"[object]", r); });

    // form.fieldName, and the engine's reflection of any attribute as a property.
    auto field = [this](const std::wstring& name) -> NodePtr {
        if (!m_node->Is(L"form"))
            return nullptr;
        return FindElement(*m_node, [&](const Node& n) { return IsFormField(n) && Matches(n, name); });
    };
    m_members.Dynamic(
        [this, field](const std::wstring& name) { return field(name) || m_node->Attribute(name); },
        [this, field, object](const std::wstring& name, WORD, const DispArgs&, const VARIANT* put, VARIANT* r) {
            if (NodePtr f = field(name)) {
                if (put)
                    return DISP_E_MEMBERNOTFOUND;
                ComPtr<Element> e = m_doc->Wrap(f);
                return object(static_cast<IHTMLElement*>(e.Get()), r);
            }
            if (put) {
                m_node->SetAttribute(name, VariantToString(put));
                return S_OK;
            }
            return VariantFromString(m_node->AttributeOr(name), r);
        });
}

}  // namespace standin
