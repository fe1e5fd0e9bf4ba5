// What the mail tests share: the private Dovecot's address and accounts (handed over by
// scripts/test in the environment), the trace switch, and child runs whose traces are read.
#pragma once

#include "tests/support/ChildProcess.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace mail_testing {

struct Account {
    std::string user;
    std::string password;
};

// The variable's value; an empty one fails the running test with a note on where it comes from.
std::string RequiredEnvironment(const char* name);
std::string MailHost();
unsigned short ImapPort();
unsigned short Pop3Port();
// The Dovecot that takes log-ins only over TLS, and the root its certificate comes from.
unsigned short TlsImapPort();
unsigned short TlsPop3Port();
std::string TestRootDer();   // a Windows path
// WISP_MAIL_<name>_USER and WISP_MAIL_<name>_PASSWORD.
Account MailAccount(const char* name);

// Scenarios a test runs in a child process to read what it traces: registered by name, run by
// main() when the executable is started with --mail-child=<name>. A scenario reports its
// results with Report(); the parent finds them among the child's debugger output.
using ChildScenario = std::function<void()>;
struct ChildScenarioRegistration {
    ChildScenarioRegistration(const char* name, ChildScenario scenario);
};
int RunChildScenario(const std::string& name);
void Report(const std::string& result);

struct ChildTrace {
    bool finished = false;
    DWORD exitCode = 0;
    std::vector<std::string> messages;   // trace messages, without their prefixes
    std::vector<std::string> results;    // what the scenario reported
    bool Has(const std::string& message) const;
    // The position of the first message equal to `message`, or -1.
    int IndexOf(const std::string& message) const;
    std::string All() const;   // for failure output
};

// Runs the scenario in a child with the trace switch at 1 and collects its output.
ChildTrace RunTracedChild(const std::string& scenario);

}  // namespace mail_testing
