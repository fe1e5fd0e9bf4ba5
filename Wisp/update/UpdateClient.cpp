#include "Wisp/update/UpdateClient.h"

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "common/HostMessages.h"
#include "common/QDUtilities.h"
#include "common/TraceLog.h"
#include "common/com/Handle.h"
#include "Wisp/update/CodeSignature.h"
#include "Wisp/update/Installer.h"
#include "Wisp/update/ManifestFiles.h"
#include "Wisp/update/UpdateDownload.h"
#include "Wisp/web/DefaultBrowserOpenNew.h"
#include "Wisp/windows/ResourceFile.h"
#include "Wisp/windows/YesNoMessageDlg.h"

const char kMakerHomePage[] = "http://www.tidewire.com/";

namespace {

// The folder with everything in it, without any user interface.
void RemoveTree(const std::string& path)
{
    std::string from = path;
    from.push_back('\0');   // the list of paths ends with an empty one
    SHFILEOPSTRUCTA operation = {};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    if (SHFileOperationA(&operation) != 0)
        TraceLog("UpdateClient - failed removing '%s'\n", path.c_str());
}

void ShowHomePage()
{
    if (!DefaultBrowser::OpenNew(kMakerHomePage))
        TraceLog("UpdateClient - failed opening '%s' in the default browser.\n", kMakerHomePage);
}

// Marks the downloaded manifest installed and drops the downloads.
void DeclineDownload(const std::string& folder)
{
    std::string source;
    std::string installed;
    if (GetUpdateManifestPath(source) && GetInstalledManifestPath(installed) &&
        !CopyFileA(source.c_str(), installed.c_str(), FALSE))
        TraceLog("UpdateClient - failed copying '%s' to '%s', LastError = %d\n", source.c_str(), installed.c_str(),
                 static_cast<int>(GetLastError()));
    RemoveTree(folder);
}

thread_local HHOOK t_systemMenuHook = nullptr;

LRESULT CALLBACK RemoveSystemMenuOnActivate(int code, WPARAM wParam, LPARAM lParam)
{
    const HHOOK hook = t_systemMenuHook;
    if (code == HCBT_ACTIVATE) {
        HWND window = reinterpret_cast<HWND>(wParam);
        SetWindowLongPtrA(window, GWL_STYLE, GetWindowLongPtrA(window, GWL_STYLE) & ~static_cast<LONG_PTR>(WS_SYSMENU));
        UnhookWindowsHookEx(hook);
        t_systemMenuHook = nullptr;
    }
    return CallNextHookEx(hook, code, wParam, lParam);
}

}  // namespace

bool UpdateClient()
{
    // A download pass removes older downloads: not the installer chosen here, while it is checked
    // and started.
    UpdateFolderLock lock("UpdateClient");
    if (!lock.Held())
        return false;
    std::string folder;
    std::string installer;
    // Nothing to install: nothing to ask about either.
    if (!GetUpdateFolder(folder) || !FindInstaller(folder.c_str(), &installer)) {
        TraceLog("UpdateClient - no installer in the update folder.\n");
        return false;
    }
    if (!HasCertificates(installer.c_str())) {
        YesNoMessageDlg dialog;
        if (!dialog.InitStringsFromResource("DownloadMsg", "DownloadYesButtonText", "DownloadNoButtonText"))
            return false;
        const int answer = dialog.DoModal();
        if (answer == IDYES) {
            ShowHomePage();
            return false;
        }
        if (answer != IDNO)
            return false;   // closed, or never shown: the user chose nothing
        DeclineDownload(folder);
    }
    UniqueFile held;
    if (!VerifyTrust(installer.c_str(), true, &held) || !SamePublisher(installer.c_str(), RunningModulePath().c_str())) {
        TraceLog("UpdateClient - installer %s is not trusted.\n", installer.c_str());
        QDUtilities::PostApplicationMessage(RM_EXIT, 0, 0);
        return false;
    }
    return RunInstaller(installer.c_str());
}

int ShowUpdateNowDialog()
{
    std::string text;
    std::string caption;
    ResourceFile resources;
    if (!resources.GetResource("UpdateMsgOk", &text) || !resources.GetResource("UpdateCaptionOk", &caption) ||
        text.empty() || caption.empty()) {
        TraceLog("ShowUpdateNowDialog - missing resource strings.\n");
        return 0;
    }
    if (!t_systemMenuHook)
        t_systemMenuHook = SetWindowsHookExA(WH_CBT, RemoveSystemMenuOnActivate, nullptr, GetCurrentThreadId());
    const int answer = MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK);
    // A box that never activated leaves no hook behind.
    if (t_systemMenuHook) {
        UnhookWindowsHookEx(t_systemMenuHook);
        t_systemMenuHook = nullptr;
    }
    return answer;
}
