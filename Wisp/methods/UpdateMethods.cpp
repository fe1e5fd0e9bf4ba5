// The page's view of the software update: the publication date of the installed manifest, the
// background download of a new manifest's installers, and their installation.
#include <windows.h>

#include <string>

#include "common/PersistentSettings.h"
#include "common/SettingsIds.h"
#include "common/TraceLog.h"
#include "Wisp/methods/ApplicationMethods.h"
#include "Wisp/control/WispControl.h"
#include "Wisp/update/ClientManifest.h"
#include "Wisp/update/ManifestFiles.h"
#include "Wisp/update/UpdateClient.h"
#include "Wisp/update/UpdateDownload.h"

namespace methods {

void GetManifestPubDate(MethodCall& call)
{
    std::string directory;
    {
        PersistentSettings settings;
        settings.GetProperty(SettingsId::content_directory, directory);
    }
    const std::string path = directory + "/manifest.xml";
    // A file another process holds open (a sharing violation) is there all the same.
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES && GetLastError() != ERROR_SHARING_VIOLATION) {
        TraceLog("ApplicationMethod::GetManifestPubDate - manifest '%s' is not there.\n", path.c_str());
        call.SetInt(0);
        return;
    }
    ClientManifest manifest;
    call.SetInt(manifest.Load(path.c_str()) ? manifest.PubDate() : 0);
}

void ShowUpdateNowDialog(MethodCall& call)
{
    call.SetInt(::ShowUpdateNowDialog());
}

void SetNewManifest(MethodCall& call)
{
    InstallNewManifest();
    std::string folder;
    std::string fresh;
    std::string installed;
    Update difference;
    if (!GetUpdateFolder(folder) || !GetUpdateManifestPath(fresh) || !GetInstalledManifestPath(installed) ||
        !CompareManifests(fresh.c_str(), installed.c_str(), folder.c_str(), &difference)) {
        call.SetBool(false);
        return;
    }
    call.SetBool(StartDownload(&difference, folder.c_str(), call.control->NotifyWindow()));
}

void UpdateClient(MethodCall& call)
{
    call.SetBool(::UpdateClient());
}

}  // namespace methods
