#include "Wisp/update/UpdateDownload.h"

#include <objbase.h>

#include <memory>
#include <new>
#include <string>

#include "common/HostMessages.h"
#include "common/ModuleThread.h"
#include "common/TraceLog.h"
#include "common/com/Handle.h"
#include "Wisp/update/ClientManifest.h"
#include "Wisp/update/ManifestRules.h"

const char kUpdateDownloadMutex[] = "{7A5E2C19-4B8D-4F63-A0E1-5C9B3D2F8E47}";

UpdateFolderLock::UpdateFolderLock(const char* owner) : m_mutex(CreateMutexA(nullptr, FALSE, kUpdateDownloadMutex))
{
    if (!m_mutex) {
        TraceLog("%s - CreateMutex failed, LastError = %d\n", owner, static_cast<int>(GetLastError()));
        return;
    }
    const DWORD waited = WaitForSingleObject(m_mutex.Get(), kUpdateDownloadWaitMs);
    m_held = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    if (!m_held)
        TraceLog("%s - timed out waiting for the previous download.\n", owner);
}

UpdateFolderLock::~UpdateFolderLock()
{
    if (m_held)
        ReleaseMutex(m_mutex.Get());
}

namespace {

struct DownloadJob {
    Update update;
    std::string folder;
    HWND window;
};

// The pass's result; its last error into `error`, read before the lock's release can touch it.
DWORD RunPass(DownloadJob& job, DWORD& error)
{
    // Two passes over one folder would delete and write each other's files.
    UpdateFolderLock lock("StartDownload");
    if (!lock.Held()) {
        error = ERROR_TIMEOUT;
        return 0;
    }
    RemoveOldDownloads(job.update, job.folder.c_str());
    const DWORD result = job.update.Marshal(job.folder.c_str(), true) ? 1 : 0;
    error = GetLastError();
    return result;
}

DWORD DownloadThread(void* parameter)
{
    std::unique_ptr<DownloadJob> job(static_cast<DownloadJob*>(parameter));
    const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    DWORD result = 0;
    DWORD error = 0;
    try {
        result = RunPass(*job, error);
    } catch (...) {
        TraceLog("StartDownload - Caught Exception.\n");
        error = ERROR_INTERNAL_ERROR;
    }
    PostMessageA(job->window, RM_UPDATE_DOWNLOAD_COMPLETE, error, 0);
    job.reset();
    if (SUCCEEDED(init))
        CoUninitialize();
    return result;
}

bool SameName(const std::string& a, const std::string& b)
{
    return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) == CSTR_EQUAL;
}

}  // namespace

void RemoveOldDownloads(const Update& update, const char* folder)
{
    if (!folder)
        return;
    for (const auto& entry : update.Items()) {
        const UpdateComponent& component = *entry.second;
        std::string path;
        std::string name;
        if (!component.GetPath(&path, true) || !component.GetFileName(name, false))
            continue;
        const std::string directory = std::string(folder) + (path.empty() ? "" : "\\" + path);
        WIN32_FIND_DATAA data;
        HANDLE search = FindFirstFileA((directory + "\\*_" + name).c_str(), &data);
        if (search == INVALID_HANDLE_VALUE)
            continue;
        do {
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                continue;
            const std::string found = data.cFileName;
            const std::size_t underscore = found.find('_');
            // The pattern alone also matches another component's "5_old_x.dat" (and short
            // names): only "<n>_" followed by exactly this file name is an older copy.
            if (underscore == std::string::npos || !SameName(found.substr(underscore + 1), name))
                continue;
            const int32_t stamp = manifest_rules::ParseInteger(found.substr(0, underscore));
            if (stamp != 0 && stamp < component.Timestamp())
                DeleteFileA((directory + "\\" + found).c_str());
        } while (FindNextFileA(search, &data));
        FindClose(search);
    }
}

bool StartDownload(Update* update, const char* targetFolder, HWND notifyWindow)
{
    if (!update || !targetFolder) {
        TraceLog("StartDownload - %s is NULL.\n", update ? "strTargetFolder" : "pUpdate");
        return false;
    }
    auto* job = new (std::nothrow) DownloadJob{std::move(*update), targetFolder, notifyWindow};
    if (!job)
        return false;
    UniqueHandle thread(StartModuleThread(DownloadThread, job));
    if (!thread) {
        TraceLog("StartDownload - failed starting the download thread, LastError = %d\n",
                 static_cast<int>(GetLastError()));
        *update = std::move(job->update);
        delete job;
        return false;
    }
    SetThreadPriority(thread.Get(), THREAD_PRIORITY_BELOW_NORMAL);
    return true;
}
