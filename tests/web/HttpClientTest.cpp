// QDHTTP against the run's HTTP server: setters, the request, the completion block and its
// message, the bound on answers, local files, names that do not resolve and closed ports.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/HostMessages.h"
#include "common/MessageBlock.h"
#include "tests/support/ScratchState.h"
#include "tests/support/TestHttpServer.h"
#include "tests/support/TraceCapture.h"
#include "Wisp/web/HttpResultBlock.h"
#include "Wisp/web/QDHTTP.h"
#include "Wisp/web/WebServices.h"

using testing_support::TraceCapture;
using testing_support::TestHttpUrl;

namespace {

const DWORD kTimeout = 15000;

// A completion as the notify window receives it.
struct Completion {
    WPARAM requestId;
    uint32_t status;
    uint32_t length;
    std::string bytes;      // the whole block after the header
    SIZE_T blockSize;
};

// A message-only window that keeps every RM_ASYNC_HTTP_COMPLETE it gets and frees its block.
class CompletionWindow {
public:
    CompletionWindow()
    {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "WispHttpCompletionWindow";
        RegisterClassA(&wc);
        m_window = CreateWindowA(wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, this);
    }
    ~CompletionWindow() { DestroyWindow(m_window); }
    HWND Handle() const { return m_window; }
    const std::vector<Completion>& Received() const { return m_received; }
    bool WaitFor(std::size_t count, DWORD timeoutMs = kTimeout)
    {
        return testing_support::PumpUntil([&] { return m_received.size() >= count; }, timeoutMs);
    }

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_NCCREATE)
            SetWindowLongPtrA(window, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
        auto* self = reinterpret_cast<CompletionWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self && message == RM_ASYNC_HTTP_COMPLETE) {
            UniqueMessageBlock hold = TakeMessageBlock(message, lParam);
            if (!hold)
                return 0;
            auto* block = static_cast<const unsigned char*>(hold.get());
            Completion c;
            c.requestId = wParam;
            c.blockSize = MessageBlockSize(block);
            HttpResultHeader header;
            std::memcpy(&header, block, sizeof header);
            c.status = header.status;
            c.length = header.length;
            c.bytes.assign(reinterpret_cast<const char*>(block) + sizeof header, c.blockSize - sizeof header);
            self->m_received.push_back(c);
            return 0;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }

    HWND m_window = nullptr;
    std::vector<Completion> m_received;
};

class HttpClient : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(testing_support::TestHttpHost().empty()) << "WISP_HTTP_HOST/WISP_HTTP_PORT not set";
        m_mark = TraceCapture::Mark();
    }
    std::string Traced() const { return TraceCapture::Since(m_mark); }

    // A GET (or another verb) to the test server, waited for.
    bool Sync(QDHTTP& http, const std::string& target, uint32_t& status, const char* verb = "GET")
    {
        status = 12345;
        return http.set_verb(verb) && http.set_server(testing_support::TestHttpHost().c_str()) &&
               http.set_serverPath(target.c_str()) && http.set_port(testing_support::TestHttpPort()) &&
               http.HTTPSyncRequest(status);
    }
    // Started through the seam the control uses; completions go to m_window.
    bool Start(unsigned long id, const std::string& server, const std::string& target, unsigned short port,
               const char* localPath = "", const std::string& post = std::string(), const char* verb = "GET")
    {
        HttpRequestParams params = {id,   verb, server.c_str(), target.c_str(), localPath, post.data(),
                                    static_cast<unsigned long>(post.size()), port, 0, false};
        return StartAsyncHttpRequest(params, m_window.Handle());
    }
    bool Start(unsigned long id, const std::string& target, const char* localPath = "")
    {
        return Start(id, testing_support::TestHttpHost(), target, testing_support::TestHttpPort(), localPath);
    }

    CompletionWindow m_window;
    std::size_t m_mark = 0;
};

TEST_F(HttpClient, SettersRefuseNullsAndTextsTheirFieldsCannotHold)
{
    QDHTTP http;
    EXPECT_FALSE(http.set_verb(nullptr));
    EXPECT_FALSE(http.set_server(nullptr));
    EXPECT_FALSE(http.set_serverPath(nullptr));
    EXPECT_TRUE(http.set_localPath(nullptr));
    EXPECT_TRUE(http.set_postData(nullptr, 99));
    EXPECT_NE(std::string::npos, Traced().find("QDHTTP::set_verb - verb is NULL.\n"));
    EXPECT_NE(std::string::npos, Traced().find("QDHTTP::set_server - server is NULL.\n"));
    EXPECT_NE(std::string::npos, Traced().find("QDHTTP::set_serverPath - parameter is NULL.\n"));

    // Each field holds its size less the terminator: one byte more is refused, not cut.
    EXPECT_TRUE(http.set_verb(std::string(255, 'V').c_str()));
    EXPECT_FALSE(http.set_verb(std::string(256, 'V').c_str()));
    EXPECT_TRUE(http.set_server(std::string(259, 's').c_str()));
    EXPECT_FALSE(http.set_server(std::string(260, 's').c_str()));
    EXPECT_TRUE(http.set_serverPath(("/" + std::string(258, 'p')).c_str()));
    EXPECT_FALSE(http.set_serverPath(("/" + std::string(259, 'p')).c_str()));
    EXPECT_TRUE(http.set_localPath(std::string(259, 'f').c_str()));
    EXPECT_FALSE(http.set_localPath(std::string(260, 'f').c_str()));
    for (const char* setter : {"set_verb", "set_server", "set_serverPath", "set_localPath"})
        EXPECT_EQ(1, TraceCapture::Count(Traced(), std::string("QDHTTP::") + setter + " - text of ")) << setter;

    for (uint32_t type = 0; type <= 4; ++type)
        EXPECT_TRUE(http.set_accessType(type));
    EXPECT_FALSE(http.set_accessType(5));
    EXPECT_NE(std::string::npos, Traced().find("QDHTTP::set_accessType - parameter 5 is not a valid option.\n"));
}

TEST_F(HttpClient, TheStatusIsTheServersAndTheBodyComesWithItWhateverTheStatus)
{
    QDHTTP http;
    uint32_t status = 0;
    ASSERT_TRUE(Sync(http, "/respond?body=hello", status));
    EXPECT_EQ(200u, status);
    EXPECT_EQ("hello", http.Response());

    ASSERT_TRUE(Sync(http, "/respond?status=404&body=" + testing_support::UrlEncode("no such page"), status));
    EXPECT_EQ(404u, status);
    EXPECT_EQ("no such page", http.Response());

    ASSERT_TRUE(Sync(http, "/respond?status=503&body=busy", status));
    EXPECT_EQ(503u, status);
    EXPECT_EQ("busy", http.Response());

    // Redirects are followed: the final answer's status and body.
    ASSERT_TRUE(Sync(http, "/redirect?status=302&to=" + testing_support::UrlEncode("/respond?status=201&body=moved"),
                     status));
    EXPECT_EQ(201u, status);
    EXPECT_EQ("moved", http.Response());
    ASSERT_TRUE(Sync(http, "/redirect?status=301&to=" +
                               testing_support::UrlEncode("/redirect?status=307&to=/respond%3Fbody%3Dtwice"),
                     status));
    EXPECT_EQ(200u, status);
    EXPECT_EQ("twice", http.Response());

    ASSERT_TRUE(Sync(http, "/respond?body=" + testing_support::UrlEncode("x\r\ny\n"), status));
    EXPECT_EQ("x\r\ny\n", http.Response());
}

TEST_F(HttpClient, TheCompletionBlockCountsTheNulAndEndsWithFourZeroBytes)
{
    ASSERT_TRUE(Start(31, "/respond?body=a%0Ab"));
    ASSERT_TRUE(Start(32, "/respond?status=204"));
    ASSERT_TRUE(m_window.WaitFor(2));
    for (const Completion& c : m_window.Received()) {
        if (c.requestId == 31) {
            EXPECT_EQ(200u, c.status);
            EXPECT_EQ(4u, c.length);
            EXPECT_EQ(16u, c.blockSize);
            EXPECT_EQ(std::string("a\nb\0\0\0\0\0", 8), c.bytes);
        } else {
            EXPECT_EQ(32u, c.requestId);
            EXPECT_EQ(204u, c.status);
            EXPECT_EQ(0u, c.length);
            EXPECT_EQ(12u, c.blockSize);
            EXPECT_EQ(std::string(4, '\0'), c.bytes);
        }
    }
}

TEST_F(HttpClient, AChunkedMegabyteArrivesWhole)
{
    const std::size_t size = 1024 * 1024;
    ASSERT_TRUE(Start(41, "/pattern?chunked=1&chunk=1000&size=" + std::to_string(size)));
    ASSERT_TRUE(m_window.WaitFor(1));
    const Completion& c = m_window.Received()[0];
    EXPECT_EQ(200u, c.status);
    ASSERT_EQ(size + 1, c.length);
    EXPECT_TRUE(c.bytes.compare(0, size, testing_support::HttpPattern(size)) == 0);
    EXPECT_EQ(std::string(5, '\0'), c.bytes.substr(size));
}

TEST_F(HttpClient, PostedBytesReachTheServerByteForByte)
{
    std::string body;
    for (int round = 0; round < 4; ++round)
        for (int value = 0; value < 256; ++value)
            body.push_back(static_cast<char>(value));
    body += "\r\nline\nend\r";
    const std::string key = "client-post-" + std::to_string(GetCurrentProcessId());
    ASSERT_TRUE(Start(51, testing_support::TestHttpHost(), "/record?key=" + key, testing_support::TestHttpPort(), "",
                      body, "PUT"));
    ASSERT_TRUE(m_window.WaitFor(1));
    EXPECT_EQ(200u, m_window.Received()[0].status);
    EXPECT_EQ("recorded " + std::to_string(body.size()), m_window.Received()[0].bytes.c_str());

    unsigned long status = 0;
    std::string recorded;
    ASSERT_TRUE(testing_support::FetchUrl(TestHttpUrl("/recorded?key=" + key), status, recorded));
    EXPECT_EQ(200u, status);
    EXPECT_TRUE(recorded == body) << recorded.size() << " bytes recorded of " << body.size();
    ASSERT_TRUE(testing_support::FetchUrl(TestHttpUrl("/recorded-request?key=" + key), status, recorded));
    EXPECT_EQ(0u, recorded.find("PUT /record?key=" + key + " HTTP/1.1\n")) << recorded;
}

TEST_F(HttpClient, AGivenLocalFileGetsCrLfLineEndsAndThePageTheBodyAsSent)
{
    testing_support::ScratchFolder folder("wisp-http-local");
    const std::string file = folder.Path() + "\\body.txt";
    ASSERT_TRUE(Start(61, "/respond?body=" + testing_support::UrlEncode("one\ntwo\nthree"), file.c_str()));
    ASSERT_TRUE(m_window.WaitFor(1));
    EXPECT_EQ(std::string("one\ntwo\nthree\0", 14), m_window.Received()[0].bytes.substr(0, 14));
    std::string written;
    ASSERT_TRUE(testing_support::ReadWholeFile(file, written));
    EXPECT_EQ("one\r\ntwo\r\nthree", written);

    // A file that cannot be opened: traced, and the body is not read.
    const std::string unwritable = folder.Path() + "\\no-such-folder\\body.txt";
    ASSERT_TRUE(Start(62, "/respond?body=kept", unwritable.c_str()));
    ASSERT_TRUE(m_window.WaitFor(2));
    EXPECT_EQ(200u, m_window.Received()[1].status);
    EXPECT_EQ(0u, m_window.Received()[1].length);
    EXPECT_NE(std::string::npos, Traced().find("failed opening file '" + unwritable + "' for writing.\n"));
}

TEST_F(HttpClient, WithoutALocalFileTheBodyStaysInMemoryAndNothingLandsInTheCurrentFolder)
{
    testing_support::ScratchFolder folder("wisp-http-cwd");
    char previous[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(folder.Path().c_str()));
    // The server pauses after the first part of the body: mid-transfer, the folder stays empty.
    const std::size_t size = 200000;
    const bool started = Start(71, "/pattern?pause=1500&chunk=1000&size=" + std::to_string(size));
    testing_support::PumpMessages(700);
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA((folder.Path() + "\\*").c_str(), &data);
    std::vector<std::string> names;
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (std::strcmp(data.cFileName, ".") != 0 && std::strcmp(data.cFileName, "..") != 0)
                names.push_back(data.cFileName);
        } while (FindNextFileA(search, &data));
        FindClose(search);
    }
    const bool done = m_window.WaitFor(1);
    SetCurrentDirectoryA(previous);
    ASSERT_TRUE(started);
    EXPECT_TRUE(names.empty()) << names[0];
    ASSERT_TRUE(done);
    EXPECT_EQ(size + 1, m_window.Received()[0].length);
    EXPECT_TRUE(m_window.Received()[0].bytes.compare(0, size, testing_support::HttpPattern(size)) == 0);
}

TEST_F(HttpClient, AnAnswerBeyondTheBoundEndsWithStatusZeroAndNoBody)
{
    // Exactly the bound still arrives whole.
    const std::size_t bound = QDHTTP::kMaxResponseBytes;
    EXPECT_EQ(16u * 1024u * 1024u, bound);
    QDHTTP http;
    uint32_t status = 0;
    ASSERT_TRUE(Sync(http, "/pattern?chunk=65536&size=" + std::to_string(bound), status));
    EXPECT_EQ(200u, status);
    EXPECT_EQ(bound, http.Response().size());

    testing_support::ScratchFolder folder("wisp-http-bound");
    const std::string file = folder.Path() + "\\big.txt";
    ASSERT_TRUE(Start(81, "/pattern?chunk=65536&size=" + std::to_string(bound + 1), file.c_str()));
    ASSERT_TRUE(m_window.WaitFor(1, 60000));
    EXPECT_EQ(0u, m_window.Received()[0].status);
    EXPECT_EQ(0u, m_window.Received()[0].length);
    EXPECT_EQ(12u, m_window.Received()[0].blockSize);
    EXPECT_NE(std::string::npos, Traced().find("QDHTTP::HTTPSyncRequest - response larger than 16777216 bytes; dropped.\n"));
    EXPECT_FALSE(testing_support::FileExists(file));
}

TEST_F(HttpClient, NamesThatDoNotResolveAndClosedPortsCompleteWithStatusZero)
{
    ASSERT_TRUE(Start(91, "nosuchhost.invalid", "/x", 80));
    ASSERT_TRUE(m_window.WaitFor(1));
    ASSERT_TRUE(Start(92, "127.0.0.1", "/x", testing_support::ClosedPort()));
    ASSERT_TRUE(m_window.WaitFor(2));
    for (const Completion& c : m_window.Received()) {
        EXPECT_EQ(0u, c.status) << c.requestId;
        EXPECT_EQ(0u, c.length) << c.requestId;
        EXPECT_EQ(12u, c.blockSize) << c.requestId;
    }
    const std::string traced = Traced();
    EXPECT_NE(std::string::npos, traced.find("Failed sending request, error=12007\nERROR_INTERNET_NAME_NOT_RESOLVED\n"))
        << traced;
    EXPECT_NE(std::string::npos, traced.find("Failed sending request, error=12029\nERROR_INTERNET_CANNOT_CONNECT\n"))
        << traced;
}

TEST_F(HttpClient, ConcurrentRequestsArriveInFinishingOrderToldApartByTheirIds)
{
    ASSERT_TRUE(Start(101, "/slow?ms=1500&body=slow"));
    ASSERT_TRUE(Start(102, "/respond?body=quick"));
    ASSERT_TRUE(m_window.WaitFor(2));
    EXPECT_EQ(102u, m_window.Received()[0].requestId);
    EXPECT_EQ("quick", std::string(m_window.Received()[0].bytes.c_str()));
    EXPECT_EQ(101u, m_window.Received()[1].requestId);
    EXPECT_EQ("slow", std::string(m_window.Received()[1].bytes.c_str()));
}

}  // namespace
