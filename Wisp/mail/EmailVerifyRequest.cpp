#include "Wisp/mail/EmailVerifyRequest.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

char* CopyText(const char* text, bool& ok)
{
    if (!text)
        return nullptr;
    std::size_t size = std::strlen(text) + 1;
    char* copy = new (std::nothrow) char[size];
    if (!copy) {
        ok = false;
        return nullptr;
    }
    std::memcpy(copy, text, size);
    return copy;
}

}  // namespace

EmailVerifyRequest* NewEmailVerifyRequest(int32_t accountType, const char* userName, const char* password,
                                          const char* callbackName, HWND controlWindow)
{
    auto* request = new (std::nothrow) EmailVerifyRequest{accountType, nullptr, nullptr, nullptr, controlWindow, 0, 0};
    if (!request)
        return nullptr;
    bool ok = true;
    request->userName = CopyText(userName, ok);
    request->password = CopyText(password, ok);
    request->callbackName = CopyText(callbackName, ok);
    if (!ok) {
        FreeEmailVerifyRequest(request);
        return nullptr;
    }
    return request;
}

void FreeEmailVerifyRequest(EmailVerifyRequest* request)
{
    if (!request)
        return;
    delete[] request->userName;
    delete[] request->password;
    delete[] request->callbackName;
    delete request;
}
