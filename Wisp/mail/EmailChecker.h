// The mail checker: counts the unread mail of every configured account on a thread of its own
// and publishes each pass as the menu file "EmailMenu.xml", two settings and a call of the page
// function the page named. Gmail, Hotmail and Yahoo accounts are read off the provider's pages
// in an offscreen browser, AOL accounts over IMAP.
//
// The control owns the checker (its callback name, on the page's thread); the check thread owns
// everything a pass works with (the control's window handle, the pass, the offscreen browser)
// and destroys it on its own thread, so the checker may go while a pass still runs. The thread
// hands each finished pass to the control's window as a snapshot block that the window frees.
//
// The run and sleep flags are process-wide, under a named mutex: one control's stop ends every
// check thread of the process.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

struct IWispControl;

// What message 0x040B carries (lParam): one message block (common/MessageBlock.h).
struct MailCheckSnapshot {
    const void* checker;   // which checker's pass this is; compared, never followed
    int32_t total;
    uint8_t newMail;
    char menu[1];          // the menu file's text, zero-terminated
};

class EmailChecker {
public:
    static const DWORD kFlagWaitMs = 30000;

    // control: the owner, which outlives the checker; used on its own thread only.
    explicit EmailChecker(IWispControl* control) : m_control(control) {}

    void SetCallbackName(const std::string& name) { m_callbackName = name; }
    const std::string& CallbackName() const { return m_callbackName; }

    // Starts a check thread for the control's window (below-normal priority): the thread's
    // handle, or null. A thread started before the last stop ends even when this one revives
    // the run flag.
    HANDLE StartThread(HWND controlWindow);
    // A stop came since the newest thread started: any thread still there is on its way out.
    static bool IsStopped();
    // A pass of this process is running.
    static bool IsBusy();
    // Clears the sleep flag: an idle thread starts its next pass within a second.
    static void Wake();
    // Clears the run and sleep flags: idle threads end within a second, busy ones after their pass.
    static void Stop();

    // On the control's thread, for message 0x040B: writes the menu file, calls the page function
    // and stores the result settings.
    void CompleteMailCheckNotification(const MailCheckSnapshot& snapshot);

    // The process-wide flags (each access under the named mutex).
    static void SetRunThread(bool run);
    static bool getRunThread();
    static void setSleepThread(bool sleep);
    static bool getSleepThread();
    // For the check thread of `generation` (the stops counted at its start): sets the sleep
    // flag before a pass, unless a stop came since that start; false then, and the flags stay
    // as the stopper left them.
    static bool SleepBeforePass(unsigned generation);
    // The thread of `generation` may go on: run is set and no stop came since its start.
    static bool KeepsRunning(unsigned generation);

private:
    // Sets run and sleep for a new thread: its generation (the stops so far).
    static unsigned StartGeneration();

    IWispControl* m_control;
    std::string m_callbackName;
};

// Writes "EmailMenu.xml" into the content folder (text mode); false, traced, when the folder is
// not set or the file cannot be written.
bool WriteEmailMenuFile(const std::string& menu);
// The one-item "updating" menu file with the resource string "EmailMenuUpdating".
bool UpdateEmailMenu();
