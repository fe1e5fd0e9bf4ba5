// A loopback relay between one client and a real server that keeps every byte the client sent,
// to see what crossed the wire in clear.
#pragma once

#include <winsock2.h>

#include <mutex>
#include <string>
#include <thread>

namespace mail_testing {

class RecordingRelay {
public:
    explicit RecordingRelay(unsigned short serverPort);
    ~RecordingRelay();
    RecordingRelay(const RecordingRelay&) = delete;
    RecordingRelay& operator=(const RecordingRelay&) = delete;

    unsigned short Port() const { return m_port; }   // 0 when nothing could listen
    std::string ClientBytes();

private:
    void Run();

    unsigned short m_serverPort;
    SOCKET m_listener = INVALID_SOCKET;
    unsigned short m_port = 0;
    bool m_stop = false;
    std::mutex m_lock;
    std::string m_clientBytes;
    std::thread m_thread;
};

}  // namespace mail_testing
