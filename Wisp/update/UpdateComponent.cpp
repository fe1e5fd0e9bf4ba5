#include "Wisp/update/UpdateComponent.h"

#include "common/MSXMLDOMNode.h"
#include "common/TraceLog.h"
#include "Wisp/update/ManifestRules.h"

bool UpdateComponent::FromNode(IXMLDOMNode* pNode)
{
    if (!pNode) {
        TraceLog("UpdateComponent::FromNode - pNode is NULL.\n");
        return false;
    }
    MSXMLDOMNode node(pNode);
    if (!node.GetAttributeValue("url", &m_url)) {
        TraceLog("UpdateComponent::FromNode - Failed getting attribute '%s'\n", "url");
        return false;
    }
    node.GetAttributeValue("path", &m_path);   // missing: empty
    std::string timestamp;
    if (!node.GetAttributeValue("timestamp", &timestamp)) {
        TraceLog("UpdateComponent::FromNode - Failed getting attribute '%s'\n", "timestamp");
        return false;
    }
    m_timestamp = manifest_rules::ParseInteger(timestamp);
    return true;
}

std::unique_ptr<UpdateComponent> UpdateComponent::Clone() const
{
    return std::unique_ptr<UpdateComponent>(new UpdateComponent(*this));
}

bool UpdateComponent::HasSafeTarget() const
{
    std::string name;
    return manifest_rules::IsSafeComponentPath(m_path) && manifest_rules::FileNameFromUrl(m_url, name);
}

bool UpdateComponent::GetFileName(std::string& name, bool withTimestamp) const
{
    if (!manifest_rules::FileNameFromUrl(m_url, name))
        return false;
    if (withTimestamp)
        name = manifest_rules::TimestampedName(m_timestamp, name);
    return true;
}

bool UpdateComponent::GetPath(std::string* strFilePath, bool raw) const
{
    if (!strFilePath) {
        TraceLog("UpdateComponent::GetPath - strFilePath is NULL.\n");
        return false;
    }
    // The path becomes a folder below the update folder: one that leads elsewhere never
    // reaches a file name.
    if (!manifest_rules::IsSafeComponentPath(m_path)) {
        TraceLog("UpdateComponent::GetPath - refusing path '%s' outside the update folder.\n", m_path.c_str());
        return false;
    }
    if (raw) {
        *strFilePath = m_path;
        return true;
    }
    std::string name;
    if (!GetFileName(name, false)) {
        TraceLog("UpdateComponent::GetPath - no file name in url '%s'.\n", m_url.c_str());
        return false;
    }
    *strFilePath = manifest_rules::ComponentKey(m_path, name);
    return true;
}

bool UpdateComponent::GetCacheName(std::string& name) const
{
    std::string key;
    if (!GetPath(&key))
        return false;
    name = manifest_rules::CacheName(m_timestamp, key);
    return true;
}

bool UpdateComponent::GetComponentType(std::string* type) const
{
    if (!type) {
        TraceLog("UpdateComponent::GetComponentType - output parameter is NULL.\n");
        return false;
    }
    *type = m_componentType;
    return true;
}

bool UpdateComponent::SetComponentType(const char* type)
{
    if (!type) {
        TraceLog("UpdateComponent::SetComponentType - input parameter is NULL.\n");
        return false;
    }
    m_componentType = type;
    return true;
}

bool BinaryUpdateComponent::FromNode(IXMLDOMNode* pNode)
{
    if (!pNode) {
        TraceLog("BinaryUpdateComponent::FromNode - pNode is NULL.\n");
        return false;
    }
    MSXMLDOMNode node(pNode);
    std::string updateType;
    if (!node.GetAttributeValue("updatetype", &updateType)) {
        m_updateType = "passive";
    } else if (updateType == "passive" || updateType == "force") {
        m_updateType = updateType;
    } else {
        TraceLog("BinaryUpdateComponent::FromNode - UpdateType '%s' not recognized as a valid type, using '%s'\n",
                 updateType.c_str(), "passive");
        m_updateType = "passive";
    }
    bool complete = true;
    if (!node.GetAttributeValue("displaytext", &m_displayText)) {
        TraceLog("BinaryUpdateComponent::FromNode - Failed getting attribute '%s'\n", "displaytext");
        complete = false;
    }
    // The base attributes are read even without a display text: the component still enters
    // its update under its real key, and a nameless entry would be refused there.
    const bool base = UpdateComponent::FromNode(pNode);
    return complete && base;
}

std::unique_ptr<UpdateComponent> BinaryUpdateComponent::Clone() const
{
    return std::unique_ptr<UpdateComponent>(new BinaryUpdateComponent(*this));
}
