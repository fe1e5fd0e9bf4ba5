// Resource numbers of Wisp.dll.
#pragma once

#define IDR_WISP_APPID 101
#define IDB_WISPCONTROL 102
#define IDR_WISPCONTROL 103
#define IDD_HTML_DIALOG 205
