// Presses a key for the screen saver, as a user would: the screen-saver window is brought to
// the front and the key goes in through SendInput. For the screen-saver demo.
//   send_key <virtual-key code, decimal>
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "common/HostMessages.h"

int main(int argc, char** argv)
{
    const WORD key = static_cast<WORD>(argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 'A');
    HWND saver = FindWindowA(SCREENSAVER_WINDOW_CLASS, SCREENSAVER_WINDOW_TITLE);
    if (!saver) {
        std::printf("no screen-saver window\n");
        return 1;
    }
    SetForegroundWindow(saver);
    Sleep(100);
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_KEYBOARD;
    input[0].ki.wVk = input[1].ki.wVk = key;
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    const UINT sent = SendInput(2, input, sizeof(INPUT));
    std::printf("pressed key %u (%u input events)\n", key, sent);
    return sent == 2 ? 0 : 2;
}
