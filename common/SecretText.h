// Passwords are wiped where their copies end, so that no freed block or stack slot keeps them.
#pragma once

#include <windows.h>

#include <string>

// Zero-fills every byte of the text's store (its capacity, not only its length) and empties it.
inline void WipeSecret(std::string& secret)
{
    if (secret.capacity() > 0)
        SecureZeroMemory(&secret[0], secret.capacity());
    secret.clear();
}

inline void WipeSecret(std::wstring& secret)
{
    if (secret.capacity() > 0)
        SecureZeroMemory(&secret[0], secret.capacity() * sizeof(wchar_t));
    secret.clear();
}
