// Fetching a 1 MB body from page script: window.external.CallApplicationMethod("HTTPURL", ...)
// in a page of the browser stand-in, timed from the call until the page's
// "QDOnAsyncHTTPComplete" has the whole body. bench/run-http-bench times curl on the same URL
// of the same server and prints the ratios.
// The same program times what that path is made of, each apart:
//   request_seconds   the request alone (QDHTTP on this thread, no page, no message)
//   wininet_seconds   a bare WinINet loop (InternetOpen, InternetOpenUrl, InternetReadFile)
//   handover_seconds  the result block of that body posted to the host window, until the page's
//                     event has it (the host's hand-over, the block, the text, the script call)
//   text_seconds      the body turned into the event's text (a BSTR)
//   script_seconds    the page's event function called with that text
//   http_bench <url> <expected bytes> [rounds]
//   prints one line "<name> <t1> <t2> ..." for each
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Wisp_h.h"
#include "bench/BenchSupport.h"
#include "common/HostMessages.h"
#include "common/com/Bstr.h"
#include "common/com/Strings.h"
#include "common/UrlSplitter.h"
#include "Wisp/web/QDHTTP.h"
#include "tests/support/TraceCapture.h"
#include "tests/support/WispLibrary.h"
#include "tests/support/host/HostApplication.h"

namespace {

using bench::Now;

std::string Run(host::HostApplication& app, const std::string& code)
{
    return app.CallPageFunction(L"run", code);
}

// The body through bare WinINet calls, as a program without this component fetches it.
bool FetchWithWinInet(const std::string& url, std::string& body)
{
    body.clear();
    HINTERNET session = InternetOpenA("http_bench", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    if (!session)
        return false;
    HINTERNET request = InternetOpenUrlA(session, url.c_str(), nullptr, 0, INTERNET_FLAG_RELOAD, 0);
    bool ok = request != nullptr;
    char buffer[65536];
    DWORD read = 0;
    while (ok && (ok = InternetReadFile(request, buffer, sizeof buffer, &read) != FALSE) && read > 0)
        body.append(buffer, read);
    if (request)
        InternetCloseHandle(request);
    InternetCloseHandle(session);
    return ok;
}

// Rounds of `work` (the first one warms up and is not counted), printed as one line.
template <class Work>
bool TimeRounds(const char* name, int rounds, Work work)
{
    std::printf("%s", name);
    for (int round = 0; round <= rounds; ++round) {
        const double start = Now();
        if (!work(round)) {
            std::fprintf(stderr, "\nhttp_bench: %s round %d failed\n", name, round);
            std::printf("\n");
            return false;
        }
        if (round > 0)
            std::printf(" %.6f", Now() - start);
    }
    std::printf("\n");
    std::fflush(stdout);
    return true;
}

// Dispatches messages as they come and asks the page after each batch, without fixed sleeps.
bool WaitForEvent(host::HostApplication& app, int count)
{
    const double deadline = Now() + 30;
    const std::string wanted = "number:" + std::to_string(count);
    while (Now() < deadline) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (Run(app, "count()") == wanted)
            return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: http_bench <url> <expected bytes> [rounds]\n");
        return 2;
    }
    const std::string url = argv[1];
    const std::string expected = argv[2];
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 10;

    OleInitialize(nullptr);
    if (FAILED(testing_support::RegisterWisp())) {
        std::fprintf(stderr, "http_bench: Wisp.dll does not register\n");
        return 1;
    }
    bool ok = true;
    {
        host::HostApplication app;
        const std::wstring page = host::FileUrl(host::PathBesideExecutable(L"fixtures\\web\\http.htm"));
        if (!app.Create(120, 90) || FAILED(app.CreateControl()) || FAILED(app.InitControl(page)) ||
            !app.WaitForMessage(RM_DOCUMENT_COMPLETE, 10000)) {
            std::fprintf(stderr, "http_bench: the page did not load\n");
            return 1;
        }
        int events = 0;   // the page's event count
        // The page's latest event has the whole body with status 200.
        const auto received = [&] {
            const std::string summary = Run(app, "summary(" + std::to_string(events - 1) + ")");
            return summary.find(" 200 " + expected + " ") != std::string::npos;
        };
        ok = TimeRounds("httpurl_seconds", rounds, [&](int round) {
            Run(app, "window.external.CallApplicationMethod('HTTPURL', " + std::to_string(round) + ", 'GET', '" +
                         url + "', '', '', 1)");
            return WaitForEvent(app, ++events) && received();
        });

        UrlParts parts;
        SplitUrl(url, parts);
        std::string body;
        ok = ok && TimeRounds("request_seconds", rounds, [&](int) {
            QDHTTP request;
            uint32_t code = 0;
            const bool done = request.set_verb("GET") && request.set_server(parts.host.c_str()) &&
                              request.set_serverPath(parts.RequestTarget().c_str()) && request.set_port(parts.port) &&
                              request.set_accessType(1) && request.HTTPSyncRequest(code);
            body = request.Response();
            return done && code == 200 && std::to_string(body.size()) == expected;
        });
        std::string bare;
        ok = ok && TimeRounds("wininet_seconds", rounds, [&](int) {
            return FetchWithWinInet(url, bare) && bare == body;
        });

        ok = ok && TimeRounds("handover_seconds", rounds, [&](int round) {
            return app.PostHttpComplete(static_cast<unsigned long>(1000 + round), 200, body) &&
                   WaitForEvent(app, ++events) && received();
        });
        ok = ok && TimeRounds("text_seconds", rounds, [&](int) {
            return Bstr::FromAnsi(body.c_str(), body.size()).Length() == static_cast<UINT>(body.size());
        });
        const Bstr text = Bstr::FromAnsi(body.c_str(), body.size());
        ok = ok && TimeRounds("script_seconds", rounds, [&](int round) {
            VARIANT args[3];
            args[0].vt = VT_UI4;
            args[0].ulVal = static_cast<ULONG>(2000 + round);
            args[1].vt = VT_UI4;
            args[1].ulVal = 200;
            args[2].vt = VT_BSTR;
            args[2].bstrVal = text.Get();   // lent
            Bstr name(L"QDOnAsyncHTTPComplete");
            const HRESULT hr = app.Control()->CallScriptMethod(name.Get(), nullptr, 3, args);
            ++events;
            return SUCCEEDED(hr) && received();
        });
        app.Destroy();
    }
    OleUninitialize();
    return ok ? 0 : 1;
}
