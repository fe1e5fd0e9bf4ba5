// Winsock (the IMAP client) must come before windows.h.
#include <winsock2.h>

#include "Wisp/mail/EmailVerification.h"

#include <objbase.h>
#include <ole2.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "common/HostMessages.h"
#include "common/MessageBlock.h"
#include "common/ModuleThread.h"
#include "common/PersistentSettings.h"
#include "common/SettingsIds.h"
#include "common/TraceLog.h"
#include "Wisp/mail/EmailVerifyRequest.h"
#include "Wisp/mail/IMapConnection.h"
#include "Wisp/mail/MailAccounts.h"
#include "Wisp/mail/WebMailCheck.h"

namespace {

// The stop flag is shared by the thread and the list below, so StopEmailVerify only ever
// reaches a verification that is still alive.
struct Verification {
    HWND controlWindow;
    std::atomic<bool> stop{false};
};

std::mutex g_lock;
std::vector<std::shared_ptr<Verification>> g_running;

struct VerifyThreadStart {
    std::shared_ptr<Verification> verification;
    EmailVerifyRequest* request;
};

void Forget(const std::shared_ptr<Verification>& verification)
{
    std::lock_guard<std::mutex> hold(g_lock);
    g_running.erase(std::remove(g_running.begin(), g_running.end(), verification), g_running.end());
}

bool VerifyAol(const std::string& user, const std::string& password)
{
    std::string server = kAolImapHost;
    {
        PersistentSettings settings;
        settings.GetProperty((std::string(SettingsId::wm_aol_params) + SettingsId::wm_mailServer).c_str(), server);
    }
    CIMapConnection imap;
    return imap.Connect(server, CutMailDomainSuffix(user, kAolMailDomainSuffix), password, kImapPort);
}

bool Verify(int type, const std::string& user, const std::string& password, const std::atomic<bool>& stop)
{
    switch (type) {
    case kMailAccountAOL:
        return VerifyAol(user, password);
    case kMailAccountGMail:
        return VerifyAccountViaGMailHack(user, password, stop);
    case kMailAccountHotmail:
        return VerifyAccountViaHotmailHack(user, password, stop);
    case kMailAccountYahoo:
        return VerifyAccountViaYahooHack(user, password, stop);
    default:
        TraceLog("Bad email account type! %d \r\n", type);
        return false;
    }
}

DWORD VerifyThread(void* parameter)
{
    std::unique_ptr<VerifyThreadStart> start(static_cast<VerifyThreadStart*>(parameter));
    EmailVerifyRequest* request = start->request;
    OleInitialize(nullptr);
    std::string password = request->password ? request->password : "";
    // The record goes to the page's thread, which needs no password.
    if (request->password)
        SecureZeroMemory(request->password, password.size());
    const bool verified = Verify(request->accountType, request->userName ? request->userName : "", password,
                                 start->verification->stop);
    SecureZeroMemory(&password[0], password.size());
    OleUninitialize();
    const bool stopped = start->verification->stop.load();
    request->verified = verified && !stopped ? 1 : 0;
    request->stopped = stopped ? 1 : 0;
    Forget(start->verification);
    if (!IsWindow(request->controlWindow))
        FreeEmailVerifyRequest(request);
    else
        PostMessageBlock(request->controlWindow, 0, request);
    return 0;
}

}  // namespace

bool VerifyEmailAccount(HWND controlWindow, int accountType, const std::string& user, const std::string& password,
                        const std::string& callbackName)
{
    EmailVerifyRequest* request =
        NewEmailVerifyRequest(accountType, user.c_str(), password.c_str(), callbackName.c_str(), controlWindow);
    auto verification = std::make_shared<Verification>();
    auto* start = new (std::nothrow) VerifyThreadStart{verification, request};
    if (!request || !start) {
        delete start;
        FreeEmailVerifyRequest(request);
        return false;
    }
    verification->controlWindow = controlWindow;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        g_running.push_back(verification);
    }
    HANDLE thread = StartModuleThread(VerifyThread, start);
    if (!thread) {
        Forget(verification);
        delete start;
        FreeEmailVerifyRequest(request);
        return false;
    }
    CloseHandle(thread);
    return true;
}

bool StopEmailVerify(HWND controlWindow, bool stop)
{
    std::lock_guard<std::mutex> hold(g_lock);
    bool reached = false;
    for (const auto& verification : g_running)
        if (verification->controlWindow == controlWindow) {
            verification->stop = stop;
            reached = true;
        }
    return reached;
}
