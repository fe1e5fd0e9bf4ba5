// The background download of an update: one thread per pass, one step below normal priority,
// in its own COM apartment, ending with RM_UPDATE_DOWNLOAD_COMPLETE (wParam = the last-error
// code, 0 when everything came) to the notify window. Passes over the update folder run one at
// a time, in this process and across processes, and each starts by removing older downloads of
// the files it fetches; starting an installer holds the same lock, so no pass removes it then.
#pragma once

#include <windows.h>

#include "common/com/Handle.h"

class Update;

// "{7A5E2C19-4B8D-4F63-A0E1-5C9B3D2F8E47}": held for a whole pass.
extern const char kUpdateDownloadMutex[];
// How long a pass waits for the one before it.
const DWORD kUpdateDownloadWaitMs = 600000;

// Holds kUpdateDownloadMutex for the life of the object, waiting at most kUpdateDownloadWaitMs;
// an abandoned one (a holder that died) counts as taken. A time-out or a mutex that cannot be
// made is traced under `owner` and leaves Held() false.
class UpdateFolderLock {
public:
    explicit UpdateFolderLock(const char* owner);
    ~UpdateFolderLock();
    UpdateFolderLock(const UpdateFolderLock&) = delete;
    UpdateFolderLock& operator=(const UpdateFolderLock&) = delete;
    bool Held() const { return m_held; }

private:
    UniqueHandle m_mutex;
    bool m_held = false;
};

// Takes the components out of `update` and fetches them into `targetFolder` on a new thread.
// False for a null argument or a thread that could not start.
bool StartDownload(Update* update, const char* targetFolder, HWND notifyWindow);

// In "<folder>\<path>" of each component: deletes "<n>_<file name>" (exactly that file name
// after the first underscore) when n is not 0 and smaller than the component's timestamp.
void RemoveOldDownloads(const Update& update, const char* folder);
