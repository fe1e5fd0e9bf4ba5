#include "Wisp/update/ComponentDownload.h"

#include <windows.h>
#include <shlobj.h>
#include <urlmon.h>
#include <wininet.h>

#include "common/TraceLog.h"
#include "common/com/ComObject.h"
#include "common/com/Strings.h"
#include "Wisp/update/ClientManifest.h"
#include "Wisp/update/DomainAllowList.h"
#include "Wisp/update/UpdateComponent.h"

namespace {

// {79EAC9D8-BAFA-11CE-8C82-00AA004BA90B}; in no import library.
const IID kIID_IWinInetHttpInfo = {0x79EAC9D8, 0xBAFA, 0x11CE, {0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B}};

// Watches one download: every request it makes (the first and each redirect) must go to an
// allowed host, and the answer must not be an HTTP error, or the bind is aborted. The system's
// download follows redirects anywhere and saves error pages as if they were the file.
class DownloadWatch : public ComObject<DownloadWatch>, public IBindStatusCallback, public IHttpNegotiate {
public:
    WISP_COM_INTERFACES(DownloadWatch, WISP_COM_ENTRY(IBindStatusCallback) WISP_COM_ENTRY(IHttpNegotiate))
    WISP_IUNKNOWN_FORWARD()

    bool Refused() const { return m_refused; }

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
            !CheckUrl(statusText))
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
        return url && !CheckUrl(url) ? E_ABORT : S_OK;
    }
    STDMETHODIMP OnResponse(DWORD code, LPCWSTR, LPCWSTR, LPWSTR* additional) override
    {
        if (additional)
            *additional = nullptr;
        // Redirects are followed inside the system's download, some without telling: the host
        // the final answer came from is the one its request named.
        if (!CheckAnsweringHost())
            return E_ABORT;
        if (code >= 400) {
            TraceLog("UpdateComponent::Marshal - refusing HTTP status %u.\n", static_cast<unsigned>(code));
            m_refused = true;
            return E_ABORT;
        }
        return S_OK;
    }

private:
    bool CheckAnsweringHost()
    {
        ComPtr<IWinInetHttpInfo> info;
        char buffer[512] = {};
        DWORD size = sizeof buffer - 2;
        if (!m_binding || FAILED(m_binding->QueryInterface(kIID_IWinInetHttpInfo, info.PutVoid())) || !info ||
            info->QueryInfo(HTTP_QUERY_HOST | HTTP_QUERY_FLAG_REQUEST_HEADERS, buffer, &size, nullptr, nullptr) != S_OK) {
            // Without a way to tell where the answer came from it is not taken.
            TraceLog("UpdateComponent::Marshal - cannot tell which host answered.\n");
            m_refused = true;
            return false;
        }
        // Some systems answer the header as UTF-16, others in the ANSI code page.
        std::string host = size >= 2 && buffer[1] == '\0'
                               ? AnsiFromWide(reinterpret_cast<const wchar_t*>(buffer), size / sizeof(wchar_t))
                               : std::string(buffer, size);
        while (!host.empty() && host.back() == '\0')
            host.pop_back();
        return CheckUrl(WideFromAnsi("http://" + host + "/").c_str());
    }

    bool CheckUrl(LPCWSTR url)
    {
        const std::string text = AnsiFromWide(url, lstrlenW(url));
        // Only absolute http(s) addresses are requests; other texts (a MIME type, a file name)
        // pass by.
        if (text.compare(0, 7, "http://") != 0 && text.compare(0, 8, "https://") != 0)
            return true;
        std::string host;
        if (domain_allow_list::IsAllowedUrl(text, host))
            return true;
        TraceLog("UpdateComponent::Marshal - refusing request to '%s' outside the allowed domains.\n", text.c_str());
        m_refused = true;
        return false;
    }

    ComPtr<IBinding> m_binding;
    bool m_refused = false;
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

bool IsAllowedDomain(const UpdateComponent* component, std::string& hostName)
{
    hostName.clear();
    if (!component) {
        TraceLog("IsAllowedDomain - pComponent is NULL.\n");
        return false;
    }
    return domain_allow_list::IsAllowedUrl(component->Url(), hostName);
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
    if (!IsAllowedDomain(this, host)) {
        TraceLog("UpdateComponent::Marshal - invalid domain.\n");
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }

    const std::string partial = PartialDownloadName(target);
    DeleteFileA(partial.c_str());
    ComPtr<DownloadWatch> watch = MakeComObject<DownloadWatch>();
    HRESULT hr = URLDownloadToFileW(nullptr, WideFromAnsi(Url()).c_str(), WideFromAnsi(partial).c_str(), 0,
                                    static_cast<IBindStatusCallback*>(watch.Get()));
    // The system's download may answer S_OK for an answer the watch refused.
    if (SUCCEEDED(hr) && watch->Refused())
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
