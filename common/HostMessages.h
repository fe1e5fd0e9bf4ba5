// Window messages between Wisp, the screen saver and the host application
// (TidewireDesktop.exe). All are WM_USER (1024) + n. "data" messages carry a payload: as
// WM_COPYDATA with dwData = the number when Wisp talks to the host window, as the payload of
// a QD_COPYDATASTRUCT record otherwise.
#pragma once

// The receiver exits. Wisp -> host (post); screen saver -> host (pipe); host -> screen saver.
constexpr unsigned int RM_EXIT = 1026;
// "SetPreference" of an application-bar setting: wParam = new value. Wisp -> host (send).
constexpr unsigned int RM_SET_APPBAR_EDGE = 1027;
constexpr unsigned int RM_SET_APPBAR_SIZE = 1028;
constexpr unsigned int RM_SET_APPBAR_AUTOHIDE = 1029;
constexpr unsigned int RM_SET_APPBAR_ALWAYSONTOP = 1030;
// A control's page finished loading. Control -> its notify window (post); a pop-up -> its
// load notification window (send, wParam = load count).
constexpr unsigned int RM_DOCUMENT_COMPLETE = 1031;
// "SetPreference" of "appbar_browser" / "appbar_deskbar": wParam = new value (post).
constexpr unsigned int RM_SET_APPBAR_BROWSER = 1032;
constexpr unsigned int RM_SET_APPBAR_DESKBAR = 1033;
// "ShowTrayBalloon": the host answers the balloon position as two 16-bit halves (send).
constexpr unsigned int RM_GET_BALLOON_POSITION = 1034;
// A mail-check pass is complete: lParam = the mail checker (post to the control's window).
constexpr unsigned int RM_MAIL_CHECK_COMPLETE = 1035;
// Asynchronous HTTP request finished: wParam = request id, lParam = heap block owned by the
// receiver (same-process post).
constexpr unsigned int RM_ASYNC_HTTP_COMPLETE = 1036;
// Host -> a control's window: page event "QDOnDesktopLoaded".
constexpr unsigned int RM_DESKTOP_LOADED = 1037;
// "ClosePopup" without argument: to the parent of a pop-up's control window (post).
constexpr unsigned int RM_CLOSE_POPUP = 1038;
// Host -> a control's window: page event "QDOnNewDesktopInstance".
constexpr unsigned int RM_NEW_DESKTOP_INSTANCE = 1039;
// Wisp -> screen saver (post, or relayed through RM_RELAY_TO_SCREENSAVER).
constexpr unsigned int RM_EXIT_SCREENSAVER = 1040;
constexpr unsigned int RM_EXIT_SCREENSAVER_IMMEDIATE = 1041;   // lParam = close-host flag
// Host -> a control's window: page event "QDOnNewContentAvailable".
constexpr unsigned int RM_NEW_CONTENT_AVAILABLE = 1042;
// "GetNewData" (send).
constexpr unsigned int RM_GET_NEW_DATA = 1043;
// "OnNavigate": data, URL text with its terminator.
constexpr unsigned int RM_ON_NAVIGATE = 1046;
// "ScreenSaverCycledItem": the screen saver reports the current story.
constexpr unsigned int RM_SCREENSAVER_CYCLED_ITEM = 1047;
// Screen saver -> host (pipe, data): the story on screen.
constexpr unsigned int RM_CURRENT_STORY = 1048;
// Screen saver -> host (pipe): prepare the small exit window / show the fade-out window.
constexpr unsigned int RM_PREPARE_EXIT_WINDOW = 1049;
constexpr unsigned int RM_SHOW_FADE_WINDOW = 1051;
// "ModalDialogShowing" (send): a non-zero result means a modal dialog shows.
constexpr unsigned int RM_MODAL_DIALOG_SHOWING = 1053;
// "SetModalDialogShowing" (send): wParam = showing flag, lParam = dialog window or 0.
constexpr unsigned int RM_SET_MODAL_DIALOG_SHOWING = 1054;
// "ForceModalToFront" (send, wParam 1).
constexpr unsigned int RM_FORCE_MODAL_TO_FRONT = 1055;
// Data: an embedded record to forward to all clients.
constexpr unsigned int RM_NOTIFY_CLIENTS = 1057;
// Host -> screen saver (pipe, data): new content, the page's "QDOnNewData" is called.
constexpr unsigned int RM_NEWDATA_AVAILABLE = 1058;
// Inside an RM_NOTIFY_CLIENTS record: a headline setting changed (payload = its name).
constexpr unsigned int RM_PREFERENCE_CHANGED = 1060;
// Host -> a control's window: page callback "OnDefaultBrowserNavigateComplete".
constexpr unsigned int RM_DEFAULT_BROWSER_NAVIGATE_COMPLETE = 1061;
// "ShowURLInDefaultBrowser": data, URL text with its terminator.
constexpr unsigned int RM_SHOW_URL_IN_DEFAULT_BROWSER = 1062;
// "NotifyCentcom": data, an embedded record with text.
constexpr unsigned int RM_NOTIFY_CENTCOM = 1063;
// "SetPreference" of "emailFrequency": wParam = new value (post).
constexpr unsigned int RM_SET_EMAIL_FREQUENCY = 1065;
// To a pop-up or balloon window (send): the result is its load notification window.
constexpr unsigned int RM_GET_LOAD_NOTIFY_WINDOW = 1066;
// "ShowOptionsPanel" (send to the control's notify window): result = owner window or 0.
constexpr unsigned int RM_SHOW_OPTIONS_PANEL = 1067;
// "OpenDefaultBrowser" (post).
constexpr unsigned int RM_OPEN_DEFAULT_BROWSER = 1069;
// Wisp -> host (post) instead of 1040, 1041 or 1047 when no screen-saver window exists:
// wParam = the message number, lParam = its lParam.
constexpr unsigned int RM_RELAY_TO_SCREENSAVER = 1070;
// Wisp -> screen saver (send): wParam = record size, lParam = QD_COPYDATASTRUCT record; the
// relay of any host message while Wisp runs inside the screen saver.
constexpr unsigned int RM_NOTIFY_MOTHERSHIP = 1075;
// "UpdateEmailMenu" (send).
constexpr unsigned int RM_UPDATE_EMAIL_MENU = 1077;
// An account verification ended: lParam = the verification record (post to the control).
constexpr unsigned int RM_ACCOUNT_VERIFICATION_COMPLETE = 1078;
// Data, script text with its terminator.
constexpr unsigned int RM_CALL_MOTHERSHIP_SCRIPT_METHOD = 1079;
constexpr unsigned int RM_CALL_TOP_TOOLBAR_SCRIPT_METHOD = 1080;
// Host -> a control's window: tracking move, offered to its pop-ups and balloons.
constexpr unsigned int RM_TRACKING_MOVE = 1081;
// Data: an embedded record to forward to the top client.
constexpr unsigned int RM_NOTIFY_TOP_CLIENT = 1082;
// "SetPreference" of "mode_fullscreen": wParam = new value (send).
constexpr unsigned int RM_SET_MODE_FULLSCREEN = 1084;
// The background download of a manifest's components ended: wParam = last-error code.
constexpr unsigned int RM_UPDATE_DOWNLOAD_COMPLETE = 1085;
// "LogUsageData": data, text with its terminator.
constexpr unsigned int RM_LOG_USAGE_DATA = 1086;
// "ClearUsageData" / "ShowAboutBox" (send).
constexpr unsigned int RM_CLEAR_USAGE_DATA = 1087;
constexpr unsigned int RM_SHOW_ABOUT_BOX = 1088;
