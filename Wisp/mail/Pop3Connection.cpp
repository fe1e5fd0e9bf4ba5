#include "Wisp/mail/Pop3Connection.h"

#include "Wisp/mail/TlsChannel.h"
#include "Wisp/mail/Winsock.h"
#include "common/ModuleThread.h"
#include "common/SecretText.h"
#include "common/TraceLog.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace {

const std::size_t kCommandBufferSize = 4096;
const std::size_t kBigBufferSize = 4096;
const std::size_t kStatBufferSize = 100;
// Longest single wait for the socket to become readable while a response is awaited.
const DWORD kPollMilliseconds = 250;

// The system's own waits are longer than a mail check may take (a connect gives up after
// about 21 s, a slow resolver later still).
const DWORD kResolveTimeoutMs = 10000;
const DWORD kConnectTimeoutMs = 10000;
// The TLS handshake gets as long as the connection.
const DWORD kTlsTimeoutMs = 10000;

// A name looked up on a thread of its own, so that the asker can stop waiting. Whichever of
// the two lets go last frees it.
struct NameLookup {
    std::string server;
    in_addr address = {};
    bool found = false;
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    LONG holders = 2;
    ~NameLookup()
    {
        if (done)
            CloseHandle(done);
    }
    void Release()
    {
        if (InterlockedDecrement(&holders) == 0)
            delete this;
    }
};

DWORD LookUpName(void* parameter)
{
    auto* lookup = static_cast<NameLookup*>(parameter);
    addrinfo hints = {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    if (getaddrinfo(lookup->server.c_str(), nullptr, &hints, &found) == 0 && found) {
        lookup->address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
        lookup->found = true;
    }
    if (found)
        freeaddrinfo(found);
    SetEvent(lookup->done);
    lookup->Release();
    return 0;
}

// A dotted address as it is, else the host name's first IPv4 address, looked up within
// kResolveTimeoutMs.
bool ResolveServer(const std::string& server, in_addr& address)
{
    const unsigned long dotted = inet_addr(server.c_str());
    if (dotted != INADDR_NONE || server == "255.255.255.255") {
        address.s_addr = dotted;
        return true;
    }
    if (server.empty())
        return false;
    auto* lookup = new (std::nothrow) NameLookup;
    if (!lookup || !lookup->done) {
        delete lookup;
        return false;
    }
    lookup->server = server;
    HANDLE thread = StartModuleThread(&LookUpName, lookup);
    if (!thread) {
        delete lookup;
        return false;
    }
    CloseHandle(thread);
    bool found = false;
    if (WaitForSingleObject(lookup->done, kResolveTimeoutMs) == WAIT_OBJECT_0) {
        found = lookup->found;
        address = lookup->address;
    } else {
        TraceLog("CPop3Connection::Connect - looking up '%s' timed out after %u ms.\n", server.c_str(),
                 static_cast<unsigned>(kResolveTimeoutMs));
    }
    lookup->Release();
    return found;
}

// connect within kConnectTimeoutMs: SOCKET_ERROR with the error set (WSAETIMEDOUT when the
// time ran out), else 0. The socket is blocking again afterwards.
int ConnectWithin(SOCKET socket, const sockaddr_in& address)
{
    u_long nonBlocking = 1;
    if (ioctlsocket(socket, FIONBIO, &nonBlocking) == SOCKET_ERROR)
        return SOCKET_ERROR;
    int result = connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    int error = result == SOCKET_ERROR ? WSAGetLastError() : 0;
    if (result == SOCKET_ERROR && error == WSAEWOULDBLOCK) {
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(socket, &writable);
        FD_SET(socket, &failed);
        timeval wait = {static_cast<long>(kConnectTimeoutMs / 1000), 0};
        const int ready = select(0, nullptr, &writable, &failed, &wait);
        if (ready == 0) {
            TraceLog("CPop3Connection::Connect - the connection timed out after %u ms.\n",
                     static_cast<unsigned>(kConnectTimeoutMs));
            error = WSAETIMEDOUT;
        } else if (ready == SOCKET_ERROR) {
            error = WSAGetLastError();
        } else if (FD_ISSET(socket, &failed)) {
            int soError = 0;
            int length = sizeof soError;
            getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &length);
            error = soError ? soError : WSAECONNREFUSED;
        } else {
            error = 0;
        }
        result = error ? SOCKET_ERROR : 0;
    }
    nonBlocking = 0;
    if (ioctlsocket(socket, FIONBIO, &nonBlocking) == SOCKET_ERROR && result == 0) {
        error = WSAGetLastError();
        result = SOCKET_ERROR;
    }
    WSASetLastError(error);
    return result;
}

}  // namespace

CPop3Connection::CPop3Connection()
{
    const int error = wisp_mail::StartWinsockOnce();
    if (error != 0)
        TraceLog("CPop3Connection::CPop3Connection - WSAStartup failed, error %d\n", error);
}

CPop3Connection::~CPop3Connection()
{
    if (m_bConnected)
        CPop3Connection::Disconnect();
    CloseSocket();
}

bool CPop3Connection::Disconnect()
{
    if (!m_bConnected) {
        TraceLog("CPop3Connection, Already disconnected\n");
        CloseSocket();
        return false;
    }
    bool ok = true;
    if (!SendText("QUIT\r\n")) {
        TraceLog("Failed to send the QUIT command to the POP3 server\n");
        ok = false;
    } else {
        std::string text;
        if (!ReadCommandResponse(text)) {
            TraceLog("Failed while connected to read a QUIT command response from the POP3 server\n");
            ok = false;
        }
    }
    m_bConnected = false;
    CloseSocket();
    return ok;
}

bool CPop3Connection::Connect(const std::string& server, const std::string& user,
                              const std::string& password, unsigned short port)
{
    if (!IsSafeCommandArgument(user) || !IsSafeCommandArgument(password)) {
        TraceLog("CPop3Connection::Connect - the user name or password holds CR, LF or NUL; "
                 "not sent.\n");
        return false;
    }
    if (!OpenConnection(server, port))
        return false;
    if (!SecureBeforeLogin(server)) {
        Disconnect();
        return false;
    }

    std::string text;
    if (!SendText("USER " + user + "\r\n")) {
        TraceLog("Failed to send the USER command to the POP3 server\n");
        Disconnect();
        return false;
    }
    if (!ReadCommandResponse(text)) {
        TraceLog("Failed while connected to read a USER command response from the POP3 server\n");
        Disconnect();
        return false;
    }
    // The line carries the password: one store of its final size, wiped once sent.
    std::string pass;
    pass.reserve(5 + password.size() + 2);
    pass += "PASS ";
    pass += password;
    pass += "\r\n";
    const bool sent = SendText(pass);
    WipeSecret(pass);
    if (!sent) {
        TraceLog("Failed to send the PASS command to the POP3 server\n");
        Disconnect();
        return false;
    }
    if (!ReadCommandResponse(text)) {
        TraceLog("Failed while connected to read a PASS command response from the POP3 server\n");
        Disconnect();
        return false;
    }
    return true;
}

bool CPop3Connection::Statistics(uint32_t& count, uint32_t& size)
{
    if (!SendText("STAT\r\n")) {
        TraceLog("Failed to send the STAT command to the POP3 server\n");
        return false;
    }
    std::string text;
    if (!ReadStatResponse(text)) {
        TraceLog("Error retrieving the STAT response from the POP3 server");
        return false;
    }
    uint32_t messages = 0, bytes = 0;
    if (!mail_response::ParseStat(text.c_str(), messages, bytes)) {
        TraceLog("POP3 server did not respond correctly to the STAT response\n");
        return false;
    }
    m_uMessageCount = messages;
    count = messages;
    size = bytes;
    return true;
}

bool CPop3Connection::ReadStatResponse(std::string& text)
{
    char buffer[kStatBufferSize];
    std::unique_ptr<char[]> big;
    const bool ok = ReadResponse(buffer, sizeof buffer, "\r\n", big, kBigBufferSize);
    text = big ? big.get() : buffer;
    return ok;
}

bool CPop3Connection::ReadCommandResponse(std::string& text)
{
    char buffer[kCommandBufferSize];
    std::unique_ptr<char[]> big;
    const bool ok = ReadResponse(buffer, sizeof buffer, "\r\n", big, kBigBufferSize);
    text = big ? big.get() : buffer;
    return ok;
}

bool CPop3Connection::ReadResponse(char* buffer, std::size_t bufferSize, const char* terminator,
                                   std::unique_ptr<char[]>& bigBuffer, std::size_t bigBufferSize)
{
    return Receive(buffer, bufferSize, terminator, ResponseEnd::Terminator, bigBuffer,
                   bigBufferSize);
}

bool CPop3Connection::IsResponseOK(const char* text)
{
    return mail_response::IsPop3Ok(text);
}

bool CPop3Connection::Reset()
{
    return SendAndReadAnswer("RSET\r\n", "Failed to send the RSET command to the POP3 server\n");
}

bool CPop3Connection::KeepAlive()
{
    return SendAndReadAnswer("NOOP\r\n", "Failed to send the NOOP command to the POP3 server\n");
}

bool CPop3Connection::OpenConnection(const std::string& server, unsigned short port)
{
    if (m_bConnected)
        Disconnect();
    CloseSocket();

    const int startError = wisp_mail::StartWinsockOnce();
    if (startError != 0)
        TraceLog("CPop3Connection::Connect - WSAStartup failed, error %d\n", startError);
    m_hSocket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (m_hSocket == INVALID_SOCKET) {
        TraceLog("Failed to create client socket, GetLastError:%d\n", WSAGetLastError());
        return false;
    }

    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    bool connected = false;
    if (!ResolveServer(server, address.sin_addr))
        WSASetLastError(WSAEINVAL);
    else
        connected = ConnectWithin(m_hSocket, address) != SOCKET_ERROR;
    if (!connected) {
        const int error = WSAGetLastError();
        TraceLog("Could not connect to the POP3 mailbox, GetLastError:%d\n", error);
        CloseSocket();
        WSASetLastError(error);
        return false;
    }

    m_bConnected = true;
    std::string greeting;
    if (!ReadCommandResponse(greeting)) {
        TraceLog("Failed while connected to read a command response from the POP3 server\n");
        Disconnect();
        return false;
    }
    return true;
}

bool CPop3Connection::SendText(const std::string& text)
{
    if (m_hSocket == INVALID_SOCKET) {
        WSASetLastError(WSAENOTSOCK);
        return false;
    }
    return m_tls ? m_tls->Send(m_hSocket, text.data(), text.size())
                 : wisp_mail::SendAll(m_hSocket, text.data(), text.size());
}

bool CPop3Connection::SecureBeforeLogin(const std::string& server)
{
    if (!SendText("CAPA\r\n")) {
        TraceLog("Failed to send the CAPA command to the POP3 server\n");
        return false;
    }
    char buffer[kCommandBufferSize];
    std::unique_ptr<char[]> big;
    if (!Receive(buffer, sizeof buffer, "\r\n.\r\n", ResponseEnd::MultiLine, big, kBigBufferSize)) {
        // A server that lists no capabilities is an older one: it is spoken to as before.
        return WSAGetLastError() == WSAEPROTONOSUPPORT;
    }
    const std::string capabilities = big ? big.get() : buffer;
    if (mail_response::Pop3HasCapability(capabilities, "STLS")) {
        std::string answer;
        if (!SendText("STLS\r\n") || !ReadCommandResponse(answer)) {
            TraceLog("CPop3Connection::Connect - the server refused STLS; nothing sent.\n");
            return false;
        }
        return StartTls(server);
    }
    if (!mail_response::Pop3HasCapability(capabilities, "USER")) {
        TraceLog("CPop3Connection::Connect - the server offers no TLS and accepts no log-in without it; "
                 "nothing sent.\n");
        return false;
    }
    return true;
}

bool CPop3Connection::StartTls(const std::string& server)
{
    auto channel = std::make_unique<wisp_mail::TlsChannel>();
    if (!channel->Start(m_hSocket, server, kTlsTimeoutMs)) {
        TraceLog("CPop3Connection::Connect - no TLS with '%s'; no credentials sent.\n", server.c_str());
        // Half a handshake leaves nothing to say goodbye over.
        m_bConnected = false;
        CloseSocket();
        WSASetLastError(WSAECONNABORTED);
        return false;
    }
    m_tls = std::move(channel);
    return true;
}

void CPop3Connection::CloseSocket()
{
    m_tls.reset();
    if (m_hSocket != INVALID_SOCKET) {
        closesocket(m_hSocket);
        m_hSocket = INVALID_SOCKET;
    }
}

bool CPop3Connection::SendAndReadAnswer(const char* command, const char* sendFailure)
{
    if (!SendText(command)) {
        TraceLog("%s", sendFailure);
        return false;
    }
    std::string text;
    return ReadCommandResponse(text);
}

bool CPop3Connection::Receive(char* buffer, std::size_t bufferSize, const char* terminator,
                              ResponseEnd end, std::unique_ptr<char[]>& bigBuffer,
                              std::size_t bigBufferSize)
{
    bigBuffer.reset();
    m_strLastResponse.clear();
    if (!buffer) {
        TraceLog("CPop3Connection::ReadResponse - buffer is NULL.\n");
        return false;
    }
    if (bufferSize < 2) {
        TraceLog("CPop3Connection::ReadResponse - a buffer of %u bytes holds no text.\n",
                 static_cast<unsigned>(bufferSize));
        if (bufferSize > 0)
            buffer[0] = '\0';
        return false;
    }
    buffer[0] = '\0';
    if (!terminator || (end == ResponseEnd::Terminator && !*terminator)) {
        TraceLog("CPop3Connection::ReadResponse - terminator is NULL.\n");
        return false;
    }
    if (m_hSocket == INVALID_SOCKET) {
        TraceLog("CPop3Connection::ReadResponse - no connection.\n");
        WSASetLastError(WSAENOTCONN);
        return false;
    }

    mail_response::EndScanner scanner(end, terminator);
    char* text = buffer;
    std::size_t capacity = bufferSize;
    std::size_t length = 0;
    const DWORD start = GetTickCount();
    auto keep = [&] { m_strLastResponse.assign(text, length); };

    for (;;) {
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed > m_dwReadTimeout) {
            keep();
            TraceLog("CPop3Connection::ReadResponse - no complete response within %u ms.\n",
                     static_cast<unsigned>(m_dwReadTimeout));
            WSASetLastError(WSAETIMEDOUT);
            return false;
        }
        // Waiting on the socket takes the answer the moment it arrives; a step ends no later
        // than the moment the time-out passes.
        const DWORD remaining = m_dwReadTimeout - elapsed;
        const DWORD step = remaining < kPollMilliseconds ? remaining + 1 : kPollMilliseconds;
        const int ready = m_tls && m_tls->HasPending() ? 1 : wisp_mail::WaitReadable(m_hSocket, step);
        if (ready == SOCKET_ERROR) {
            const int error = WSAGetLastError();
            keep();
            TraceLog("CPop3Connection::ReadResponse - select failed, error %d\n", error);
            WSASetLastError(error);
            return false;
        }
        if (ready == 0)
            continue;

        if (length + 1 >= capacity) {
            // The store is full: go on in a larger heap buffer that starts with the text so far.
            if (capacity > kMaxResponseLength) {
                keep();
                TraceLog("CPop3Connection::ReadResponse - response longer than %u bytes.\n",
                         static_cast<unsigned>(kMaxResponseLength));
                WSASetLastError(WSAEMSGSIZE);
                return false;
            }
            const std::size_t grown = capacity + std::max(bigBufferSize, capacity);
            std::unique_ptr<char[]> larger(new (std::nothrow) char[grown]);
            if (!larger) {
                keep();
                TraceLog("CPop3Connection::ReadResponse - no memory for %u bytes.\n",
                         static_cast<unsigned>(grown));
                WSASetLastError(WSA_NOT_ENOUGH_MEMORY);
                return false;
            }
            std::memcpy(larger.get(), text, length + 1);
            bigBuffer = std::move(larger);
            text = bigBuffer.get();
            capacity = grown;
        }

        const int room = static_cast<int>(std::min<std::size_t>(capacity - length - 1, INT_MAX));
        bool closed = false;
        int received = 0;
        if (m_tls) {
            received = m_tls->Receive(m_hSocket, text + length, static_cast<std::size_t>(room), closed);
            if (received == 0)
                continue;   // a record not yet complete
        } else {
            received = recv(m_hSocket, text + length, room, 0);
            closed = received == 0;
        }
        if (received == SOCKET_ERROR || closed) {
            const int error = closed ? WSAECONNRESET : WSAGetLastError();
            keep();
            if (closed)
                TraceLog("CPop3Connection::ReadResponse - the server closed the connection.\n");
            else
                TraceLog("CPop3Connection::ReadResponse - recv failed, error %d\n", error);
            WSASetLastError(error);
            return false;
        }
        const std::size_t before = length;
        length += static_cast<std::size_t>(received);
        text[length] = '\0';

        const bool complete = scanner.Scan(text, before, length);
        if (!complete)
            continue;

        length = scanner.Length();
        text[length] = '\0';
        keep();
        bool ok = IsResponseOK(text);
        if (end == ResponseEnd::TaggedLine)
            ok = ok && IsResponseOK(text + scanner.TaggedLine());
        if (!ok)
            WSASetLastError(WSAEPROTONOSUPPORT);   // 10043: the server refused
        return ok;
    }
}

bool CPop3Connection::IsSafeCommandArgument(const std::string& text)
{
    return text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}
