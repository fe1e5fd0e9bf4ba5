#include "Wisp/update/ManifestRules.h"

#include <cstddef>
#include <limits>

#include "common/UrlSplitter.h"

namespace manifest_rules {

namespace {

bool IsControl(char c)
{
    const unsigned char u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F;
}

// Characters Windows refuses in a file or folder name (the separators are checked apart).
bool IsForbiddenInName(char c)
{
    if (IsControl(c))
        return true;
    for (const char* p = "<>:\"|?*"; *p; ++p)
        if (c == *p)
            return true;
    return false;
}

// "..", "...", ". ." and the like: Windows trims trailing dots and blanks, so each of them may
// end up naming the parent (or the folder itself).
bool IsDotsAndBlanks(const std::string& segment)
{
    for (char c : segment)
        if (c != '.' && c != ' ')
            return false;
    return true;
}

bool IsUsableName(const std::string& name)
{
    if (name.empty() || IsDotsAndBlanks(name))
        return false;
    for (char c : name)
        if (IsForbiddenInName(c) || c == '\\' || c == '/')
            return false;
    return true;
}

}  // namespace

int32_t ParseInteger(const std::string& text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const int64_t limit = negative ? -static_cast<int64_t>(std::numeric_limits<int32_t>::min())
                                   : std::numeric_limits<int32_t>::max();
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > limit) {
            value = limit;
            break;
        }
    }
    return static_cast<int32_t>(negative ? -value : value);
}

bool IsSafeComponentPath(const std::string& path)
{
    if (path.empty())
        return true;
    if (path[0] == '\\' || path[0] == '/')
        return false;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find_first_of("\\/", start);
        if (end == std::string::npos)
            end = path.size();
        const std::string segment = path.substr(start, end - start);
        // An empty segment ("a\\b", a trailing separator) names nothing new: harmless.
        if (!segment.empty() && IsDotsAndBlanks(segment))
            return false;
        for (char c : segment)
            if (IsForbiddenInName(c))
                return false;
        start = end + 1;
    }
    return true;
}

bool FileNameFromUrl(const std::string& url, std::string& name)
{
    name.clear();
    UrlParts parts;
    if (!SplitUrl(url, parts))
        return false;
    const std::string segment = parts.path.substr(parts.path.rfind('/') + 1);
    if (!IsUsableName(segment))
        return false;
    name = segment;
    return true;
}

std::string ComponentKey(const std::string& path, const std::string& fileName)
{
    return path + "\\" + fileName;
}

std::string TimestampedName(int32_t timestamp, const std::string& fileName)
{
    return std::to_string(timestamp) + "_" + fileName;
}

std::string CacheName(int32_t timestamp, const std::string& key)
{
    const std::size_t first = key.find_first_not_of('\\');
    return std::to_string(timestamp) + "_" + (first == std::string::npos ? std::string() : key.substr(first));
}

}  // namespace manifest_rules
