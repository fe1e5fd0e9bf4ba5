// The IMAP client: unseen counts and log-in handling against the private Dovecot, and the
// wire details (quoting, answers cut into pieces, refusals) against a scripted server.
#include "Wisp/mail/IMapConnection.h"
#include "tests/mail/MailTestSupport.h"
#include "tests/mail/ScriptedServer.h"
#include "tests/support/FreedMemory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using mail_testing::Account;
using mail_testing::ChildScenarioRegistration;
using mail_testing::ChildTrace;
using mail_testing::Report;
using mail_testing::RunTracedChild;
using mail_testing::ScriptedServer;

namespace {

const char kGreeting[] = "* OK [CAPABILITY IMAP4rev1 AUTH=PLAIN] scripted IMAP ready\r\n";
const char kLogout[] = "* BYE bye\r\n? OK Logout completed.\r\n";

// --- the private Dovecot -----------------------------------------------------------------

class IMapConnectionDovecot : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_host = mail_testing::MailHost();
        m_port = mail_testing::ImapPort();
        ASSERT_FALSE(m_host.empty() || m_port == 0);
    }

    // Logs in as the account and gives its unseen count; -1 when Connect fails.
    long long Unseen(const char* account)
    {
        const Account a = mail_testing::MailAccount(account);
        if (a.user.empty())
            return -2;
        CIMapConnection imap;
        if (!imap.Connect(m_host, a.user, a.password, m_port)) {
            ADD_FAILURE() << account << ": " << imap.GetLastResponse();
            return -1;
        }
        uint32_t count = 12345, size = 12345;
        EXPECT_TRUE(imap.Statistics(count, size));
        EXPECT_EQ(0u, size);
        EXPECT_EQ(count, imap.GetMessageCount());
        EXPECT_TRUE(imap.Disconnect()) << imap.GetLastResponse();
        EXPECT_FALSE(imap.IsConnected());
        return count;
    }

    std::string m_host;
    unsigned short m_port = 0;
};

TEST_F(IMapConnectionDovecot, CountsUnseenMessagesOfSmallMailboxes)
{
    EXPECT_EQ(2, Unseen("SMALL"));    // seen, none, answered only, flagged and seen
    EXPECT_EQ(1, Unseen("SINGLE"));
    EXPECT_EQ(0, Unseen("SEEN"));
}

TEST_F(IMapConnectionDovecot, EmptyInboxCountsZero)
{
    EXPECT_EQ(0, Unseen("EMPTY"));
}

TEST_F(IMapConnectionDovecot, FiveThousandMessagesAnswerInManySegments)
{
    EXPECT_EQ(1234, Unseen("BIG"));
    // Read once more on a warm index: the same count.
    EXPECT_EQ(1234, Unseen("BIG"));
}

TEST_F(IMapConnectionDovecot, PasswordWithBlanksQuotesAndBackslashLogsIn)
{
    EXPECT_EQ(1, Unseen("QUOTED"));
}

TEST_F(IMapConnectionDovecot, WrongPasswordOrLineBreakFails)
{
    const Account small = mail_testing::MailAccount("SMALL");
    CIMapConnection wrong;
    EXPECT_FALSE(wrong.Connect(m_host, small.user, small.password + "x", m_port));
    EXPECT_FALSE(wrong.IsConnected());
    EXPECT_EQ(0u, wrong.GetMessageCount());

    CIMapConnection injected;
    EXPECT_FALSE(injected.Connect(m_host, small.user, small.password + "\r\n? LOGOUT", m_port));
    EXPECT_FALSE(injected.IsConnected());
}

ChildScenarioRegistration dovecotWrongPassword("imap-dovecot-wrong-password", [] {
    const Account small = mail_testing::MailAccount("SMALL");
    CIMapConnection imap;
    Report(imap.Connect(mail_testing::MailHost(), small.user, "not the password",
                        mail_testing::ImapPort())
               ? "connected"
               : "failed");
});

TEST(IMapConnectionDovecotTrace, WrongPasswordTracesTheServersNo)
{
    ASSERT_FALSE(mail_testing::MailHost().empty());
    const ChildTrace trace = RunTracedChild("imap-dovecot-wrong-password");
    ASSERT_TRUE(trace.finished);
    EXPECT_EQ((std::vector<std::string>{"failed"}), trace.results);
    const int no = trace.IndexOf(
        "CIMapConnection::SendToServer failed, error ? NO [AUTHENTICATIONFAILED] Authentication "
        "failed.\n");
    const int login = trace.IndexOf("Failed to log into the IMAP server\n");
    EXPECT_LE(0, no) << trace.All();
    EXPECT_LT(no, login) << trace.All();
    // The session still ends with a LOGOUT the server acknowledges.
    EXPECT_FALSE(trace.Has("CIMapConnection::Disconnect failed to disconnect\n")) << trace.All();
}

// --- a scripted server -------------------------------------------------------------------

TEST(IMapConnection, FetchAnswerInPiecesIsReadToTheTaggedCompletion)
{
    ScriptedServer server;
    server.Send(kGreeting)
        .Expect().Send("* CAPABILITY IMAP4rev1\r\n").Pause(300).Send("? OK Logged in\r\n")
        .Expect().Send("* FLAGS (\\Seen)\r\n* 3 EXISTS\r\n* 0 RECENT\r\n")
        .Pause(300).Send("? OK [READ-ONLY] Inbox selected\r\n")
        // Cut mid-line, mid-flag and between CR and LF.
        .Expect().Send("* 1 FETCH (FLAGS (\\Seen))\r\n* 2 FE").Pause(300)
        .Send("TCH (FLAGS ())\r\n* 3 FETCH (FLAGS (\\Answered \\Se").Pause(300)
        .Send("en))\r").Pause(300).Send("\n? OK Fetch completed\r\n")
        .Expect().Send(kLogout);
    ASSERT_TRUE(server.Start());
    {
        CIMapConnection imap;
        ASSERT_TRUE(imap.Connect("127.0.0.1", "reader", "secret", server.Port()))
            << imap.GetLastResponse();
        uint32_t count = 0, size = 99;
        EXPECT_TRUE(imap.Statistics(count, size));
        EXPECT_EQ(1u, count);
        EXPECT_EQ(0u, size);
        EXPECT_EQ("? OK Fetch completed", imap.GetLastResponse().substr(
                                              imap.GetLastResponse().rfind('\n') + 1));
    }   // destruction logs out
    ASSERT_TRUE(server.Finish());
    EXPECT_EQ((std::vector<std::string>{"? LOGIN \"reader\" \"secret\"", "? EXAMINE Inbox",
                                        "? FETCH 1:* FLAGS", "? LOGOUT"}),
              server.Received());
}

TEST(IMapConnection, ReplyInSegmentsWithPausesWithinTheTimeOutIsReadWhole)
{
    // Pauses below, about and above one 250 ms wait step, together well inside the 2 s
    // time-out: every segment is taken as it arrives and the reply runs to its completion.
    const std::string segments[] = {
        "* 1 FETCH (FLAGS ())\r\n", "* 2 FETCH (FL", "AGS (\\Seen))\r\n* 3 FETCH (FLAGS ())\r",
        "\n* 4 FETCH (FLAGS (\\Flagged))\r\n", "? OK Fe", "tch completed\r\n"};
    const DWORD pauses[] = {20, 60, 120, 240, 400};
    ScriptedServer server;
    server.Send(kGreeting).Expect().Send("? OK Logged in\r\n")
        .Expect().Send("* 4 EXISTS\r\n? OK [READ-ONLY] Inbox selected\r\n").Expect();
    std::string whole;
    for (std::size_t i = 0; i < 6; ++i) {
        server.Send(segments[i]);
        if (i < 5)
            server.Pause(pauses[i]);
        whole += segments[i];
    }
    server.Expect().Send(kLogout);
    ASSERT_TRUE(server.Start());
    {
        CIMapConnection imap;
        EXPECT_EQ(2000u, imap.GetReadTimeout());
        ASSERT_TRUE(imap.Connect("127.0.0.1", "reader", "secret", server.Port()))
            << imap.GetLastResponse();
        EXPECT_EQ(whole.substr(0, whole.size() - 2), imap.GetLastResponse());
        uint32_t count = 0, size = 0;
        EXPECT_TRUE(imap.Statistics(count, size));
        EXPECT_EQ(3u, count);
    }
    ASSERT_TRUE(server.Finish());
    EXPECT_EQ((std::vector<std::string>{"? LOGIN \"reader\" \"secret\"", "? EXAMINE Inbox",
                                        "? FETCH 1:* FLAGS", "? LOGOUT"}),
              server.Received());
}

TEST(IMapConnection, CountingFollowsTheFlagsOfEachLine)
{
    // Message 1 seen, 2 without flags, 3 answered only, then the tagged completion.
    EXPECT_EQ(2u, CIMapConnection::CountUnseen("* 1 FETCH (FLAGS (\\Seen))\r\n"
                                               "* 2 FETCH (FLAGS ())\r\n"
                                               "* 3 FETCH (FLAGS (\\Answered))\r\n"
                                               "? OK Fetch completed"));
    EXPECT_EQ(1u, CIMapConnection::CountUnseen("* 1 fetch (FLAGS (\\Recent))\r\n? OK done"));
    EXPECT_EQ(0u, CIMapConnection::CountUnseen("? BAD Error in IMAP command FETCH"));
    EXPECT_EQ(0u, CIMapConnection::CountUnseen("* 2 FETCH (FLAGS ())\r\n? OK done"));
    EXPECT_EQ(0u, CIMapConnection::CountUnseen(""));
}

TEST(IMapConnection, CredentialsAreSentAsQuotedStrings)
{
    EXPECT_EQ("\"plain\"", CIMapConnection::Quote("plain"));
    EXPECT_EQ("\"my \\\"pass\\\" \\\\ word\"", CIMapConnection::Quote("my \"pass\" \\ word"));
    EXPECT_EQ("\"\"", CIMapConnection::Quote(""));

    ScriptedServer server;
    server.Send(kGreeting).Expect().Send("? NO refused\r\n").Expect().Send(kLogout);
    ASSERT_TRUE(server.Start());
    {
        CIMapConnection imap;
        EXPECT_FALSE(imap.Connect("127.0.0.1", "a \"b\"", "p\\ q) x", server.Port()));
    }
    ASSERT_TRUE(server.Finish());
    EXPECT_EQ((std::vector<std::string>{"? LOGIN \"a \\\"b\\\"\" \"p\\\\ q) x\"", "? LOGOUT"}),
              server.Received());
}

TEST(IMapConnection, NoLogInGoesWhereLogInsNeedTlsAndNoneIsOffered)
{
    // A greeting without capabilities: they are asked for.
    ScriptedServer server;
    server.Send("* OK ready\r\n").Expect().Send("* CAPABILITY IMAP4rev1 LOGINDISABLED\r\n? OK listed\r\n")
        .Expect().Send(kLogout);
    ASSERT_TRUE(server.Start());
    {
        CIMapConnection imap;
        EXPECT_FALSE(imap.Connect("127.0.0.1", "reader", "secret", server.Port()));
        EXPECT_FALSE(imap.LoginRefused());   // a communication error, not a wrong password
    }
    ASSERT_TRUE(server.Finish());
    EXPECT_EQ((std::vector<std::string>{"? CAPABILITY", "? LOGOUT"}), server.Received());
}

TEST(IMapConnection, LineBreaksOrNulInCredentialsAreNeverSent)
{
    const std::vector<std::pair<std::string, std::string>> credentials = {
        {"reader", "secret\r\n? DELETE Inbox"},
        {"reader\n", "secret"},
        {"reader", "sec\rret"},
        {std::string("read\0er", 7), "secret"},
    };
    for (const auto& c : credentials) {
        ScriptedServer server;
        server.Send(kGreeting);
        ASSERT_TRUE(server.Start());
        CIMapConnection imap;
        EXPECT_FALSE(imap.Connect("127.0.0.1", c.first, c.second, server.Port()));
        EXPECT_FALSE(imap.IsConnected());
        EXPECT_EQ(0, server.Connections());
    }
}

struct Refusal {
    const char* name;
    const char* login;
    const char* examine;
    const char* fetch;
};

TEST(IMapConnection, NoOrBadCompletionFailsTheConnect)
{
    const Refusal refusals[] = {
        {"login NO", "? NO [AUTHENTICATIONFAILED] no\r\n", nullptr, nullptr},
        {"login bad", "? BAD syntax\r\n", nullptr, nullptr},
        {"examine NO after untagged lines", "? OK in\r\n", "* FLAGS ()\r\n? NO no inbox\r\n",
         nullptr},
        {"fetch BAD", "? OK in\r\n", "* 2 EXISTS\r\n? OK sel\r\n", "? BAD Invalid messageset\r\n"},
        {"fetch NO after the data", "? OK in\r\n", "* 2 EXISTS\r\n? OK sel\r\n",
         "* 1 FETCH (FLAGS ())\r\n* 2 FETCH (FLAGS ())\r\n? NO half gone\r\n"},
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.name);
        ScriptedServer server;
        server.Send(kGreeting).Expect().Send(r.login);
        if (r.examine)
            server.Expect().Send(r.examine);
        if (r.fetch)
            server.Expect().Send(r.fetch);
        server.Expect().Send(kLogout);
        ASSERT_TRUE(server.Start());
        {
            CIMapConnection imap;
            EXPECT_FALSE(imap.Connect("127.0.0.1", "reader", "secret", server.Port()));
            EXPECT_FALSE(imap.IsConnected());
            EXPECT_EQ(0u, imap.GetMessageCount());
            // Only the LOGIN's refusal says the password is wrong.
            EXPECT_EQ(r.examine == nullptr, imap.LoginRefused());
        }
        ASSERT_TRUE(server.Finish());
        const std::vector<std::string> received = server.Received();
        ASSERT_FALSE(received.empty());
        EXPECT_EQ("? LOGOUT", received.back());
    }
}

TEST(IMapConnection, NoFreedBlockKeepsThePassword)
{
    // Longer than a string's inner store: every copy of it lives on the heap.
    const std::string password = "correct horse battery staple";
    ScriptedServer server;
    server.Send(kGreeting).Expect().Send("? OK in\r\n").Expect().Send("* 0 EXISTS\r\n? OK sel\r\n")
        .Expect().Send(kLogout);
    ASSERT_TRUE(server.Start());
    {
        testing_support::FreedMemoryWatch watch(password);
        {
            CIMapConnection imap;
            EXPECT_TRUE(imap.Connect("127.0.0.1", "reader", password, server.Port()));
        }
        EXPECT_EQ(0, watch.NarrowHits());
    }
    ASSERT_TRUE(server.Finish());
    EXPECT_EQ("? LOGIN \"reader\" \"" + password + "\"", server.Received().at(0));
}

TEST(IMapConnection, EmptyInboxIsNotFetched)
{
    ScriptedServer server;
    server.Send(kGreeting).Expect().Send("? OK in\r\n")
        .Expect().Send("* 0 EXISTS\r\n* 0 RECENT\r\n? OK [READ-ONLY] sel\r\n")
        .Expect().Send(kLogout);
    ASSERT_TRUE(server.Start());
    {
        CIMapConnection imap;
        ASSERT_TRUE(imap.Connect("127.0.0.1", "reader", "secret", server.Port()));
        uint32_t count = 7, size = 7;
        EXPECT_TRUE(imap.Statistics(count, size));
        EXPECT_EQ(0u, count);
        EXPECT_TRUE(imap.Disconnect());
        EXPECT_FALSE(imap.Disconnect());   // already disconnected
    }
    ASSERT_TRUE(server.Finish());
    EXPECT_EQ((std::vector<std::string>{"? LOGIN \"reader\" \"secret\"", "? EXAMINE Inbox",
                                        "? LOGOUT"}),
              server.Received());
}

TEST(IMapConnection, AnswerWithoutTaggedCompletionTimesOut)
{
    ScriptedServer server;
    server.Send(kGreeting).Expect().Send("* OK still thinking\r\n").Trickle("* OK more\r\n", 100);
    ASSERT_TRUE(server.Start());
    CIMapConnection imap;
    imap.SetReadTimeout(700);
    EXPECT_FALSE(imap.Connect("127.0.0.1", "reader", "secret", server.Port()));
    EXPECT_FALSE(imap.IsConnected());
}

// --- traces, read from a child ------------------------------------------------------------

ChildScenarioRegistration scriptedRefusal("imap-scripted-refusal", [] {
    ScriptedServer server;
    server.Send(kGreeting).Expect().Send("? NO bad password\r\n").Expect().Send(kLogout);
    server.Start();
    CIMapConnection imap;
    Report(imap.Connect("127.0.0.1", "reader", "secret", server.Port()) ? "connected" : "failed");
    Report(imap.Disconnect() ? "disconnected" : "not disconnected");
});

ChildScenarioRegistration scriptedSilence("imap-scripted-silence", [] {
    ScriptedServer server;
    server.Send(kGreeting).Expect().Send("? OK in\r\n").Expect().Pause(2000);
    server.Start();
    CIMapConnection imap;
    imap.SetReadTimeout(500);
    Report(imap.Connect("127.0.0.1", "reader", "secret", server.Port()) ? "connected" : "failed");
});

ChildScenarioRegistration refusedCredentials("imap-refused-credentials", [] {
    CIMapConnection imap;
    Report(imap.Connect("127.0.0.1", "reader", "pass\nword", 143) ? "connected" : "failed");
});

TEST(IMapConnectionTrace, RefusalIsTracedWithTheResponse)
{
    const ChildTrace trace = RunTracedChild("imap-scripted-refusal");
    ASSERT_TRUE(trace.finished);
    EXPECT_EQ((std::vector<std::string>{"failed", "not disconnected"}), trace.results);
    const std::vector<std::string> expected = {
        "CIMapConnection::SendToServer failed, error ? NO bad password\n",
        "Failed to log into the IMAP server\n",
        "CIMapConnection::Disconnect already disconnected\n",
    };
    EXPECT_EQ(expected, trace.messages);
}

TEST(IMapConnectionTrace, SilenceAndRefusedCredentialsAreTraced)
{
    ChildTrace trace = RunTracedChild("imap-scripted-silence");
    ASSERT_TRUE(trace.finished);
    EXPECT_EQ((std::vector<std::string>{"failed"}), trace.results);
    const int timeOut =
        trace.IndexOf("CPop3Connection::ReadResponse - no complete response within 500 ms.\n");
    const int unread = trace.IndexOf("CIMapConnection::SendToServer, couldn't read response\n");
    const int select = trace.IndexOf("Failed to select the inbox\n");
    EXPECT_LE(0, timeOut) << trace.All();
    EXPECT_LT(timeOut, unread) << trace.All();
    EXPECT_LT(unread, select) << trace.All();

    trace = RunTracedChild("imap-refused-credentials");
    ASSERT_TRUE(trace.finished);
    EXPECT_EQ((std::vector<std::string>{"failed"}), trace.results);
    EXPECT_EQ((std::vector<std::string>{"CIMapConnection::Connect - the user name or password "
                                        "holds CR, LF or NUL; not sent.\n"}),
              trace.messages);
}

}  // namespace
