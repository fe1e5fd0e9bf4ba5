// What the page's update methods do once a download has come: start the newest installer after
// its signature checks, and tell the user an update is ready.
#pragma once

// The maker's home page, opened in the default browser when the user would rather fetch the
// client from there than run an unsigned installer.
extern const char kMakerHomePage[];

// The steps of "UpdateClient":
// 1. The newest installer of the update folder; none: false, nothing shown.
// 2. Without certificates the user is asked ("DownloadMsg", "DownloadYesButtonText",
//    "DownloadNoButtonText"): Yes opens the home page and answers false; No takes the update
//    folder's manifest as installed and removes the update folder, then goes on.
// 3. A trusted installer signed by the publisher of this library is started
//    (Wisp/update/Installer.h) and its start answered; any other is not started, the host is
//    told to exit all the same, false.
// All of it holds the update folder's lock (Wisp/update/UpdateDownload.h); a time-out: false.
bool UpdateClient();

// "UpdateMsgOk" in a message box captioned "UpdateCaptionOk" without a close button (a
// thread-local hook takes the system menu off the box as it activates); IDOK, or 0 when a
// text is missing (nothing shown).
int ShowUpdateNowDialog();
