// Where manifests live and how a new one is taken in: the update folder
// ("<AppData>\Quill\Tidewire\Update") holds the newest fetched "manifest.xml" and the
// downloads; the installed manifest is "<content_directory>\manifest.xml"; a freshly fetched
// manifest first lands in "<content_directory>\cache\manifest.xml".
#pragma once

#include <string>

class Update;

bool GetUpdateFolder(std::string& folder);
bool GetUpdateManifestPath(std::string& path);
bool GetInstalledManifestPath(std::string& path);
bool GetFetchedManifestPath(std::string& path);   // in the content cache, created on demand

// Copies the fetched manifest over the update folder's one (creating the folder).
bool InstallNewManifest();

// The binary components of the new manifest that the installed one lacks or holds with an
// older timestamp, and that are not yet downloaded into updateFolder, as copies in `out`.
bool CompareManifests(const char* newPath, const char* installedPath, const char* updateFolder, Update* out);
