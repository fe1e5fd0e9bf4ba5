// The record an account-verification worker posts to the control's window with message 0x0436.
// The worker allocates it with NewEmailVerifyRequest, as one message block of kind 0x0436
// (common/MessageBlock.h) holding the record and its strings, and posts it with
// PostMessageBlock; the receiving window takes and frees it.
#pragma once

#include <windows.h>

#include <cstdint>

struct EmailVerifyRequest {
    int32_t accountType;
    char* userName;       // these point into the same block
    char* password;
    char* callbackName;   // the page function told the result
    HWND controlWindow;
    uint8_t verified;     // the account verified
    uint8_t stopped;      // the verification was stopped before it ended
};

// Copies the strings; null strings stay null. Null when out of memory.
EmailVerifyRequest* NewEmailVerifyRequest(int32_t accountType, const char* userName, const char* password,
                                          const char* callbackName, HWND controlWindow);
// Frees the record with its strings; false (and nothing freed) for anything that is not a live
// record of this process (null included).
bool FreeEmailVerifyRequest(EmailVerifyRequest* request);
