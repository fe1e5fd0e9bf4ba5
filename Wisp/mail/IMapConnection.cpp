#include "Wisp/mail/IMapConnection.h"

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
    if (!IsSafeCommandArgument(user) || !IsSafeCommandArgument(password)) {
        TraceLog("CIMapConnection::Connect - the user name or password holds CR, LF or NUL; "
                 "not sent.\n");
        return false;
    }
    if (!OpenConnection(server, port))
        return false;

    std::string response;
    if (!SendToServer("? LOGIN " + Quote(user) + " " + Quote(password) + "\r\n", response)) {
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
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"')
            quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    return quoted;
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
        if (WSAGetLastError() == WSAEPROTONOSUPPORT)
            TraceLog("CIMapConnection::SendToServer failed, error %s\n", response.c_str());
        else
            TraceLog("CIMapConnection::SendToServer, couldn't read response\n");
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
