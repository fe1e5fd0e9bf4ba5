// One HTTP request made with WinINet on a thread of its own. The status and the body go to a
// window as RM_ASYNC_HTTP_COMPLETE (wParam = request id, lParam = a result block, see
// HttpResultBlock.h), posted whatever the outcome; the object frees itself when done.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

class QDHTTP {
public:
    // Text fields hold at most their size less one byte; a longer text is refused.
    static constexpr std::size_t kVerbSize = 256;
    static constexpr std::size_t kServerSize = 260;
    static constexpr std::size_t kServerPathSize = 260;
    static constexpr std::size_t kLocalPathSize = 260;
    // The largest body kept; a longer answer ends the transfer with status 0 and no body.
    static constexpr std::size_t kMaxResponseBytes = 16u * 1024u * 1024u;

    void set_requestId(uint32_t requestId) { m_requestId = requestId; }
    bool set_verb(const char* verb);
    bool set_server(const char* server);
    bool set_serverPath(const char* serverPath);
    // Null or empty: the body is only kept in memory. Otherwise the body is also written to
    // that file, with CR/LF line ends.
    bool set_localPath(const char* localPath);
    bool set_postData(const char* postData, uint32_t length);
    bool set_port(uint16_t port);
    bool set_accessType(uint32_t accessType);
    // TLS for the connection (https).
    void set_secure(bool secure) { m_secure = secure; }

    // Hands the object to a new thread, which runs the request, posts the result to
    // notifyWindow and deletes the object. False (the caller still owns it) when no thread
    // could be started.
    bool HTTPAsyncRequest(HWND notifyWindow);
    // The request itself, on the calling thread. False only when no session could be opened;
    // status is 0 when the server gave none.
    bool HTTPSyncRequest(uint32_t& status);

    const std::string& Response() const { return m_response; }

private:
    static DWORD AsyncRequestProc(void* parameter);
    bool CopyText(const char* text, std::size_t size, std::string& field, const char* setter);
    void ReadBody(void* request, FILE* file);

    uint32_t m_requestId = 0;
    std::string m_verb;
    std::string m_server;
    std::string m_serverPath;
    std::string m_localPath;
    std::string m_postData;
    uint16_t m_port = 80;
    uint32_t m_accessType = 0;
    bool m_secure = false;
    HWND m_notifyWindow = nullptr;
    std::string m_response;   // the body as received
    bool m_bodyRead = false;   // a body was read and is delivered (its length counts a NUL)
};
