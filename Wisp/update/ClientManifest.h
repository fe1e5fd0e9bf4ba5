// The update manifest in memory: a publication date and the updates it lists, each a set of
// components keyed by "<path>\<file name>". Read with MSXML from "manifest.xml":
//   <manifest pubdate="N"> <update priority="P"> <component url=".." path=".." timestamp=".."/>
//   <binarycomponent url=".." path=".." timestamp=".." updatetype="force|passive" displaytext=".."/>
#pragma once

#include <windows.h>
#include <msxml2.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Wisp/update/UpdateComponent.h"

class Update {
public:
    using Components = std::map<std::string, std::unique_ptr<UpdateComponent>>;

    Update() = default;
    Update(Update&&) = default;
    Update& operator=(Update&&) = default;

    // "priority" (missing: 0) and the component children; false (the update is dropped) when a
    // child cannot be fetched.
    bool FromNode(IXMLDOMNode* pNode);
    // Adds a copy under its key unless that key is taken or the component has no safe target.
    bool Add(const UpdateComponent& component);

    // Each component in key order; the first failure ends it with false (the last error says
    // why). All fetched, or none there: true with a last error of 0.
    bool Marshal(const char* strMarshalDir, bool withTimestamp) const;

    int32_t Priority() const { return m_priority; }
    const Components& Items() const { return m_components; }   // in key order

private:
    bool Insert(std::unique_ptr<UpdateComponent> component);

    Components m_components;
    int32_t m_priority = 0;
};

class UpdateList {
public:
    // Every "update" element of the node's document, in ascending priority (document order
    // among equals).
    bool FromNode(IXMLDOMNode* pNode);
    // The first component, in list order, whose key equals strFilePath (borrowed from the list).
    bool GetComponent(const char* strFilePath, const UpdateComponent** ppUpdateComponent) const;

    const std::vector<Update>& Updates() const { return m_updates; }

private:
    std::vector<Update> m_updates;
};

class ClientManifest {
public:
    // Loads the file synchronously and reads its first "manifest" element.
    bool Load(const char* strPath);
    bool FromNode(IXMLDOMNode* pNode);

    int32_t PubDate() const { return m_pubDate; }
    const UpdateList& List() const { return m_updateList; }
    const std::string& Path() const { return m_path; }

private:
    UpdateList m_updateList;
    std::string m_path;
    int32_t m_pubDate = 0;
};
