#include "tests/mail/MailTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

namespace mail_testing {

namespace {

const char kTraceKey[] = "Software\\Ashgrove\\Tidewire";
const char kResultPrefix[] = "mail-test-result:";

std::map<std::string, ChildScenario>& Scenarios()
{
    static std::map<std::string, ChildScenario> scenarios;
    return scenarios;
}

// Sets the trace switch for the life of the object and puts back what was there.
class TraceSwitch {
public:
    explicit TraceSwitch(DWORD level)
    {
        RegCreateKeyExA(HKEY_CURRENT_USER, kTraceKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &m_key, nullptr);
        m_savedSize = sizeof m_saved;
        m_hadValue = RegQueryValueExA(m_key, "debug", nullptr, &m_savedType, m_saved,
                                      &m_savedSize) == ERROR_SUCCESS;
        RegSetValueExA(m_key, "debug", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&level),
                       sizeof level);
    }
    ~TraceSwitch()
    {
        if (m_hadValue)
            RegSetValueExA(m_key, "debug", 0, m_savedType, m_saved, m_savedSize);
        else
            RegDeleteValueA(m_key, "debug");
        RegCloseKey(m_key);
    }
    TraceSwitch(const TraceSwitch&) = delete;
    TraceSwitch& operator=(const TraceSwitch&) = delete;

private:
    HKEY m_key = nullptr;
    bool m_hadValue = false;
    DWORD m_savedType = 0;
    BYTE m_saved[64] = {};
    DWORD m_savedSize = 0;
};

}  // namespace

std::string RequiredEnvironment(const char* name)
{
    char value[1024] = {};
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    if (length == 0 || length >= sizeof value) {
        ADD_FAILURE() << name << " is not set. The mail tests need the private Dovecot that "
                      << "scripts/test starts (scripts/lib/servers.sh) and announces in the "
                      << "environment; run them through scripts/test.";
        return std::string();
    }
    return std::string(value, length);
}

std::string MailHost() { return RequiredEnvironment("WISP_MAIL_HOST"); }

unsigned short ImapPort()
{
    return static_cast<unsigned short>(std::atoi(RequiredEnvironment("WISP_IMAP_PORT").c_str()));
}

unsigned short Pop3Port()
{
    return static_cast<unsigned short>(std::atoi(RequiredEnvironment("WISP_POP3_PORT").c_str()));
}

unsigned short TlsImapPort()
{
    return static_cast<unsigned short>(std::atoi(RequiredEnvironment("WISP_TLS_IMAP_PORT").c_str()));
}

unsigned short TlsPop3Port()
{
    return static_cast<unsigned short>(std::atoi(RequiredEnvironment("WISP_TLS_POP3_PORT").c_str()));
}

std::string TestRootDer()
{
    std::string path = "Z:" + RequiredEnvironment("WISP_TEST_ROOT_DIR") + "/trusted-root.der";
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

Account MailAccount(const char* name)
{
    const std::string prefix = std::string("WISP_MAIL_") + name;
    return {RequiredEnvironment((prefix + "_USER").c_str()),
            RequiredEnvironment((prefix + "_PASSWORD").c_str())};
}

ChildScenarioRegistration::ChildScenarioRegistration(const char* name, ChildScenario scenario)
{
    Scenarios()[name] = std::move(scenario);
}

int RunChildScenario(const std::string& name)
{
    auto found = Scenarios().find(name);
    if (found == Scenarios().end())
        return 2;
    found->second();
    return 0;
}

void Report(const std::string& result)
{
    OutputDebugStringA((kResultPrefix + result).c_str());
}

bool ChildTrace::Has(const std::string& message) const { return IndexOf(message) >= 0; }

int ChildTrace::IndexOf(const std::string& message) const
{
    for (std::size_t i = 0; i < messages.size(); ++i)
        if (messages[i] == message)
            return static_cast<int>(i);
    return -1;
}

std::string ChildTrace::All() const
{
    std::string all;
    for (const auto& m : messages)
        all += "  [" + m + "]\n";
    return all;
}

ChildTrace RunTracedChild(const std::string& scenario)
{
    TraceSwitch on(1);
    const testing_support::DebuggedRun run = testing_support::RunUnderDebugger(
        "\"" + testing_support::SelfPath() + "\" --mail-child=" + scenario, 60000);
    ChildTrace trace;
    trace.finished = run.started && run.finished;
    trace.exitCode = run.exitCode;
    const std::string resultPrefix = kResultPrefix;
    for (const std::string& entry : run.output) {
        if (entry.compare(0, resultPrefix.size(), resultPrefix) == 0)
            trace.results.push_back(entry.substr(resultPrefix.size()));
        else if (entry.compare(0, 4, "PID:") != 0 && entry.compare(0, 11, "Debug Mode ") != 0)
            trace.messages.push_back(entry);
    }
    return trace;
}

}  // namespace mail_testing
