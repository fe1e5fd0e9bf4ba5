#include "tests/update/UpdateTestSupport.h"

#include "tests/support/TestHttpServer.h"
#include "tests/support/TraceCapture.h"

namespace update_testing {

const char ProxyToTestServer::kKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

ProxyToTestServer::ProxyToTestServer()
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    const DWORD enable = 1;
    const std::string server = "127.0.0.1:" + std::to_string(testing_support::TestHttpPort());
    const std::string bypass = "127.0.0.1;localhost;<local>";
    RegSetValueExA(key, "ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&enable), sizeof enable);
    RegSetValueExA(key, "ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(server.c_str()),
                   static_cast<DWORD>(server.size() + 1));
    RegSetValueExA(key, "ProxyOverride", 0, REG_SZ, reinterpret_cast<const BYTE*>(bypass.c_str()),
                   static_cast<DWORD>(bypass.size() + 1));
    RegCloseKey(key);
}

std::string ManifestText(int pubDate, const std::string& components)
{
    return "<?xml version=\"1.0\"?>\n<manifest pubdate=\"" + std::to_string(pubDate) + "\"><update>" + components +
           "</update></manifest>\n";
}

namespace {

std::string Attribute(const std::string& text)
{
    std::string escaped;
    for (char c : text)
        escaped += c == '&' ? std::string("&amp;") : c == '"' ? std::string("&quot;") : std::string(1, c);
    return escaped;
}

}  // namespace

std::string Binary(const std::string& url, int timestamp, const std::string& path)
{
    return "<binarycomponent url=\"" + Attribute(url) + "\" path=\"" + path + "\" timestamp=\"" +
           std::to_string(timestamp) + "\" displaytext=\"text " + std::to_string(timestamp) + "\"/>";
}

std::string Plain(const std::string& url, int timestamp)
{
    return "<component url=\"" + Attribute(url) + "\" timestamp=\"" + std::to_string(timestamp) + "\"/>";
}

MessageRecorder::MessageRecorder()
{
    static const char kClass[] = "WispUpdateTestRecorder";
    WNDCLASSA wc = {};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kClass;
    RegisterClassA(&wc);
    m_window = CreateWindowA(kClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, this);
}

MessageRecorder::~MessageRecorder()
{
    if (m_window)
        DestroyWindow(m_window);
}

LRESULT CALLBACK MessageRecorder::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE)
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
    auto* self = reinterpret_cast<MessageRecorder*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self && message >= WM_USER) {
        self->m_messages.push_back({message, wParam, lParam});
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int MessageRecorder::Count(UINT message) const
{
    int count = 0;
    for (const Message& m : m_messages)
        count += m.message == message;
    return count;
}

bool MessageRecorder::WaitFor(UINT message, int count, DWORD timeoutMs)
{
    return testing_support::PumpUntil([&] { return Count(message) >= count; }, timeoutMs);
}

}  // namespace update_testing
