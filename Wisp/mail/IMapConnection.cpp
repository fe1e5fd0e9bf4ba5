#include "Wisp/mail/IMapConnection.h"

#include "common/SecretText.h"
#include "common/TraceLog.h"

#include <cstdlib>
#include <cstring>

namespace {

const std::size_t kCommandBufferSize = 4096;
const std::size_t kBigBufferSize = 4096;

}  // namespace

CIMapConnection::~CIMapConnection()
{
    if (m_bConnected)
        CIMapConnection::Disconnect();
}

bool CIMapConnection::Disconnect()
{
    bool ok = false;
    if (m_bConnected) {
        std::string response;
        ok = SendToServer("? LOGOUT\r\n", response);
        if (!ok)
            TraceLog("CIMapConnection::Disconnect failed to disconnect\n");
    } else {
        TraceLog("CIMapConnection::Disconnect already disconnected\n");
    }
    m_bConnected = false;
    CloseSocket();
    return ok;
}

bool CIMapConnection::Connect(const std::string& server, const std::string& user,
                              const std::string& password, unsigned short port)
{
    m_uMessageCount = 0;
    m_bLoginRefused = false;
    if (!IsSafeCommandArgument(user) || !IsSafeCommandArgument(password)) {
        TraceLog("CIMapConnection::Connect - the user name or password holds CR, LF or NUL; "
                 "not sent.\n");
        return false;
    }
    if (!OpenConnection(server, port))
        return false;
    if (!SecureBeforeLogin(server)) {
        Disconnect();
        return false;
    }

    std::string response;
    // The line carries the password: it is built in one store of its final size (a growing
    // store would leave copies behind) and wiped once sent.
    std::string login;
    login.reserve(std::strlen("? LOGIN ") + QuotedLength(user) + 1 + QuotedLength(password) + 2);
    login += "? LOGIN ";
    AppendQuoted(login, user);
    login += ' ';
    AppendQuoted(login, password);
    login += "\r\n";
    const bool loggedIn = SendToServer(login, response);
    WipeSecret(login);
    if (!loggedIn) {
        // Only the server's refusal says the credentials are wrong; a broken read does not.
        m_bLoginRefused = WSAGetLastError() == WSAEPROTONOSUPPORT;
        TraceLog("Failed to log into the IMAP server\n");
        Disconnect();
        return false;
    }
    if (!SendToServer("? EXAMINE Inbox\r\n", response)) {
        TraceLog("Failed to select the inbox\n");
        Disconnect();
        return false;
    }
    // "1:*" names no message in an empty mailbox and servers refuse it: nothing to fetch.
    if (mail_response::ExistingMessages(response) == 0)
        return true;
    if (!SendToServer("? FETCH 1:* FLAGS\r\n", response)) {
        TraceLog("Failed to get new messages\n");
        Disconnect();
        return false;
    }
    m_uMessageCount = CountUnseen(response);
    return true;
}

bool CIMapConnection::SecureBeforeLogin(const std::string& server)
{
    // Most servers name their capabilities in the greeting; the others are asked.
    std::string capabilities = GetLastResponse();
    if (!mail_response::ImapHasCapability(capabilities, "IMAP4rev1") &&
        !mail_response::ImapHasCapability(capabilities, "IMAP4rev2") &&
        !SendToServer("? CAPABILITY\r\n", capabilities))
        return false;
    if (mail_response::ImapHasCapability(capabilities, "STARTTLS")) {
        std::string response;
        if (!SendToServer("? STARTTLS\r\n", response)) {
            TraceLog("CIMapConnection::Connect - the server refused STARTTLS; nothing sent.\n");
            return false;
        }
        return StartTls(server);
    }
    if (mail_response::ImapHasCapability(capabilities, "LOGINDISABLED")) {
        TraceLog("CIMapConnection::Connect - the server offers no TLS and accepts no log-in without it; "
                 "nothing sent.\n");
        return false;
    }
    return true;
}

bool CIMapConnection::Statistics(uint32_t& count, uint32_t& size)
{
    count = m_uMessageCount;
    size = 0;
    return true;
}

bool CIMapConnection::IsResponseOK(const char* text)
{
    return mail_response::IsImapOk(text);
}

uint32_t CIMapConnection::CountUnseen(const std::string& fetchResponse)
{
    return mail_response::CountUnseen(fetchResponse);
}

std::string CIMapConnection::Quote(const std::string& text)
{
    std::string quoted;
    quoted.reserve(QuotedLength(text));
    AppendQuoted(quoted, text);
    return quoted;
}

std::size_t CIMapConnection::QuotedLength(const std::string& text)
{
    std::size_t length = 2;
    for (char c : text)
        length += c == '\\' || c == '"' ? 2 : 1;
    return length;
}

void CIMapConnection::AppendQuoted(std::string& to, const std::string& text)
{
    to += '"';
    for (char c : text) {
        if (c == '\\' || c == '"')
            to += '\\';
        to += c;
    }
    to += '"';
}

bool CIMapConnection::SendToServer(const std::string& command, std::string& response)
{
    response.clear();
    if (!SendText(command)) {
        TraceLog("CIMapConnection::SendToServer failed on message send \n");
        return false;
    }
    if (!ReadTaggedResponse(response)) {
        // A refusal arrives complete and is worth showing; anything else is a broken read.
        const int error = WSAGetLastError();
        if (error == WSAEPROTONOSUPPORT)
            TraceLog("CIMapConnection::SendToServer failed, error %s\n", response.c_str());
        else
            TraceLog("CIMapConnection::SendToServer, couldn't read response\n");
        WSASetLastError(error);   // the caller tells a refusal by it
        return false;
    }
    return true;
}

bool CIMapConnection::ReadTaggedResponse(std::string& response)
{
    char buffer[kCommandBufferSize];
    std::unique_ptr<char[]> big;
    const bool ok =
        Receive(buffer, sizeof buffer, "", ResponseEnd::TaggedLine, big, kBigBufferSize);
    const int error = WSAGetLastError();   // tells a refusal from a broken read
    response = big ? big.get() : buffer;
    WSASetLastError(error);
    return ok;
}
