// Text inside the system is narrow (the ANSI code page); COM boundaries are UTF-16.
#pragma once

#include <windows.h>

#include <string>

std::wstring WideFromAnsi(const char* text);
std::wstring WideFromAnsi(const std::string& text);
std::string AnsiFromWide(const wchar_t* text);
std::string AnsiFromWide(const wchar_t* text, std::size_t length);
inline std::string AnsiFromWide(const std::wstring& text) { return AnsiFromWide(text.data(), text.size()); }
// Lossless, for texts that are compared rather than shown (an ANSI conversion maps what the
// code page lacks to '?').
std::string Utf8FromWide(const wchar_t* text, std::size_t length);
inline std::string Utf8FromWide(const std::wstring& text) { return Utf8FromWide(text.data(), text.size()); }
