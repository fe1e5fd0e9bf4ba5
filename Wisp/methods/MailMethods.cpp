// The mail methods: checking every account (the checker and its thread belong to the control),
// verifying one new account, and the "updating" menu. Page script names the functions that
// hear the results.
#include "Wisp/methods/ApplicationMethods.h"

#include <new>

#include "common/HostMessages.h"
#include "common/QDUtilities.h"
#include "Wisp/control/WispControl.h"
#include "Wisp/mail/EmailChecker.h"
#include "Wisp/mail/EmailVerification.h"
#include "Wisp/mail/MailAccounts.h"

namespace methods {

namespace {

HWND ControlWindow(CWispControl* control)
{
    HWND window = nullptr;
    control->get_HWND(&window);
    return window;
}

bool ThreadEnded(HANDLE thread)
{
    return !thread || WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
}

}  // namespace

// Argument 0: the page function to call with each pass's result.
void CheckEmail(MethodCall& call)
{
    if (EmailChecker::IsBusy()) {
        call.SetBool(false);
        return;
    }
    CWispControl* control = call.control;
    EmailChecker*& checker = control->MailChecker();
    if (!checker)
        checker = new (std::nothrow) EmailChecker(control);
    if (!checker) {
        call.SetBool(false);
        return;
    }
    checker->SetCallbackName(call.args.String(0));
    HANDLE& thread = control->MailThread();
    // A thread that a stop ended (any control's, the flags being the process's) cannot be
    // woken: a new one starts instead. So does one a stop sent on its way out, which a wake
    // would only let end without a pass.
    if (ThreadEnded(thread) || EmailChecker::IsStopped()) {
        if (thread)
            CloseHandle(thread);
        thread = checker->StartThread(ControlWindow(control));
        call.SetBool(thread != nullptr);
        return;
    }
    EmailChecker::Wake();
    call.SetBool(true);
}

// Arguments: account type (text), user name, password, the page function told the result.
void VerifyEmailAccount(MethodCall& call)
{
    const int type = MailAccountTypeFromText(call.args.String(0));
    std::string password = call.args.String(2);
    const bool started = ::VerifyEmailAccount(ControlWindow(call.control), type, call.args.String(1), password,
                                              call.args.String(3));
    if (!password.empty())
        SecureZeroMemory(&password[0], password.size());
    call.SetInt(started ? 1 : 0);
}

void StopEmailVerify(MethodCall& call)
{
    call.SetBool(::StopEmailVerify(ControlWindow(call.control), call.args.Bool(0)));
}

void UpdateEmailMenu(MethodCall& call)
{
    ::UpdateEmailMenu();
    call.SetInt(static_cast<long>(QDUtilities::SendApplicationMessage(RM_UPDATE_EMAIL_MENU, 0, 0)));
}

}  // namespace methods
