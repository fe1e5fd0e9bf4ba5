// A control-panel applet for tests: appends each CPlApplet call to the file named by the
// environment variable WISP_TEST_APPLET_LOG.
#include <windows.h>

#include <cstdio>

extern "C" __declspec(dllexport) LONG APIENTRY CPlApplet(HWND owner, UINT message, LPARAM first,
                                                         LPARAM second)
{
    char path[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableA("WISP_TEST_APPLET_LOG", path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return 0;
    FILE* log = std::fopen(path, "ab");
    if (!log)
        return 0;
    std::fprintf(log, "%llx %u %lld %lld\n",
                 static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(owner)), message,
                 static_cast<long long>(first), static_cast<long long>(second));
    std::fclose(log);
    return 0;
}
