#include "Wisp/mail/EmailChecker.h"

#include <atomic>
#include <cstdio>
#include <mutex>

#include "Wisp_h.h"
#include "common/PersistentSettings.h"
#include "common/SettingsIds.h"
#include "common/TraceLog.h"
#include "common/com/Bstr.h"
#include "common/com/Variant.h"
#include "Wisp/mail/MailMenu.h"
#include "Wisp/windows/ResourceFile.h"

namespace {

const char kFlagsMutexName[] = "{3367BB47-67BD-4647-BD1A-BCE3C0B2FD0A}";

bool g_run = false;
bool g_sleep = false;
// Counts the stops: a thread goes on only while no stop came since its start, so a thread that
// a stop sent on its way out is not revived by a later start.
unsigned g_generation = 0;

HANDLE FlagsMutex()
{
    static HANDLE s_mutex = nullptr;
    static std::once_flag s_once;
    std::call_once(s_once, [] { s_mutex = CreateMutexA(nullptr, FALSE, kFlagsMutexName); });
    return s_mutex;
}

// Holds the flags' mutex for one access; a time-out is traced and the access goes on.
class FlagLock {
public:
    explicit FlagLock(const char* timeoutTrace)
    {
        HANDLE mutex = FlagsMutex();
        if (!mutex)
            return;
        const DWORD wait = WaitForSingleObject(mutex, EmailChecker::kFlagWaitMs);
        if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED)
            m_owned = true;
        else
            TraceLog("%s", timeoutTrace);
    }
    ~FlagLock()
    {
        if (m_owned)
            ReleaseMutex(FlagsMutex());
    }
    FlagLock(const FlagLock&) = delete;
    FlagLock& operator=(const FlagLock&) = delete;

private:
    bool m_owned = false;
};

}  // namespace

// Set by the check thread around each pass; read by CheckEmail without a lock.
std::atomic<uint8_t> g_mailCheckBusy(0);

void EmailChecker::SetRunThread(bool run)
{
    FlagLock lock("EmailChecker::SetRunThread - WaitForSingleObject timed out.\n");
    g_run = run;
}

bool EmailChecker::getRunThread()
{
    FlagLock lock("EmailChecker::getRunThread - WaitForSingleObject timed out.\n");
    return g_run;
}

void EmailChecker::setSleepThread(bool sleep)
{
    FlagLock lock("EmailChecker::setSleepThread - WaitForSingleObject timed out.\n");
    g_sleep = sleep;
}

bool EmailChecker::getSleepThread()
{
    FlagLock lock("EmailChecker::getSleepThread - WaitForSingleObject timed out.\n");
    return g_sleep;
}

unsigned EmailChecker::StartGeneration()
{
    FlagLock lock("EmailChecker::SetRunThread - WaitForSingleObject timed out.\n");
    g_run = true;
    g_sleep = true;
    return g_generation;
}

bool EmailChecker::IsStopped()
{
    FlagLock lock("EmailChecker::getRunThread - WaitForSingleObject timed out.\n");
    return !g_run;
}

bool EmailChecker::SleepBeforePass(unsigned generation)
{
    FlagLock lock("EmailChecker::setSleepThread - WaitForSingleObject timed out.\n");
    if (!g_run || generation != g_generation)
        return false;
    g_sleep = true;
    return true;
}

bool EmailChecker::KeepsRunning(unsigned generation)
{
    FlagLock lock("EmailChecker::getRunThread - WaitForSingleObject timed out.\n");
    return g_run && generation == g_generation;
}

bool EmailChecker::IsBusy()
{
    return g_mailCheckBusy.load() != 0;
}

void EmailChecker::Wake()
{
    setSleepThread(false);
}

void EmailChecker::Stop()
{
    FlagLock lock("EmailChecker::SetRunThread - WaitForSingleObject timed out.\n");
    g_run = false;
    g_sleep = false;
    ++g_generation;
}

bool WriteEmailMenuFile(const std::string& menu)
{
    std::string folder;
    {
        PersistentSettings settings;
        if (!settings.GetProperty(SettingsId::content_directory, folder)) {
            TraceLog("Callback: failed to get the content directory \n");
            return false;
        }
    }
    const std::string path = folder + "\\" + kEmailMenuFileName;
    FILE* file = std::fopen(path.c_str(), "w");
    if (!file) {
        TraceLog("Callback: failed to write the email XML file \n");
        return false;
    }
    const bool written = std::fputs(menu.c_str(), file) >= 0;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        TraceLog("Callback: failed to write the email XML file \n");
        return false;
    }
    return true;
}

bool UpdateEmailMenu()
{
    std::string label;
    ResourceFile().GetResource("EmailMenuUpdating", &label);
    return WriteEmailMenuFile(UpdatingEmailMenu(label));
}

void EmailChecker::CompleteMailCheckNotification(const MailCheckSnapshot& snapshot)
{
    TraceLog("EmailChecker::CompleteMailCheckNotification \n");
    if (!WriteEmailMenuFile(snapshot.menu))
        return;
    VariantArray args(2);
    args[0].vt = VT_BOOL;
    args[0].boolVal = snapshot.newMail ? VARIANT_TRUE : VARIANT_FALSE;
    args[1].vt = VT_BSTR;
    args[1].bstrVal = Bstr::FromAnsi(std::to_string(snapshot.total).c_str()).Detach();
    Bstr name = Bstr::FromAnsi(m_callbackName.c_str());
    const HRESULT hr = m_control ? m_control->CallScriptMethod(name.Get(), nullptr, 2, args.Data()) : E_POINTER;
    if (FAILED(hr)) {
        TraceLog("Callback: '%s' failed.\n", m_callbackName.c_str());
        return;
    }
    PersistentSettings settings;
    settings.SetProperty(SettingsId::mail_check_results_new, snapshot.newMail ? 1 : 0, true);
    settings.SetProperty(SettingsId::mail_check_results_count, static_cast<int>(snapshot.total));
}
