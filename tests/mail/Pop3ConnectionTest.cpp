// The POP3 client and the response reading it shares with IMAP: against a scripted server for
// the shapes a real server will not produce on demand, and against the private Dovecot.
#include "Wisp/mail/Pop3Connection.h"
#include "tests/mail/MailTestSupport.h"
#include "tests/mail/ScriptedServer.h"
#include "tests/support/FreedMemory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using mail_testing::ChildScenarioRegistration;
using mail_testing::ChildTrace;
using mail_testing::Report;
using mail_testing::RunTracedChild;
using mail_testing::ScriptedServer;

namespace {

// Reaches the connection and reading steps on their own.
class Pop3Probe : public CPop3Connection {
public:
    using CPop3Connection::OpenConnection;
    using CPop3Connection::SendText;
};

const char kGreeting[] = "+OK scripted POP3 ready\r\n";
// An older server: it lists no capabilities and is spoken to in clear.
const char kNoCapa[] = "-ERR unknown command\r\n";

// Greeting, then the given STAT answer; QUIT is answered too.
void ScriptStat(ScriptedServer& server, const std::string& statAnswer)
{
    server.Send(kGreeting).Expect().Send(statAnswer).Expect().Send("+OK bye\r\n");
}

struct StatCase {
    const char* answer;
    bool ok;
    uint32_t count;
    uint32_t size;
};

TEST(Pop3Connection, StatAnswerGivesCountAndSize)
{
    const StatCase cases[] = {
        {"+OK 7 12345\r\n", true, 7, 12345},
        {"+ok\t3\t99\r\n", true, 3, 99},
        {"+OK 0 0\r\n", true, 0, 0},
        {"+OK 4294967295 1\r\n", true, 4294967295u, 1},
        {"-ERR mailbox locked\r\n", false, 0, 0},
        {"+OK\r\n", false, 0, 0},
        {"+OK 7\r\n", false, 0, 0},
        {"+OK seven 12\r\n", false, 0, 0},
        {"+OK -1 12\r\n", false, 0, 0},
        {"+OK 4294967296 1\r\n", false, 0, 0},
    };
    for (const StatCase& c : cases) {
        SCOPED_TRACE(c.answer);
        ScriptedServer server;
        ScriptStat(server, c.answer);
        ASSERT_TRUE(server.Start());
        {
            Pop3Probe pop3;
            ASSERT_TRUE(pop3.OpenConnection("127.0.0.1", server.Port()));
            uint32_t count = 99, size = 99;
            EXPECT_EQ(c.ok, pop3.Statistics(count, size));
            if (c.ok) {
                EXPECT_EQ(c.count, count);
                EXPECT_EQ(c.size, size);
                EXPECT_EQ(c.count, pop3.GetMessageCount());
            }
            EXPECT_TRUE(pop3.Disconnect());
        }
        ASSERT_TRUE(server.Finish());
        EXPECT_EQ((std::vector<std::string>{"STAT", "QUIT"}), server.Received());
    }
}

TEST(Pop3Connection, SessionCommandsAndQuitAtDestruction)
{
    ScriptedServer server;
    server.Send(kGreeting).Expect().Send(kNoCapa).Expect().Send("+OK\r\n").Expect().Send("+OK logged in\r\n")
        .Expect().Send("+OK reset\r\n").Expect().Send("+OK\r\n").Expect().Send("+OK bye\r\n");
    ASSERT_TRUE(server.Start());
    {
        CPop3Connection pop3;
        EXPECT_EQ(2000u, pop3.GetReadTimeout());
        ASSERT_TRUE(pop3.Connect("127.0.0.1", "reader", "secret", server.Port()));
        EXPECT_TRUE(pop3.IsConnected());
        EXPECT_TRUE(pop3.Reset());
        EXPECT_TRUE(pop3.KeepAlive());
    }
    ASSERT_TRUE(server.Finish());
    EXPECT_EQ((std::vector<std::string>{"CAPA", "USER reader", "PASS secret", "RSET", "NOOP", "QUIT"}),
              server.Received());
}

TEST(Pop3Connection, RefusedPasswordFailsAndQuits)
{
    ScriptedServer server;
    server.Send(kGreeting).Expect().Send(kNoCapa).Expect().Send("+OK\r\n").Expect().Send("-ERR wrong password\r\n")
        .Expect().Send("+OK bye\r\n");
    ASSERT_TRUE(server.Start());
    {
        CPop3Connection pop3;
        EXPECT_FALSE(pop3.Connect("127.0.0.1", "reader", "wrong", server.Port()));
        EXPECT_FALSE(pop3.IsConnected());
    }
    ASSERT_TRUE(server.Finish());
    EXPECT_EQ((std::vector<std::string>{"CAPA", "USER reader", "PASS wrong", "QUIT"}), server.Received());
}

TEST(Pop3Connection, NoUserNameGoesWhereLogInsNeedTlsAndNoneIsOffered)
{
    ScriptedServer server;
    server.Send(kGreeting).Expect().Send("+OK\r\nTOP\r\n").Pause(300).Send("SASL PLAIN\r\n.\r\n")
        .Expect().Send("+OK bye\r\n");
    ASSERT_TRUE(server.Start());
    {
        CPop3Connection pop3;
        EXPECT_FALSE(pop3.Connect("127.0.0.1", "reader", "secret", server.Port()));
    }
    ASSERT_TRUE(server.Finish());
    EXPECT_EQ((std::vector<std::string>{"CAPA", "QUIT"}), server.Received());
}

TEST(Pop3Connection, NoFreedBlockKeepsThePassword)
{
    const std::string password = "correct horse battery staple";   // too long for a string's inner store
    ScriptedServer server;
    server.Send(kGreeting).Expect().Send(kNoCapa).Expect().Send("+OK\r\n").Expect().Send("+OK\r\n").Expect().Send("+OK bye\r\n");
    ASSERT_TRUE(server.Start());
    {
        testing_support::FreedMemoryWatch watch(password);
        {
            CPop3Connection pop3;
            EXPECT_TRUE(pop3.Connect("127.0.0.1", "reader", password, server.Port()));
        }
        EXPECT_EQ(0, watch.NarrowHits());
    }
    ASSERT_TRUE(server.Finish());
    EXPECT_EQ((std::vector<std::string>{"CAPA", "USER reader", "PASS " + password, "QUIT"}), server.Received());
}

TEST(Pop3Connection, LineBreaksOrNulInCredentialsAreNeverSent)
{
    const std::vector<std::pair<std::string, std::string>> credentials = {
        {"reader\r\nDELE 1", "secret"},
        {"reader", "secret\nDELE 1"},
        {"reader", "sec\rret"},
        {"reader", std::string("sec\0ret", 7)},
    };
    for (const auto& c : credentials) {
        ScriptedServer server;
        server.Send(kGreeting);
        ASSERT_TRUE(server.Start());
        CPop3Connection pop3;
        EXPECT_FALSE(pop3.Connect("127.0.0.1", c.first, c.second, server.Port()));
        EXPECT_FALSE(pop3.IsConnected());
        EXPECT_EQ(0, server.Connections());
    }
}

TEST(Pop3Connection, ResponseLongerThanTheBufferContinuesInTheBigBuffer)
{
    const std::string longLine = "+OK " + std::string(6000, 'x');
    // 4,095 characters fill the 4,096-byte buffer exactly; the terminator follows later.
    const std::string exact = "+OK " + std::string(4091, 'y');
    ScriptedServer server;
    server.Send(kGreeting)
        .Expect().Send(longLine + "\r\n")
        .Expect().Send(exact).Pause(300).Send("\r\n")
        .Expect().Send("+OK split\r").Pause(300).Send("\n")
        .Expect().Send("+OK bye\r\n");
    ASSERT_TRUE(server.Start());
    Pop3Probe pop3;
    ASSERT_TRUE(pop3.OpenConnection("127.0.0.1", server.Port()));

    std::string text;
    ASSERT_TRUE(pop3.SendText("NOOP\r\n"));
    EXPECT_TRUE(pop3.ReadCommandResponse(text));
    EXPECT_EQ(longLine, text);
    EXPECT_EQ(longLine, pop3.GetLastResponse());

    ASSERT_TRUE(pop3.SendText("NOOP\r\n"));
    EXPECT_TRUE(pop3.ReadCommandResponse(text));
    EXPECT_EQ(exact, text);

    ASSERT_TRUE(pop3.SendText("NOOP\r\n"));
    EXPECT_TRUE(pop3.ReadCommandResponse(text));
    EXPECT_EQ("+OK split", text);
}

TEST(Pop3Connection, SmallBufferGrowsStepByStep)
{
    const std::string line = "+OK " + std::string(300, 'z');
    ScriptedServer server;
    server.Send(kGreeting).Expect().Send(line + "\r\n+OK next\r\n").Expect().Send("+OK bye\r\n");
    ASSERT_TRUE(server.Start());
    Pop3Probe pop3;
    ASSERT_TRUE(pop3.OpenConnection("127.0.0.1", server.Port()));
    ASSERT_TRUE(pop3.SendText("NOOP\r\n"));

    char buffer[16];
    std::unique_ptr<char[]> big;
    EXPECT_TRUE(pop3.ReadResponse(buffer, sizeof buffer, "\r\n", big, 8));
    ASSERT_NE(nullptr, big);
    // The response ends at its terminator; what came after it is not part of it.
    EXPECT_EQ(line, std::string(big.get()));
    EXPECT_EQ(line, pop3.GetLastResponse());
}

TEST(Pop3Connection, ResponseWithoutTerminatorFailsAfterTheReadTimeOut)
{
    // Bytes keep coming, but never a line end: the time-out counts from the start.
    ScriptedServer server;
    server.Send("+OK ").Trickle("x", 50);
    ASSERT_TRUE(server.Start());
    Pop3Probe pop3;
    pop3.SetReadTimeout(700);
    EXPECT_EQ(700u, pop3.GetReadTimeout());
    EXPECT_FALSE(pop3.OpenConnection("127.0.0.1", server.Port()));
    EXPECT_FALSE(pop3.IsConnected());
    const std::string last = pop3.GetLastResponse();
    EXPECT_EQ(0u, last.find("xxx")) << last;   // the partial answer to the QUIT
}

TEST(Pop3Connection, ServerClosingMidResponseFails)
{
    ScriptedServer server;
    server.Send("+OK half a gree").Close();
    ASSERT_TRUE(server.Start());
    Pop3Probe pop3;
    EXPECT_FALSE(pop3.OpenConnection("127.0.0.1", server.Port()));
    EXPECT_FALSE(pop3.IsConnected());
}

TEST(Pop3Connection, NoListenerOrNoAddressFailsToConnect)
{
    unsigned short port = 0;
    {
        ScriptedServer server;   // listens, then goes: nobody listens on the port afterwards
        ASSERT_TRUE(server.Start());
        port = server.Port();
    }

    CPop3Connection pop3;
    EXPECT_FALSE(pop3.Connect("127.0.0.1", "reader", "secret", port));
    EXPECT_FALSE(pop3.IsConnected());
    EXPECT_FALSE(pop3.Connect("", "reader", "secret", port));
    EXPECT_EQ(WSAEINVAL, WSAGetLastError());
}

TEST(Pop3Connection, ReadingWithoutConnectionOrBufferIsRefused)
{
    CPop3Connection pop3;
    std::string text = "stale";
    EXPECT_FALSE(pop3.ReadCommandResponse(text));
    EXPECT_EQ("", text);
    std::unique_ptr<char[]> big;
    EXPECT_FALSE(pop3.ReadResponse(nullptr, 100, "\r\n", big, 100));
    uint32_t count = 0, size = 0;
    EXPECT_FALSE(pop3.Statistics(count, size));
    EXPECT_FALSE(pop3.Disconnect());
}

// --- traces, read from a child ------------------------------------------------------------

ChildScenarioRegistration neverEnding("pop3-never-ending", [] {
    ScriptedServer server;
    server.Send("+OK ").Trickle("x", 50);
    server.Start();
    CPop3Connection pop3;
    pop3.SetReadTimeout(500);
    Report(pop3.Connect("127.0.0.1", "reader", "secret", server.Port()) ? "connected" : "failed");
});

TEST(Pop3ConnectionTrace, GreetingTimeOutIsTracedAndDisconnects)
{
    const ChildTrace trace = RunTracedChild("pop3-never-ending");
    ASSERT_TRUE(trace.finished);
    EXPECT_EQ((std::vector<std::string>{"failed"}), trace.results);
    const int timeOut = trace.IndexOf("CPop3Connection::ReadResponse - no complete response within 500 ms.\n");
    const int greeting =
        trace.IndexOf("Failed while connected to read a command response from the POP3 server\n");
    EXPECT_LE(0, timeOut) << trace.All();
    EXPECT_LT(timeOut, greeting) << trace.All();
    // The disconnection still says goodbye, and its answer times out as well.
    EXPECT_TRUE(trace.Has("Failed while connected to read a QUIT command response from the POP3 server\n"))
        << trace.All();
}

ChildScenarioRegistration badStat("pop3-bad-stat", [] {
    ScriptedServer server;
    ScriptStat(server, "-ERR no\r\n");
    server.Start();
    Pop3Probe pop3;
    pop3.OpenConnection("127.0.0.1", server.Port());
    uint32_t count = 0, size = 0;
    Report(pop3.Statistics(count, size) ? "counted" : "failed");
});

ChildScenarioRegistration refusedCredentials("pop3-refused-credentials", [] {
    CPop3Connection pop3;
    Report(pop3.Connect("127.0.0.1", "reader", "pass\r\nword", 110) ? "connected" : "failed");
});

// A listener whose queue is full takes no more connections: the system drops the next one's
// handshake and would retry it for about 21 s.
ChildScenarioRegistration fullQueue("pop3-full-queue", [] {
    CPop3Connection pop3;   // starts Winsock
    unsigned short port = 0;
    SOCKET listener = mail_testing::ListenOnLoopback(0, port);
    if (listener == INVALID_SOCKET) {
        Report("no listener");
        return;
    }
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    std::vector<SOCKET> queued;
    for (int i = 0; i < 4; ++i) {
        SOCKET waiting = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        u_long nonBlocking = 1;
        ioctlsocket(waiting, FIONBIO, &nonBlocking);
        connect(waiting, reinterpret_cast<sockaddr*>(&address), sizeof address);
        queued.push_back(waiting);
    }
    Sleep(200);
    const bool connected = pop3.Connect("127.0.0.1", "reader", "secret", port);
    Report(connected ? "connected" : "failed");
    Report(WSAGetLastError() == WSAETIMEDOUT ? "timed out" : "error " + std::to_string(WSAGetLastError()));
    for (SOCKET waiting : queued)
        closesocket(waiting);
    closesocket(listener);
});

TEST(Pop3ConnectionTrace, AConnectionNobodyAnswersGivesUpAfterTenSeconds)
{
    const ChildTrace trace = RunTracedChild("pop3-full-queue");
    ASSERT_TRUE(trace.finished);
    EXPECT_EQ((std::vector<std::string>{"failed", "timed out"}), trace.results) << trace.All();
    EXPECT_TRUE(trace.Has("CPop3Connection::Connect - the connection timed out after 10000 ms.\n")) << trace.All();
    EXPECT_TRUE(trace.Has("Could not connect to the POP3 mailbox, GetLastError:10060\n")) << trace.All();
}

TEST(Pop3ConnectionTrace, FailuresNameWhatFailed)
{
    ChildTrace trace = RunTracedChild("pop3-bad-stat");
    ASSERT_TRUE(trace.finished);
    EXPECT_EQ((std::vector<std::string>{"failed"}), trace.results);
    EXPECT_TRUE(trace.Has("Error retrieving the STAT response from the POP3 server")) << trace.All();

    trace = RunTracedChild("pop3-refused-credentials");
    ASSERT_TRUE(trace.finished);
    EXPECT_EQ((std::vector<std::string>{"failed"}), trace.results);
    EXPECT_TRUE(trace.Has("CPop3Connection::Connect - the user name or password holds CR, LF or "
                          "NUL; not sent.\n"))
        << trace.All();
}

// --- the private Dovecot -----------------------------------------------------------------

TEST(Pop3ConnectionDovecot, CountsTheMailboxAndLogsOut)
{
    const std::string host = mail_testing::MailHost();
    const unsigned short port = mail_testing::Pop3Port();
    const mail_testing::Account small = mail_testing::MailAccount("SMALL");
    ASSERT_FALSE(host.empty() || port == 0 || small.user.empty());

    CPop3Connection pop3;
    ASSERT_TRUE(pop3.Connect(host, small.user, small.password, port)) << pop3.GetLastResponse();
    uint32_t count = 0, size = 0;
    ASSERT_TRUE(pop3.Statistics(count, size)) << pop3.GetLastResponse();
    EXPECT_EQ(4u, count);
    EXPECT_LT(0u, size);
    EXPECT_TRUE(pop3.KeepAlive());
    EXPECT_TRUE(pop3.Disconnect());
    EXPECT_FALSE(pop3.IsConnected());

    CPop3Connection refused;
    EXPECT_FALSE(refused.Connect(host, small.user, small.password + "-wrong", port));
    EXPECT_FALSE(refused.IsConnected());
}

}  // namespace
