#include "Wisp/windows/ResourceText.h"

#include <cstring>

#include "common/XmlTagReader.h"

namespace ResourceText {

bool Find(char* text, const char* name, std::string& value)
{
    if (!text || !name)
        return false;
    XmlTagReader reader(text);
    XmlTag tag;
    while (reader.Next(tag, true) == XmlTagReader::kTag) {
        if (tag.isEndTag || std::strcmp(tag.name, name) != 0)
            continue;
        const char* found = XmlTagReader::FindAttribute(tag, "value");
        if (!found)
            continue;
        std::string result;
        for (const char* p = found; *p; ++p) {
            if (p[0] == '\\' && p[1] == 'n') {
                result += '\n';
                ++p;
            } else {
                result += *p;
            }
        }
        value = std::move(result);
        return true;
    }
    return false;
}

}  // namespace ResourceText
