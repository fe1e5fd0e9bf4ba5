// The document object model the stand-in offers: document, window, location, elements and
// collections over the tree of HtmlTree.h, with the vtable interfaces native code uses and a
// late-bound face for page script.
#pragma once

#include "HtmlTree.h"
#include "ScriptSite.h"
#include "Stubs.h"

#include "common/com/ComObject.h"
#include "tests/support/DispatchTable.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace standin {

class Document;

// What a page needs from the browser that shows it. Called on the browser's thread only.
class PageHost {
public:
    virtual ComPtr<IDispatch> External() = 0;          // the container's window.external
    virtual void Alert(const std::wstring& text) = 0;
    virtual void ScriptError(const std::wstring& text) = 0;
    // Form submission, location.href = ..., window.navigate: load url into doc's frame.
    virtual HRESULT NavigateFrom(Document& doc, const std::wstring& url, const std::wstring& method,
                                 const std::string& body) = 0;
    virtual void TitleChanged(Document& doc) = 0;
    virtual UINT_PTR SetTimeout(std::function<void()> action, UINT milliseconds) = 0;
    virtual void ClearTimeout(UINT_PTR id) = 0;
    virtual HWND Window() = 0;
    virtual IUnknown* Browser() = 0;

protected:
    ~PageHost() = default;
};

class Element;
class Window;

// An object that takes any property script gives it (element.style, navigator).
class Bag : public ComObject<Bag>, public IDispatch {
public:
    WISP_COM_INTERFACES(Bag, WISP_COM_ENTRY(IDispatch))
    WISP_IUNKNOWN_FORWARD()
    WISP_DISPATCH_FORWARD(m_members)
    Bag();
    void Set(const std::wstring& name, const std::wstring& value);

private:
    std::map<std::wstring, VARIANT> m_values;
    DispatchTable m_members;

public:
    ~Bag() override;
};

// A collection over a query of the tree, evaluated at each use (the real ones are live too).
class Collection : public ComObject<Collection>, public IHTMLElementCollectionStubs {
public:
    WISP_COM_INTERFACES(Collection, WISP_COM_ENTRY(IHTMLElementCollection) WISP_COM_ENTRY(IDispatch))
    WISP_IUNKNOWN_FORWARD()
    WISP_DISPATCH_FORWARD(m_members)

    using Query = std::function<std::vector<NodePtr>()>;
    Collection(Document* doc, Query query);

    STDMETHODIMP get_length(LONG* p) override;
    STDMETHODIMP item(VARIANT name, VARIANT index, IDispatch** pdisp) override;
    STDMETHODIMP tags(VARIANT tagName, IDispatch** pdisp) override;

private:
    HRESULT Item(const VARIANT* name, const VARIANT* index, VARIANT* result);
    ComPtr<IUnknown> m_docRef;
    Document* m_doc;
    Query m_query;
    DispatchTable m_members;
};

class Element : public ComObject<Element>,
                public IHTMLElementStubs,
                public IHTMLInputElementStubs,
                public IHTMLFormElementStubs {
public:
    WISP_COM_INTERFACES(Element, WISP_COM_ENTRY(IHTMLElement) WISP_COM_ENTRY_IID(IID_IDispatch, IHTMLElement)
                                     WISP_COM_ENTRY(IHTMLInputElement) WISP_COM_ENTRY(IHTMLFormElement))
    WISP_DISPATCH_FORWARD(m_members)
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return InternalAddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return InternalRelease(); }

    Element(Document* doc, NodePtr node);
    ~Element() override;
    const NodePtr& DomNode() const { return m_node; }

    // IHTMLElement
    STDMETHODIMP setAttribute(BSTR name, VARIANT value, LONG flags) override;
    STDMETHODIMP getAttribute(BSTR name, LONG flags, VARIANT* value) override;
    STDMETHODIMP removeAttribute(BSTR name, LONG flags, VARIANT_BOOL* success) override;
    STDMETHODIMP put_id(BSTR v) override;
    STDMETHODIMP get_id(BSTR* p) override;
    STDMETHODIMP get_tagName(BSTR* p) override;
    STDMETHODIMP get_className(BSTR* p) override;
    STDMETHODIMP get_parentElement(IHTMLElement** p) override;
    STDMETHODIMP get_innerHTML(BSTR* p) override;
    STDMETHODIMP put_innerHTML(BSTR v) override;
    STDMETHODIMP get_innerText(BSTR* p) override;
    STDMETHODIMP put_innerText(BSTR v) override;
    STDMETHODIMP get_outerHTML(BSTR* p) override;
    STDMETHODIMP get_document(IDispatch** p) override;
    STDMETHODIMP get_all(IDispatch** p) override;
    STDMETHODIMP get_children(IDispatch** p) override;
    STDMETHODIMP click() override;
    // IHTMLInputElement
    STDMETHODIMP get_type(BSTR* p) override;
    STDMETHODIMP put_value(BSTR v) override;
    STDMETHODIMP get_value(BSTR* p) override;
    STDMETHODIMP put_name(BSTR v) override;
    STDMETHODIMP get_name(BSTR* p) override;
    STDMETHODIMP get_form(IHTMLFormElement** p) override;
    STDMETHODIMP put_checked(VARIANT_BOOL v) override;
    STDMETHODIMP get_checked(VARIANT_BOOL* p) override;
    // IHTMLFormElement
    STDMETHODIMP put_action(BSTR v) override;
    STDMETHODIMP get_action(BSTR* p) override;
    STDMETHODIMP put_method(BSTR v) override;
    STDMETHODIMP get_method(BSTR* p) override;
    STDMETHODIMP get_elements(IDispatch** p) override;
    STDMETHODIMP get_length(LONG* p) override;
    STDMETHODIMP submit() override;
    STDMETHODIMP item(VARIANT name, VARIANT index, IDispatch** pdisp) override;

private:
    std::wstring Value() const;
    void SetValue(const std::wstring& value);
    void BuildMembers();
    void Repaint();

    ComPtr<IUnknown> m_docRef;
    Document* m_doc;
    NodePtr m_node;
    ComPtr<Bag> m_style;
    DispatchTable m_members;
};

class Location : public ComObject<Location>, public IHTMLLocationStubs {
public:
    WISP_COM_INTERFACES(Location, WISP_COM_ENTRY(IHTMLLocation) WISP_COM_ENTRY(IDispatch))
    WISP_IUNKNOWN_FORWARD()
    WISP_DISPATCH_FORWARD(m_members)

    explicit Location(Document* doc);
    STDMETHODIMP put_href(BSTR v) override;
    STDMETHODIMP get_href(BSTR* p) override;
    STDMETHODIMP get_protocol(BSTR* p) override;
    STDMETHODIMP get_host(BSTR* p) override;
    STDMETHODIMP get_hostname(BSTR* p) override;
    STDMETHODIMP get_port(BSTR* p) override;
    STDMETHODIMP get_pathname(BSTR* p) override;
    STDMETHODIMP get_search(BSTR* p) override;
    STDMETHODIMP get_hash(BSTR* p) override;
    STDMETHODIMP reload(VARIANT_BOOL flag) override;
    STDMETHODIMP replace(BSTR url) override;
    STDMETHODIMP assign(BSTR url) override;
    STDMETHODIMP toString(BSTR* p) override;

private:
    ComPtr<IUnknown> m_docRef;
    Document* m_doc;
    DispatchTable m_members;
};

class Window : public ComObject<Window>, public IHTMLWindow2Stubs {
public:
    WISP_COM_INTERFACES(Window, WISP_COM_ENTRY(IHTMLWindow2) WISP_COM_ENTRY(IHTMLFramesCollection2)
                                    WISP_COM_ENTRY(IDispatch))
    WISP_IUNKNOWN_FORWARD()
    WISP_DISPATCH_FORWARD(m_members)

    explicit Window(Document* doc);
    void Detach() { m_doc = nullptr; }
    Document* Doc() const { return m_doc; }

    // IHTMLFramesCollection2
    STDMETHODIMP item(VARIANT* index, VARIANT* result) override;
    STDMETHODIMP get_length(LONG* p) override;
    // IHTMLWindow2
    STDMETHODIMP get_frames(IHTMLFramesCollection2** p) override;
    STDMETHODIMP get_document(IHTMLDocument2** p) override;
    STDMETHODIMP get_location(IHTMLLocation** p) override;
    STDMETHODIMP get_name(BSTR* p) override;
    STDMETHODIMP put_name(BSTR v) override;
    STDMETHODIMP get_parent(IHTMLWindow2** p) override;
    STDMETHODIMP get_top(IHTMLWindow2** p) override;
    STDMETHODIMP get_self(IHTMLWindow2** p) override;
    STDMETHODIMP get_window(IHTMLWindow2** p) override;
    STDMETHODIMP get_external(IDispatch** p) override;
    STDMETHODIMP alert(BSTR message) override;
    STDMETHODIMP navigate(BSTR url) override;
    STDMETHODIMP execScript(BSTR code, BSTR language, VARIANT* result) override;
    STDMETHODIMP setTimeout(BSTR expression, LONG msec, VARIANT* language, LONG* timerID) override;
    STDMETHODIMP clearTimeout(LONG timerID) override;
    STDMETHODIMP get_status(BSTR* p) override;
    STDMETHODIMP put_status(BSTR v) override;

    // The script's window.onload, when it set one.
    IDispatch* OnLoadHandler() const { return m_onload.Get(); }

private:
    HRESULT Timeout(const VARIANT* code, LONG msec, VARIANT* result);
    ComPtr<Window> FrameWindow(const VARIANT* index);

    Document* m_doc;   // owned by the document; Detach()ed when the page goes
    std::wstring m_name;
    std::wstring m_status;
    ComPtr<IDispatch> m_onload;
    DispatchTable m_members;
};

class Document : public ComObject<Document>, public IHTMLDocument2Stubs, public IServiceProvider {
public:
    WISP_COM_INTERFACES(Document, WISP_COM_ENTRY(IHTMLDocument2) WISP_COM_ENTRY(IHTMLDocument)
                                      WISP_COM_ENTRY(IDispatch) WISP_COM_ENTRY(IServiceProvider))
    WISP_IUNKNOWN_FORWARD()
    WISP_DISPATCH_FORWARD(m_members)

    Document(PageHost* host, Document* parent, std::wstring url, NodePtr root, std::wstring frameName);
    ~Document() override;

    // Starts the script engine and runs the page's scripts in order (external sources from
    // `sources`, by resolved URL); then, after the frames did theirs, the load handlers.
    void RunScripts(const std::map<std::wstring, std::wstring>& sources);
    void RunLoadHandlers();
    // The page goes: script engine closed, timers and references dropped. Frames first.
    void Teardown();
    bool Alive() const { return m_host != nullptr; }

    struct Frame {
        NodePtr element;
        ComPtr<Document> doc;
    };
    void AddFrame(NodePtr element, ComPtr<Document> doc) { m_frames.push_back({std::move(element), std::move(doc)}); }
    std::vector<Frame>& Frames() { return m_frames; }
    Document* Parent() const { return m_parent; }
    Document* Top();
    PageHost* Host() const { return m_host; }
    const std::wstring& Url() const { return m_url; }
    const std::wstring& FrameName() const { return m_frameName; }
    const NodePtr& Root() const { return m_root; }
    std::wstring Title() const { return m_title; }
    Window* WindowObject() const { return m_window.Get(); }
    void SetReadyState(const wchar_t* state) { m_readyState = state; }

    ComPtr<Element> Wrap(const NodePtr& node);
    void Forget(Element* element);
    ComPtr<Collection> MakeCollection(Collection::Query query);
    HRESULT SubmitForm(const NodePtr& form, const NodePtr& submitter);
    HRESULT Navigate(const std::wstring& url);   // location.href, window.navigate
    HRESULT RunCode(const std::wstring& code, const std::wstring& where);   // script or handler text
    HRESULT EvaluateCode(const std::wstring& code, VARIANT* result);
    // Runs an element's handler attribute (onclick="..."); false when it returned false.
    bool Fire(const NodePtr& element, const wchar_t* handlerAttribute);

    // IHTMLDocument
    STDMETHODIMP get_Script(IDispatch** p) override;
    // IHTMLDocument2
    STDMETHODIMP get_all(IHTMLElementCollection** p) override;
    STDMETHODIMP get_body(IHTMLElement** p) override;
    STDMETHODIMP get_forms(IHTMLElementCollection** p) override;
    STDMETHODIMP get_links(IHTMLElementCollection** p) override;
    STDMETHODIMP get_images(IHTMLElementCollection** p) override;
    STDMETHODIMP get_scripts(IHTMLElementCollection** p) override;
    STDMETHODIMP put_title(BSTR v) override;
    STDMETHODIMP get_title(BSTR* p) override;
    STDMETHODIMP get_readyState(BSTR* p) override;
    STDMETHODIMP get_frames(IHTMLFramesCollection2** p) override;
    STDMETHODIMP get_location(IHTMLLocation** p) override;
    STDMETHODIMP get_URL(BSTR* p) override;
    STDMETHODIMP put_URL(BSTR v) override;
    STDMETHODIMP get_parentWindow(IHTMLWindow2** p) override;
    STDMETHODIMP get_cookie(BSTR* p) override;
    STDMETHODIMP put_cookie(BSTR v) override;
    STDMETHODIMP toString(BSTR* p) override;
    // IServiceProvider: the browser, as the real document offers it (SID_SWebBrowserApp).
    STDMETHODIMP QueryService(REFGUID service, REFIID iid, void** out) override;

private:
    void BuildMembers();
    std::vector<NodePtr> Query(const std::function<bool(const standin::Node&)>& match) const;

    PageHost* m_host;    // null once torn down
    Document* m_parent;  // the document holding this one's frame
    std::wstring m_url;
    NodePtr m_root;
    std::wstring m_frameName;
    std::wstring m_title;
    std::wstring m_readyState = L"loading";
    ComPtr<Window> m_window;
    ComPtr<ScriptSite> m_script;
    std::vector<Frame> m_frames;
    std::map<standin::Node*, Element*> m_wrappers;
    DispatchTable m_members;
};

// Helpers every DOM class uses.
HRESULT ReturnString(const std::wstring& text, BSTR* out);
std::wstring FromBstr(BSTR b);

}  // namespace standin
