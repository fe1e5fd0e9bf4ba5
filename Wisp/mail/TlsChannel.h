// The client side of TLS over a connected socket, through the system's Schannel (SSPI): the
// mail clients upgrade to it before they send credentials. The server's certificate must chain
// to a trusted root and name the server that was connected to.
#pragma once

#include <winsock2.h>
#include <windows.h>
#define SECURITY_WIN32
#include <schannel.h>
#include <security.h>

#include <cstddef>
#include <string>
#include <vector>

namespace wisp_mail {

class TlsChannel {
public:
    TlsChannel() = default;
    ~TlsChannel();
    TlsChannel(const TlsChannel&) = delete;
    TlsChannel& operator=(const TlsChannel&) = delete;

    // The handshake and the certificate check, within timeoutMs; false (traced) when either fails.
    bool Start(SOCKET socket, const std::string& serverName, DWORD timeoutMs);
    // Encrypts and sends all of data; the plain copy made for the encryption is wiped.
    bool Send(SOCKET socket, const char* data, std::size_t size);
    // Decrypted bytes, at most room of them: a count > 0; 0 when the bytes read so far end in
    // an incomplete record (wait until the socket is readable and call again); -1 when the
    // connection broke or the server closed it (closed says which; the socket error is set).
    int Receive(SOCKET socket, char* into, std::size_t room, bool& closed);
    // Decrypted bytes wait that the socket will not announce.
    bool HasPending() const { return m_plainRead < m_plain.size(); }

private:
    bool Handshake(SOCKET socket, DWORD deadline, bool withToken);
    bool CheckServerCertificate(const std::string& serverName);
    // Decrypts every complete record read so far into m_plain; false once the stream is over.
    bool DecryptRecords(SOCKET socket, bool& closed);

    CredHandle m_credentials = {};
    CtxtHandle m_context = {};
    bool m_haveCredentials = false;
    bool m_haveContext = false;
    SecPkgContext_StreamSizes m_sizes = {};
    std::vector<char> m_incoming;   // ciphertext not yet decrypted
    std::string m_plain;            // decrypted, not yet handed out from m_plainRead on
    std::size_t m_plainRead = 0;
    bool m_ended = false;   // the server closed the TLS stream
    std::wstring m_target;
};

}  // namespace wisp_mail
