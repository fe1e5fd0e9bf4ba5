// Named, localisable strings from "resources.xml" in the content folder (the format is in
// Wisp/windows/ResourceText.h). The file is read afresh at every lookup.
#pragma once

#include <string>

class ResourceFile {
public:
    static const char kFileName[];   // "resources.xml"

    // "<content_directory>\resources.xml".
    ResourceFile();
    explicit ResourceFile(std::string path) : m_strPath(std::move(path)) {}

    // False for a null argument or an unreadable file. True otherwise, also when the file has no
    // such string: then strVal is left as it was.
    bool GetResource(const char* strResourceName, std::string* strVal) const;

    const std::string& Path() const { return m_strPath; }

private:
    std::string m_strPath;
};
