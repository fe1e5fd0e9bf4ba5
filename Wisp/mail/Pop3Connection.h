// A small blocking POP3 client over Windows sockets. It is also the base of the IMAP client,
// which shares the socket, the connection and the reading of responses.
#pragma once

#include <winsock2.h>

#include "Wisp/mail/MailResponse.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace wisp_mail {
class TlsChannel;
}

class CPop3Connection {
public:
    CPop3Connection();
    virtual ~CPop3Connection();
    CPop3Connection(const CPop3Connection&) = delete;
    CPop3Connection& operator=(const CPop3Connection&) = delete;

    // The virtual operations, in this order.
    virtual bool Disconnect();
    virtual bool Connect(const std::string& server, const std::string& user,
                         const std::string& password, unsigned short port);
    virtual bool Statistics(uint32_t& count, uint32_t& size);
    virtual bool ReadStatResponse(std::string& text);
    // One line of answer; the text read is handed back whether or not the read succeeded.
    virtual bool ReadCommandResponse(std::string& text);
    // Reads until the terminator arrives or the read time-out passes. The text is in buffer,
    // or in bigBuffer once it outgrew buffer; bigBufferSize is the step that store grows by.
    virtual bool ReadResponse(char* buffer, std::size_t bufferSize, const char* terminator,
                              std::unique_ptr<char[]>& bigBuffer, std::size_t bigBufferSize);
    virtual bool IsResponseOK(const char* text);

    bool Reset();       // RSET
    bool KeepAlive();   // NOOP

    void SetReadTimeout(uint32_t milliseconds) { m_dwReadTimeout = milliseconds; }
    uint32_t GetReadTimeout() const { return m_dwReadTimeout; }
    uint32_t GetMessageCount() const { return m_uMessageCount; }
    bool IsConnected() const { return m_bConnected; }
    const std::string& GetLastResponse() const { return m_strLastResponse; }

    // Longest response kept; a longer one fails instead of exhausting memory.
    static const std::size_t kMaxResponseLength = 16 * 1024 * 1024;

protected:
    using ResponseEnd = mail_response::End;

    // The TCP connection and the greeting, shared by both protocols.
    bool OpenConnection(const std::string& server, unsigned short port);
    bool SendText(const std::string& text);
    // Upgrades to TLS where the server's capabilities offer it, before any credential goes;
    // false (nothing sent) when the server takes no log-in in clear and offers no upgrade.
    virtual bool SecureBeforeLogin(const std::string& server);
    // TLS from here on, the certificate checked against server.
    bool StartTls(const std::string& server);
    void CloseSocket();
    bool SendAndReadAnswer(const char* command, const char* sendFailure);
    bool Receive(char* buffer, std::size_t bufferSize, const char* terminator, ResponseEnd end,
                 std::unique_ptr<char[]>& bigBuffer, std::size_t bigBufferSize);
    // CR, LF and NUL would end the command line early and let the rest pass as commands.
    static bool IsSafeCommandArgument(const std::string& text);

    SOCKET m_hSocket = INVALID_SOCKET;
    std::unique_ptr<wisp_mail::TlsChannel> m_tls;
    uint32_t m_uMessageCount = 0;
    bool m_bConnected = false;
    std::string m_strLastResponse;
    uint32_t m_dwReadTimeout = 2000;
};
