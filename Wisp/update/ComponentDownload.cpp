#include "Wisp/update/ComponentDownload.h"

#include <windows.h>
#include <shlobj.h>
#include <urlmon.h>
#include <wininet.h>

#include "common/TraceLog.h"
#include "common/UrlSplitter.h"
#include "common/com/ComObject.h"
#include "common/com/Strings.h"
#include "Wisp/update/ClientManifest.h"
#include "Wisp/update/DomainAllowList.h"
#include "Wisp/update/UpdateComponent.h"

namespace {

// {79EAC9D8-BAFA-11CE-8C82-00AA004BA90B}; in no import library.
const IID kIID_IWinInetHttpInfo = {0x79EAC9D8, 0xBAFA, 0x11CE, {0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B}};

// Watches one download: every request it makes (the first and each redirect) must go to an
// allowed host, never from https down to http, and the answer must carry a whole body with a
// successful HTTP status, or the bind is aborted. The system's download follows redirects
// anywhere and saves error pages, empty answers and cut-off bodies as if they were the file.
class DownloadWatch : public ComObject<DownloadWatch>, public IBindStatusCallback, public IHttpNegotiate {
public:
    WISP_COM_INTERFACES(DownloadWatch, WISP_COM_ENTRY(IBindStatusCallback) WISP_COM_ENTRY(IHttpNegotiate))
    WISP_IUNKNOWN_FORWARD()

    explicit DownloadWatch(bool secure) : m_secure(secure) {}

    bool Refused() const { return m_refused; }

    // Whether the file written holds exactly what the answer announced: a status was seen and
    // refused nothing, and where it gave a length, the file has that many bytes.
    bool Complete(const std::string& file)
    {
        if (m_refused)
            return false;
        if (!m_answered) {
            TraceLog("UpdateComponent::Marshal - no HTTP status came with the download.\n");
            return false;
        }
        if (m_length < 0)
            return true;
        WIN32_FILE_ATTRIBUTE_DATA data = {};
        const unsigned long long size =
            GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &data)
                ? (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow
                : 0;
        if (size == static_cast<unsigned long long>(m_length))
            return true;
        TraceLog("UpdateComponent::Marshal - the answer announced %s bytes, %s came.\n",
                 std::to_string(m_length).c_str(), std::to_string(size).c_str());
        return false;
    }

    // IBindStatusCallback
    STDMETHODIMP OnStartBinding(DWORD, IBinding* binding) override
    {
        m_binding = ComPtr<IBinding>(binding);
        return S_OK;
    }
    STDMETHODIMP GetPriority(LONG* priority) override
    {
        if (!priority)
            return E_POINTER;
        *priority = THREAD_PRIORITY_NORMAL;
        return S_OK;
    }
    STDMETHODIMP OnLowResource(DWORD) override { return S_OK; }
    STDMETHODIMP OnProgress(ULONG, ULONG, ULONG statusCode, LPCWSTR statusText) override
    {
        if ((statusCode == BINDSTATUS_REDIRECTING || statusCode == BINDSTATUS_BEGINDOWNLOADDATA) && statusText &&
            !CheckRequest(statusText))
            return E_ABORT;
        return m_refused ? E_ABORT : S_OK;
    }
    STDMETHODIMP OnStopBinding(HRESULT, LPCWSTR) override
    {
        m_binding = nullptr;
        return S_OK;
    }
    STDMETHODIMP GetBindInfo(DWORD* flags, BINDINFO* info) override
    {
        if (!flags || !info)
            return E_POINTER;
        // Always from the server: a cached copy could be anybody's earlier answer.
        *flags = BINDF_GETNEWESTVERSION | BINDF_NOWRITECACHE | BINDF_PRAGMA_NO_CACHE;
        return S_OK;
    }
    STDMETHODIMP OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override
    {
        return m_refused ? E_ABORT : S_OK;
    }
    STDMETHODIMP OnObjectAvailable(REFIID, IUnknown*) override { return S_OK; }

    // IHttpNegotiate
    STDMETHODIMP BeginningTransaction(LPCWSTR url, LPCWSTR, DWORD, LPWSTR* additional) override
    {
        if (additional)
            *additional = nullptr;
        return url && !CheckRequest(url) ? E_ABORT : S_OK;
    }
    STDMETHODIMP OnResponse(DWORD code, LPCWSTR, LPCWSTR, LPWSTR* additional) override
    {
        if (additional)
            *additional = nullptr;
        // Redirects are followed inside the system's download, some without telling: the host
        // the final answer came from is the one its request named.
        if (!CheckAnsweringHost())
            return E_ABORT;
        // Only a whole body counts: 204 and 205 carry none, 206 a part nobody asked for, and
        // a 1xx or 3xx that reaches here was not followed to a file.
        if (code < 200 || code >= 300 || code == 204 || code == 205 || code == 206) {
            TraceLog("UpdateComponent::Marshal - refusing HTTP status %u.\n", static_cast<unsigned>(code));
            m_refused = true;
            return E_ABORT;
        }
        if (!ReadAnnouncedLength())
            return E_ABORT;
        m_answered = true;
        return S_OK;
    }

private:
    // The answer's Content-Length into m_length (-1 without one); false, refused, for one that
    // is not a plain decimal number.
    bool ReadAnnouncedLength()
    {
        std::string text;
        if (!QueryHeader(HTTP_QUERY_CONTENT_LENGTH, text))
            return true;
        // Up to 18 digits cannot overflow.
        bool valid = !text.empty() && text.size() <= 18;
        long long length = 0;
        for (std::size_t i = 0; valid && i < text.size(); ++i) {
            valid = text[i] >= '0' && text[i] <= '9';
            length = length * 10 + (text[i] - '0');
        }
        if (!valid) {
            TraceLog("UpdateComponent::Marshal - refusing the announced length '%s'.\n", text.c_str());
            m_refused = true;
            return false;
        }
        m_length = length;
        return true;
    }

    // One header of the exchange through the binding; false when it is not there.
    bool QueryHeader(DWORD query, std::string& text)
    {
        ComPtr<IWinInetHttpInfo> info;
        char buffer[512] = {};
        DWORD size = sizeof buffer - 2;
        if (!m_binding || FAILED(m_binding->QueryInterface(kIID_IWinInetHttpInfo, info.PutVoid())) || !info ||
            info->QueryInfo(query, buffer, &size, nullptr, nullptr) != S_OK)
            return false;
        size = size < sizeof buffer - 2 ? size : sizeof buffer - 2;
        // Some systems answer the header as UTF-16, others in the ANSI code page.
        text = size >= 2 && buffer[1] == '\0'
                   ? AnsiFromWide(reinterpret_cast<const wchar_t*>(buffer), size / sizeof(wchar_t))
                   : std::string(buffer, size);
        while (!text.empty() && (text.back() == '\0' || text.back() == ' '))
            text.pop_back();
        return true;
    }

    bool CheckAnsweringHost()
    {
        std::string host;
        if (!QueryHeader(HTTP_QUERY_HOST | HTTP_QUERY_FLAG_REQUEST_HEADERS, host)) {
            // Without a way to tell where the answer came from it is not taken.
            TraceLog("UpdateComponent::Marshal - cannot tell which host answered.\n");
            m_refused = true;
            return false;
        }
        std::string allowed;
        if (domain_allow_list::IsAllowedUrl("http://" + host + "/", allowed))
            return true;
        TraceLog("UpdateComponent::Marshal - refusing request to '%s' outside the allowed domains.\n", host.c_str());
        m_refused = true;
        return false;
    }

    bool CheckRequest(LPCWSTR url)
    {
        if (IsAllowedRequest(AnsiFromWide(url, lstrlenW(url)), m_secure))
            return true;
        m_refused = true;
        return false;
    }

    const bool m_secure;
    ComPtr<IBinding> m_binding;
    bool m_refused = false;
    bool m_answered = false;
    long long m_length = -1;
};

bool CreateFolder(const std::string& folder)
{
    const int created = SHCreateDirectoryExA(nullptr, folder.c_str(), nullptr);
    if (created == ERROR_SUCCESS || created == ERROR_ALREADY_EXISTS || created == ERROR_FILE_EXISTS)
        return true;
    SetLastError(static_cast<DWORD>(created));
    return false;
}

}  // namespace

bool IsAllowedDomain(const UpdateComponent* component, std::string& hostName, std::string* checkedUrl)
{
    hostName.clear();
    if (checkedUrl)
        checkedUrl->clear();
    if (!component) {
        TraceLog("IsAllowedDomain - pComponent is NULL.\n");
        return false;
    }
    return domain_allow_list::IsAllowedUrl(component->Url(), hostName, checkedUrl);
}

bool IsAllowedRequest(const std::string& text, bool fromSecure)
{
    // Only absolute http(s) addresses (in any case) are requests; other texts (a MIME type, a
    // file name) pass by.
    if (!domain_allow_list::IsAbsoluteHttpUrl(text))
        return true;
    std::string host;
    if (!domain_allow_list::IsAllowedUrl(text, host)) {
        TraceLog("UpdateComponent::Marshal - refusing request to '%s' outside the allowed domains.\n", text.c_str());
        return false;
    }
    UrlParts parts;
    if (fromSecure && SplitUrl(text, parts) && !parts.secure) {
        TraceLog("UpdateComponent::Marshal - refusing a redirect from https to '%s'.\n", text.c_str());
        return false;
    }
    return true;
}

std::string PartialDownloadName(const std::string& target)
{
    return target + ".part";
}

bool UpdateComponent::Marshal(const char* strTargetDir, bool withTimestamp) const
{
    if (!strTargetDir) {
        TraceLog("UpdateComponent::Marshal - strTargetDir is NULL.\n");
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    std::string path;
    std::string name;
    if (!GetPath(&path, true) || !GetFileName(name, withTimestamp)) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    const std::string folder = std::string(strTargetDir) + (path.empty() ? "" : "\\" + path);
    const std::string target = folder + "\\" + name;
    if (!CreateFolder(folder)) {
        const DWORD error = GetLastError();
        TraceLog("UpdateComponent::Marshal - Failed creating the directory '%s' \n", folder.c_str());
        SetLastError(error);
        return false;
    }
    std::string host;
    std::string url;
    if (!IsAllowedDomain(this, host, &url)) {
        TraceLog("UpdateComponent::Marshal - invalid domain.\n");
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }

    const std::string partial = PartialDownloadName(target);
    DeleteFileA(partial.c_str());
    // What is fetched is what was checked, not the manifest's text, which the system's
    // download could read another way.
    ComPtr<DownloadWatch> watch = MakeComObject<DownloadWatch>(url.compare(0, 8, "https://") == 0);
    HRESULT hr = URLDownloadToFileW(nullptr, WideFromAnsi(url).c_str(), WideFromAnsi(partial).c_str(), 0,
                                    static_cast<IBindStatusCallback*>(watch.Get()));
    // The system's download may answer S_OK for an answer the watch refused or a body cut short.
    if (SUCCEEDED(hr) && !watch->Complete(partial))
        hr = E_ABORT;
    if (SUCCEEDED(hr) && !MoveFileExA(partial.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING))
        hr = HRESULT_FROM_WIN32(GetLastError());
    if (FAILED(hr)) {
        // A partial or refused file must never count as downloaded, nor as an installer.
        DeleteFileA(partial.c_str());
        TraceLog("UpdateComponent::Marshal - failed downloading '%s', hr = 0x%X\n", Url().c_str(),
                 static_cast<unsigned>(hr));
        SetLastError(static_cast<DWORD>(hr));
        return false;
    }
    return true;
}

bool Update::Marshal(const char* strMarshalDir, bool withTimestamp) const
{
    if (!strMarshalDir) {
        TraceLog("Update::Marshal - strMarshalDir is NULL.\n");
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    for (const auto& entry : m_components)
        if (!entry.second->Marshal(strMarshalDir, withTimestamp))
            return false;
    // What the completion message carries: nothing stale from calls that went well.
    SetLastError(ERROR_SUCCESS);
    return true;
}
