// Platform helpers shared by both deliverables: messaging the host application's window (the
// "mothership") and the screen-saver window, the per-user Run entry, window functions looked
// up at run time, the per-user folders, whole-file reading, the system screen-saver choice,
// control-panel applets, the notification area and the Firefox profile.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "common/Obfuscation.h"

namespace QDUtilities {

// --- Host and screen-saver messaging --------------------------------------------------------
// With an application window set (the control runs inside the screen saver), every message
// for the host goes to that window as RM_NOTIFY_MOTHERSHIP with a QD_COPYDATASTRUCT record;
// without one, the host's window is found by class and title (common/HostMessages.h) and
// messaged directly.

int SetThisApplicationWND(HWND window);   // always 0
HWND GetThisApplicationWND();
HWND FindApplicationWindow();
HWND FindScreenSaverWindow();

// The receiver's result; 0 when there is nobody to send to.
LRESULT SendApplicationMessage(UINT message, WPARAM wParam, LPARAM lParam);
// Always to the host window found by class and title.
bool PostApplicationMessage(UINT message, WPARAM wParam, LPARAM lParam);
// To the screen-saver window, else to the host as RM_RELAY_TO_SCREENSAVER(message, lParam).
bool PostScreenSaverMessage(UINT message, WPARAM wParam, LPARAM lParam);
// A message with a payload: WM_COPYDATA with dwData = message to the host, or a record to the
// application window. Blocks until the receiver returns; it must copy what it keeps.
LRESULT SendDataMessage(UINT message, uint32_t byteCount, const void* payload);
// An inner record {message, wParam, lParam or 0, payload} for the host to relay to all its
// clients (RM_NOTIFY_CLIENTS) or to its top client (RM_NOTIFY_TOP_CLIENT). With a payload,
// lParam is not carried.
LRESULT NotifyClientsRecord(UINT message, WPARAM wParam, LPARAM lParam, uint32_t byteCount,
                            const void* payload);
LRESULT NotifyTopClientRecord(UINT message, WPARAM wParam, LPARAM lParam, uint32_t byteCount,
                              const void* payload);
// Posts a private heap copy of the payload as lParam to a window of this process, as a message
// block of the message's kind (common/MessageBlock.h) that the receiver takes and frees. 0, or a system error code (87 for no bytes).
DWORD PostDataMessageSameProcessOnly(HWND window, UINT message, WPARAM wParam, const void* payload,
                                     size_t byteCount);

// --- Log-on start entry (HKCU\SOFTWARE\Microsoft\Windows\CurrentVersion\Run) ----------------
extern const char kRunKey[];
bool AddAppToStartup(const char* valueName, const char* command);
bool RemoveAppFromStartup(const char* valueName);

// --- Window functions that older systems lack, looked up at each call -----------------------
BOOL SetLayeredWindowAttributesDyn(HWND window, COLORREF colorKey, BYTE alpha, DWORD flags);
HWND GetAncestorDyn(HWND window, UINT flags);   // window itself when the function is missing

// --- Folders --------------------------------------------------------------------------------
// SHGetFolderPath for csidl, creating the folder: 0, or 3 (path not found). token and flags
// are ignored.
int GetSpecialFolder(HWND owner, int csidl, HANDLE token, DWORD flags, std::string& path);
// "<AppData>\Quill\Tidewire", without a trailing separator.
bool GetContentDirectoryPath(std::string& path);
// "<AppData>\Quill\Tidewire\settings.xml".
bool GetSettingsFilePath(std::string& path);
// Creates "<AppData>\Quill\Tidewire" with its missing parents.
bool EnsureSaveFileDirectoryExists();
// "<content_directory>\<fileName>" into buffer when it fits with its terminator; otherwise
// false and the buffer is left unchanged.
bool MakeContentPath(char* buffer, const char* fileName, size_t bufferSize);
// "<content_directory>\cache", created when missing.
bool GetCacheDirectory(std::string& path);
// Full paths of the entries "folder\*.<extension>" (or "folder\*.*" without one) whose names
// do not end with "."; false when the search finds nothing at all.
bool ListFiles(const char* folder, const char* extension, std::vector<std::string>& files);

// --- Files ----------------------------------------------------------------------------------
// The whole file with a zero byte after it, or null. size, when given, receives the length.
std::unique_ptr<char[]> ReadFileIntoBuffer(const char* path, size_t* size = nullptr);
bool ReadFileIntoString(const char* path, std::string& text);
bool WriteStringToFileHandle(FILE* file, const std::string& text);

// --- Strings --------------------------------------------------------------------------------
// Replaces every occurrence of find, left to right, without rescanning replaced text; returns
// how many were replaced. An empty find replaces nothing.
int ReplaceAll(std::string& text, const std::string& find, const std::string& replacement);
// Up to count characters from start; negative values count as 0.
std::string Mid(const std::string& text, int start, int count);

// --- System screen-saver choice (HKCU\Control Panel\Desktop, "SCRNSAVE.EXE") -----------------
bool MarigoldScreenSaverOn();
// On: remembers the current choice in "previous_screen_saver_setting" and chooses
// "<Windows>\System32\Tidewire.scr" (8.3 form). Off: puts the remembered choice back, or
// removes the value when there was none.
bool SetMarigoldScreenSaverOn(bool on);
bool SSIsRunning();

// --- Control panel --------------------------------------------------------------------------
// Loads "<Windows>\system32\<appletFile>" and runs its CPlApplet through init, double-click and
// exit.
bool RunControlPanelApplet(const char* appletFile, HWND owner);

// --- Notification area and task bar ---------------------------------------------------------
RECT GetTrayRect();
int GetTaskTrayX();
int GetTaskTrayY();
int GetTaskTrayW();
int GetTaskTrayH();
int GetTaskBarEdge();   // ABE_LEFT .. ABE_BOTTOM; ABE_BOTTOM when the shell does not answer

// --- Firefox --------------------------------------------------------------------------------
// The first profile's "Path=" of "<AppData>\Mozilla\Firefox\profiles.ini", with backslashes.
bool GetFireFoxProfilePath(std::string& path);
// "<AppData>\Mozilla\Firefox\" + that profile path.
bool GetMozillaAppDataPath(std::string& path);
// Whether the profile's cookies.txt mentions the site's login cookie.
bool GetFireFoxAuthCookie(bool& found);

}  // namespace QDUtilities
