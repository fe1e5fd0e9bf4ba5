#include "Wisp/mail/EmailVerifyRequest.h"

#include "common/HostMessages.h"
#include "common/MessageBlock.h"

#include <cstring>

namespace {

std::size_t TextSize(const char* text)
{
    return text ? std::strlen(text) + 1 : 0;
}

// Copies text to `at` and answers where it went (null text stays null).
char* PlaceText(const char* text, char*& at)
{
    if (!text)
        return nullptr;
    const std::size_t size = std::strlen(text) + 1;
    char* placed = at;
    std::memcpy(placed, text, size);
    at += size;
    return placed;
}

}  // namespace

EmailVerifyRequest* NewEmailVerifyRequest(int32_t accountType, const char* userName, const char* password,
                                          const char* callbackName, HWND controlWindow)
{
    const std::size_t size =
        sizeof(EmailVerifyRequest) + TextSize(userName) + TextSize(password) + TextSize(callbackName);
    auto* request = static_cast<EmailVerifyRequest*>(AllocateMessageBlock(RM_EMAIL_VERIFY_COMPLETE, size));
    if (!request)
        return nullptr;
    char* text = reinterpret_cast<char*>(request + 1);
    request->accountType = accountType;
    request->userName = PlaceText(userName, text);
    request->password = PlaceText(password, text);
    request->callbackName = PlaceText(callbackName, text);
    request->controlWindow = controlWindow;
    return request;
}

bool FreeEmailVerifyRequest(EmailVerifyRequest* request)
{
    return FreeMessageBlock(request);
}
