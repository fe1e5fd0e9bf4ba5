// One file an update names: a plain component (content) or a binary component (an installer
// the user is asked about). Read from a "component" or "binarycomponent" element.
#pragma once

#include <windows.h>
#include <msxml2.h>

#include <cstdint>
#include <memory>
#include <string>

class UpdateComponent {
public:
    UpdateComponent() = default;
    virtual ~UpdateComponent() = default;

    // url, path and timestamp; false (traced) when url or timestamp is missing.
    virtual bool FromNode(IXMLDOMNode* pNode);
    // A copy of the same kind.
    virtual std::unique_ptr<UpdateComponent> Clone() const;

    // raw: the "path" attribute as written; otherwise the key "<path>\<file name>". False
    // without an output, without a file name, or for a path outside the update folder.
    bool GetPath(std::string* strFilePath, bool raw = false) const;
    // The file name from the URL, with "<timestamp>_" before it when asked. False when the URL
    // gives no usable name.
    bool GetFileName(std::string& name, bool withTimestamp) const;
    // "<timestamp>_<key without leading backslashes>": the name an earlier download has.
    bool GetCacheName(std::string& name) const;
    // Whether the component may be fetched at all: a folder inside the update folder and a
    // file name.
    bool HasSafeTarget() const;

    // Downloads the file into "<strTargetDir>\<path>\[<timestamp>_]<file name>" from an allowed
    // host (Wisp/update/ComponentDownload.h). On failure the last error says why.
    bool Marshal(const char* strTargetDir, bool withTimestamp) const;

    bool GetComponentType(std::string* type) const;
    bool SetComponentType(const char* type);

    const std::string& Url() const { return m_url; }
    int32_t Timestamp() const { return m_timestamp; }
    const std::string& RawPath() const { return m_path; }

protected:
    UpdateComponent(const UpdateComponent&) = default;
    UpdateComponent& operator=(const UpdateComponent&) = default;

private:
    std::string m_url;
    int32_t m_timestamp = 0;
    std::string m_path;
    std::string m_componentType;
};

class BinaryUpdateComponent : public UpdateComponent {
public:
    // "updatetype" ("force" or "passive", anything else passive) and "displaytext", then the
    // base attributes.
    bool FromNode(IXMLDOMNode* pNode) override;
    std::unique_ptr<UpdateComponent> Clone() const override;

    const std::string& UpdateType() const { return m_updateType; }
    const std::string& DisplayText() const { return m_displayText; }

private:
    std::string m_updateType = "passive";
    std::string m_displayText;
};
