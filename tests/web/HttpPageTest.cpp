// HTTP and HTTPURL as page script calls them: window.external.CallApplicationMethod in a page
// of the browser stand-in, through the control and the test host, to the run's HTTP server;
// the answers come back as the page event "QDOnAsyncHTTPComplete".
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "Wisp_h.h"
#include "common/HostMessages.h"
#include "common/PersistentSettings.h"
#include "common/QDUtilities.h"
#include "common/SettingsIds.h"
#include "common/com/Bstr.h"
#include "common/com/Strings.h"
#include "tests/support/ScratchState.h"
#include "tests/support/TestHttpServer.h"
#include "tests/support/TraceCapture.h"
#include "tests/support/WispLibrary.h"
#include "tests/support/host/HostApplication.h"

using host::HostApplication;
using testing_support::TestHttpUrl;
using testing_support::TraceCapture;

namespace {

const DWORD kLoadTimeout = 10000;
const DWORD kAnswerTimeout = 15000;

// A text as a JScript string literal.
std::string Js(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\\' || c == '\'')
            quoted += '\\';
        if (c == '\r')
            quoted += "\\r";
        else if (c == '\n')
            quoted += "\\n";
        else
            quoted += c;
    }
    return quoted + "'";
}

class HttpFromPage : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(S_OK, testing_support::RegisterWisp()); }
    void SetUp() override
    {
        ASSERT_FALSE(testing_support::TestHttpHost().empty()) << "WISP_HTTP_HOST/WISP_HTTP_PORT not set";
        std::wstring url = host::FileUrl(host::PathBesideExecutable(L"fixtures\\web\\http.htm"));
        ASSERT_TRUE(m_host.Create(120, 90));
        ASSERT_EQ(S_OK, m_host.CreateControl());
        ASSERT_EQ(S_OK, m_host.InitControl(url));
        ASSERT_TRUE(m_host.WaitForMessage(RM_DOCUMENT_COMPLETE, kLoadTimeout));
        testing_support::PumpMessages(30);
        m_mark = TraceCapture::Mark();
    }
    void TearDown() override { m_host.Destroy(); }

    std::string Run(const std::string& code) { return m_host.CallPageFunction(L"run", code); }
    std::string App(const std::string& arguments) { return Run("window.external.CallApplicationMethod(" + arguments + ")"); }
    int Count() { return std::atoi(m_host.CallPageFunction(L"count").c_str()); }
    bool WaitForAnswers(int count, DWORD timeoutMs = kAnswerTimeout)
    {
        return testing_support::PumpUntil([&] { return Count() >= count; }, timeoutMs);
    }
    std::string Summary(int i) { return Run("summary(" + std::to_string(i) + ")"); }
    std::string Body(int i) { return Run("body(" + std::to_string(i) + ")"); }
    std::string Traced() const { return TraceCapture::Since(m_mark); }

    HostApplication m_host;
    std::size_t m_mark = 0;
};

TEST_F(HttpFromPage, HttpUrlAnswersTrueAndTheEventBringsIdStatusAndBody)
{
    const std::string url = TestHttpUrl("/respond?status=404&body=" + testing_support::UrlEncode("not\nhere"));
    EXPECT_EQ("boolean:true", App("'HTTPURL', 17, 'GET', " + Js(url) + ", '', '', 1"));
    ASSERT_TRUE(WaitForAnswers(1));
    EXPECT_EQ("string:17 404 8 number number string", Summary(0));
    EXPECT_EQ("string:not\nhere", Body(0));
    EXPECT_EQ(1, m_host.CountMessages(RM_ASYNC_HTTP_COMPLETE));
    const std::string path = url.substr(url.find("/respond"));
    EXPECT_NE(std::string::npos, Traced().find("CWispControl::HTTP - Verb='GET', server='127.0.0.1', serverPath='" +
                                               path + "', localPath='', postData=''\n"));
}

TEST_F(HttpFromPage, HttpTakesServerPathAndPortAndFollowsRedirects)
{
    const std::string target = "/redirect?to=" + testing_support::UrlEncode("/respond?status=201&body=created");
    EXPECT_EQ("boolean:true", App("'HTTP', 3, 'GET', " + Js(testing_support::TestHttpHost()) + ", " + Js(target) +
                                  ", '', '', " + std::to_string(testing_support::TestHttpPort()) + ", 0"));
    ASSERT_TRUE(WaitForAnswers(1));
    EXPECT_EQ("string:3 201 7 number number string", Summary(0));
    EXPECT_EQ("string:created", Body(0));
}

TEST_F(HttpFromPage, APostedTextReachesTheServerAsItsAnsiBytes)
{
    const std::string key = "page-post-" + std::to_string(GetCurrentProcessId());
    const std::string text = "name=Tide wire&list=a,b;c\r\nsecond line\t\"quoted\" 100%";
    EXPECT_EQ("boolean:true", App("'HTTPURL', 4, 'POST', " + Js(TestHttpUrl("/record?key=" + key)) + ", " + Js(text) +
                                  ", '', 1"));
    ASSERT_TRUE(WaitForAnswers(1));
    EXPECT_EQ("string:recorded " + std::to_string(text.size()), Body(0));
    unsigned long status = 0;
    std::string recorded;
    ASSERT_TRUE(testing_support::FetchUrl(TestHttpUrl("/recorded?key=" + key), status, recorded));
    EXPECT_EQ(text, recorded);
}

TEST_F(HttpFromPage, AMegabyteArrivesAsOneEvent)
{
    const std::size_t size = 1024 * 1024;
    EXPECT_EQ("boolean:true", App("'HTTPURL', 5, 'GET', " +
                                  Js(TestHttpUrl("/pattern?chunked=1&size=" + std::to_string(size))) + ", '', '', 0"));
    ASSERT_TRUE(WaitForAnswers(1));
    EXPECT_EQ("string:5 200 1048576 number number string", Summary(0));
    EXPECT_TRUE(Body(0) == "string:" + testing_support::HttpPattern(size));
}

TEST_F(HttpFromPage, RefusedRequestsAnswerFalseAndSendNothing)
{
    // Access type 5: refused before any thread starts.
    EXPECT_EQ("boolean:false", App("'HTTPURL', 6, 'GET', " + Js(TestHttpUrl("/respond")) + ", '', '', 5"));
    EXPECT_EQ("boolean:false", App("'HTTP', 7, 'GET', '127.0.0.1', '/x', '', '', 80, 5"));
    EXPECT_EQ(2, TraceCapture::Count(Traced(), "QDHTTP::set_accessType - parameter 5 is not a valid option.\n"));
    EXPECT_EQ("boolean:false", App("'HTTPURL', 8, 'GET', 'ftp://127.0.0.1/file', '', '', 0"));
    EXPECT_NE(std::string::npos, Traced().find("ApplicationMethods::HTTPURL - cannot split the url 'ftp://127.0.0.1/file'.\n"));
    // A path longer than its field: refused whole rather than cut.
    EXPECT_EQ("boolean:false", App("'HTTPURL', 9, 'GET', " + Js(TestHttpUrl("/" + std::string(300, 'p'))) + ", '', '', 0"));
    testing_support::PumpMessages(500);
    EXPECT_EQ(0, Count());
    EXPECT_EQ(0, m_host.CountMessages(RM_ASYNC_HTTP_COMPLETE));
}

TEST_F(HttpFromPage, FailedTransfersStillCompleteWithStatusZero)
{
    EXPECT_EQ("boolean:true", App("'HTTPURL', 10, 'GET', 'http://nosuchhost.invalid/x', '', '', 1"));
    EXPECT_EQ("boolean:true", App("'HTTP', 11, 'GET', '127.0.0.1', '/x', '', '', " +
                                  std::to_string(testing_support::ClosedPort()) + ", 1"));
    ASSERT_TRUE(WaitForAnswers(2));
    const std::string first = Summary(0);
    const std::string second = Summary(1);
    EXPECT_TRUE((first == "string:10 0 0 number number string" && second == "string:11 0 0 number number string") ||
                (first == "string:11 0 0 number number string" && second == "string:10 0 0 number number string"))
        << first << " / " << second;
}

TEST_F(HttpFromPage, AnHttpsUrlGoesOverTlsToItsPort)
{
    testing_support::FirstBytesListener secure;
    ASSERT_NE(0, secure.Port());
    EXPECT_EQ("boolean:true", App("'HTTPURL', 12, 'GET', 'https://127.0.0.1:" + std::to_string(secure.Port()) +
                                  "/account?password=secret', '', '', 1"));
    const std::string hello = secure.Receive(10000);
    // A TLS handshake record (0x16, version 3.x), never the request in the clear.
    ASSERT_GE(hello.size(), 3u);
    EXPECT_EQ(0x16, hello[0]);
    EXPECT_EQ(0x03, hello[1]);
    EXPECT_EQ(std::string::npos, hello.find("secret"));
    ASSERT_TRUE(WaitForAnswers(1));
    EXPECT_EQ("string:12 0 0 number number string", Summary(0));

    testing_support::FirstBytesListener plain;
    EXPECT_EQ("boolean:true", App("'HTTPURL', 13, 'GET', 'http://127.0.0.1:" + std::to_string(plain.Port()) +
                                  "/open', '', '', 1"));
    EXPECT_EQ(0u, plain.Receive(10000).find("GET /open HTTP/1.1\r\n"));
    ASSERT_TRUE(WaitForAnswers(2));
}

TEST_F(HttpFromPage, TheLibraryStaysLoadedUntilItsLastRequestEnds)
{
    EXPECT_EQ("boolean:true", App("'HTTPURL', 14, 'GET', " + Js(TestHttpUrl("/slow?ms=2500")) + ", '', '', 1"));
    m_host.Destroy();
    CoFreeUnusedLibrariesEx(0, 0);
    // Released by its host and by COM, the library is still mapped: the request thread holds it.
    EXPECT_NE(nullptr, GetModuleHandleW(L"Wisp.dll"));
    // When the request ends (its completion finds no window), the thread lets the library go.
    EXPECT_TRUE(testing_support::PumpUntil([] { return GetModuleHandleW(L"Wisp.dll") == nullptr; }, kAnswerTimeout));
}

TEST_F(HttpFromPage, ABodyIsWrittenOnlyToAFileInTheContentFolder)
{
    std::string settingsPath;
    ASSERT_TRUE(QDUtilities::GetSettingsFilePath(settingsPath));
    testing_support::FileBackup settings(settingsPath);
    testing_support::ScratchFolder content("http-content"), outside("http-outside");
    {
        PersistentSettings store;
        ASSERT_TRUE(store.SetProperty(SettingsId::content_directory, content.Path()));
    }
    const std::string key = "outside-" + std::to_string(GetCurrentProcessId());
    const std::string startup = outside.Path() + "\\Startup.bat";
    EXPECT_EQ("boolean:false", App("'HTTPURL', 20, 'GET', " + Js(TestHttpUrl("/record?key=" + key)) + ", '', " +
                                   Js(startup) + ", 1"));
    EXPECT_NE(std::string::npos, Traced().find("ApplicationMethods::HTTPURL - the local file '" + startup +
                                               "' lies outside the content folder; nothing requested.\n"));
    EXPECT_EQ("boolean:false", App("'HTTP', 21, 'GET', " + Js(testing_support::TestHttpHost()) + ", " +
                                   Js("/record?key=" + key) + ", " + Js(content.Path() + "\\..\\x.bat") + ", '', " +
                                   std::to_string(testing_support::TestHttpPort()) + ", 1"));

    // Inside it the body arrives in the file.
    const std::string kept = content.Path() + "\\kept.txt";
    EXPECT_EQ("boolean:true", App("'HTTPURL', 22, 'GET', " + Js(TestHttpUrl("/respond?body=kept")) + ", '', " +
                                  Js(kept) + ", 1"));
    ASSERT_TRUE(WaitForAnswers(1));
    EXPECT_EQ("string:22 200 4 number number string", Summary(0));
    std::string bytes;
    EXPECT_TRUE(testing_support::ReadWholeFile(kept, bytes));
    EXPECT_EQ("kept", bytes);
    EXPECT_FALSE(testing_support::FileExists(startup));
    unsigned long status = 0;
    std::string recorded;
    ASSERT_TRUE(testing_support::FetchUrl(TestHttpUrl("/recorded?key=" + key), status, recorded));
    EXPECT_EQ(404u, status);
}

}  // namespace
