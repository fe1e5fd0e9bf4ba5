#include "Wisp/web/BrowserName.h"

#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

#include "Wisp/web/RSSRegistrarIE.h"

namespace DefaultBrowser {

namespace {

std::string Trimmed(const char* text)
{
    std::string s = text;
    std::size_t first = 0;
    while (first < s.size() && std::isspace(static_cast<unsigned char>(s[first])))
        ++first;
    std::size_t last = s.size();
    while (last > first && std::isspace(static_cast<unsigned char>(s[last - 1])))
        --last;
    return s.substr(first, last - first);
}

}  // namespace

bool GetProductName(const char* exePath, std::string& name)
{
    if (!exePath)
        return false;
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(exePath, &handle);
    if (size == 0)
        return false;
    std::vector<BYTE> block(size);
    if (!GetFileVersionInfoA(exePath, 0, size, block.data()))
        return false;
    WORD* translation = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                        &length) ||
        !translation || length < 2 * sizeof(WORD))
        return false;
    char query[64];
    std::snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\ProductName",
                  static_cast<unsigned>(translation[0]), static_cast<unsigned>(translation[1]));
    char* product = nullptr;
    if (!VerQueryValueA(block.data(), query, reinterpret_cast<void**>(&product), &length) || !product ||
        length == 0)
        return false;
    name = Trimmed(product);
    return true;
}

bool GetBrowserName(const char* command, std::string& name)
{
    std::string program = command ? command : "";
    // Registered commands usually quote their program, this product's own among them, and
    // spell ".exe" in any case.
    if (!program.empty() && program[0] == '"')
        program.erase(0, 1);
    std::string lowered = program;
    for (char& c : lowered)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::size_t exe = lowered.find(".exe");
    if (exe != std::string::npos)
        program.erase(exe + 4);
    if (GetProductName(program.c_str(), name))
        return true;
    std::size_t slash = program.find_last_of('\\');
    name = slash == std::string::npos ? program : program.substr(slash + 1);
    return true;
}

bool GetCurrentRSSReader(std::string& name)
{
    name.clear();
    std::string command = RSSRegistrarIE().GetRegisteredCommand();
    if (command.empty())
        return false;
    return GetBrowserName(command.c_str(), name);
}

}  // namespace DefaultBrowser
