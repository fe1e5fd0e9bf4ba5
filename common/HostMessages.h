// The one table of window messages between Wisp, the screen saver and the host application
// ("Mothership", TidewireDesktop.exe). Every number is WM_USER + n; no other file spells them.
#pragma once

#include <windows.h>

enum HostMessage : UINT {
    RM_EXIT = WM_USER + 2,                           // 1026 the receiver exits
    RM_SET_APPBAR_EDGE = WM_USER + 3,                // 1027 send, new value
    RM_SET_APPBAR_SIZE = WM_USER + 4,                // 1028 send, new value
    RM_SET_APPBAR_AUTOHIDE = WM_USER + 5,            // 1029 send, new value
    RM_SET_APPBAR_ALWAYSONTOP = WM_USER + 6,         // 1030 send, new value
    RM_DOCUMENT_COMPLETE = WM_USER + 7,              // 1031 a control's page finished loading
    RM_SET_APPBAR_BROWSER = WM_USER + 8,             // 1032 post, new value
    RM_SET_APPBAR_DESKBAR = WM_USER + 9,             // 1033 post, new value
    RM_GET_TRAY_BALLOON_POSITION = WM_USER + 10,     // 1034 send; result: two 16-bit values
    RM_EMAIL_CHECK_COMPLETE = WM_USER + 11,          // 1035 post, lParam = the mail checker
    RM_ASYNC_HTTP_COMPLETE = WM_USER + 12,           // 1036 post, request id / result block
    RM_DESKTOP_LOADED = WM_USER + 13,                // 1037 page event "QDOnDesktopLoaded"
    RM_CLOSE_POPUP = WM_USER + 14,                   // 1038 post: the pop-up closes itself
    RM_NEW_DESKTOP_INSTANCE = WM_USER + 15,          // 1039 page event "QDOnNewDesktopInstance"
    RM_EXIT_SCREENSAVER = WM_USER + 16,              // 1040 fade out if the host was running
    RM_EXIT_SCREENSAVER_IMMEDIATE = WM_USER + 17,    // 1041 quit now; lParam = close-host flag
    RM_NEW_CONTENT_AVAILABLE = WM_USER + 18,         // 1042 page event "QDOnNewContentAvailable"
    RM_GET_NEW_DATA = WM_USER + 19,                  // 1043 send
    RM_ON_NAVIGATE = WM_USER + 22,                   // 1046 data: URL text
    RM_SCREENSAVER_CYCLED_ITEM = WM_USER + 23,       // 1047 the screen saver reports its story
    RM_CURRENT_STORY = WM_USER + 24,                 // 1048 pipe data: story text
    RM_PREPARE_EXIT_WINDOW = WM_USER + 25,           // 1049 pipe
    RM_SHOW_FADE_WINDOW = WM_USER + 27,              // 1051 pipe
    RM_MODAL_DIALOG_SHOWING = WM_USER + 29,          // 1053 send; result not 0 = a modal shows
    RM_SET_MODAL_DIALOG_SHOWING = WM_USER + 30,      // 1054 send, flag / dialog window
    RM_FORCE_MODAL_TO_FRONT = WM_USER + 31,          // 1055 send, 1 / 0
    RM_NOTIFY_CLIENTS = WM_USER + 33,                // 1057 data: embedded record for all clients
    RM_NEWDATA_AVAILABLE = WM_USER + 34,             // 1058 pipe data: number / text
    RM_HEADLINE_SETTING_CHANGED = WM_USER + 36,      // 1060 inside a 1057 record: setting name
    RM_DEFAULT_BROWSER_NAVIGATE_COMPLETE = WM_USER + 37,  // 1061 page callback
    RM_SHOW_URL_IN_DEFAULT_BROWSER = WM_USER + 38,   // 1062 data: URL text
    RM_NOTIFY_CENTCOM = WM_USER + 39,                // 1063 data: embedded record with text
    RM_SET_EMAIL_FREQUENCY = WM_USER + 41,           // 1065 post, new value
    RM_GET_LOAD_NOTIFY_WINDOW = WM_USER + 42,        // 1066 send to a pop-up or balloon
    RM_SHOW_OPTIONS_PANEL = WM_USER + 43,            // 1067 send; result = options owner window
    RM_OPEN_DEFAULT_BROWSER = WM_USER + 45,          // 1069 post
    RM_RELAY_TO_SCREENSAVER = WM_USER + 46,          // 1070 post, message / its lParam
    RM_NOTIFY_MOTHERSHIP = WM_USER + 51,             // 1075 send, record size / record
    RM_UPDATE_EMAIL_MENU = WM_USER + 53,             // 1077 send
    RM_EMAIL_VERIFY_COMPLETE = WM_USER + 54,         // 1078 post, lParam = verification record
    RM_CALL_MOTHERSHIP_SCRIPT_METHOD = WM_USER + 55, // 1079 data: script text
    RM_CALL_TOP_TOOLBAR_SCRIPT_METHOD = WM_USER + 56,// 1080 data: script text
    RM_TRACKING_MOVE = WM_USER + 57,                 // 1081 offered to pop-ups and balloons
    RM_NOTIFY_TOP_CLIENT = WM_USER + 58,             // 1082 data: embedded record, top client
    RM_SET_MODE_FULLSCREEN = WM_USER + 60,           // 1084 send, new value
    RM_UPDATE_DOWNLOAD_COMPLETE = WM_USER + 61,      // 1085 post, last-error code
    RM_LOG_USAGE_DATA = WM_USER + 62,                // 1086 data: text
    RM_CLEAR_USAGE_DATA = WM_USER + 63,              // 1087 send
    RM_SHOW_ABOUT_BOX = WM_USER + 64,                // 1088 send
};

// Window identities of the host contract.
#define HOST_WINDOW_CLASS "QuillDesktopAppWindowClass"
#define HOST_WINDOW_TITLE "QuillDesktopAppWindow"
#define SCREENSAVER_WINDOW_CLASS "WindowsScreenSaverClass"
#define SCREENSAVER_WINDOW_TITLE "MarigoldScreenSaverWindow"
#define HOST_RUNNING_MUTEX "{5C888E6D-D2DF-420e-831E-DAB3E6C2E3D8}"
#define CONTROL_CREATION_MUTEX "{2F6C4413-606F-4203-803D-4F347D2B2BB1}"
#define SETTINGS_MUTEX "{c957a8e0-5308-11da-8cd6-0800200c9a66}"

// The host application's side of the start-up handshake and its command line.
#define HOST_EXECUTABLE "TidewireDesktop.exe"
// Manual-reset event the host sets once it accepts pipe clients; whichever side comes first
// creates it.
#define STARTUP_SYNCHRONIZATION_EVENT "QDStartupSynchronizationEventName"
#define HOST_SWITCH_NO_BROWSER "-NoBrowser"   // start without showing the browser view
#define HOST_SWITCH_FEED "-Feed"              // followed by a quoted feed URL
