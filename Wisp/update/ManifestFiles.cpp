#include "Wisp/update/ManifestFiles.h"

#include <windows.h>
#include <shlobj.h>

#include "common/PersistentSettings.h"
#include "common/QDUtilities.h"
#include "common/SettingsIds.h"
#include "common/TraceLog.h"
#include "Wisp/update/ClientManifest.h"
#include "Wisp/update/ManifestRules.h"

namespace {

const char kManifestFile[] = "manifest.xml";

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Where the download of a component lands: "<folder>\<path>\<timestamp>_<file name>".
bool DownloadedFilePath(const UpdateComponent& component, const std::string& folder, std::string& path)
{
    std::string subFolder;
    std::string name;
    if (!component.GetPath(&subFolder, true) || !component.GetFileName(name, true))
        return false;
    path = folder + "\\" + (subFolder.empty() ? std::string() : subFolder + "\\") + name;
    return true;
}

}  // namespace

bool GetUpdateFolder(std::string& folder)
{
    std::string appData;
    if (QDUtilities::GetSpecialFolder(nullptr, CSIDL_APPDATA, nullptr, 0, appData) != 0)
        return false;
    folder = appData + "\\" + "Quill\\Tidewire" + "\\" + "Update";
    return true;
}

bool GetUpdateManifestPath(std::string& path)
{
    std::string folder;
    if (!GetUpdateFolder(folder))
        return false;
    path = folder + "\\" + kManifestFile;
    return true;
}

bool GetInstalledManifestPath(std::string& path)
{
    std::string directory;
    PersistentSettings settings;
    if (!settings.GetProperty(SettingsId::content_directory, directory))
        return false;
    path = directory + "\\" + kManifestFile;
    return true;
}

bool GetFetchedManifestPath(std::string& path)
{
    std::string cache;
    if (!QDUtilities::GetCacheDirectory(cache))
        return false;
    path = cache + "\\" + kManifestFile;
    return true;
}

bool InstallNewManifest()
{
    std::string source;
    std::string folder;
    std::string target;
    if (!GetFetchedManifestPath(source) || !GetUpdateFolder(folder) || !GetUpdateManifestPath(target))
        return false;
    const int created = SHCreateDirectoryExA(nullptr, folder.c_str(), nullptr);
    if (created != ERROR_SUCCESS && created != ERROR_ALREADY_EXISTS && created != ERROR_FILE_EXISTS)
        return false;
    return CopyFileA(source.c_str(), target.c_str(), FALSE) != FALSE;
}

bool CompareManifests(const char* newPath, const char* installedPath, const char* updateFolder, Update* out)
{
    if (!newPath || !installedPath || !updateFolder || !out)
        return false;
    ClientManifest fresh;
    ClientManifest installed;
    if (!fresh.Load(newPath) || !installed.Load(installedPath))
        return false;

    Update taken;
    for (const Update& update : fresh.List().Updates()) {
        for (const auto& entry : update.Items()) {
            const UpdateComponent& component = *entry.second;
            std::string type;
            component.GetComponentType(&type);
            if (type != "binarycomponent")
                continue;
            const UpdateComponent* old = nullptr;
            if (installed.List().GetComponent(entry.first.c_str(), &old) && component.Timestamp() <= old->Timestamp())
                continue;
            taken.Add(component);
        }
    }
    for (const auto& entry : taken.Items()) {
        // Looked for where the download really lands, so that a component with a folder is
        // not fetched again on every pass.
        std::string downloaded;
        if (DownloadedFilePath(*entry.second, updateFolder, downloaded) && FileExists(downloaded))
            continue;
        out->Add(*entry.second);
    }
    return true;
}
