// Downloading update components for real: the URL moniker through the prefix's WinINet proxy,
// which points at the run's HTTP server, so that allowed names such as dl.tidewire.com reach
// it (the server takes the absolute-form request lines a proxy gets).
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <string>

#include "common/HostMessages.h"
#include "common/com/Handle.h"
#include "tests/support/ImportHook.h"
#include "tests/support/ScratchState.h"
#include "tests/support/TestHttpServer.h"
#include "tests/support/TraceCapture.h"
#include "tests/update/UpdateTestSupport.h"
#include "Wisp/update/ClientManifest.h"
#include "Wisp/update/ComponentDownload.h"
#include "Wisp/update/ManifestFiles.h"
#include "Wisp/update/UpdateDownload.h"

using testing_support::FileExists;
using testing_support::TraceCapture;
using update_testing::Binary;

namespace {

// Unique per call: nothing may come from a cache.
std::string Unique()
{
    static int n = 0;
    return std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount()) + "-" + std::to_string(++n);
}

std::string Respond(const std::string& host, const std::string& file, const std::string& query)
{
    return "http://" + host + "/respond/" + file + "?" + query + "&u=" + Unique();
}

int ThreadsOfThisProcessAt(int priority)
{
    UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Thread32First(snapshot.Get(), &entry); more; more = Thread32Next(snapshot.Get(), &entry)) {
        if (entry.th32OwnerProcessID != GetCurrentProcessId())
            continue;
        UniqueHandle thread(OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID));
        count += thread && GetThreadPriority(thread.Get()) == priority;
    }
    return count;
}

using ReleaseMutexFn = BOOL(WINAPI*)(HANDLE);
ReleaseMutexFn g_releaseMutex = nullptr;

// A release that leaves a last error behind, as system calls may.
BOOL WINAPI ReleaseMutexLeavingAnError(HANDLE mutex)
{
    const BOOL released = g_releaseMutex(mutex);
    SetLastError(ERROR_GEN_FAILURE);
    return released;
}

class Download : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_proxy = new update_testing::ProxyToTestServer; }
    static void TearDownTestSuite()
    {
        delete s_proxy;
        s_proxy = nullptr;
    }
    void SetUp() override
    {
        ASSERT_NE(0, testing_support::TestHttpPort()) << "no HTTP server for this run";
        m_mark = TraceCapture::Mark();
    }
    std::string Traced() const { return TraceCapture::Since(m_mark); }
    bool Has(const std::string& text) const { return Traced().find(text) != std::string::npos; }

    // One update holding the components, read the way manifests are.
    Update Load(const std::string& components)
    {
        const std::string path = m_scratch.Path() + "\\manifest-" + Unique() + ".xml";
        EXPECT_TRUE(testing_support::WriteWholeFile(path, update_testing::ManifestText(1, components)));
        m_manifest = ClientManifest();
        EXPECT_TRUE(m_manifest.Load(path.c_str()));
        Update update;
        if (!m_manifest.List().Updates().empty())
            for (const auto& entry : m_manifest.List().Updates()[0].Items())
                update.Add(*entry.second);
        return update;
    }
    std::string Folder() const { return m_scratch.Path() + "\\update"; }
    std::string Read(const std::string& name) const
    {
        std::string bytes;
        testing_support::ReadWholeFile(Folder() + "\\" + name, bytes);
        return bytes;
    }

    static update_testing::ProxyToTestServer* s_proxy;
    testing_support::ScratchFolder m_scratch{"wisp-download"};
    ClientManifest m_manifest;
    std::size_t m_mark = 0;
};

update_testing::ProxyToTestServer* Download::s_proxy = nullptr;

TEST_F(Download, AComponentFromAnAllowedHostLandsUnderItsTimestampedName)
{
    const std::string key = "fetch-" + Unique();
    Update update = Load(Binary("http://dl.tidewire.com/record/setup.exe?key=" + key, 7, "bin") +
                         Binary(Respond("Updates.AshGrove.com", "x.dat", "body=hello"), 8));
    ASSERT_EQ(2u, update.Items().size());
    SetLastError(1234);
    ASSERT_TRUE(update.Marshal(Folder().c_str(), true)) << Traced();
    EXPECT_EQ(0u, GetLastError());
    EXPECT_EQ("recorded 0", Read("bin\\7_setup.exe"));
    EXPECT_EQ("hello", Read("8_x.dat"));
    EXPECT_FALSE(FileExists(Folder() + "\\8_x.dat.part"));

    // The request really went to the allowed name, through the proxy.
    unsigned long status = 0;
    std::string seen;
    ASSERT_TRUE(testing_support::FetchUrl(testing_support::TestHttpUrl("/recorded-request?key=" + key), status, seen));
    EXPECT_NE(std::string::npos, seen.find("absolute-host: dl.tidewire.com")) << seen;

    // Without the timestamp the plain file name.
    Update plain = Load(Binary(Respond("dl.tidewire.com", "y.dat", "body=plain"), 9));
    ASSERT_TRUE(plain.Marshal(Folder().c_str(), false));
    EXPECT_EQ("plain", Read("y.dat"));
}

TEST_F(Download, AHostThatMerelyContainsAnAllowedDomainIsNeverAsked)
{
    const std::string key = "evil-" + Unique();
    for (const std::string& url : {"http://tidewire.com.evil.test/record/x.dat?key=" + key,
                                   "http://tidewire.com@evil.test/record/x.dat?key=" + key,
                                   "dl.tidewire.com/record/x.dat?key=" + key}) {
        Update update = Load(Binary(url, 3));
        ASSERT_EQ(1u, update.Items().size()) << url;
        EXPECT_FALSE(update.Marshal(Folder().c_str(), true)) << url;
        EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
        EXPECT_FALSE(FileExists(Folder() + "\\3_x.dat"));
    }
    EXPECT_EQ(3, TraceCapture::Count(Traced(), "UpdateComponent::Marshal - invalid domain.\n"));
    unsigned long status = 0;
    std::string body;
    ASSERT_TRUE(testing_support::FetchUrl(testing_support::TestHttpUrl("/recorded?key=" + key), status, body));
    EXPECT_EQ(404u, status);
}

TEST_F(Download, AnHttpErrorIsNeitherSavedNorLeftBehind)
{
    for (int code : {400, 404, 500, 403}) {
        const std::string url = Respond("dl.tidewire.com", "setup.exe", "status=" + std::to_string(code) + "&body=oops");
        Update update = Load(Binary(url, 4));
        EXPECT_FALSE(update.Marshal(Folder().c_str(), true)) << code;
        EXPECT_NE(0u, GetLastError());
        EXPECT_FALSE(FileExists(Folder() + "\\4_setup.exe")) << code;
        EXPECT_FALSE(FileExists(Folder() + "\\4_setup.exe.part")) << code;
        EXPECT_TRUE(Has("UpdateComponent::Marshal - failed downloading '" + url + "', hr = 0x")) << code;
    }
    EXPECT_TRUE(Has("UpdateComponent::Marshal - refusing HTTP status 400.\n")) << Traced();
}

TEST_F(Download, AnAnswerWithoutTheWholeBodyIsNoDownloadAndTheNextPassTriesAgain)
{
    const std::string installed = m_scratch.Path() + "\\installed.xml";
    ASSERT_TRUE(testing_support::WriteWholeFile(installed, update_testing::ManifestText(1, "")));
    for (const std::string& url :
         {Respond("dl.tidewire.com", "setup.exe", "status=204"), Respond("dl.tidewire.com", "setup.exe", "status=304"),
          Respond("dl.tidewire.com", "setup.exe", "status=302&body=nowhere"),
          "http://dl.tidewire.com/cut/setup.exe?length=100&body=short&u=" + Unique()}) {
        Update update = Load(Binary(url, 4));
        EXPECT_FALSE(update.Marshal(Folder().c_str(), true)) << url;
        EXPECT_FALSE(FileExists(Folder() + "\\4_setup.exe")) << url;
        EXPECT_FALSE(FileExists(Folder() + "\\4_setup.exe.part")) << url;
        // Nothing under its name: the next pass still wants it.
        const std::string fresh = m_scratch.Path() + "\\fresh.xml";
        ASSERT_TRUE(testing_support::WriteWholeFile(fresh, update_testing::ManifestText(2, Binary(url, 4))));
        Update wanted;
        ASSERT_TRUE(CompareManifests(fresh.c_str(), installed.c_str(), Folder().c_str(), &wanted));
        EXPECT_EQ(1u, wanted.Items().size()) << url;
    }
    EXPECT_TRUE(Has("UpdateComponent::Marshal - the answer announced 100 bytes, 5 came.\n")) << Traced();
}

TEST_F(Download, ARedirectMayOnlyLeadToAnotherAllowedHost)
{
    const std::string key = "redirected-" + Unique();
    // Absolute, and without a scheme (which the platform reads against the redirecting page).
    for (const std::string& away : {"http://evil.test/record/setup.exe?key=" + key, "//evil.test/record/x?key=" + key}) {
        Update off = Load(Binary("http://dl.tidewire.com/redirect/setup.exe?to=" + testing_support::UrlEncode(away) +
                                 "&u=" + Unique(), 5));
        EXPECT_FALSE(off.Marshal(Folder().c_str(), true)) << away;
        EXPECT_FALSE(FileExists(Folder() + "\\5_setup.exe"));
        EXPECT_FALSE(FileExists(Folder() + "\\5_setup.exe.part"));
    }
    EXPECT_TRUE(Has("UpdateComponent::Marshal - refusing request to 'http://evil.test/record/setup.exe?key=" + key +
                    "' outside the allowed domains.\n"))
        << Traced();
    // Checked before anything was sent there: the off-list host received nothing.
    unsigned long status = 0;
    std::string body;
    ASSERT_TRUE(testing_support::FetchUrl(testing_support::TestHttpUrl("/recorded?key=" + key), status, body));
    EXPECT_EQ(404u, status) << body;
    // An upper-case scheme is a request like any other: it meets the host check.
    EXPECT_FALSE(IsAllowedRequest("HTTP://evil.test/record/setup.exe", false));
    EXPECT_TRUE(Has("refusing request to 'HTTP://evil.test/record/setup.exe' outside the allowed domains.\n"));
    EXPECT_TRUE(IsAllowedRequest("HTTPS://dl.tidewire.com/setup.exe", true));
    EXPECT_TRUE(IsAllowedRequest("application/octet-stream", false));
    // From https never down to http, even on an allowed host.
    EXPECT_FALSE(IsAllowedRequest("http://dl.tidewire.com/setup.exe", true));
    EXPECT_TRUE(Has("refusing a redirect from https to 'http://dl.tidewire.com/setup.exe'.\n"));

    const std::string elsewhere = Respond("cdn.quilldesktop.com", "setup.exe", "body=moved");
    Update on = Load(Binary("http://dl.tidewire.com/redirect/setup.exe?to=" + testing_support::UrlEncode(elsewhere) +
                            "&u=" + Unique(), 6));
    ASSERT_TRUE(on.Marshal(Folder().c_str(), true)) << Traced();
    EXPECT_EQ("moved", Read("6_setup.exe"));
}

TEST_F(Download, AtMostFiveRedirectsAreFollowed)
{
    for (int redirects : {5, 6}) {
        const std::string key = "hops-" + Unique();
        // The last one relative to the page that redirects.
        const std::string end = "/record/setup.exe?key=" + key;
        std::string url = end;
        for (int i = 0; i < redirects; ++i)
            url = "http://dl.tidewire.com/redirect/setup.exe?to=" + testing_support::UrlEncode(url) + "&u=" + Unique();
        Update update = Load(Binary(url, redirects));
        const std::string name = std::to_string(redirects) + "_setup.exe";
        EXPECT_EQ(redirects == 5, update.Marshal(Folder().c_str(), true)) << Traced();
        EXPECT_EQ(redirects == 5, FileExists(Folder() + "\\" + name));
        EXPECT_FALSE(FileExists(Folder() + "\\" + name + ".part"));
        unsigned long status = 0;
        std::string body;
        ASSERT_TRUE(testing_support::FetchUrl(testing_support::TestHttpUrl("/recorded?key=" + key), status, body));
        EXPECT_EQ(redirects == 5 ? 200u : 404u, status) << redirects;
        EXPECT_EQ(redirects == 6, Has("UpdateComponent::Marshal - more than 5 redirects, the last to '" + end + "'.\n"))
            << Traced();
    }
}

TEST_F(Download, AFailedComponentEndsThePassBeforeTheNextOne)
{
    // Key order: a.dat, b.dat, c.dat.
    Update update = Load(Binary(Respond("dl.tidewire.com", "c.dat", "body=c"), 1) +
                         Binary(Respond("dl.tidewire.com", "a.dat", "body=a"), 1) +
                         Binary(Respond("dl.tidewire.com", "b.dat", "status=404"), 1));
    EXPECT_FALSE(update.Marshal(Folder().c_str(), true));
    EXPECT_EQ("a", Read("1_a.dat"));
    EXPECT_FALSE(FileExists(Folder() + "\\1_b.dat"));
    EXPECT_FALSE(FileExists(Folder() + "\\1_c.dat"));

    EXPECT_FALSE(update.Marshal(nullptr, true));
    EXPECT_TRUE(Has("Update::Marshal - strMarshalDir is NULL.\n"));
    EXPECT_FALSE(update.Items().begin()->second->Marshal(nullptr, true));
    EXPECT_TRUE(Has("UpdateComponent::Marshal - strTargetDir is NULL.\n"));

    // A folder that cannot be made: a file stands where it would go.
    ASSERT_TRUE(testing_support::WriteWholeFile(m_scratch.Path() + "\\blocked", "x"));
    Update blocked = Load(Binary(Respond("dl.tidewire.com", "d.dat", "body=d"), 1, "sub"));
    const std::string target = m_scratch.Path() + "\\blocked";
    EXPECT_FALSE(blocked.Marshal(target.c_str(), true));
    EXPECT_TRUE(Has("UpdateComponent::Marshal - Failed creating the directory '" + target + "\\sub' \n"));
}

TEST_F(Download, OnlyOlderCopiesOfTheSameFileAreRemoved)
{
    ASSERT_TRUE(CreateDirectoryA(Folder().c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((Folder() + "\\sub").c_str(), nullptr));
    for (const char* name : {"5_x.dat", "0_x.dat", "5_old_x.dat", "12_x.dat", "10_x.dat", "3_X.DAT", "sub\\4_y.dat",
                             "4_y.dat", "5_x.dat.part"})
        ASSERT_TRUE(testing_support::WriteWholeFile(Folder() + "\\" + name, "old"));
    Update update = Load(Binary("http://dl.tidewire.com/x.dat", 10) + Binary("http://dl.tidewire.com/y.dat", 9, "sub"));
    RemoveOldDownloads(update, Folder().c_str());
    for (const char* gone : {"5_x.dat", "3_X.DAT", "sub\\4_y.dat"})
        EXPECT_FALSE(FileExists(Folder() + "\\" + gone)) << gone;
    // 0 never counts, another component's file, newer and equal copies, other folders stay.
    for (const char* kept : {"0_x.dat", "5_old_x.dat", "12_x.dat", "10_x.dat", "4_y.dat", "5_x.dat.part"})
        EXPECT_TRUE(FileExists(Folder() + "\\" + kept)) << kept;
}

TEST_F(Download, StartDownloadPostsTheCompletionWithTheLastError)
{
    update_testing::MessageRecorder recorder;
    ASSERT_EQ(1085u, static_cast<unsigned>(RM_UPDATE_DOWNLOAD_COMPLETE));
    ASSERT_TRUE(CreateDirectoryA(Folder().c_str(), nullptr));
    ASSERT_TRUE(testing_support::WriteWholeFile(Folder() + "\\2_z.dat", "old"));
    Update good = Load(Binary(Respond("dl.tidewire.com", "z.dat", "body=fresh"), 20));
    {
        // The pass's own last error is posted, not what the lock's release left.
        testing_support::ImportHook hook(GetModuleHandleA(nullptr), "kernel32.dll", "ReleaseMutex",
                                         reinterpret_cast<void*>(&ReleaseMutexLeavingAnError));
        ASSERT_TRUE(hook.Installed());
        g_releaseMutex = reinterpret_cast<ReleaseMutexFn>(hook.Original());
        ASSERT_TRUE(StartDownload(&good, Folder().c_str(), recorder.Window()));
        EXPECT_TRUE(good.Items().empty());   // handed over whole
        ASSERT_TRUE(recorder.WaitFor(1085, 1, 15000));
    }
    EXPECT_EQ(0u, recorder.Messages().back().wParam);
    EXPECT_EQ(0, recorder.Messages().back().lParam);
    EXPECT_EQ("fresh", Read("20_z.dat"));
    EXPECT_FALSE(FileExists(Folder() + "\\2_z.dat"));

    Update refused = Load(Binary("http://evil.test/z.dat", 21));
    ASSERT_TRUE(StartDownload(&refused, Folder().c_str(), recorder.Window()));
    ASSERT_TRUE(recorder.WaitFor(1085, 2, 15000));
    EXPECT_EQ(static_cast<WPARAM>(ERROR_ACCESS_DENIED), recorder.Messages().back().wParam);

    EXPECT_FALSE(StartDownload(nullptr, Folder().c_str(), recorder.Window()));
    EXPECT_FALSE(StartDownload(&refused, nullptr, recorder.Window()));
}

TEST_F(Download, PassesOverTheFolderRunOneAtATime)
{
    update_testing::MessageRecorder recorder;
    // Another pass (here: the test) holds the folder.
    UniqueHandle held(CreateMutexA(nullptr, TRUE, "{7A5E2C19-4B8D-4F63-A0E1-5C9B3D2F8E47}"));
    ASSERT_TRUE(held);
    ASSERT_TRUE(CreateDirectoryA(Folder().c_str(), nullptr));
    ASSERT_TRUE(testing_support::WriteWholeFile(Folder() + "\\1_w.dat", "old"));
    Update update = Load(Binary(Respond("dl.tidewire.com", "w.dat", "body=w"), 2));
    ASSERT_TRUE(StartDownload(&update, Folder().c_str(), recorder.Window()));
    testing_support::PumpMessages(800);
    EXPECT_EQ(0, recorder.Count(RM_UPDATE_DOWNLOAD_COMPLETE));
    // The waiting pass runs one step below normal priority.
    EXPECT_EQ(1, ThreadsOfThisProcessAt(THREAD_PRIORITY_BELOW_NORMAL));
    EXPECT_TRUE(FileExists(Folder() + "\\1_w.dat"));   // not even the clean-up began
    EXPECT_FALSE(FileExists(Folder() + "\\2_w.dat"));

    ReleaseMutex(held.Get());
    ASSERT_TRUE(recorder.WaitFor(RM_UPDATE_DOWNLOAD_COMPLETE, 1, 15000));
    EXPECT_EQ(0u, recorder.Messages().back().wParam);
    EXPECT_EQ("w", Read("2_w.dat"));
    EXPECT_FALSE(FileExists(Folder() + "\\1_w.dat"));
}

}  // namespace
