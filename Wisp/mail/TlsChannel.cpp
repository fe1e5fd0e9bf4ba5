#include "Wisp/mail/TlsChannel.h"

#include "Wisp/mail/Winsock.h"
#include "common/TraceLog.h"
#include "common/com/Handle.h"
#include "common/com/Strings.h"

#include <algorithm>
#include <cstring>

namespace wisp_mail {

namespace {

const DWORD kRequest = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                       ISC_REQ_EXTENDED_ERROR | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM;
// A server's hello with its certificates fits easily; more is not a handshake.
const std::size_t kMaxHandshakeBytes = 256 * 1024;
// A record is at most 16 KiB of text and its protection; more without one complete is no TLS.
const std::size_t kMaxRecordBytes = 64 * 1024;
const int kMaxHandshakeRounds = 32;
const DWORD kRenegotiateTimeoutMs = 10000;

DWORD Remaining(DWORD deadline)
{
    const LONG left = static_cast<LONG>(deadline - GetTickCount());
    return left > 0 ? static_cast<DWORD>(left) : 0;
}

// Reads what the socket has within the time left; false when nothing came or it broke.
bool ReadMore(SOCKET socket, std::vector<char>& into, DWORD deadline)
{
    const int ready = WaitReadable(socket, Remaining(deadline));
    if (ready != 1) {
        TraceLog("TlsChannel::Start - no answer from the server within the time allowed.\n");
        return false;
    }
    char chunk[16 * 1024];
    const int got = recv(socket, chunk, sizeof chunk, 0);
    if (got <= 0) {
        TraceLog("TlsChannel::Start - the connection ended during the handshake.\n");
        return false;
    }
    into.insert(into.end(), chunk, chunk + got);
    return true;
}

}  // namespace

TlsChannel::~TlsChannel()
{
    if (m_haveContext)
        DeleteSecurityContext(&m_context);
    if (m_haveCredentials)
        FreeCredentialsHandle(&m_credentials);
    SecureZeroMemory(&m_plain[0], m_plain.size());
}

bool TlsChannel::Start(SOCKET socket, const std::string& serverName, DWORD timeoutMs)
{
    SCHANNEL_CRED cred = {};
    cred.dwVersion = SCHANNEL_CRED_VERSION;
    // The certificate is checked here, against the name connected to, so that the check is the
    // same wherever this runs.
    cred.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
    TimeStamp expiry;
    SECURITY_STATUS status =
        AcquireCredentialsHandleW(nullptr, const_cast<SEC_WCHAR*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND, nullptr,
                                  &cred, nullptr, nullptr, &m_credentials, &expiry);
    if (status != SEC_E_OK) {
        TraceLog("TlsChannel::Start - AcquireCredentialsHandle failed, 0x%08X.\n", static_cast<unsigned>(status));
        return false;
    }
    m_haveCredentials = true;
    m_target = WideFromAnsi(serverName);
    if (!Handshake(socket, GetTickCount() + timeoutMs, false))
        return false;
    status = QueryContextAttributesW(&m_context, SECPKG_ATTR_STREAM_SIZES, &m_sizes);
    if (status != SEC_E_OK || m_sizes.cbMaximumMessage == 0) {
        TraceLog("TlsChannel::Start - no stream sizes, 0x%08X.\n", static_cast<unsigned>(status));
        return false;
    }
    if (!CheckServerCertificate(serverName))
        return false;
    // Application data the server sent right behind its last handshake message.
    bool closed = false;
    return DecryptRecords(socket, closed);
}

bool TlsChannel::Handshake(SOCKET socket, DWORD deadline, bool withToken)
{
    bool first = !m_haveContext;
    bool read = !first && !withToken && m_incoming.empty();
    for (int round = 0; round < kMaxHandshakeRounds; ++round) {
        if (read) {
            if (m_incoming.size() > kMaxHandshakeBytes) {
                TraceLog("TlsChannel::Start - the server's handshake is larger than %u bytes.\n",
                         static_cast<unsigned>(kMaxHandshakeBytes));
                return false;
            }
            if (!ReadMore(socket, m_incoming, deadline))
                return false;
        }
        SecBuffer in[2] = {{static_cast<ULONG>(m_incoming.size()), SECBUFFER_TOKEN, m_incoming.data()},
                           {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc inDesc = {SECBUFFER_VERSION, 2, in};
        SecBuffer out[1] = {{0, SECBUFFER_TOKEN, nullptr}};
        SecBufferDesc outDesc = {SECBUFFER_VERSION, 1, out};
        ULONG attributes = 0;
        TimeStamp expiry;
        const SECURITY_STATUS status = InitializeSecurityContextW(
            &m_credentials, first ? nullptr : &m_context, first ? &m_target[0] : nullptr, kRequest, 0, 0,
            first ? nullptr : &inDesc, 0, first ? &m_context : nullptr, &outDesc, &attributes, &expiry);
        if (first && (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED))
            m_haveContext = true;
        if (out[0].pvBuffer) {
            const bool sent = out[0].cbBuffer == 0 ||
                              SendAll(socket, static_cast<const char*>(out[0].pvBuffer), out[0].cbBuffer);
            FreeContextBuffer(out[0].pvBuffer);
            if (!sent) {
                TraceLog("TlsChannel::Start - sending the handshake failed, error %d.\n", WSAGetLastError());
                return false;
            }
        }
        if (status == SEC_E_INCOMPLETE_MESSAGE) {
            read = true;
            continue;
        }
        if (!first) {
            // What the server sent beyond this step belongs to the next one, or is data.
            if (in[1].BufferType == SECBUFFER_EXTRA && in[1].cbBuffer > 0 && in[1].cbBuffer <= m_incoming.size())
                m_incoming.erase(m_incoming.begin(), m_incoming.end() - in[1].cbBuffer);
            else
                m_incoming.clear();
        }
        first = false;
        if (status == SEC_E_OK)
            return true;
        if (status != SEC_I_CONTINUE_NEEDED && status != SEC_I_INCOMPLETE_CREDENTIALS) {
            TraceLog("TlsChannel::Start - the handshake failed, 0x%08X.\n", static_cast<unsigned>(status));
            return false;
        }
        read = m_incoming.empty();
    }
    TraceLog("TlsChannel::Start - no handshake after %d rounds.\n", kMaxHandshakeRounds);
    return false;
}

bool TlsChannel::CheckServerCertificate(const std::string& serverName)
{
    PCCERT_CONTEXT remote = nullptr;
    const SECURITY_STATUS status = QueryContextAttributesW(&m_context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &remote);
    UniqueCertContext certificate(remote);
    if (status != SEC_E_OK || !certificate) {
        TraceLog("TlsChannel::Start - the server sent no certificate.\n");
        return false;
    }
    char serverAuth[] = szOID_PKIX_KP_SERVER_AUTH;
    LPSTR usages[] = {serverAuth};
    CERT_CHAIN_PARA chainPara = {};
    chainPara.cbSize = sizeof chainPara;
    chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
    chainPara.RequestedUsage.Usage.cUsageIdentifier = 1;
    chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    UniqueCertChain chain;
    PCCERT_CHAIN_CONTEXT built = nullptr;
    if (!CertGetCertificateChain(nullptr, certificate.Get(), nullptr, certificate.Get()->hCertStore, &chainPara, 0,
                                 nullptr, &built)) {
        TraceLog("TlsChannel::Start - no chain for the server certificate, error %u.\n",
                 static_cast<unsigned>(GetLastError()));
        return false;
    }
    chain.Reset(built);
    HTTPSPolicyCallbackData https = {};
    https.cbStruct = sizeof https;
    https.dwAuthType = AUTHTYPE_SERVER;
    https.pwszServerName = &m_target[0];
    CERT_CHAIN_POLICY_PARA policy = {};
    policy.cbSize = sizeof policy;
    policy.pvExtraPolicyPara = &https;
    CERT_CHAIN_POLICY_STATUS verdict = {};
    verdict.cbSize = sizeof verdict;
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain.Get(), &policy, &verdict) ||
        verdict.dwError != 0) {
        TraceLog("TlsChannel::Start - the server certificate is not valid for '%s', error 0x%08X.\n",
                 serverName.c_str(), static_cast<unsigned>(verdict.dwError));
        return false;
    }
    return true;
}

bool TlsChannel::Send(SOCKET socket, const char* data, std::size_t size)
{
    std::vector<char> record(m_sizes.cbHeader + m_sizes.cbMaximumMessage + m_sizes.cbTrailer);
    bool ok = m_haveContext && m_sizes.cbMaximumMessage > 0;
    for (std::size_t sent = 0; ok && sent < size;) {
        const ULONG chunk = static_cast<ULONG>(std::min<std::size_t>(size - sent, m_sizes.cbMaximumMessage));
        char* header = record.data();
        std::memcpy(header + m_sizes.cbHeader, data + sent, chunk);
        SecBuffer buffers[4] = {{m_sizes.cbHeader, SECBUFFER_STREAM_HEADER, header},
                                {chunk, SECBUFFER_DATA, header + m_sizes.cbHeader},
                                {m_sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, header + m_sizes.cbHeader + chunk},
                                {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc description = {SECBUFFER_VERSION, 4, buffers};
        const SECURITY_STATUS status = EncryptMessage(&m_context, 0, &description, 0);
        if (status != SEC_E_OK) {
            TraceLog("TlsChannel::Send - EncryptMessage failed, 0x%08X.\n", static_cast<unsigned>(status));
            ok = false;
            break;
        }
        ok = SendAll(socket, header, buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer);
        sent += chunk;
    }
    // The text may be a password; what is left of it in the record store goes.
    SecureZeroMemory(record.data(), record.size());
    return ok;
}

int TlsChannel::Receive(SOCKET socket, char* into, std::size_t room, bool& closed)
{
    closed = false;
    if (!HasPending()) {
        m_plain.clear();
        m_plainRead = 0;
        if (m_ended) {
            closed = true;
            WSASetLastError(WSAECONNRESET);
            return -1;
        }
        if (m_incoming.size() > kMaxRecordBytes) {
            TraceLog("TlsChannel::Receive - %u bytes without a complete record.\n",
                     static_cast<unsigned>(m_incoming.size()));
            WSASetLastError(WSAEMSGSIZE);
            return -1;
        }
        char chunk[16 * 1024];
        const int got = recv(socket, chunk, sizeof chunk, 0);
        if (got == 0) {
            closed = true;
            WSASetLastError(WSAECONNRESET);
            return -1;
        }
        if (got == SOCKET_ERROR)
            return -1;
        m_incoming.insert(m_incoming.end(), chunk, chunk + got);
        if (!DecryptRecords(socket, closed)) {
            WSASetLastError(WSAECONNABORTED);
            return -1;
        }
        if (!HasPending()) {
            if (!m_ended)
                return 0;
            closed = true;
            WSASetLastError(WSAECONNRESET);
            return -1;
        }
    }
    const std::size_t count = std::min(room, m_plain.size() - m_plainRead);
    std::memcpy(into, m_plain.data() + m_plainRead, count);
    m_plainRead += count;
    return static_cast<int>(count);
}

bool TlsChannel::DecryptRecords(SOCKET socket, bool& closed)
{
    while (!m_incoming.empty() && !m_ended) {
        SecBuffer buffers[4] = {{static_cast<ULONG>(m_incoming.size()), SECBUFFER_DATA, m_incoming.data()},
                                {0, SECBUFFER_EMPTY, nullptr},
                                {0, SECBUFFER_EMPTY, nullptr},
                                {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc description = {SECBUFFER_VERSION, 4, buffers};
        const SECURITY_STATUS status = DecryptMessage(&m_context, &description, 0, nullptr);
        if (status == SEC_E_INCOMPLETE_MESSAGE)
            return true;
        if (status == SEC_I_CONTEXT_EXPIRED) {   // the server's close_notify
            m_ended = true;
            m_incoming.clear();
            return true;
        }
        if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE) {
            TraceLog("TlsChannel::Receive - DecryptMessage failed, 0x%08X.\n", static_cast<unsigned>(status));
            closed = false;
            return false;
        }
        std::vector<char> extra;
        for (const SecBuffer& buffer : buffers) {
            if (buffer.BufferType == SECBUFFER_DATA && buffer.cbBuffer > 0)
                m_plain.append(static_cast<const char*>(buffer.pvBuffer), buffer.cbBuffer);
            else if (buffer.BufferType == SECBUFFER_EXTRA && buffer.cbBuffer > 0)
                extra.assign(static_cast<const char*>(buffer.pvBuffer),
                             static_cast<const char*>(buffer.pvBuffer) + buffer.cbBuffer);
        }
        m_incoming.swap(extra);
        SecureZeroMemory(extra.data(), extra.size());
        // The server starts a handshake again (or, in TLS 1.3, sends its session tickets).
        if (status == SEC_I_RENEGOTIATE && !Handshake(socket, GetTickCount() + kRenegotiateTimeoutMs, true))
            return false;
    }
    return true;
}

}  // namespace wisp_mail
