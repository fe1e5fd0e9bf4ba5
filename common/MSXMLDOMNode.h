// Narrow-string access to one node of an MSXML document: its tag name and the text of its
// attributes, every failure traced.
#pragma once

#include <windows.h>
#include <msxml2.h>

#include <string>

#include "common/com/ComPtr.h"

class MSXMLDOMNode {
public:
    // Keeps a reference to the node (which may be null) and takes its attribute map.
    explicit MSXMLDOMNode(IXMLDOMNode* node);

    bool GetTagName(std::string* pcstrValue) const;
    // False with an empty output when the attribute is missing (traced, except for a node
    // without attributes, which answers every query with false silently).
    bool GetAttributeValue(const char* strAttributeName, std::string* pcstrValue) const;

private:
    ComPtr<IXMLDOMNode> m_node;
    ComPtr<IXMLDOMNamedNodeMap> m_attributes;
};
