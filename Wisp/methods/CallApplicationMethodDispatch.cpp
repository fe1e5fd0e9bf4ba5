// The entry every page call of window.external.CallApplicationMethod(name, ...) reaches. The
// method table is matched in table order by exact, case-sensitive comparison; a name that
// matches nothing is traced and answered with an empty result. Only a page the trust rule
// (Wisp/control/PageTrust.h) passes gets that far.
#include "Wisp/methods/CallApplicationMethodDispatch.h"

#include <cstring>

#include "common/PersistentSettings.h"
#include "common/SettingsIds.h"
#include "common/TraceLog.h"
#include "common/WindowClass.h"
#include "common/com/Bstr.h"
#include "common/com/Strings.h"
#include "Wisp/control/PageTrust.h"
#include "Wisp/control/WispControl.h"
#include "Wisp/methods/ApplicationMethods.h"

namespace {

std::string Utf8FromAnsi(const std::string& text)
{
    return Utf8FromWide(WideFromAnsi(text));
}

// Wisp.dll's own path, for its res: pages.
const std::string& ModulePath()
{
    static const std::string path = [] {
        wchar_t buffer[MAX_PATH * 2] = {};
        const DWORD length = GetModuleFileNameW(ThisModule(), buffer, MAX_PATH * 2);
        return length > 0 && length < MAX_PATH * 2 ? Utf8FromWide(buffer, length) : std::string();
    }();
    return path;
}

void TrustedFolders(std::string& content, std::string& application)
{
    PersistentSettings settings;
    std::string text;
    if (settings.GetProperty(SettingsId::content_directory, text))
        content = Utf8FromAnsi(text);
    text.clear();
    if (settings.GetProperty(SettingsId::application_directory, text))
        application = Utf8FromAnsi(text);
}

}  // namespace

std::string ApplicationMethodArgs::MethodName() const
{
    if (Count() == 0 || !m_pdp->rgvarg)
        return {};
    const VARIANT& name = m_pdp->rgvarg[m_pdp->cArgs - 1];
    if (name.vt != VT_BSTR || !name.bstrVal)
        return {};
    return AnsiFromWide(name.bstrVal, SysStringLen(name.bstrVal));
}

const VARIANT* ApplicationMethodArgs::Arg(unsigned i) const
{
    if (!m_pdp || !m_pdp->rgvarg || i + 1 >= m_pdp->cArgs)
        return nullptr;
    return &m_pdp->rgvarg[m_pdp->cArgs - 2 - i];
}

bool ApplicationMethodArgs::IsString(unsigned i) const
{
    const VARIANT* v = Arg(i);
    return v && v->vt == VT_BSTR;
}

std::string ApplicationMethodArgs::String(unsigned i) const
{
    const VARIANT* v = Arg(i);
    if (!v || v->vt != VT_BSTR || !v->bstrVal)
        return {};
    return AnsiFromWide(v->bstrVal, SysStringLen(v->bstrVal));
}

long ApplicationMethodArgs::Int(unsigned i) const
{
    const VARIANT* v = Arg(i);
    return v ? v->lVal : 0;
}

short ApplicationMethodArgs::Short(unsigned i) const
{
    const VARIANT* v = Arg(i);
    return v ? v->iVal : 0;
}

bool ApplicationMethodArgs::Bool(unsigned i) const
{
    const VARIANT* v = Arg(i);
    return v && (v->lVal & 0xFF) != 0;
}

IDispatch* ApplicationMethodArgs::Object(unsigned i) const
{
    const VARIANT* v = Arg(i);
    if (!v || (v->vt != VT_DISPATCH && v->vt != VT_UNKNOWN))
        return nullptr;
    return v->pdispVal;
}

void MethodCall::SetBool(bool value)
{
    VariantClear(&result);
    result.vt = VT_BOOL;
    result.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

void MethodCall::SetInt(long value)
{
    VariantClear(&result);
    result.vt = VT_I4;
    result.lVal = value;
}

void MethodCall::SetShort(short value)
{
    VariantClear(&result);
    result.vt = VT_I2;
    result.iVal = value;
}

void MethodCall::SetString(const std::string& text)
{
    VariantClear(&result);
    std::wstring wide = WideFromAnsi(text);
    result.vt = VT_BSTR;
    result.bstrVal = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

void MethodCall::SetObject(IDispatch* object)
{
    VariantClear(&result);
    if (!object)
        return;
    object->AddRef();
    result.vt = VT_DISPATCH;
    result.pdispVal = object;
}

const ApplicationMethodEntry kApplicationMethods[] = {
    {"TRACE", methods::Trace},
    {"SetPreference", methods::SetPreference},
    {"GetPreference", methods::GetPreference},
    {"NotifyTopClientWithData", methods::NotifyTopClientWithData},
    {"NotifyClientsWithData", methods::NotifyClientsWithData},
    {"NotifyClients", methods::NotifyClients},
    {"NotifyCentcom", methods::NotifyCentcom},
    {"ReadStringFromFile", methods::ReadStringFromFile},
    {"CallTopToolbarScriptMethod", methods::CallTopToolbarScriptMethod},
    {"CallMothershipScriptMethod", methods::CallMothershipScriptMethod},
    {"ClosePopup", methods::ClosePopup},
    {"DeleteAuthCookie", methods::DeleteAuthCookie},
    {"IsClientLoggedIn", methods::IsClientLoggedIn},
    {"ExitScreenSaver", methods::ExitScreenSaver},
    {"ScreenSaverCycledItem", methods::ScreenSaverCycledItem},
    {"ExitScreenSaverImmediate", methods::ExitScreenSaverImmediate},
    {"Exit", methods::Exit},
    {"AddMenu", methods::AddMenu},
    {"DeleteMenu", methods::DeleteMenu},
    {"ShowMenu", methods::ShowMenu},
    {"SlideHTMLRoundedPopup", methods::SlideHTMLRoundedPopup},
    {"SSCycledItemReady", methods::SSCycledItemReady},
    {"SSWarmup", methods::SSWarmup},
    {"SSCooldown", methods::SSCooldown},
    {"SSShowFadeWindow", methods::SSShowFadeWindow},
    {"ShowHTMLWindow", methods::ShowHTMLWindow},
    {"GetInstallDir", methods::GetInstallDir},
    {"ShowBalloon", methods::ShowBalloon},
    {"ShowTrayBalloon", methods::ShowTrayBalloon},
    {"CheckEmail", methods::CheckEmail},
    {"VerifyEmailAccount", methods::VerifyEmailAccount},
    {"StopEmailVerify", methods::StopEmailVerify},
    {"UpdateEmailMenu", methods::UpdateEmailMenu},
    {"GetEmailNewMessages", methods::GetEmailNewMessages},
    {"GetEmailUnreadCount", methods::GetEmailUnreadCount},
    {"ShowOptionsPanel", methods::ShowOptionsPanel},
    {"GetPageLocationName", methods::GetPageLocationName},
    {"HTTPURL", methods::HTTPURL},
    {"HTTP", methods::HTTP},
    {"ApplyXSLTransform", methods::ApplyXSLTransform},
    {"GetParent", methods::GetParent},
    {"ShowMessageBox", methods::ShowMessageBox},
    {"GetWindowWidth", methods::GetWindowWidth},
    {"GetWindowHeight", methods::GetWindowHeight},
    {"IsWindowVisible", methods::IsWindowVisible},
    {"GetTaskTrayX", methods::GetTaskTrayX},
    {"GetTaskTrayY", methods::GetTaskTrayY},
    {"GetTaskTrayW", methods::GetTaskTrayW},
    {"GetTaskTrayH", methods::GetTaskTrayH},
    {"GetTaskBarEdge", methods::GetTaskBarEdge},
    {"ShowURLInDefaultBrowser", methods::ShowURLInDefaultBrowser},
    {"ShowQuillDesktopInBrowser", methods::ShowQuillDesktopInBrowser},
    {"IsDefaultBrowserOpen", methods::IsDefaultBrowserOpen},
    {"OpenDefaultBrowser", methods::OpenDefaultBrowser},
    {"EditProxySettings", methods::EditProxySettings},
    {"ModalHtmlDialog", methods::ModalHtmlDialog},
    {"GetRSSFeedBehavior", methods::GetRSSFeedBehavior},
    {"GetCurrentRSSReader", methods::GetCurrentRSSReader},
    {"GetManifestPubDate", methods::GetManifestPubDate},
    {"ShowUpdateNowDialog", methods::ShowUpdateNowDialog},
    {"SetNewManifest", methods::SetNewManifest},
    {"UpdateClient", methods::UpdateClient},
    {"LogUsageData", methods::LogUsageData},
    {"GetUsageDataResults", methods::GetUsageDataResults},
    {"ClearUsageData", methods::ClearUsageData},
    {"ShowAboutBox", methods::ShowAboutBox},
    {"QDSetAsDefaultRSSReader", methods::QDSetAsDefaultRSSReader},
    {"OnNavigate", methods::OnNavigate},
    {"ExitDialog", methods::ExitDialog},
    {"ModalDialogShowing", methods::ModalDialogShowing},
    {"ForceModalToFront", methods::ForceModalToFront},
    {"SetModalDialogShowing", methods::SetModalDialogShowing},
    {"PlaySound", methods::PlaySound},
    {"OpenControlPanelSounds", methods::OpenControlPanelSounds},
    {"GetNewData", methods::GetNewData},
    {"GetFileList", methods::GetFileList},
    {"DeleteCachefile", methods::DeleteCachefile},
    {"WriteStringToFile", methods::WriteStringToFile},
    {"SetAppHWnd", methods::SetAppHWnd},
    {"SetMarigoldScreenSaverOn", methods::SetMarigoldScreenSaverOn},
    {"MarigoldScreenSaverOn", methods::MarigoldScreenSaverOn},
    {"IsScreenSaverRunning", methods::IsScreenSaverRunning},
    {"ShowCursor", methods::ShowCursor},
    {"TestForFeedHandler", methods::TestForFeedHandler},
    {"IsDefaultBrowserIE", methods::IsDefaultBrowserIE},
    {"ShowWindow", methods::ShowWindow},
    {"GetPID", methods::GetPID},
    {"GetClientOriginationData", methods::GetClientOriginationData},
};
const unsigned kApplicationMethodCount = sizeof(kApplicationMethods) / sizeof(kApplicationMethods[0]);

bool CWispControl::PageMayCallIn(std::string& url) const
{
    // The top-level document, read at each call: a link, a redirect or a script may have taken
    // the browser elsewhere since Init. Frames share the top page's window.external and so
    // inherit its trust.
    Bstr location;
    url.clear();
    // Without a browser no page exists that could be calling: the caller is the host's own code.
    if (!m_spBrowser)
        return true;
    if (FAILED(m_spBrowser->get_LocationURL(location.Put())) || !location.Get())
        return false;
    url = location.ToAnsi();
    return page_trust::IsTrustedPage(Utf8FromWide(location.Get(), location.Length()), ModulePath(), m_anchor,
                                     TrustedFolders);
}

bool CWispControl::CallApplicationMethodDispatch(DISPPARAMS* pdp, VARIANT* pvarResult)
{
    // The caller's previous content is ours to free; the method's value goes back in its place.
    if (pvarResult)
        VariantClear(pvarResult);
    VARIANT result;
    VariantInit(&result);
    std::string name;
    bool found = false;
    // Methods never raise script errors: one that throws (out of memory on the way) answers an
    // empty result, and whatever it had set by then is freed.
    try {
        ApplicationMethodArgs args(pdp);
        name = args.MethodName();
        std::string page;
        if (!PageMayCallIn(page)) {
            TraceLog("CallApplicationMethodDispatch(%s) refused for the page '%s'.\n", name.c_str(), page.c_str());
            return false;
        }
        const ApplicationMethodEntry* entry = nullptr;
        for (unsigned i = 0; i < kApplicationMethodCount; ++i)
            if (std::strcmp(kApplicationMethods[i].name, name.c_str()) == 0) {
                entry = &kApplicationMethods[i];
                break;
            }
        if (!entry) {
            TraceLog("CallApplicationMethodDispatch(%s) Method not found.\n", name.c_str());
            return false;
        }
        found = true;
        MethodCall call{this, args, result};
        entry->handler(call);
    } catch (...) {
        TraceLog("CallApplicationMethodDispatch(%s) - exception caught.\n", name.c_str());
        VariantClear(&result);
        VariantInit(&result);
    }
    if (pvarResult)
        *pvarResult = result;
    else
        VariantClear(&result);
    return found;
}
