#include "common/MSXMLDOMNode.h"

#include "common/TraceLog.h"
#include "common/com/Bstr.h"
#include "common/com/Strings.h"
#include "common/com/Variant.h"

MSXMLDOMNode::MSXMLDOMNode(IXMLDOMNode* node) : m_node(node)
{
    if (m_node)
        m_node->get_attributes(m_attributes.Put());
}

bool MSXMLDOMNode::GetTagName(std::string* pcstrValue) const
{
    if (!pcstrValue) {
        TraceLog("MSXMLDOMNode::GetTagName - pcstrValue is NULL.\n");
        return false;
    }
    Bstr name;
    const HRESULT hr = m_node ? m_node->get_nodeName(name.Put()) : E_POINTER;
    if (FAILED(hr)) {
        TraceLog("MSXMLDOMNode::GetTagName - Failed getting tag name, hr=0x%X\n", static_cast<unsigned>(hr));
        return false;
    }
    *pcstrValue = AnsiFromWide(name.Get() ? name.Get() : L"", name.Length());
    return true;
}

bool MSXMLDOMNode::GetAttributeValue(const char* strAttributeName, std::string* pcstrValue) const
{
    if (!strAttributeName) {
        TraceLog("MSXMLDOMNode::GetAttributeValue - strAttributeName is NULL.\n");
        return false;
    }
    if (!pcstrValue) {
        TraceLog("MSXMLDOMNode::GetAttributeValue - pcstrValue is NULL.\n");
        return false;
    }
    pcstrValue->clear();
    if (!m_attributes)
        return false;

    Bstr name = Bstr::FromAnsi(strAttributeName);
    ComPtr<IXMLDOMNode> attribute;
    HRESULT hr = m_attributes->getNamedItem(name.Get(), attribute.Put());
    if (hr != S_OK || !attribute) {
        // A missing attribute answers S_FALSE, which is traced as such.
        TraceLog("MSXMLDOMNode::GetAttributeValue - Failed getting attribute '%s', hr=0x%X\n", strAttributeName,
                 static_cast<unsigned>(hr));
        return false;
    }
    Variant value;
    hr = attribute->get_nodeValue(value.Get());
    if (SUCCEEDED(hr) && value.Type() != VT_BSTR)
        hr = VariantChangeType(value.Get(), value.Get(), 0, VT_BSTR);
    if (FAILED(hr)) {
        TraceLog("MSXMLDOMNode::GetAttributeValue - Failed getting attribute '%s' value, hr=0x%X\n",
                 strAttributeName, static_cast<unsigned>(hr));
        return false;
    }
    const BSTR text = value.Get()->bstrVal;
    *pcstrValue = text ? AnsiFromWide(text, SysStringLen(text)) : std::string();
    return true;
}
