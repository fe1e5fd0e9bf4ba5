// Counting a 10,000-message inbox: CIMapConnection (log-in, EXAMINE, FETCH 1:* FLAGS, counted
// here) against a plain socket that asks the server with one STATUS INBOX (UNSEEN), in the
// same run against the same server. Prints both times and their ratio.
//   mail_bench [rounds]   (needs WISP_MAIL_HOST, WISP_IMAP_PORT, WISP_MAIL_BENCH_USER/_PASSWORD)
#include "Wisp/mail/IMapConnection.h"
#include "bench/BenchSupport.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string Environment(const char* name)
{
    char value[1024] = {};
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
}

using bench::Median;
using bench::Now;

// A plain blocking IMAP exchange, reading each answer to its tagged completion.
class PlainImap {
public:
    ~PlainImap()
    {
        if (m_socket != INVALID_SOCKET)
            closesocket(m_socket);
    }
    bool Open(const std::string& host, unsigned short port)
    {
        m_socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (m_socket == INVALID_SOCKET)
            return false;
        DWORD timeout = 5000;
        setsockopt(m_socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
                   sizeof timeout);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = inet_addr(host.c_str());
        if (connect(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            return false;
        return ReadUntil("\r\n").compare(0, 4, "* OK") == 0;
    }
    // Sends a "? ..." command; the whole answer, empty on failure or refusal.
    std::string Command(const std::string& command)
    {
        if (send(m_socket, command.data(), static_cast<int>(command.size()), 0) !=
            static_cast<int>(command.size()))
            return std::string();
        const std::string answer = ReadUntil("? ");
        const std::size_t tagged = answer.rfind("? ");
        return answer.compare(tagged, 4, "? OK") == 0 ? answer : std::string();
    }

private:
    // Reads until a complete line starting with `lineStart` (or any line for "\r\n").
    std::string ReadUntil(const char* lineStart)
    {
        std::string text;
        const std::string start = lineStart;
        std::size_t line = 0;
        char chunk[65536];
        for (;;) {
            const int received = recv(m_socket, chunk, sizeof chunk, 0);
            if (received <= 0)
                return std::string();
            text.append(chunk, static_cast<std::size_t>(received));
            for (std::size_t end; (end = text.find('\n', line)) != std::string::npos; line = end + 1)
                if (start == "\r\n" || text.compare(line, start.size(), start) == 0)
                    return text;
        }
    }
    SOCKET m_socket = INVALID_SOCKET;
};

long long CountWithClient(const std::string& host, unsigned short port, const std::string& user,
                          const std::string& password)
{
    CIMapConnection imap;
    if (!imap.Connect(host, user, password, port)) {
        const std::string& last = imap.GetLastResponse();
        std::fprintf(stderr, "mail_bench: CIMapConnection::Connect failed after %u bytes: %.200s\n",
                     static_cast<unsigned>(last.size()), last.c_str());
        return -1;
    }
    uint32_t count = 0, size = 0;
    if (!imap.Statistics(count, size))
        return -1;
    return count;   // the LOGOUT at destruction belongs to the measured session
}

long long CountWithStatus(const std::string& host, unsigned short port, const std::string& user,
                          const std::string& password)
{
    PlainImap imap;
    if (!imap.Open(host, port) ||
        imap.Command("? LOGIN " + CIMapConnection::Quote(user) + " " +
                     CIMapConnection::Quote(password) + "\r\n").empty())
        return -1;
    const std::string status = imap.Command("? STATUS INBOX (UNSEEN)\r\n");
    const std::size_t unseen = status.find("(UNSEEN ");
    if (unseen == std::string::npos)
        return -1;
    const long long count = std::atoll(status.c_str() + unseen + 8);
    imap.Command("? LOGOUT\r\n");
    return count;
}

}  // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::string host = Environment("WISP_MAIL_HOST");
    const unsigned short port =
        static_cast<unsigned short>(std::atoi(Environment("WISP_IMAP_PORT").c_str()));
    const std::string user = Environment("WISP_MAIL_BENCH_USER");
    const std::string password = Environment("WISP_MAIL_BENCH_PASSWORD");
    if (host.empty() || port == 0 || user.empty()) {
        std::fprintf(stderr, "mail_bench: WISP_MAIL_HOST, WISP_IMAP_PORT and WISP_MAIL_BENCH_USER "
                             "are not set; run bench/run-mail-bench.\n");
        return 2;
    }

    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    // The first look at the mailbox builds the server's index; neither side pays for it.
    const long long expected = CountWithStatus(host, port, user, password);
    const long long counted = CountWithClient(host, port, user, password);
    if (expected < 0 || counted != expected) {
        std::fprintf(stderr, "mail_bench: the warm-up counts failed or differ: %lld and %lld\n",
                     expected, counted);
        return 1;
    }

    std::vector<double> client, status;
    for (int i = 0; i < rounds; ++i) {
        double start = Now();
        const long long a = CountWithClient(host, port, user, password);
        client.push_back(Now() - start);
        start = Now();
        const long long b = CountWithStatus(host, port, user, password);
        status.push_back(Now() - start);
        if (a != expected || b != expected) {
            std::fprintf(stderr, "mail_bench: round %d counted %lld and %lld, expected %lld\n", i,
                         a, b, expected);
            return 1;
        }
    }
    const double c = Median(client), s = Median(status);
    std::printf("unseen messages: %lld of the inbox, %d rounds, medians:\n", expected, rounds);
    std::printf("  CIMapConnection (LOGIN, EXAMINE, FETCH 1:* FLAGS, LOGOUT): %9.2f ms\n",
                c * 1000);
    std::printf("  plain socket (LOGIN, STATUS INBOX (UNSEEN), LOGOUT):        %9.2f ms\n",
                s * 1000);
    std::printf("  ratio: %.1f\n", c / s);
    bench::PrintRow("mail: count the unseen of a 10,000-message inbox",
                    bench::Format("%.1f ms (LOGIN, EXAMINE, FETCH, LOGOUT)", c * 1000),
                    bench::Format("%.1f ms (LOGIN, STATUS, LOGOUT)", s * 1000), c / s, "<= 5");
    return 0;
}
