#include "common/SettingsDocument.h"

#include "common/Obfuscation.h"
#include "common/XmlTagReader.h"

#include <cstring>

namespace settings_document {

namespace {

// The entry of this ID, made empty when there was none.
template <class Map>
typename Map::mapped_type& Entry(Map& map, const char* id)
{
    auto found = map.find(id);
    if (found == map.end())
        found = map.emplace(id, typename Map::mapped_type()).first;
    return found->second;
}

}  // namespace

bool Parse(char* text, SettingsDocument& document)
{
    XmlTagReader reader(text);
    XmlTag tag;
    XmlTagReader::Result result;
    while ((result = reader.Next(tag, true)) == XmlTagReader::kTag) {
        if (tag.isEndTag)
            continue;
        const char* id = XmlTagReader::FindAttribute(tag, "propertyID");
        const char* value = XmlTagReader::FindAttribute(tag, "value");
        if (!id || !value)
            continue;
        if (std::strcmp(tag.name, "int") == 0) {
            Entry(document.ints, id) = XmlDecimalValue(value);
        } else if (std::strcmp(tag.name, "string") == 0) {
            const char* encrypted = XmlTagReader::FindAttribute(tag, "encrypted");
            std::string& entry = Entry(document.strings, id);
            if (encrypted && XmlDecimalValue(encrypted) != 0)
                QDUtilities::DeobfuscateInto(value, std::strlen(value), entry);
            else
                entry.assign(value);
        }
    }
    return result != XmlTagReader::kMalformed;
}

bool IsPlainText(const char* data, std::size_t size)
{
    if (!data)
        return false;
    if (size >= 2 && ((data[0] == '\xFF' && data[1] == '\xFE') || (data[0] == '\xFE' && data[1] == '\xFF')))
        return false;
    return std::memchr(data, 0, size) == nullptr;
}

bool IsStorable(const std::string& text)
{
    return text.find_first_of(std::string("'\n\0", 3)) == std::string::npos;
}

std::string Write(const SettingsDocument& document, bool scramble, std::vector<LeftOut>* leftOut)
{
    std::string text = "<?xml version='1.0'?>\r<configdata>\r";
    for (const auto& entry : document.ints) {
        if (!IsStorable(entry.first)) {
            if (leftOut)
                leftOut->push_back({true, entry.first});
            continue;
        }
        text += "  <int propertyID='" + entry.first + "' value='" + std::to_string(entry.second) +
                "' />\r";
    }
    for (const auto& entry : document.strings) {
        const std::string value = scramble ? QDUtilities::ObfuscateString(entry.second) : entry.second;
        if (!IsStorable(entry.first) || !IsStorable(value)) {
            if (leftOut)
                leftOut->push_back({false, entry.first});
            continue;
        }
        text += "  <string propertyID='" + entry.first + "' value='" + value + "' encrypted='" +
                (scramble ? "1" : "0") + "'/>\r";
    }
    text += "</configdata>\r";
    return text;
}

}  // namespace settings_document
