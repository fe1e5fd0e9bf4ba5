#include "Wisp/web/QDHTTP.h"

#include <wininet.h>
#include <share.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "common/HostMessages.h"
#include "common/ModuleThread.h"
#include "common/QDUtilities.h"
#include "common/TraceLog.h"
#include "common/com/Handle.h"
#include "Wisp/web/HttpResultBlock.h"
#include "Wisp/web/WebServices.h"

namespace {

const char kAgent[] = "QuillDesktop";
const DWORD kErrorInsufficientBuffer = 122;
// Reads are at least this large: WinINet reports what it has buffered (8 KB at a time under
// some implementations), and a read per report costs more than the transfer itself.
const std::size_t kReadBlock = 256 * 1024;

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using UniqueStdFile = std::unique_ptr<FILE, FileCloser>;

// The status code as text, growing the buffer while the query asks for more.
bool QueryStatus(HINTERNET request, uint32_t& status)
{
    std::vector<char> text(33);
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD size = static_cast<DWORD>(text.size() - 1);
        if (HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE, text.data(), &size, nullptr)) {
            text[size < text.size() ? size : text.size() - 1] = '\0';
            status = static_cast<uint32_t>(std::strtoul(text.data(), nullptr, 10));
            return true;
        }
        const DWORD error = GetLastError();
        if (error != kErrorInsufficientBuffer) {
            TraceLog("HttpQueryInfo failed, error = %d\n", static_cast<int>(error));
            return false;
        }
        text.assign(static_cast<std::size_t>(size) + 2, '\0');
    }
    TraceLog("HttpQueryInfo failed, error = %d\n", static_cast<int>(kErrorInsufficientBuffer));
    return false;
}

}  // namespace

bool QDHTTP::CopyText(const char* text, std::size_t size, std::string& field, const char* setter)
{
    const std::size_t length = std::strlen(text);
    // A text the field cannot hold with its terminator is refused, never cut short.
    if (length >= size) {
        TraceLog("QDHTTP::%s - text of %u bytes does not fit in %u.\n", setter, static_cast<unsigned>(length),
                 static_cast<unsigned>(size - 1));
        return false;
    }
    field.assign(text, length);
    return true;
}

bool QDHTTP::set_verb(const char* verb)
{
    if (!verb) {
        TraceLog("QDHTTP::set_verb - verb is NULL.\n");
        return false;
    }
    return CopyText(verb, kVerbSize, m_verb, "set_verb");
}

bool QDHTTP::set_server(const char* server)
{
    if (!server) {
        TraceLog("QDHTTP::set_server - server is NULL.\n");
        return false;
    }
    return CopyText(server, kServerSize, m_server, "set_server");
}

bool QDHTTP::set_serverPath(const char* serverPath)
{
    if (!serverPath) {
        TraceLog("QDHTTP::set_serverPath - parameter is NULL.\n");
        return false;
    }
    return CopyText(serverPath, kServerPathSize, m_serverPath, "set_serverPath");
}

bool QDHTTP::set_localPath(const char* localPath)
{
    if (!localPath || !*localPath) {
        m_localPath.clear();
        return true;
    }
    return CopyText(localPath, kLocalPathSize, m_localPath, "set_localPath");
}

bool QDHTTP::set_postData(const char* postData, uint32_t length)
{
    if (!postData) {
        m_postData.clear();
        return true;
    }
    try {
        m_postData.assign(postData, length);
    } catch (const std::bad_alloc&) {
        TraceLog("Out of memory.\n");
        return false;
    }
    return true;
}

bool QDHTTP::set_port(uint16_t port)
{
    m_port = port;
    return true;
}

bool QDHTTP::set_accessType(uint32_t accessType)
{
    if (accessType > 4) {
        TraceLog("QDHTTP::set_accessType - parameter %d is not a valid option.\n", static_cast<int>(accessType));
        return false;
    }
    m_accessType = accessType;
    return true;
}

bool QDHTTP::HTTPAsyncRequest(HWND notifyWindow)
{
    m_notifyWindow = notifyWindow;
    UniqueHandle thread(StartModuleThread(&QDHTTP::AsyncRequestProc, this));
    if (!thread) {
        TraceLog("QDHTTP::HTTPAsyncRequest - failed creating thread.\n");
        return false;
    }
    return true;
}

void QDHTTP::ReadBody(void* requestHandle, FILE* file)
{
    const HINTERNET request = static_cast<HINTERNET>(requestHandle);
    // One read buffer for the whole body: a chunked answer reports a few kilobytes at a time, and
    // growing the response by a zero-filled block for each of them cost more than the reads.
    std::vector<char> buffer;
    DWORD available = 0;
    while (InternetQueryDataAvailable(request, &available, 0, 0) && available > 0) {
        const std::size_t held = m_response.size();
        // Bounded before anything is allocated: no answer may exhaust the host's memory.
        if (held >= kMaxResponseBytes || available > kMaxResponseBytes - held) {
            TraceLog("QDHTTP::HTTPSyncRequest - response larger than %u bytes; dropped.\n",
                     static_cast<unsigned>(kMaxResponseBytes));
            m_response.clear();
            m_bodyRead = false;
            return;
        }
        std::size_t chunk = available > kReadBlock ? available : kReadBlock;
        if (chunk > kMaxResponseBytes - held)
            chunk = kMaxResponseBytes - held;
        try {
            if (buffer.size() < chunk)
                buffer.resize(chunk);
            // Doubling: a body read a few kilobytes at a time is not copied again at each step.
            if (m_response.capacity() < held + chunk)
                m_response.reserve(std::min(kMaxResponseBytes, std::max(held + chunk, 2 * m_response.capacity())));
        } catch (const std::bad_alloc&) {
            TraceLog("Out of memory.\n");
            return;
        }
        DWORD read = 0;
        if (!InternetReadFile(request, buffer.data(), static_cast<DWORD>(chunk), &read)) {
            TraceLog("InternetReadFile failed, error = %d\n", static_cast<int>(GetLastError()));
            return;
        }
        if (read == 0)
            break;
        m_response.append(buffer.data(), read);
        if (file)
            std::fwrite(buffer.data(), 1, read, file);   // text mode: LF becomes CR LF
    }
}

bool QDHTTP::HTTPSyncRequest(uint32_t& status)
{
    m_response.clear();
    m_bodyRead = false;

    UniqueInternet session(InternetOpenA(kAgent, m_accessType, nullptr, nullptr, 0));
    if (!session) {
        TraceLog("Failed opening internet, error=%d\n", static_cast<int>(GetLastError()));
        return false;
    }
    UniqueInternet connection(InternetConnectA(session.Get(), m_server.c_str(), m_port, nullptr, nullptr,
                                               INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) {
        TraceLog("Failed connecting to server, error=%d\n", static_cast<int>(GetLastError()));
        return true;
    }
    UniqueInternet request(HttpOpenRequestA(connection.Get(), m_verb.empty() ? nullptr : m_verb.c_str(),
                                            m_serverPath.empty() ? nullptr : m_serverPath.c_str(), nullptr,
                                            nullptr, nullptr, m_secure ? INTERNET_FLAG_SECURE : 0, 0));
    if (!request) {
        TraceLog("Failed opening request, error=%d\n", static_cast<int>(GetLastError()));
        return true;
    }
    if (!HttpSendRequestA(request.Get(), nullptr, 0, m_postData.empty() ? nullptr : &m_postData[0],
                          static_cast<DWORD>(m_postData.size()))) {
        const DWORD error = GetLastError();
        TraceLog("Failed sending request, error=%d\n", static_cast<int>(error));
        if (error == ERROR_INTERNET_NAME_NOT_RESOLVED)
            TraceLog("ERROR_INTERNET_NAME_NOT_RESOLVED\n");
        else if (error == ERROR_INTERNET_CANNOT_CONNECT)
            TraceLog("ERROR_INTERNET_CANNOT_CONNECT\n");
        return true;
    }
    if (!QueryStatus(request.Get(), status))
        return true;

    DWORD available = 0;
    if (!InternetQueryDataAvailable(request.Get(), &available, 0, 0) || available == 0)
        return true;

    UniqueStdFile file;
    if (!m_localPath.empty()) {
        file.reset(_fsopen(m_localPath.c_str(), "w+t", _SH_DENYNO));
        if (!file) {
            TraceLog("failed opening file '%s' for writing.\n", m_localPath.c_str());
            return true;
        }
    }
    m_bodyRead = true;
    ReadBody(request.Get(), file.get());
    if (!m_bodyRead) {
        // An answer beyond the bound is no answer: the partial file goes too.
        status = 0;
        if (file) {
            file.reset();
            DeleteFileA(m_localPath.c_str());
        }
    }
    return true;
}

DWORD QDHTTP::AsyncRequestProc(void* parameter)
{
    auto* request = static_cast<QDHTTP*>(parameter);
    if (!request) {
        TraceLog("QDHTTP::AsyncRequestProc - parameter cannot be casted to pQDHTTP.\n");
        return 0;
    }
    std::unique_ptr<QDHTTP> owned(request);
    uint32_t status = 0;
    const bool result = request->HTTPSyncRequest(status);
    if (!result)
        TraceLog("QDHTTP::AsyncRequestProc - HTTPSyncRequest failed.\n");

    if (request->m_notifyWindow) {
        std::vector<unsigned char> block;
        const std::string& body = request->m_response;
        if (BuildHttpResult(status, request->m_bodyRead ? body.data() : nullptr, body.size(), block))
            QDUtilities::PostDataMessageSameProcessOnly(request->m_notifyWindow, RM_ASYNC_HTTP_COMPLETE,
                                                        request->m_requestId, block.data(), block.size());
        else
            TraceLog("Out of memory.\n");
    }
    owned.reset();
    SetProcessWorkingSetSize(GetCurrentProcess(), static_cast<SIZE_T>(-1), static_cast<SIZE_T>(-1));
    return result ? 1 : 0;
}

bool StartAsyncHttpRequest(const HttpRequestParams& params, HWND notifyWindow)
{
    std::unique_ptr<QDHTTP> request(new (std::nothrow) QDHTTP);
    if (!request)
        return false;
    request->set_requestId(params.requestId);
    if (!request->set_verb(params.verb) || !request->set_server(params.server) ||
        !request->set_serverPath(params.serverPath) || !request->set_localPath(params.localPath) ||
        !request->set_postData(params.postData, params.postDataLength) || !request->set_port(params.port) ||
        !request->set_accessType(params.accessType))
        return false;
    request->set_secure(params.secure);
    if (!request->HTTPAsyncRequest(notifyWindow))
        return false;
    request.release();   // the request thread owns it now
    return true;
}
