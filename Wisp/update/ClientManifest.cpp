#include "Wisp/update/ClientManifest.h"

#include <algorithm>

#include "common/MSXMLDOMNode.h"
#include "common/TraceLog.h"
#include "common/com/Bstr.h"
#include "common/com/Variant.h"
#include "Wisp/update/ManifestRules.h"

namespace {

// {2933BF95-7B36-11D2-B20E-00C04F983E60}; no import library defines it.
const IID kIID_IXMLDOMDocument2 = {0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

template <class Item>
bool FetchItem(IXMLDOMNodeList* list, long index, ComPtr<Item>& item)
{
    return list->get_item(index, item.Put()) == S_OK && item;
}

}  // namespace

// --- Update ---------------------------------------------------------------------------------

bool Update::Insert(std::unique_ptr<UpdateComponent> component)
{
    std::string key;
    // A component whose folder would lie outside the update folder, or whose URL names no
    // file, has nowhere safe to go: it is refused rather than keyed.
    if (!component->HasSafeTarget() || !component->GetPath(&key)) {
        TraceLog("Update::FromNode - refusing component url='%s' path='%s': no safe target.\n",
                 component->Url().c_str(), component->RawPath().c_str());
        return false;
    }
    return m_components.emplace(key, std::move(component)).second;
}

bool Update::Add(const UpdateComponent& component)
{
    return Insert(component.Clone());
}

bool Update::FromNode(IXMLDOMNode* pNode)
{
    if (!pNode) {
        TraceLog("Update::FromNode - pNode is NULL.\n");
        return false;
    }
    MSXMLDOMNode node(pNode);
    std::string priority;
    m_priority = node.GetAttributeValue("priority", &priority) ? manifest_rules::ParseInteger(priority) : 0;

    ComPtr<IXMLDOMNodeList> children;
    HRESULT hr = pNode->get_childNodes(children.Put());
    if (FAILED(hr) || !children) {
        TraceLog("Update::FromNode - Failed getting child nodes. hr=0x%X\n", static_cast<unsigned>(hr));
        return false;
    }
    long count = 0;
    children->get_length(&count);
    for (long i = 0; i < count; ++i) {
        ComPtr<IXMLDOMNode> child;
        if (!FetchItem(children.Get(), i, child))
            return false;
        std::string tag;
        MSXMLDOMNode(child.Get()).GetTagName(&tag);
        std::unique_ptr<UpdateComponent> component;
        if (tag == "component") {
            component.reset(new UpdateComponent);
            component->FromNode(child.Get());
        } else if (tag == "binarycomponent") {
            component.reset(new BinaryUpdateComponent);
            component->FromNode(child.Get());
        } else {
            TraceLog("Update::FromNode - WARNING: Unrecognized component tag '%s'\n", tag.c_str());
            continue;
        }
        // Entered whatever its own reading answered: a component missing an attribute still
        // holds its place (and its key) in the update.
        component->SetComponentType(tag.c_str());
        Insert(std::move(component));
    }
    return true;
}

// --- UpdateList -----------------------------------------------------------------------------

bool UpdateList::FromNode(IXMLDOMNode* pNode)
{
    if (!pNode) {
        TraceLog("UpdateList::FromNode - pNode is NULL.\n");
        return false;
    }
    const std::string query = std::string("//") + "update";
    Bstr xpath = Bstr::FromAnsi(query.c_str());
    ComPtr<IXMLDOMNodeList> nodes;
    HRESULT hr = pNode->selectNodes(xpath.Get(), nodes.Put());
    if (FAILED(hr) || !nodes) {
        TraceLog("ClientManifest::FromNode - Failed getting '%s' nodes. hr=0x%X\n", "update",
                 static_cast<unsigned>(hr));
        return false;
    }
    long count = 0;
    nodes->get_length(&count);
    for (long i = 0; i < count; ++i) {
        ComPtr<IXMLDOMNode> item;
        if (!FetchItem(nodes.Get(), i, item))
            break;
        Update update;
        if (!update.FromNode(item.Get())) {
            TraceLog("UpdateList::FromNode - failed filling update component list - skipping this update.\n");
            continue;
        }
        m_updates.push_back(std::move(update));
    }
    std::stable_sort(m_updates.begin(), m_updates.end(),
                     [](const Update& a, const Update& b) { return a.Priority() < b.Priority(); });
    return true;
}

bool UpdateList::GetComponent(const char* strFilePath, const UpdateComponent** ppUpdateComponent) const
{
    if (!strFilePath) {
        TraceLog("UpdateList::GetComponent - strFilePath is NULL.\n");
        return false;
    }
    if (!ppUpdateComponent) {
        TraceLog("UpdateList::GetComponent - ppUpdateComponent is NULL.\n");
        return false;
    }
    *ppUpdateComponent = nullptr;
    for (const Update& update : m_updates) {
        auto found = update.Items().find(strFilePath);
        if (found != update.Items().end()) {
            *ppUpdateComponent = found->second.get();
            return true;
        }
    }
    return false;
}

// --- ClientManifest -------------------------------------------------------------------------

bool ClientManifest::Load(const char* strPath)
{
    if (!strPath) {
        TraceLog("ClientManifest::Load - strPath is NULL.\n");
        return false;
    }
    m_path = strPath;
    ComPtr<IXMLDOMDocument2> document;
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(L"Microsoft.XMLDOM", &clsid);
    if (SUCCEEDED(hr))
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, kIID_IXMLDOMDocument2, document.PutVoid());
    if (FAILED(hr) || !document) {
        TraceLog("ClientManifest::Load - Failed creating instance of IXMLDOMDocument2. hr=0x%X",
                 static_cast<unsigned>(hr));
        return false;
    }
    document->put_async(VARIANT_FALSE);
    // A manifest comes from the network: its entities may not pull in local files, nor expand
    // without end, so a document type definition is refused outright.
    document->put_resolveExternals(VARIANT_FALSE);
    Bstr prohibitDtd(L"ProhibitDTD");
    hr = document->setProperty(prohibitDtd.Get(), *Variant::FromBool(true).Get());
    if (FAILED(hr)) {
        TraceLog("ClientManifest::Load - cannot refuse document type definitions, hr=0x%X\n",
                 static_cast<unsigned>(hr));
        return false;
    }

    Variant source = Variant::FromBstr(Bstr::FromAnsi(strPath).Detach());
    VARIANT_BOOL loaded = VARIANT_FALSE;
    hr = document->load(*source.Get(), &loaded);
    if (FAILED(hr) || loaded != VARIANT_TRUE) {
        TraceLog("ClientManifest::Load - Failed loading XML '%s' hr=0x%X", strPath, static_cast<unsigned>(hr));
        return false;
    }
    // Where the parser takes a definition in spite of the property, the manifest is still refused.
    ComPtr<IXMLDOMDocumentType> doctype;
    if (document->get_doctype(doctype.Put()) == S_OK && doctype) {
        TraceLog("ClientManifest::Load - refusing '%s': it declares a document type.\n", strPath);
        return false;
    }
    Bstr xpath(L"//manifest");
    ComPtr<IXMLDOMNode> manifest;
    hr = document->selectSingleNode(xpath.Get(), manifest.Put());
    if (FAILED(hr) || !manifest) {
        TraceLog("ClientManifest::Load - Failed getting '%s' node. hr=0x%X\n", "manifest", static_cast<unsigned>(hr));
        return false;
    }
    if (!FromNode(manifest.Get())) {
        TraceLog("ClientManifest::Load - failed parsing '%s' node.", "manifest");
        return false;
    }
    return true;
}

bool ClientManifest::FromNode(IXMLDOMNode* pNode)
{
    if (!pNode) {
        TraceLog("ClientManifest::FromNode - pNode is NULL.\n");
        return false;
    }
    std::string pubDate;
    if (!MSXMLDOMNode(pNode).GetAttributeValue("pubdate", &pubDate)) {
        TraceLog("ClientManifest::FromNode - failed getting pubdate.\n");
        return false;
    }
    m_pubDate = manifest_rules::ParseInteger(pubDate);
    if (!m_updateList.FromNode(pNode)) {
        TraceLog("ClientManifest::FromNode - failed filling update list.\n");
        return false;
    }
    return true;
}
