// System sounds, control-panel launches and what the installer recorded about this client.
#include <windows.h>
#include <mmsystem.h>

#include <string>

#include "common/QDRegKey.h"
#include "common/QDUtilities.h"
#include "common/TraceLog.h"
#include "common/com/Bstr.h"
#include "common/com/ComPtr.h"
#include "common/com/Strings.h"
#include "Wisp/control/WispControl.h"
#include "Wisp/methods/ApplicationMethods.h"

namespace methods {

namespace {

const char kOriginationKey[] = "SOFTWARE\\Ashgrove\\Tidewire";

// The host's QDWeb component: only its identifiers and its version method are known here.
const CLSID kCLSID_QDWeb = {0xDB0D0B9A, 0xE1AC, 0x498E, {0xB1, 0x97, 0x61, 0xE9, 0x81, 0x6E, 0xCF, 0x4B}};
const IID kIID_IQDWeb = {0xE31D5D17, 0x8D89, 0x407F, {0x85, 0xCD, 0x5B, 0xBF, 0x15, 0x2C, 0x68, 0x58}};

struct IQDWebVersion : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE Method1() = 0;
    virtual HRESULT STDMETHODCALLTYPE Method2() = 0;
    virtual HRESULT STDMETHODCALLTYPE Method3() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetClientVersion(BSTR* version) = 0;
};

std::string OriginationValue(const char* name, const char* missingTrace)
{
    char buffer[260];
    if (!QDRegKey::GetString(HKEY_LOCAL_MACHINE, kOriginationKey, name, buffer, sizeof buffer)) {
        TraceLog("%s", missingTrace);
        return {};
    }
    return buffer;
}

std::string ClientVersion()
{
    ComPtr<IQDWebVersion> web;
    HRESULT hr = CoCreateInstance(kCLSID_QDWeb, nullptr, CLSCTX_ALL, kIID_IQDWeb, web.PutVoid());
    if (FAILED(hr) || !web) {
        TraceLog("CallApplicationMethodDispatch::GetClientOriginationData - Failed creating QDWeb instance. hr=0x%X\n",
                 static_cast<unsigned>(hr));
        return {};
    }
    BSTR version = nullptr;
    hr = web->GetClientVersion(&version);
    if (FAILED(hr)) {
        TraceLog("CallApplicationMethodDispatch::GetClientOriginationData - Failed getting client version. hr=0x%X\n",
                 static_cast<unsigned>(hr));
        return {};
    }
    std::string text = version ? AnsiFromWide(version, SysStringLen(version)) : std::string();
    SysFreeString(version);
    return text;
}

}  // namespace

void PlaySound(MethodCall& call)
{
    const std::string alias = call.args.String(0);
    ::PlaySoundA(alias.c_str(), nullptr, SND_ALIAS | SND_ASYNC);
}

void OpenControlPanelSounds(MethodCall& call)
{
    UINT started = WinExec("control.exe mmsys.cpl,1,1", SW_SHOWNORMAL);
    call.SetBool(started > 31);
}

void EditProxySettings(MethodCall& call)
{
    call.SetBool(QDUtilities::RunControlPanelApplet("inetcpl.cpl", call.control->ControlWindow()));
}

void GetClientOriginationData(MethodCall& call)
{
    std::string result;
    result += OriginationValue("bod", "ApplicaitonMethod::GetClientOriginationData - bod is missing.\n") + "\n";
    result += OriginationValue("original_pcode",
                               "ApplicaitonMethod::GetClientOriginationData - original_pcode is missing.\n") + "\n";
    result += OriginationValue("pcode", "ApplicaitonMethod::GetClientOriginationData - pcode is missing.\n") + "\n";
    result += ClientVersion();
    call.SetString(result);
}

}  // namespace methods
