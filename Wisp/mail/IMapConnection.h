// A small blocking IMAP client that counts the unseen messages of a mailbox's inbox: it logs
// in, selects the inbox read-only and fetches every message's flags.
#pragma once

#include "Wisp/mail/Pop3Connection.h"

class CIMapConnection : public CPop3Connection {
public:
    CIMapConnection() = default;
    ~CIMapConnection() override;

    bool Disconnect() override;
    // Logs in and counts the inbox's unseen messages.
    bool Connect(const std::string& server, const std::string& user, const std::string& password,
                 unsigned short port) override;
    // count: the unseen messages counted by Connect; size: 0.
    bool Statistics(uint32_t& count, uint32_t& size) override;
    // False for a completion "? NO" or "? BAD".
    bool IsResponseOK(const char* text) override;

    // The unseen messages in a FETCH answer: every line but the tagged completion that does
    // not carry \Seen; 0 unless the answer starts with the first message.
    static uint32_t CountUnseen(const std::string& fetchResponse);
    // An IMAP quoted string: the text in double quotes, backslash and quote escaped.
    static std::string Quote(const std::string& text);
    // The last Connect failed because the server refused the LOGIN (not for a broken
    // connection, a time-out or a later command).
    bool LoginRefused() const { return m_bLoginRefused; }

protected:
    bool SecureBeforeLogin(const std::string& server) override;

private:
    static std::size_t QuotedLength(const std::string& text);
    static void AppendQuoted(std::string& to, const std::string& text);
    // Sends a tagged command and reads its answer up to the tagged completion line.
    bool SendToServer(const std::string& command, std::string& response);
    bool ReadTaggedResponse(std::string& response);

    bool m_bLoginRefused = false;
};
