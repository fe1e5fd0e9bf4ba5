// Screen saver entry point. The display, the host relay and the modes arrive with the screen
// saver's own work; until then the program only answers that it has no options.
#include <windows.h>

#include "resource.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    return 0;
}
