// A one-connection TCP server on 127.0.0.1 that plays a fixed script against the client under
// test: send text, read one line, pause, trickle bytes forever, close. Every line the client
// sends is recorded, also after the script has ended, until the client goes away.
#pragma once

#include <winsock2.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace mail_testing {

// A socket listening on 127.0.0.1 at a port the system picks (in port); INVALID_SOCKET on failure.
SOCKET ListenOnLoopback(int backlog, unsigned short& port);

class ScriptedServer {
public:
    ScriptedServer();
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    ScriptedServer& Send(const std::string& text);
    ScriptedServer& Expect();                  // reads one line from the client
    ScriptedServer& Pause(DWORD milliseconds);
    ScriptedServer& Trickle(const std::string& chunk, DWORD everyMilliseconds);   // until the client goes
    ScriptedServer& Close();

    // Listens and plays the script on a thread of its own; false when no socket could listen.
    bool Start();
    unsigned short Port() const { return m_port; }
    // Waits until the client has gone (or the script closed) and the thread has ended.
    bool Finish(DWORD milliseconds = 15000);
    std::vector<std::string> Received();   // the client's lines, without their line ends
    int Connections() const { return m_connections; }

private:
    struct Step {
        enum Kind { kSend, kExpect, kPause, kTrickle, kClose } kind;
        std::string text;
        DWORD milliseconds;
    };
    void Run();
    bool ReadLine(SOCKET client, std::string& pending, std::string& line);
    bool SendAll(SOCKET client, const std::string& text);
    bool Wait(DWORD milliseconds);   // false when asked to stop
    void Record(const std::string& line);

    std::vector<Step> m_steps;
    SOCKET m_listener = INVALID_SOCKET;
    unsigned short m_port = 0;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_connections{0};
    HANDLE m_done = nullptr;
    std::mutex m_lock;
    std::vector<std::string> m_received;
};

}  // namespace mail_testing
