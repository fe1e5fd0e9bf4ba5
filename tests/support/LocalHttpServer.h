// A small HTTP/1.0 server on 127.0.0.1 inside a test process (a Winsock listener thread), for
// suites that need a real peer for WinINet or the browser stand-in.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace testing_support {

struct HttpRequest {
    std::string method;
    std::string target;   // path and query as sent
    std::string path;     // without the query
    std::string query;
    std::map<std::string, std::string> headers;   // names lower case
    std::string body;
};

struct HttpResponse {
    int status = 200;
    std::string contentType = "text/html";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
};

class LocalHttpServer {
public:
    using Handler = std::function<HttpResponse(const HttpRequest&)>;
    explicit LocalHttpServer(Handler handler);
    ~LocalHttpServer();
    LocalHttpServer(const LocalHttpServer&) = delete;
    LocalHttpServer& operator=(const LocalHttpServer&) = delete;

    bool Start();   // binds an ephemeral port
    void Stop();
    unsigned short Port() const { return m_port; }
    std::string BaseUrl() const;   // "http://127.0.0.1:<port>"
    std::vector<HttpRequest> Requests() const;

private:
    void Run();
    void Serve(SOCKET client);

    Handler m_handler;
    SOCKET m_listener = INVALID_SOCKET;
    unsigned short m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    mutable std::mutex m_lock;
    std::vector<HttpRequest> m_requests;
    bool m_wsa = false;
};

}  // namespace testing_support
