// The entry every page call of window.external.CallApplicationMethod(name, ...) reaches. The
// method table is matched in table order by exact, case-sensitive comparison; a name that
// matches nothing is traced and answered with an empty result. Only a page the trust rule
// (Wisp/control/PageTrust.h) passes gets that far.
#include "Wisp/methods/CallApplicationMethodDispatch.h"

#include <cstring>
#include <cwchar>

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

namespace {

unsigned ResultKind(VARTYPE type)
{
    switch (type) {
    case VT_EMPTY: return kResultEmpty;
    case VT_BOOL: return kResultBool;
    case VT_I4: return kResultI4;
    case VT_I2: return kResultI2;
    case VT_BSTR: return kResultBstr;
    case VT_DISPATCH: return kResultDispatch;
    default: return 0;
    }
}

}  // namespace

const ApplicationMethodEntry kApplicationMethods[] = {
    {"TRACE", methods::Trace, kResultEmpty},
    {"SetPreference", methods::SetPreference, kResultBool | kResultEmpty},
    {"GetPreference", methods::GetPreference, kResultI4 | kResultBstr | kResultEmpty},
    {"NotifyTopClientWithData", methods::NotifyTopClientWithData, kResultBool},
    {"NotifyClientsWithData", methods::NotifyClientsWithData, kResultBool},
    {"NotifyClients", methods::NotifyClients, kResultBool},
    {"NotifyCentcom", methods::NotifyCentcom, kResultEmpty},
    {"ReadStringFromFile", methods::ReadStringFromFile, kResultBstr},
    {"CallTopToolbarScriptMethod", methods::CallTopToolbarScriptMethod, kResultI4},
    {"CallMothershipScriptMethod", methods::CallMothershipScriptMethod, kResultI4},
    {"ClosePopup", methods::ClosePopup, kResultI2},
    {"DeleteAuthCookie", methods::DeleteAuthCookie, kResultBool},
    {"IsClientLoggedIn", methods::IsClientLoggedIn, kResultBool},
    {"ExitScreenSaver", methods::ExitScreenSaver, kResultEmpty},
    {"ScreenSaverCycledItem", methods::ScreenSaverCycledItem, kResultEmpty},
    {"ExitScreenSaverImmediate", methods::ExitScreenSaverImmediate, kResultEmpty},
    {"Exit", methods::Exit, kResultEmpty},
    {"AddMenu", methods::AddMenu, kResultI4},
    {"DeleteMenu", methods::DeleteMenu, kResultBool},
    {"ShowMenu", methods::ShowMenu, kResultI4},
    {"SlideHTMLRoundedPopup", methods::SlideHTMLRoundedPopup, kResultDispatch | kResultEmpty},
    {"SSCycledItemReady", methods::SSCycledItemReady, kResultBool},
    {"SSWarmup", methods::SSWarmup, kResultBool},
    {"SSCooldown", methods::SSCooldown, kResultBool},
    {"SSShowFadeWindow", methods::SSShowFadeWindow, kResultBool},
    {"ShowHTMLWindow", methods::ShowHTMLWindow, kResultDispatch | kResultEmpty},
    {"GetInstallDir", methods::GetInstallDir, kResultBstr},
    {"ShowBalloon", methods::ShowBalloon, kResultDispatch | kResultBool | kResultEmpty},
    {"ShowTrayBalloon", methods::ShowTrayBalloon, kResultBool},
    {"CheckEmail", methods::CheckEmail, kResultBool},
    {"VerifyEmailAccount", methods::VerifyEmailAccount, kResultI4},
    {"StopEmailVerify", methods::StopEmailVerify, kResultBool},
    {"UpdateEmailMenu", methods::UpdateEmailMenu, kResultI4},
    {"GetEmailNewMessages", methods::GetEmailNewMessages, kResultBool},
    {"GetEmailUnreadCount", methods::GetEmailUnreadCount, kResultI4},
    {"ShowOptionsPanel", methods::ShowOptionsPanel, kResultBool},
    {"GetPageLocationName", methods::GetPageLocationName, kResultBstr},
    {"HTTPURL", methods::HTTPURL, kResultBool},
    {"HTTP", methods::HTTP, kResultBool},
    {"ApplyXSLTransform", methods::ApplyXSLTransform, kResultBool | kResultEmpty},
    {"GetParent", methods::GetParent, kResultDispatch | kResultEmpty},
    {"ShowMessageBox", methods::ShowMessageBox, kResultI4},
    {"GetWindowWidth", methods::GetWindowWidth, kResultI4},
    {"GetWindowHeight", methods::GetWindowHeight, kResultI4},
    {"IsWindowVisible", methods::IsWindowVisible, kResultBool},
    {"GetTaskTrayX", methods::GetTaskTrayX, kResultI4},
    {"GetTaskTrayY", methods::GetTaskTrayY, kResultI4},
    {"GetTaskTrayW", methods::GetTaskTrayW, kResultI4},
    {"GetTaskTrayH", methods::GetTaskTrayH, kResultI4},
    {"GetTaskBarEdge", methods::GetTaskBarEdge, kResultI4},
    {"ShowURLInDefaultBrowser", methods::ShowURLInDefaultBrowser, kResultI4},
    {"ShowQuillDesktopInBrowser", methods::ShowQuillDesktopInBrowser, kResultBool},
    {"IsDefaultBrowserOpen", methods::IsDefaultBrowserOpen, kResultBool},
    {"OpenDefaultBrowser", methods::OpenDefaultBrowser, kResultEmpty},
    {"EditProxySettings", methods::EditProxySettings, kResultBool},
    {"ModalHtmlDialog", methods::ModalHtmlDialog, kResultI4},
    {"GetRSSFeedBehavior", methods::GetRSSFeedBehavior, kResultI4},
    {"GetCurrentRSSReader", methods::GetCurrentRSSReader, kResultBstr},
    {"GetManifestPubDate", methods::GetManifestPubDate, kResultI4},
    {"ShowUpdateNowDialog", methods::ShowUpdateNowDialog, kResultI4},
    {"SetNewManifest", methods::SetNewManifest, kResultBool},
    {"UpdateClient", methods::UpdateClient, kResultBool},
    {"LogUsageData", methods::LogUsageData, kResultEmpty},
    {"GetUsageDataResults", methods::GetUsageDataResults, kResultBstr},
    {"ClearUsageData", methods::ClearUsageData, kResultI4},
    {"ShowAboutBox", methods::ShowAboutBox, kResultI4},
    {"QDSetAsDefaultRSSReader", methods::QDSetAsDefaultRSSReader, kResultEmpty},
    {"OnNavigate", methods::OnNavigate, kResultEmpty},
    {"ExitDialog", methods::ExitDialog, kResultEmpty},
    {"ModalDialogShowing", methods::ModalDialogShowing, kResultBool},
    {"ForceModalToFront", methods::ForceModalToFront, kResultEmpty},
    {"SetModalDialogShowing", methods::SetModalDialogShowing, kResultEmpty},
    {"PlaySound", methods::PlaySound, kResultEmpty},
    {"OpenControlPanelSounds", methods::OpenControlPanelSounds, kResultBool},
    {"GetNewData", methods::GetNewData, kResultEmpty},
    {"GetFileList", methods::GetFileList, kResultBstr},
    {"DeleteCachefile", methods::DeleteCachefile, kResultI4 | kResultEmpty},
    {"WriteStringToFile", methods::WriteStringToFile, kResultBstr | kResultEmpty},
    {"SetAppHWnd", methods::SetAppHWnd, kResultI4},
    {"SetMarigoldScreenSaverOn", methods::SetMarigoldScreenSaverOn, kResultBool},
    {"MarigoldScreenSaverOn", methods::MarigoldScreenSaverOn, kResultBool},
    {"IsScreenSaverRunning", methods::IsScreenSaverRunning, kResultBool},
    {"ShowCursor", methods::ShowCursor, kResultEmpty},
    {"TestForFeedHandler", methods::TestForFeedHandler, kResultEmpty},
    {"IsDefaultBrowserIE", methods::IsDefaultBrowserIE, kResultI2},
    {"ShowWindow", methods::ShowWindow, kResultEmpty},
    {"GetPID", methods::GetPID, kResultI4},
    {"GetClientOriginationData", methods::GetClientOriginationData, kResultBstr},
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
    // A page calls in runs: a verdict that rests on the address and the anchor alone (not on
    // the folder settings, which may change between two calls) holds while both are the same.
    const UINT length = location.Length();
    if (!m_trustedLocation.empty() && m_trustedLocation.size() == length &&
        std::wmemcmp(m_trustedLocation.data(), location.Get(), length) == 0 && m_trustedAnchor == m_anchor)
        return true;
    bool askedFolders = false;
    const bool trusted = page_trust::IsTrustedPage(Utf8FromWide(location.Get(), length), ModulePath(), m_anchor,
                                                   [&](std::string& content, std::string& application) {
                                                       askedFolders = true;
                                                       TrustedFolders(content, application);
                                                   });
    if (trusted && !askedFolders) {
        m_trustedLocation.assign(location.Get(), length);
        m_trustedAnchor = m_anchor;
    }
    if (!trusted)
        url = location.ToAnsi();
    return trusted;
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
        if (!(ResultKind(result.vt) & entry->results))
            TraceLog("CallApplicationMethodDispatch(%s) answered the type %u, which its row does not name.\n",
                     name.c_str(), static_cast<unsigned>(result.vt));
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
