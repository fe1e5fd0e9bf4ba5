// What the update suites share: the prefix's WinINet proxy pointed at the run's HTTP server (so
// that allowed host names such as dl.tidewire.com reach it, loopback addresses going direct),
// a manifest writer and a window that records the completion messages it receives.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/ScratchState.h"

namespace update_testing {

// For the life of the object: ProxyEnable 1, ProxyServer 127.0.0.1:<test server port>,
// ProxyOverride for loopback names. Set before this process makes its first request.
class ProxyToTestServer {
public:
    ProxyToTestServer();

private:
    static const char kKey[];
    testing_support::RegistryValueBackup m_enable{HKEY_CURRENT_USER, kKey, "ProxyEnable"};
    testing_support::RegistryValueBackup m_server{HKEY_CURRENT_USER, kKey, "ProxyServer"};
    testing_support::RegistryValueBackup m_override{HKEY_CURRENT_USER, kKey, "ProxyOverride"};
};

// "<?xml ...?><manifest pubdate=N><update>components</update></manifest>".
std::string ManifestText(int pubDate, const std::string& components);
std::string Binary(const std::string& url, int timestamp, const std::string& path = "");
std::string Plain(const std::string& url, int timestamp);

// A message-only window that keeps every message it gets at or above WM_USER.
class MessageRecorder {
public:
    MessageRecorder();
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    struct Message {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    HWND Window() const { return m_window; }
    int Count(UINT message) const;
    // Pumps until `count` of them arrived.
    bool WaitFor(UINT message, int count, DWORD timeoutMs);
    const std::vector<Message>& Messages() const { return m_messages; }

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HWND m_window = nullptr;
    std::vector<Message> m_messages;
};

}  // namespace update_testing
