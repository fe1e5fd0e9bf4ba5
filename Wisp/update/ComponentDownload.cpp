#include "Wisp/update/ComponentDownload.h"

#include <windows.h>
#include <shlobj.h>
#include <urlmon.h>
#include <wininet.h>

#include <cstddef>

#include "common/TraceLog.h"
#include "common/UrlSplitter.h"
#include "common/com/ComObject.h"
#include "common/com/Handle.h"
#include "common/com/Strings.h"
#include "Wisp/update/ClientManifest.h"
#include "Wisp/update/DomainAllowList.h"
#include "Wisp/update/UpdateComponent.h"

namespace {

// {79EAC9D8-BAFA-11CE-8C82-00AA004BA90B}; in no import library.
const IID kIID_IWinInetHttpInfo = {0x79EAC9D8, 0xBAFA, 0x11CE, {0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B}};
// {11C81BC2-121E-4ED5-B9C4-B430BD54F2C0}; in no import library either.
const IID kIID_IBindCallbackRedirect = {0x11C81BC2, 0x121E, 0x4ED5, {0xB9, 0xC4, 0xB4, 0x30, 0xBD, 0x54, 0xF2, 0xC0}};

// Redirects followed before a download is given up: enough for a mirror or two.
const int kMaxRedirects = 5;

// Watches one request of a download and writes its body to the open file: the request must go
// to an allowed host, never from https down to http, and the answer must carry a whole body
// with a successful HTTP status, or the bind is aborted. A redirect is never followed by the
// platform (it would send the request before anybody could look at the new address): the
// binding is cancelled and the address kept for the caller to check and follow.
class DownloadWatch : public ComObject<DownloadWatch>,
                      public IBindStatusCallback,
                      public IHttpNegotiate,
                      public IBindCallbackRedirect {
public:
    WISP_COM_INTERFACES(DownloadWatch, WISP_COM_ENTRY(IBindStatusCallback) WISP_COM_ENTRY(IHttpNegotiate)
                                           WISP_COM_ENTRY_IID(kIID_IBindCallbackRedirect, IBindCallbackRedirect))
    WISP_IUNKNOWN_FORWARD()

    DownloadWatch(bool secure, HANDLE file) : m_secure(secure), m_file(file) {}

    bool Redirected() const { return m_redirected; }
    const std::string& Location() const { return m_location; }
    // Ends what the bind left: the binding may hold this object in turn.
    void Finish() { m_binding = nullptr; }

    // Whether the file written holds exactly what the answer announced: a status was seen and
    // refused nothing, and where it gave a length, the file has that many bytes.
    bool Complete() const
    {
        if (m_refused)
            return false;
        if (!m_answered) {
            TraceLog("UpdateComponent::Marshal - no HTTP status came with the download.\n");
            return false;
        }
        if (m_length < 0 || m_written == static_cast<unsigned long long>(m_length))
            return true;
        TraceLog("UpdateComponent::Marshal - the answer announced %s bytes, %s came.\n",
                 std::to_string(m_length).c_str(), std::to_string(m_written).c_str());
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
        const DWORD size = info->cbSize;
        // Without room for the options the platform would follow redirects on its own.
        if (size < offsetof(BINDINFO, dwOptions) + sizeof info->dwOptions)
            return E_INVALIDARG;
        ZeroMemory(info, size);
        info->cbSize = size;
        info->dwOptions = BINDINFO_OPTIONS_DISABLEAUTOREDIRECTS;
        // Always from the server: a cached copy could be anybody's earlier answer. Synchronous:
        // the bind returns when the answer is in.
        *flags = BINDF_GETNEWESTVERSION | BINDF_NOWRITECACHE | BINDF_PRAGMA_NO_CACHE;
        return S_OK;
    }
    STDMETHODIMP OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM* medium) override
    {
        if (m_refused)
            return E_ABORT;
        if (!medium || medium->tymed != TYMED_ISTREAM || !medium->pstm)
            return S_OK;
        return CopyBody(medium->pstm) ? S_OK : E_ABORT;
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
        // Whatever the platform did on the way, the host the answer came from must be allowed.
        if (!CheckAnsweringHost())
            return E_ABORT;
        // Only a whole body counts: 204 and 205 carry none, 206 a part nobody asked for, and
        // a 1xx or 3xx that reaches here has no address to follow.
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

    // IBindCallbackRedirect
    STDMETHODIMP Redirect(LPCWSTR url, VARIANT_BOOL* cancel) override
    {
        if (!cancel)
            return E_POINTER;
        *cancel = VARIANT_TRUE;
        m_redirected = true;
        m_location = url ? AnsiFromWide(url, lstrlenW(url)) : std::string();
        return S_OK;
    }

private:
    // What the answer has so far into the file, never more than it announced.
    bool CopyBody(IStream* stream)
    {
        char buffer[64 * 1024];
        for (;;) {
            ULONG read = 0;
            const HRESULT hr = stream->Read(buffer, sizeof buffer, &read);
            if (FAILED(hr) && hr != E_PENDING) {
                TraceLog("UpdateComponent::Marshal - reading the answer failed, hr = 0x%X\n",
                         static_cast<unsigned>(hr));
                m_refused = true;
                return false;
            }
            if (read == 0)
                return true;
            m_written += read;
            if (m_length >= 0 && m_written > static_cast<unsigned long long>(m_length)) {
                TraceLog("UpdateComponent::Marshal - the answer announced %s bytes, %s came.\n",
                         std::to_string(m_length).c_str(), std::to_string(m_written).c_str());
                m_refused = true;
                return false;
            }
            DWORD written = 0;
            if (!WriteFile(m_file, buffer, read, &written, nullptr) || written != read) {
                TraceLog("UpdateComponent::Marshal - writing the download failed, error = %u\n",
                         static_cast<unsigned>(GetLastError()));
                m_refused = true;
                return false;
            }
            if (hr != S_OK)
                return true;
        }
    }

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
    const HANDLE m_file;
    ComPtr<IBinding> m_binding;
    bool m_refused = false;
    bool m_answered = false;
    bool m_redirected = false;
    std::string m_location;
    long long m_length = -1;
    unsigned long long m_written = 0;
};

bool CreateFolder(const std::string& folder)
{
    const int created = SHCreateDirectoryExA(nullptr, folder.c_str(), nullptr);
    if (created == ERROR_SUCCESS || created == ERROR_ALREADY_EXISTS || created == ERROR_FILE_EXISTS)
        return true;
    SetLastError(static_cast<DWORD>(created));
    return false;
}

// One request of a download, its body into the file `partial` (made anew). S_FALSE with the
// address in location when the answer redirects; S_OK only for a whole body.
HRESULT FetchOne(const std::string& url, bool secure, const std::string& partial, std::string& location)
{
    location.clear();
    UniqueFile file(CreateFileA(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    if (!file)
        return HRESULT_FROM_WIN32(GetLastError());
    ComPtr<DownloadWatch> watch = MakeComObject<DownloadWatch>(secure, file.Get());
    ComPtr<IMoniker> moniker;
    HRESULT hr = CreateURLMonikerEx(nullptr, WideFromAnsi(url).c_str(), moniker.Put(), URL_MK_UNIFORM);
    ComPtr<IBindCtx> context;
    if (SUCCEEDED(hr))
        hr = CreateAsyncBindCtx(0, static_cast<IBindStatusCallback*>(watch.Get()), nullptr, context.Put());
    ComPtr<IStream> stream;
    if (SUCCEEDED(hr))
        hr = moniker->BindToStorage(context.Get(), nullptr, IID_IStream, stream.PutVoid());
    watch->Finish();
    if (watch->Redirected()) {
        location = watch->Location();
        return S_FALSE;
    }
    // The platform may answer S_OK for an answer the watch refused or a body cut short.
    if (SUCCEEDED(hr) && !watch->Complete())
        hr = E_ABORT;
    return FAILED(hr) ? hr : S_OK;
}

// The address a redirect from `from` leads to, made absolute, checked (an allowed host, not
// from https down to http) and rebuilt from the checked parts into next; false, traced, else.
bool CheckRedirect(const std::string& from, const std::string& location, bool secure, std::string& next)
{
    next.clear();
    wchar_t combined[INTERNET_MAX_URL_LENGTH + 1] = {};
    DWORD length = INTERNET_MAX_URL_LENGTH;
    std::string absolute;
    // As the server sent it: the checked URL is rebuilt from its parts anyway.
    if (!location.empty() && InternetCombineUrlW(WideFromAnsi(from).c_str(), WideFromAnsi(location).c_str(), combined,
                                                 &length, ICU_NO_ENCODE))
        absolute = AnsiFromWide(combined);
    // A redirect elsewhere than to an http(s) address ("file:", "ftp:", none at all) is no download.
    if (!domain_allow_list::IsAbsoluteHttpUrl(absolute)) {
        TraceLog("UpdateComponent::Marshal - refusing the redirect to '%s'.\n", location.c_str());
        return false;
    }
    std::string host;
    return IsAllowedRequest(absolute, secure) && domain_allow_list::IsAllowedUrl(absolute, host, &next);
}

// The download of url into partial, each redirect checked before anything is sent to where it
// leads, at most kMaxRedirects of them.
HRESULT FetchFollowingRedirects(const std::string& url, const std::string& partial)
{
    std::string current = url;
    bool secure = false;
    for (int redirects = 0;; ++redirects) {
        // Once on https, never back to http.
        secure = secure || current.compare(0, 8, "https://") == 0;
        std::string location;
        const HRESULT hr = FetchOne(current, secure, partial, location);
        if (hr != S_FALSE)
            return hr;
        if (redirects == kMaxRedirects) {
            TraceLog("UpdateComponent::Marshal - more than %d redirects, the last to '%s'.\n", kMaxRedirects,
                     location.c_str());
            return E_ABORT;
        }
        std::string next;
        if (!CheckRedirect(current, location, secure, next))
            return E_ABORT;
        current = next;
    }
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
    // What is fetched is what was checked, not the manifest's text, which the platform could
    // read another way.
    HRESULT hr = FetchFollowingRedirects(url, partial);
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
