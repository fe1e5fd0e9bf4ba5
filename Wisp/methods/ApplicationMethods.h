// The handlers of the application-method table, grouped by subject in the files beside this one.
#pragma once

#include "Wisp/methods/CallApplicationMethodDispatch.h"

namespace methods {

void Trace(MethodCall& call);
void SetPreference(MethodCall& call);
void GetPreference(MethodCall& call);
void NotifyTopClientWithData(MethodCall& call);
void NotifyClientsWithData(MethodCall& call);
void NotifyClients(MethodCall& call);
void NotifyCentcom(MethodCall& call);
void ReadStringFromFile(MethodCall& call);
void CallTopToolbarScriptMethod(MethodCall& call);
void CallMothershipScriptMethod(MethodCall& call);
void ClosePopup(MethodCall& call);
void ExitScreenSaver(MethodCall& call);
void ScreenSaverCycledItem(MethodCall& call);
void ExitScreenSaverImmediate(MethodCall& call);
void Exit(MethodCall& call);
void AddMenu(MethodCall& call);
void DeleteMenu(MethodCall& call);
void ShowMenu(MethodCall& call);
void SlideHTMLRoundedPopup(MethodCall& call);
void SSCycledItemReady(MethodCall& call);
void SSWarmup(MethodCall& call);
void SSCooldown(MethodCall& call);
void SSShowFadeWindow(MethodCall& call);
void ShowHTMLWindow(MethodCall& call);
void GetInstallDir(MethodCall& call);
void ShowBalloon(MethodCall& call);
void ShowTrayBalloon(MethodCall& call);
void GetEmailNewMessages(MethodCall& call);
void GetEmailUnreadCount(MethodCall& call);
void GetPageLocationName(MethodCall& call);
void HTTPURL(MethodCall& call);
void HTTP(MethodCall& call);
void ApplyXSLTransform(MethodCall& call);
void GetParent(MethodCall& call);
void ShowMessageBox(MethodCall& call);
void GetWindowWidth(MethodCall& call);
void GetWindowHeight(MethodCall& call);
void IsWindowVisible(MethodCall& call);
void GetTaskTrayX(MethodCall& call);
void GetTaskTrayY(MethodCall& call);
void GetTaskTrayW(MethodCall& call);
void GetTaskTrayH(MethodCall& call);
void GetTaskBarEdge(MethodCall& call);
void ShowURLInDefaultBrowser(MethodCall& call);
void OpenDefaultBrowser(MethodCall& call);
void EditProxySettings(MethodCall& call);
void GetRSSFeedBehavior(MethodCall& call);
void GetManifestPubDate(MethodCall& call);
void ShowUpdateNowDialog(MethodCall& call);
void SetNewManifest(MethodCall& call);
void UpdateClient(MethodCall& call);
void LogUsageData(MethodCall& call);
void GetUsageDataResults(MethodCall& call);
void ClearUsageData(MethodCall& call);
void ShowAboutBox(MethodCall& call);
void OnNavigate(MethodCall& call);
void ExitDialog(MethodCall& call);
void ModalDialogShowing(MethodCall& call);
void ForceModalToFront(MethodCall& call);
void SetModalDialogShowing(MethodCall& call);
void PlaySound(MethodCall& call);
void OpenControlPanelSounds(MethodCall& call);
void GetNewData(MethodCall& call);
void GetFileList(MethodCall& call);
void DeleteCachefile(MethodCall& call);
void WriteStringToFile(MethodCall& call);
void SetAppHWnd(MethodCall& call);
void SetMarigoldScreenSaverOn(MethodCall& call);
void MarigoldScreenSaverOn(MethodCall& call);
void IsScreenSaverRunning(MethodCall& call);
void ShowCursor(MethodCall& call);
void ShowWindow(MethodCall& call);
void GetPID(MethodCall& call);
void GetClientOriginationData(MethodCall& call);

}  // namespace methods
