// The usage log belongs to the host (it appends what LogUsageData sends); pages read it back
// summed by name.
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "common/QDUtilities.h"
#include "Wisp/methods/ApplicationMethods.h"

namespace methods {

namespace {

std::string Trimmed(const char* line)
{
    std::string text(line);
    const char* blanks = " \t\r\n\v\f";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string SummariseUsageLog(const char* path)
{
    FILE* file = std::fopen(path, "rt");
    if (!file)
        return {};
    std::map<std::string, long> counters;
    char line[4096];
    while (std::fgets(line, sizeof line, file)) {
        const std::string text = Trimmed(line);
        const std::size_t equals = text.find('=');
        if (equals != std::string::npos && equals > 0)
            counters[text.substr(0, equals)] += std::atoi(text.c_str() + equals + 1);
        else
            counters[text] += 1;
    }
    std::fclose(file);
    std::string result;
    for (const auto& counter : counters) {
        if (!result.empty())
            result += "&";
        result += counter.first + "=" + std::to_string(counter.second);
    }
    return result;
}

}  // namespace

void GetUsageDataResults(MethodCall& call)
{
    std::string folder;
    if (QDUtilities::GetSpecialFolder(nullptr, CSIDL_APPDATA, nullptr, 0, folder) != 0) {
        call.SetString("");
        return;
    }
    call.SetString(SummariseUsageLog((folder + "\\Quill\\Tidewire\\usagedata.log").c_str()));
}

}  // namespace methods
