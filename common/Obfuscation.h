// The scrambling of string values in the settings file. Not encryption: it only keeps the
// values from being read at a glance. Free of Windows headers so it also builds natively.
#pragma once

#include <cstddef>
#include <string>

namespace QDUtilities {

// Two characters per byte, each in "(" .. "7", so a value never holds a quote and fits a
// single-quoted attribute whatever its bytes.
std::string ObfuscateString(const std::string& plain);

// The inverse of ObfuscateString for every byte value. An odd last character is ignored and
// the result ends at its first zero byte.
std::string DeobfuscateString(const std::string& scrambled);
// The same into `out` (replacing what it held, keeping its storage).
void DeobfuscateInto(const char* scrambled, std::size_t length, std::string& out);

}  // namespace QDUtilities
