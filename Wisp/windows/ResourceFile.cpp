#include "Wisp/windows/ResourceFile.h"

#include "common/PersistentSettings.h"
#include "common/QDUtilities.h"
#include "common/SettingsIds.h"
#include "common/TraceLog.h"
#include "Wisp/windows/ResourceText.h"

const char ResourceFile::kFileName[] = "resources.xml";

ResourceFile::ResourceFile()
{
    std::string directory;
    {
        PersistentSettings settings;
        settings.GetProperty(SettingsId::content_directory, directory);
    }
    m_strPath = directory + "\\" + kFileName;
}

bool ResourceFile::GetResource(const char* strResourceName, std::string* strVal) const
{
    if (!strResourceName) {
        TraceLog("ResourceFile::GetResource - strResourceName is NULL.\n");
        return false;
    }
    if (!strVal) {
        TraceLog("ResourceFile::GetResource - strVal is NULL.\n");
        return false;
    }
    std::unique_ptr<char[]> text = QDUtilities::ReadFileIntoBuffer(m_strPath.c_str());
    if (!text) {
        TraceLog("ResourceFile::GetResource - failed loading '%s'\n", m_strPath.c_str());
        return false;
    }
    if (!ResourceText::Find(text.get(), strResourceName, *strVal))
        TraceLog("ResourceFile::GetResource - '%s' not found in '%s'\n", strResourceName, m_strPath.c_str());
    return true;
}
