// A test-only "browser" program: it appends its command line to "<its own path>.log", shows a
// top-level window that the default-browser search finds as Firefox's ("MozillaWindowClass",
// caption ending in "Mozilla Firefox") and ends on WM_CLOSE, or by itself after a minute.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

const wchar_t kWindowClass[] = L"MozillaWindowClass";
const wchar_t kCaption[] = L"Test Page - Mozilla Firefox";
const UINT kLifetimeMs = 60000;

void RecordCommandLine()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH - 8);
    wcscat(path, L".log");
    FILE* log = _wfopen(path, L"ab");
    if (!log)
        return;
    std::fprintf(log, "%s\n", GetCommandLineA());
    std::fclose(log);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_TIMER:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show)
{
    RecordCommandLine();
    WNDCLASSW wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = kWindowClass;
    RegisterClassW(&wc);
    HWND window = CreateWindowExW(0, kWindowClass, kCaption, WS_OVERLAPPEDWINDOW, 0, 0, 200, 120, nullptr, nullptr,
                                  instance, nullptr);
    if (!window)
        return 1;
    ShowWindow(window, show);
    SetTimer(window, 1, kLifetimeMs, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
