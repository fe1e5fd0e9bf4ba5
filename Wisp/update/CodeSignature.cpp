#include "Wisp/update/CodeSignature.h"

#include <windows.h>
#include <oleauto.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <string>
#include <vector>

#include "common/TraceLog.h"
#include "common/com/Bstr.h"
#include "common/com/ComPtr.h"
#include "common/com/Strings.h"
#include "common/com/Variant.h"
#include "Wisp/update/Installer.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

// CAPICOM's SignedCode class and its interface.
const CLSID kCLSID_SignedCode = {0x8C3E4934, 0x9FA4, 0x4693, {0x92, 0x53, 0xA2, 0x9A, 0x05, 0xF9, 0x91, 0x86}};
const IID kIID_ISignedCode = {0x84FBCB95, 0x5600, 0x404C, {0x91, 0x87, 0xAC, 0x25, 0xB4, 0xCD, 0x6E, 0x94}};

HRESULT Call(IDispatch* object, const wchar_t* name, WORD kind, VARIANT* argument, VARIANT* result)
{
    DISPID id = 0;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr))
        return hr;
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS params = {argument, kind == DISPATCH_PROPERTYPUT ? &put : nullptr, argument ? 1u : 0u,
                         kind == DISPATCH_PROPERTYPUT ? 1u : 0u};
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, kind, &params, result, nullptr, nullptr);
}

// -1 when the object cannot be made or asked.
int CountWithSignedCode(const std::wstring& path)
{
    ComPtr<IDispatch> signedCode;
    HRESULT hr = CoCreateInstance(kCLSID_SignedCode, nullptr, CLSCTX_INPROC_SERVER, kIID_ISignedCode,
                                  signedCode.PutVoid());
    if (FAILED(hr) || !signedCode) {
        TraceLog("Failed creating CAPICOM SignedCode object., hr=0x%X\n", static_cast<unsigned>(hr));
        return -1;
    }
    Variant file = Variant::FromBstr(Bstr(path.c_str()).Detach());
    Variant certificates;
    Variant count;
    if (FAILED(Call(signedCode.Get(), L"FileName", DISPATCH_PROPERTYPUT, file.Get(), nullptr)) ||
        FAILED(Call(signedCode.Get(), L"Certificates", DISPATCH_PROPERTYGET, nullptr, certificates.Get())) ||
        certificates.Get()->vt != VT_DISPATCH || !certificates.Get()->pdispVal ||
        FAILED(Call(certificates.Get()->pdispVal, L"Count", DISPATCH_PROPERTYGET, nullptr, count.Get())) ||
        FAILED(VariantChangeType(count.Get(), count.Get(), 0, VT_I4)))
        return 0;
    return count.Get()->lVal;
}

// The file's embedded signature: its certificates and its signed message; false when it
// carries none.
bool QuerySignature(const std::wstring& path, UniqueCertStore& store, UniqueCryptMsg& message)
{
    return CryptQueryObject(CERT_QUERY_OBJECT_FILE, path.c_str(), CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                            CERT_QUERY_FORMAT_FLAG_BINARY, 0, nullptr, nullptr, nullptr, store.Put(), message.Put(),
                            nullptr) != FALSE;
}

// The certificates of the file's embedded signature; 0 when it has none.
int CountWithSignatureQuery(const std::wstring& path)
{
    UniqueCertStore store;
    UniqueCryptMsg message;
    if (!QuerySignature(path, store, message))
        return 0;
    int count = 0;
    for (PCCERT_CONTEXT c = CertEnumCertificatesInStore(store.Get(), nullptr); c;
         c = CertEnumCertificatesInStore(store.Get(), c))
        ++count;
    return count;
}

// The certificate of the signature's first signer, the one the platform's verifier checks.
UniqueCertContext SignerCertificate(const std::wstring& path)
{
    UniqueCertStore store;
    UniqueCryptMsg message;
    DWORD size = 0;
    if (!QuerySignature(path, store, message) ||
        !CryptMsgGetParam(message.Get(), CMSG_SIGNER_CERT_INFO_PARAM, 0, nullptr, &size) || size == 0)
        return UniqueCertContext();
    std::vector<BYTE> signer(size);
    if (!CryptMsgGetParam(message.Get(), CMSG_SIGNER_CERT_INFO_PARAM, 0, signer.data(), &size))
        return UniqueCertContext();
    return UniqueCertContext(CertFindCertificateInStore(store.Get(), X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                                        CERT_FIND_SUBJECT_CERT, signer.data(), nullptr));
}

// The verifier's entry points, looked up at run time: without them nothing is trusted.
struct Verifier {
    using VerifyFn = LONG(WINAPI*)(HWND, GUID*, LPVOID);
    using ProviderDataFn = CRYPT_PROVIDER_DATA*(WINAPI*)(HANDLE);
    using SignerFn = CRYPT_PROVIDER_SGNR*(WINAPI*)(CRYPT_PROVIDER_DATA*, DWORD, BOOL, DWORD);

    Verifier() : module(LoadLibraryA("wintrust.dll"))
    {
        if (!module)
            return;
        verify = reinterpret_cast<VerifyFn>(reinterpret_cast<void (*)()>(GetProcAddress(module.Get(), "WinVerifyTrust")));
        providerData = reinterpret_cast<ProviderDataFn>(
            reinterpret_cast<void (*)()>(GetProcAddress(module.Get(), "WTHelperProvDataFromStateData")));
        signer = reinterpret_cast<SignerFn>(
            reinterpret_cast<void (*)()>(GetProcAddress(module.Get(), "WTHelperGetProvSignerFromChain")));
    }
    bool Complete() const { return verify && providerData && signer; }

    UniqueModule module;
    VerifyFn verify = nullptr;
    ProviderDataFn providerData = nullptr;
    SignerFn signer = nullptr;
};

// The signature's own check passes even for a root nobody trusts on some systems: the signer's
// chain must end in a trusted root and satisfy the Authenticode policy.
bool SignerChainTrusted(const Verifier& verifier, HANDLE state)
{
    CRYPT_PROVIDER_DATA* data = verifier.providerData(state);
    CRYPT_PROVIDER_SGNR* signer = data ? verifier.signer(data, 0, FALSE, 0) : nullptr;
    if (!signer || !signer->pChainContext) {
        TraceLog("VerifyTrust - no signer chain.\n");
        return false;
    }
    if (signer->pChainContext->TrustStatus.dwErrorStatus != CERT_TRUST_NO_ERROR) {
        TraceLog("VerifyTrust - signer chain not trusted, status 0x%X\n",
                 static_cast<unsigned>(signer->pChainContext->TrustStatus.dwErrorStatus));
        return false;
    }
    CERT_CHAIN_POLICY_PARA para = {};
    para.cbSize = sizeof para;
    CERT_CHAIN_POLICY_STATUS status = {};
    status.cbSize = sizeof status;
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_AUTHENTICODE, signer->pChainContext, &para, &status) ||
        status.dwError != 0) {
        TraceLog("VerifyTrust - Authenticode policy refused the chain, error 0x%X\n", static_cast<unsigned>(status.dwError));
        return false;
    }
    return true;
}

}  // namespace

bool HasCertificates(const char* path)
{
    if (!path) {
        TraceLog("HasCertificates - strFile is NULL.\n");
        return false;
    }
    const std::wstring file = WideFromAnsi(UnquotedPath(path));
    int count = CountWithSignedCode(file);
    // The automation object is gone from current systems: every file would count as unsigned.
    if (count < 0)
        count = CountWithSignatureQuery(file);
    TraceLog("Num Certs = %d\n", count);
    return count > 0;
}

bool VerifyTrust(const char* path, bool showUI, UniqueFile* held)
{
    if (!path) {
        TraceLog("VerifyTrust - strFile is NULL.\n");
        return false;
    }
    const std::wstring file = WideFromAnsi(UnquotedPath(path));
    Verifier verifier;
    if (!verifier.Complete()) {
        TraceLog("VerifyTrust - no signature verifier, LastError = %d\n", static_cast<int>(GetLastError()));
        return false;
    }
    // Nobody may change or replace the file between this check and its start.
    UniqueFile open(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!open) {
        TraceLog("VerifyTrust - cannot open '%s', LastError = %d\n", UnquotedPath(path).c_str(),
                 static_cast<int>(GetLastError()));
        return false;
    }

    WINTRUST_FILE_INFO fileInfo = {};
    fileInfo.cbStruct = sizeof fileInfo;
    fileInfo.pcwszFilePath = file.c_str();
    fileInfo.hFile = open.Get();
    WINTRUST_DATA data = {};
    data.cbStruct = sizeof data;
    // Without showUI only bad results are shown: WTD_UI_NOGOOD, not WTD_UI_NOBAD, which would
    // show the good ones and hide the warnings.
    data.dwUIChoice = showUI ? WTD_UI_ALL : WTD_UI_NOGOOD;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &fileInfo;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const LONG result = verifier.verify(nullptr, &action, &data);
    bool trusted = result == ERROR_SUCCESS && SignerChainTrusted(verifier, data.hWVTStateData);
    if (result != ERROR_SUCCESS)
        TraceLog("VerifyTrust - WinVerifyTrust answered 0x%X\n", static_cast<unsigned>(result));
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    verifier.verify(nullptr, &action, &data);
    if (trusted && held)
        *held = std::move(open);
    return trusted;
}

bool SamePublisher(const char* installer, const char* reference)
{
    if (!installer || !reference) {
        TraceLog("SamePublisher - %s is NULL.\n", installer ? "strReference" : "strInstaller");
        return false;
    }
    const std::string referencePath = UnquotedPath(reference);
    const UniqueCertContext ours = SignerCertificate(WideFromAnsi(referencePath));
    if (!ours) {
        // A build nobody signed vouches for nothing it downloads.
        TraceLog("SamePublisher - '%s' carries no signature: nothing is installed.\n", referencePath.c_str());
        return false;
    }
    const std::string installerPath = UnquotedPath(installer);
    const UniqueCertContext theirs = SignerCertificate(WideFromAnsi(installerPath));
    const DWORD encoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
    if (!theirs ||
        !CertCompareCertificateName(encoding, &ours.Get()->pCertInfo->Subject, &theirs.Get()->pCertInfo->Subject) ||
        !CertComparePublicKeyInfo(encoding, &ours.Get()->pCertInfo->SubjectPublicKeyInfo,
                                  &theirs.Get()->pCertInfo->SubjectPublicKeyInfo)) {
        TraceLog("SamePublisher - '%s' is not signed by the publisher of '%s'.\n", installerPath.c_str(),
                 referencePath.c_str());
        return false;
    }
    return true;
}

std::string RunningModulePath()
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(reinterpret_cast<HMODULE>(&__ImageBase), path, MAX_PATH);
    return length > 0 && length < MAX_PATH ? AnsiFromWide(path, length) : std::string();
}
