// Methods that hand their work to the host application or to the screen saver as window
// messages (the routing, direct or through the screen saver's relay, is QDUtilities').
#include <string>

#include "common/HostMessages.h"
#include "common/QDCopyData.h"
#include "common/QDUtilities.h"
#include "common/TraceLog.h"
#include "Wisp/methods/ApplicationMethods.h"

namespace methods {

namespace {

// A text payload travels with its terminator.
LRESULT SendText(UINT message, const std::string& text)
{
    return QDUtilities::SendDataMessage(message, static_cast<uint32_t>(text.size() + 1), text.c_str());
}

}  // namespace

void NotifyTopClientWithData(MethodCall& call)
{
    const std::string text = call.args.String(2);
    QDUtilities::NotifyTopClientRecord(static_cast<UINT>(call.args.Int(0)), static_cast<WPARAM>(call.args.Int(1)),
                                       0, static_cast<uint32_t>(text.size() + 1), text.c_str());
    call.SetBool(true);
}

void NotifyClientsWithData(MethodCall& call)
{
    const std::string text = call.args.String(2);
    QDUtilities::NotifyClientsRecord(static_cast<UINT>(call.args.Int(0)), static_cast<WPARAM>(call.args.Int(1)), 0,
                                     static_cast<uint32_t>(text.size() + 1), text.c_str());
    call.SetBool(true);
}

void NotifyClients(MethodCall& call)
{
    QDUtilities::NotifyClientsRecord(static_cast<UINT>(call.args.Int(0)), static_cast<WPARAM>(call.args.Int(1)),
                                     static_cast<LPARAM>(call.args.Int(2)), 0, nullptr);
    call.SetBool(true);
}

void NotifyCentcom(MethodCall& call)
{
    const std::string text = call.args.String(3);
    QDCopyDataRecord record(static_cast<uint32_t>(call.args.Int(0)), static_cast<uint32_t>(call.args.Int(1)),
                            static_cast<uint32_t>(call.args.Int(2)), text.c_str(),
                            static_cast<uint32_t>(text.size() + 1));
    QDUtilities::SendDataMessage(RM_NOTIFY_CENTCOM, static_cast<uint32_t>(record.Size()), record.Bytes());
}

void CallTopToolbarScriptMethod(MethodCall& call)
{
    call.SetInt(static_cast<long>(SendText(RM_CALL_TOP_TOOLBAR_SCRIPT_METHOD, call.args.String(0))));
}

void CallMothershipScriptMethod(MethodCall& call)
{
    call.SetInt(static_cast<long>(SendText(RM_CALL_MOTHERSHIP_SCRIPT_METHOD, call.args.String(0))));
}

void ExitScreenSaver(MethodCall&)
{
    QDUtilities::PostScreenSaverMessage(RM_EXIT_SCREENSAVER, 0, 0);
}

void ScreenSaverCycledItem(MethodCall&)
{
    QDUtilities::PostScreenSaverMessage(RM_SCREENSAVER_CYCLED_ITEM, 0, 0);
}

void ExitScreenSaverImmediate(MethodCall& call)
{
    TraceLog("ApplicationMethods::ExitScreenSaverImmediate\n");
    // The name plus exactly one argument: the page chose; otherwise the host closes too.
    bool closeHost = call.args.Count() == 2 ? call.args.Bool(0) : true;
    TraceLog("ApplicationMethod::ExitScreenSaverImmediate - bCloseMothsership = %d\n", closeHost ? 1 : 0);
    QDUtilities::PostScreenSaverMessage(RM_EXIT_SCREENSAVER_IMMEDIATE, 0, closeHost ? 1 : 0);
}

void Exit(MethodCall&)
{
    TraceLog("ApplicationMethods::Exit - Sending RM_EXIT to MS.\n");
    QDUtilities::PostApplicationMessage(RM_EXIT, 0, 0);
}

void ShowURLInDefaultBrowser(MethodCall& call)
{
    call.SetInt(static_cast<long>(SendText(RM_SHOW_URL_IN_DEFAULT_BROWSER, call.args.String(0))));
}

void OpenDefaultBrowser(MethodCall&)
{
    QDUtilities::PostApplicationMessage(RM_OPEN_DEFAULT_BROWSER, 0, 0);
}

void LogUsageData(MethodCall& call)
{
    SendText(RM_LOG_USAGE_DATA, call.args.String(0));
}

void ClearUsageData(MethodCall& call)
{
    call.SetInt(static_cast<long>(QDUtilities::SendApplicationMessage(RM_CLEAR_USAGE_DATA, 0, 0)));
}

void ShowAboutBox(MethodCall& call)
{
    call.SetInt(static_cast<long>(QDUtilities::SendApplicationMessage(RM_SHOW_ABOUT_BOX, 0, 0)));
}

void OnNavigate(MethodCall& call)
{
    SendText(RM_ON_NAVIGATE, call.args.String(0));
}

void ModalDialogShowing(MethodCall& call)
{
    call.SetBool(QDUtilities::SendApplicationMessage(RM_MODAL_DIALOG_SHOWING, 0, 0) != 0);
}

void ForceModalToFront(MethodCall&)
{
    QDUtilities::SendApplicationMessage(RM_FORCE_MODAL_TO_FRONT, 1, 0);
}

void SetModalDialogShowing(MethodCall& call)
{
    QDUtilities::SendApplicationMessage(RM_SET_MODAL_DIALOG_SHOWING, static_cast<WPARAM>(call.args.Short(0)), 0);
}

void GetNewData(MethodCall&)
{
    QDUtilities::SendApplicationMessage(RM_GET_NEW_DATA, 0, 0);
}

void SetAppHWnd(MethodCall& call)
{
    HWND window = reinterpret_cast<HWND>(static_cast<LONG_PTR>(call.args.Int(0)));
    call.SetInt(QDUtilities::SetThisApplicationWND(window));
}

void SetMarigoldScreenSaverOn(MethodCall& call)
{
    call.SetBool(QDUtilities::SetMarigoldScreenSaverOn(call.args.Short(0) != 0));
}

void MarigoldScreenSaverOn(MethodCall& call)
{
    call.SetBool(QDUtilities::MarigoldScreenSaverOn());
}

void IsScreenSaverRunning(MethodCall& call)
{
    call.SetBool(QDUtilities::SSIsRunning());
}

}  // namespace methods
