#include "tests/support/BrowserWindows.h"

#include "common/com/Bstr.h"
#include "common/com/Handle.h"
#include "common/com/Variant.h"
#include "tests/support/TraceCapture.h"
#include "tests/support/browser/BrowserStandIn.h"

namespace testing_support {

namespace {

const char kOpenKey[] = "HTTP\\shell\\open";

void PutDefault(const std::string& subKey, const std::string& text)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, subKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
    RegCloseKey(key);
}

}  // namespace

void CloseTestBrowsers()
{
    for (int i = 0; i < 100; ++i) {
        HWND window = FindWindowA("MozillaWindowClass", "Test Page - Mozilla Firefox");
        if (!window)
            break;
        DWORD id = 0;
        GetWindowThreadProcessId(window, &id);
        UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, id));
        PostMessageA(window, WM_CLOSE, 0, 0);
        if (process)
            WaitForSingleObject(process.Get(), 5000);
    }
}

DefaultBrowserRegistration::DefaultBrowserRegistration() : m_backup(HKEY_CLASSES_ROOT, kOpenKey)
{
    Clear();
}

void DefaultBrowserRegistration::Clear()
{
    RegDeleteTreeA(HKEY_CLASSES_ROOT, kOpenKey);
    RegDeleteKeyA(HKEY_CLASSES_ROOT, kOpenKey);
}

void DefaultBrowserRegistration::Set(const std::string& command, const char* ddeApplication)
{
    Clear();
    PutDefault(std::string(kOpenKey) + "\\command", command);
    if (ddeApplication)
        PutDefault(std::string(kOpenKey) + "\\ddeexec\\Application", ddeApplication);
}

TopLevelWindow::TopLevelWindow(const char* className, const char* caption)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = className;
    RegisterClassA(&wc);   // fails harmlessly when it exists
    m_window = CreateWindowExA(0, className, caption, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 320, 240, nullptr,
                               nullptr, wc.hInstance, nullptr);
}

TopLevelWindow::~TopLevelWindow()
{
    if (m_window)
        DestroyWindow(m_window);
}

InternetExplorerWindow::InternetExplorerWindow() : m_frame("IEFrame", "Test Page - Microsoft Internet Explorer")
{
    if (!m_frame.Get())
        return;
    m_host = MakeComObject<AxHost>();
    m_host->Attach(m_frame.Get());
    if (FAILED(m_host->CreateControl(L"{8856F961-340A-11D0-A96B-00C04FD705A2}")) ||
        FAILED(m_host->QueryControl(IID_IWebBrowser2, m_browser.PutVoid())))
        m_browser = nullptr;
}

InternetExplorerWindow::~InternetExplorerWindow()
{
    if (m_shellCookie) {
        ComPtr<IShellWindows> windows;
        if (SUCCEEDED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_INPROC_SERVER, IID_IShellWindows,
                                       windows.PutVoid())))
            windows->Revoke(m_shellCookie);
    }
    m_browser = nullptr;
    if (m_host)
        m_host->Detach();
}

bool InternetExplorerWindow::Navigate(const std::wstring& url)
{
    if (!m_browser)
        return false;
    Bstr target(url);
    if (FAILED(m_browser->Navigate(target.Get(), nullptr, nullptr, nullptr, nullptr)))
        return false;
    return PumpUntil(
        [&] {
            READYSTATE state = READYSTATE_UNINITIALIZED;
            m_browser->get_ReadyState(&state);
            return state == READYSTATE_COMPLETE;
        },
        10000);
}

bool InternetExplorerWindow::RegisterInShell()
{
    ComPtr<IShellWindows> windows;
    if (!m_browser || FAILED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_INPROC_SERVER, IID_IShellWindows,
                                              windows.PutVoid())))
        return false;
    LONG cookie = 0;
    if (FAILED(windows->Register(m_browser.Get(), static_cast<LONG>(reinterpret_cast<LONG_PTR>(m_frame.Get())),
                                 SWC_BROWSER, &cookie)))
        return false;
    m_shellCookie = cookie;
    return true;
}

long InternetExplorerWindow::BrowserBarCalls(VARIANT* clsid, VARIANT* show, VARIANT* size) const
{
    ComPtr<IBrowserStandInTest> test;
    if (!m_browser || FAILED(m_browser.As(IID_IBrowserStandInTest, test)))
        return -1;
    Variant c, s, z;
    LONG calls = 0;
    test->GetLastBrowserBar(c.Get(), s.Get(), z.Get(), &calls);
    if (clsid)
        c.Detach(clsid);
    if (show)
        s.Detach(show);
    if (size)
        z.Detach(size);
    return calls;
}

long InternetExplorerWindow::Requests() const
{
    ComPtr<IBrowserStandInTest> test;
    if (!m_browser || FAILED(m_browser.As(IID_IBrowserStandInTest, test)))
        return -1;
    Bstr method, url, body;
    LONG count = 0;
    test->GetLastRequest(method.Put(), url.Put(), body.Put(), &count);
    return count;
}

}  // namespace testing_support
