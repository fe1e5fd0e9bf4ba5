#include "Wisp/windows/MenuFile.h"

#include <cstring>

#include "common/XmlTagReader.h"

namespace MenuFile {

const char kCallbackPrefix[] = "Callback:";

namespace {

const char kMenuTag[] = "Menu";

// Attribute values are cut at the bound, never copied past it.
std::string Bounded(const char* value)
{
    std::size_t length = 0;
    while (length < kMaxAttributeLength && value[length])
        ++length;
    return std::string(value, length);
}

bool EqualsIgnoringCase(const char* text, const char* word)
{
    for (; *text && *word; ++text, ++word) {
        char c = *text;
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != *word)
            return false;
    }
    return *text == *word;
}

// The attribute's value, or null when it is missing or empty (an empty value is ignored).
const char* Attribute(const XmlTag& tag, const char* name)
{
    const char* value = XmlTagReader::FindAttribute(tag, name);
    return value && *value ? value : nullptr;
}

MenuFileItem ItemFrom(const XmlTag& tag)
{
    MenuFileItem item;
    if (const char* id = Attribute(tag, "ID"))
        item.id = XmlDecimalValue(id);
    if (const char* text = Attribute(tag, "Text"))
        item.text = Bounded(text);
    if (const char* icon = Attribute(tag, "Icon"))
        item.icon = Bounded(icon);
    if (const char* enabled = Attribute(tag, "Enabled")) {
        item.enabledSource = Bounded(enabled);
        item.enabled = FlagValue(enabled);
    }
    if (const char* checked = Attribute(tag, "Checked")) {
        item.checkedSource = Bounded(checked);
        item.checked = FlagValue(checked);
    }
    if (const char* separator = Attribute(tag, "Separator"))
        item.separator = FlagValue(separator);
    return item;
}

bool IsMenuTag(const XmlTag& tag)
{
    return std::strcmp(tag.name, kMenuTag) == 0;
}

// Reads items up to this menu's "/Menu". False when the parse ended before it (end of text, a
// malformed tag, nesting too deep): every enclosing menu stops there too, keeping its items.
bool ReadContent(XmlTagReader& reader, std::vector<MenuFileItem>& items, int depth)
{
    XmlTag tag;
    while (reader.Next(tag, true) == XmlTagReader::kTag) {
        if (tag.isEndTag) {
            if (IsMenuTag(tag))
                return true;
            continue;
        }
        MenuFileItem item = ItemFrom(tag);
        if (!IsMenuTag(tag)) {
            items.push_back(std::move(item));
            continue;
        }
        item.hasSubmenu = true;
        if (!tag.isOpen) {   // <Menu .../> has no content
            items.push_back(std::move(item));
            continue;
        }
        // Deeper nesting would only grow the stack; the menu ends here instead.
        if (depth >= kMaxNesting)
            return false;
        const bool closed = ReadContent(reader, item.submenu, depth + 1);
        items.push_back(std::move(item));
        if (!closed)
            return false;
    }
    return false;
}

}  // namespace

bool Read(char* text, std::vector<MenuFileItem>& items)
{
    items.clear();
    if (!text)
        return false;
    XmlTagReader reader(text);
    XmlTag tag;
    while (reader.Next(tag, true) == XmlTagReader::kTag) {
        if (tag.isEndTag || !IsMenuTag(tag))
            continue;
        if (tag.isOpen)
            ReadContent(reader, items, 1);
        return true;
    }
    return false;
}

bool FlagValue(const char* value)
{
    return !(EqualsIgnoringCase(value, "false") || std::strcmp(value, "0") == 0);
}

bool CallbackName(const std::string& source, std::string& name)
{
    const std::size_t prefix = sizeof kCallbackPrefix - 1;
    if (source.compare(0, prefix, kCallbackPrefix) != 0)
        return false;
    name = source.substr(prefix, kMaxAttributeLength);
    return true;
}

}  // namespace MenuFile
