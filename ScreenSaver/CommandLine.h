// The screen saver's command line, as the Display control panel writes it: "/s" (or none) to
// run full screen, "/p <window>" to preview inside a window, "/c" or "/c:<window>" to
// configure. Portable code without the platform's headers, so it is also built and fuzzed
// natively.
#pragma once

#include <cstdint>
#include <string>

namespace screensaver {

struct CommandLine {
    char mode = ' ';         // the letter after the first '/' or '-', or a blank
    uint32_t parent = 0;     // window handle value after 'p' or 'c'; 0 for none
};

// Parses a command line that is already lower case. The mode letter is the character after
// the first '/' or '-'. After 'p' or 'c', when at least two characters follow the letter,
// the handle is the decimal number right after it (leading blanks skipped, stopping at the
// first non-digit), so "/p 4096" gives 4096 and "/c:4096" gives 0. Numbers too large for a
// handle saturate instead of wrapping round to a different window.
CommandLine ParseCommandLine(const std::string& lowered);

}  // namespace screensaver
