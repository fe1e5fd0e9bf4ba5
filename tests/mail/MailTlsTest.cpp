// The mail clients against the Dovecot that takes log-ins only over TLS, through a relay that
// keeps what the client sent, with the test root trusted for the prefix meanwhile. The clients
// run in child processes: the chain engine reads the trusted roots once per process.
#include "Wisp/mail/IMapConnection.h"
#include "tests/mail/MailTestSupport.h"
#include "tests/mail/RecordingRelay.h"
#include "tests/support/TrustedRoot.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace mail_testing;

namespace {

// What the client sent before the handshake, and whether the password ever crossed in clear.
void ReportWire(RecordingRelay& relay, const std::string& password)
{
    const std::string sent = relay.ClientBytes();
    const std::size_t handshake = sent.find("\x16\x03");
    Report("clear: " + sent.substr(0, handshake));
    Report(sent.find(password) == std::string::npos ? "password not in clear" : "password in clear");
}

template <class Connection>
void CountOverTls(const char* server, unsigned short port)
{
    const Account small = MailAccount("SMALL");
    RecordingRelay relay(port);
    {
        Connection connection;
        uint32_t count = 0, size = 0;
        const bool counted = connection.Connect(server, small.user, small.password, relay.Port()) &&
                             connection.Statistics(count, size);
        Report(counted ? "count " + std::to_string(count) : "failed");
    }
    ReportWire(relay, small.password);
}

ChildScenarioRegistration imapLocalhost("imap-tls-localhost", [] { CountOverTls<CIMapConnection>("localhost", TlsImapPort()); });
ChildScenarioRegistration imapOtherName("imap-tls-other-name", [] { CountOverTls<CIMapConnection>("127.0.0.1", TlsImapPort()); });
ChildScenarioRegistration pop3Localhost("pop3-tls-localhost", [] { CountOverTls<CPop3Connection>("localhost", TlsPop3Port()); });

bool HasPrefix(const ChildTrace& trace, const std::string& prefix)
{
    for (const std::string& message : trace.messages)
        if (message.compare(0, prefix.size(), prefix) == 0)
            return true;
    return false;
}

TEST(MailOverTls, CredentialsCrossOnlyEncryptedToTheServerNamed)
{
    testing_support::TrustedRoot root(TestRootDer());
    ASSERT_TRUE(root.Added()) << TestRootDer();

    ChildTrace trace = RunTracedChild("imap-tls-localhost");
    ASSERT_TRUE(trace.finished);
    EXPECT_EQ((std::vector<std::string>{"count 2", "clear: ? STARTTLS\r\n", "password not in clear"}), trace.results)
        << trace.All();

    trace = RunTracedChild("pop3-tls-localhost");
    ASSERT_TRUE(trace.finished);
    EXPECT_EQ((std::vector<std::string>{"count 4", "clear: CAPA\r\nSTLS\r\n", "password not in clear"}), trace.results)
        << trace.All();

    // The certificate names "localhost": for any other name nothing but the handshake goes.
    trace = RunTracedChild("imap-tls-other-name");
    ASSERT_TRUE(trace.finished);
    EXPECT_EQ((std::vector<std::string>{"failed", "clear: ? STARTTLS\r\n", "password not in clear"}), trace.results)
        << trace.All();
    EXPECT_TRUE(HasPrefix(trace, "TlsChannel::Start - the server certificate is not valid for '127.0.0.1'"))
        << trace.All();
    EXPECT_TRUE(trace.Has("CPop3Connection::Connect - no TLS with '127.0.0.1'; no credentials sent.\n")) << trace.All();
}

}  // namespace
