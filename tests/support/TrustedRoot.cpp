#include "tests/support/TrustedRoot.h"

#include "tests/support/ScratchState.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstring>

namespace testing_support {

namespace {
const char kRoot[] = "Software\\Microsoft\\SystemCertificates\\Root\\Certificates";
}

// Written where the store keeps it (HKLM ...\SystemCertificates\Root\Certificates\<SHA-1>,
// value "Blob": a property record of the encoded certificate), which the chain engine reads
// when it starts: a process must place the root before its first certificate check.
TrustedRoot::TrustedRoot(const std::string& derFile)
{
    std::string der;
    if (!ReadWholeFile(derFile, der))
        return;
    PCCERT_CONTEXT cert = CertCreateCertificateContext(X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                                       static_cast<DWORD>(der.size()));
    BYTE hash[20] = {};
    DWORD size = sizeof hash;
    const bool hashed = cert && CertGetCertificateContextProperty(cert, CERT_SHA1_HASH_PROP_ID, hash, &size);
    if (cert)
        CertFreeCertificateContext(cert);
    if (!hashed)
        return;
    char hex[41] = {};
    for (int i = 0; i < 20; ++i)
        wsprintfA(hex + 2 * i, "%02X", hash[i]);
    m_key = std::string(kRoot) + "\\" + hex;
    std::string blob(12, '\0');
    const DWORD header[3] = {0x20, 1, static_cast<DWORD>(der.size())};   // CERT_CERT_PROP_ID record
    std::memcpy(&blob[0], header, sizeof header);
    blob += der;
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, m_key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    m_added = RegSetValueExA(key, "Blob", 0, REG_BINARY, reinterpret_cast<const BYTE*>(blob.data()),
                             static_cast<DWORD>(blob.size())) == ERROR_SUCCESS;
    RegCloseKey(key);
}

TrustedRoot::~TrustedRoot()
{
    if (!m_key.empty())
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, m_key.c_str());
}

}  // namespace testing_support
