// One-off verification of a newly entered account, on a thread of its own: a sign-in through
// the provider's pages (Gmail, Hotmail, Yahoo) or an IMAP log-in (AOL). The thread posts its
// record (Wisp/mail/EmailVerifyRequest.h) to the control's window with message 0x0436.
#pragma once

#include <windows.h>

#include <string>

// Starts the thread; false when it could not start (nothing is posted then).
bool VerifyEmailAccount(HWND controlWindow, int accountType, const std::string& user, const std::string& password,
                        const std::string& callbackName);
// Sets the stop flag of every verification of that control's window still running; true when
// there was one.
bool StopEmailVerify(HWND controlWindow, bool stop);
