// Fetching a 1 MB body from page script: window.external.CallApplicationMethod("HTTPURL", ...)
// in a page of the browser stand-in, timed from the call until the page's
// "QDOnAsyncHTTPComplete" has the whole body. bench/run-http-bench times curl on the same URL
// of the same server and prints the ratio.
// It also times the request alone (QDHTTP on this thread, no page, no message), to show where
// the time goes.
//   http_bench <url> <expected bytes> [rounds]
//   prints "httpurl_seconds <t1> <t2> ..." and "request_seconds <t1> <t2> ..."
#include <windows.h>

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
    int status = 0;
    {
        host::HostApplication app;
        const std::wstring page = host::FileUrl(host::PathBesideExecutable(L"fixtures\\web\\http.htm"));
        if (!app.Create(120, 90) || FAILED(app.CreateControl()) || FAILED(app.InitControl(page)) ||
            !app.WaitForMessage(RM_DOCUMENT_COMPLETE, 10000)) {
            std::fprintf(stderr, "http_bench: the page did not load\n");
            return 1;
        }
        std::printf("httpurl_seconds");
        // One round more than asked: the first warms up WinINet and the server.
        for (int round = 0; round <= rounds && status == 0; ++round) {
            const double start = Now();
            Run(app, "window.external.CallApplicationMethod('HTTPURL', " + std::to_string(round) + ", 'GET', '" + url +
                         "', '', '', 1)");
            const bool done = WaitForEvent(app, round + 1);
            const double elapsed = Now() - start;
            const std::string summary = Run(app, "summary(" + std::to_string(round) + ")");
            if (!done || summary.find(" 200 " + expected + " ") == std::string::npos) {
                std::fprintf(stderr, "\nhttp_bench: round %d failed: %s\n", round, summary.c_str());
                status = 1;
            } else if (round > 0) {
                std::printf(" %.6f", elapsed);
            }
        }
        std::printf("\n");
        app.Destroy();
    }
    UrlParts parts;
    SplitUrl(url, parts);
    std::printf("request_seconds");
    for (int round = 0; round <= rounds && status == 0; ++round) {
        QDHTTP request;
        uint32_t code = 0;
        const double start = Now();
        const bool done = request.set_verb("GET") && request.set_server(parts.host.c_str()) &&
                          request.set_serverPath(parts.RequestTarget().c_str()) && request.set_port(parts.port) &&
                          request.set_accessType(1) && request.HTTPSyncRequest(code);
        const double elapsed = Now() - start;
        if (!done || code != 200 || std::to_string(request.Response().size()) != expected) {
            std::fprintf(stderr, "\nhttp_bench: direct round %d failed\n", round);
            status = 1;
        } else if (round > 0) {
            std::printf(" %.6f", elapsed);
        }
    }
    std::printf("\n");
    OleUninitialize();
    return status;
}
