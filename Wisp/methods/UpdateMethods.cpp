// The page's view of the software update: the publication date of the installed manifest.
#include <windows.h>

#include <string>

#include "common/PersistentSettings.h"
#include "common/SettingsIds.h"
#include "common/TraceLog.h"
#include "Wisp/methods/ApplicationMethods.h"
#include "Wisp/update/ClientManifest.h"

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

}  // namespace methods
