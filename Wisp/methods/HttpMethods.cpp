// Asynchronous HTTP for the page: HTTP names server, path and port; HTTPURL names a URL. Both
// answer whether the request started; its status and body come later as the page event
// "QDOnAsyncHTTPComplete".
#include <string>

#include "common/PersistentSettings.h"
#include "common/SettingsIds.h"
#include "common/TraceLog.h"
#include "common/UrlSplitter.h"
#include "common/com/Strings.h"
#include "Wisp/control/PageTrust.h"
#include "Wisp/control/WispControl.h"
#include "Wisp/methods/ApplicationMethods.h"

namespace methods {

namespace {

// A body is written to a named file only inside the content folder: a page that could name any
// path could drop a script into the Startup folder or overwrite a program.
bool MayWriteLocalFile(const char* method, const std::string& localFile)
{
    if (localFile.empty())
        return true;
    std::string content;
    {
        PersistentSettings settings;
        settings.GetProperty(SettingsId::content_directory, content);
    }
    if (page_trust::IsPathInsideFolder(Utf8FromWide(WideFromAnsi(localFile)), Utf8FromWide(WideFromAnsi(content))))
        return true;
    TraceLog("ApplicationMethods::%s - the local file '%s' lies outside the content folder; nothing requested.\n",
             method, localFile.c_str());
    return false;
}

}  // namespace

// 0 request id, 1 verb, 2 URL, 3 post data, 4 local file, 5 access type.
void HTTPURL(MethodCall& call)
{
    const std::string url = call.args.String(2);
    UrlParts parts;
    if (!SplitUrl(url, parts)) {
        TraceLog("ApplicationMethods::HTTPURL - cannot split the url '%s'.\n", url.c_str());
        call.SetBool(false);
        return;
    }
    const std::string verb = call.args.String(1);
    const std::string target = parts.RequestTarget();
    const std::string postData = call.args.String(3);
    const std::string localFile = call.args.String(4);
    if (!MayWriteLocalFile("HTTPURL", localFile)) {
        call.SetBool(false);
        return;
    }
    // An https URL goes over TLS to its own port, never in the clear.
    call.SetBool(call.control->HTTP(static_cast<unsigned long>(call.args.Int(0)), verb.c_str(), parts.host.c_str(),
                                    target.c_str(), localFile.c_str(), postData.c_str(),
                                    static_cast<unsigned long>(postData.size()), parts.port,
                                    static_cast<unsigned long>(call.args.Int(5)), parts.secure));
}

// 0 request id, 1 verb, 2 server, 3 server path, 4 local file, 5 post data, 6 port, 7 access type.
void HTTP(MethodCall& call)
{
    const std::string verb = call.args.String(1);
    const std::string server = call.args.String(2);
    const std::string serverPath = call.args.String(3);
    const std::string localFile = call.args.String(4);
    const std::string postData = call.args.String(5);
    if (!MayWriteLocalFile("HTTP", localFile)) {
        call.SetBool(false);
        return;
    }
    call.SetBool(call.control->HTTP(static_cast<unsigned long>(call.args.Int(0)), verb.c_str(), server.c_str(),
                                    serverPath.c_str(), localFile.c_str(), postData.c_str(),
                                    static_cast<unsigned long>(postData.size()),
                                    static_cast<unsigned short>(call.args.Short(6)),
                                    static_cast<unsigned long>(call.args.Int(7))));
}

}  // namespace methods
