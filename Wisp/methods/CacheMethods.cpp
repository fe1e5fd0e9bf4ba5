// Files in the content cache folder, and reading any file the page names. Cache names are
// refused when they could reach outside the folder: a drive or a separator of either kind,
// a ".." component, or a device name.
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <share.h>
#include <string>
#include <vector>

#include "common/QDUtilities.h"
#include "common/TraceLog.h"
#include "Wisp/methods/ApplicationMethods.h"

namespace methods {

namespace {

// CON, NUL, COM1, LPT1.txt and the like open a device, not a file in the folder, whatever
// the folder and the extension: the system reads the name before its first dot, less
// trailing spaces and dots.
bool IsDeviceName(const std::string& name)
{
    std::string base = name.substr(0, name.find('.'));
    while (!base.empty() && (base.back() == ' ' || base.back() == '.'))
        base.pop_back();
    for (char& c : base)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"})
        if (base == device)
            return true;
    if (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0)) {
        const unsigned char digit = static_cast<unsigned char>(base[3]);
        // Digits, and the superscript one, two and three of the ANSI code page.
        return std::isdigit(digit) || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
    }
    return false;
}

bool IsPlainCacheName(const std::string& name)
{
    if (name.find_first_of("\\:/") != std::string::npos)
        return false;
    return name != ".." && !IsDeviceName(name);
}

}  // namespace

void ReadStringFromFile(MethodCall& call)
{
    const std::string path = call.args.String(0);
    std::string text;
    if (!QDUtilities::ReadFileIntoString(path.c_str(), text))
        text.clear();
    // The text ends at a NUL inside the file.
    text.resize(std::strlen(text.c_str()));
    call.SetString(text);
}

void WriteStringToFile(MethodCall& call)
{
    const std::string text = call.args.String(0);
    const std::string name = call.args.String(1);
    std::string cache;
    if (!QDUtilities::GetCacheDirectory(cache))
        return;
    if (!IsPlainCacheName(name)) {
        TraceLog("someone tried to send a path to WriteStringToFile! bad! \n");
        return;
    }
    const std::string path = cache + "\\" + name;
    FILE* file = _fsopen(path.c_str(), "wt", _SH_DENYNO);
    if (!file)
        return;
    QDUtilities::WriteStringToFileHandle(file, text);
    std::fclose(file);
    call.SetString(path);
}

void GetFileList(MethodCall& call)
{
    const std::string extension = call.args.String(0);
    call.SetString("");
    if (!IsPlainCacheName(extension)) {
        TraceLog("someone tried to send a path to GetFileList! bad! \n");
        return;
    }
    std::string cache;
    if (!QDUtilities::GetCacheDirectory(cache))
        return;
    std::vector<std::string> files;
    QDUtilities::ListFiles(cache.c_str(), extension.c_str(), files);
    std::string joined;
    for (const std::string& file : files) {
        if (!joined.empty())
            joined += ";";
        joined += file;
    }
    call.SetString(joined);
}

void DeleteCachefile(MethodCall& call)
{
    const std::string name = call.args.String(0);
    std::string cache;
    if (!QDUtilities::GetCacheDirectory(cache) || !IsPlainCacheName(name))
        return;
    const std::string path = cache + "\\" + name;
    call.SetInt(DeleteFileA(path.c_str()) ? 1 : 0);
}

}  // namespace methods
