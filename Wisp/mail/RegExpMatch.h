// Matching with the platform's VBScript regular-expression object
// (class {3F4DACA4-160D-11D2-A8E9-00104B365C9F}), reached late-bound.
#pragma once

#include <string>

// The first match of pattern in text: its whole text and its first group. False when the
// object cannot be made, the pattern is refused or nothing matches.
bool MatchFirstGroup(const std::string& pattern, const std::string& text, std::string& match, std::string& group);
