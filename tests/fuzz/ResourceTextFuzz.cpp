// The resource-string file: every name that carries a value answers that value (its first
// one, with "\n" read as a line break), and a name that none carries answers nothing.
#include "Wisp/windows/ResourceText.h"
#include "common/XmlTagReader.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace {

std::vector<char> Text(const uint8_t* data, std::size_t size)
{
    std::vector<char> text(data, data + size);
    text.push_back('\0');
    return text;
}

std::string WithLineBreaks(const std::string& value)
{
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size() && value[i + 1] == 'n') {
            out += '\n';
            ++i;
        } else {
            out += value[i];
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    // What a reader of the same tags finds first for each name.
    std::map<std::string, std::string> expected;
    std::vector<char> scan = Text(data, size);
    XmlTagReader reader(scan.data());
    XmlTag tag;
    while (reader.Next(tag, true) == XmlTagReader::kTag) {
        const char* value = XmlTagReader::FindAttribute(tag, "value");
        if (!tag.isEndTag && value && !expected.count(tag.name))
            expected[tag.name] = WithLineBreaks(value);
    }
    int asked = 0;
    for (const auto& entry : expected) {
        if (++asked > 16)
            break;
        std::vector<char> text = Text(data, size);
        std::string value = "untouched";
        FUZZ_CHECK(ResourceText::Find(text.data(), entry.first.c_str(), value));
        FUZZ_CHECK(value == entry.second);
    }
    std::vector<char> text = Text(data, size);
    std::string value = "untouched";
    const char* absent = "NoSuchResourceName";
    if (!expected.count(absent)) {
        FUZZ_CHECK(!ResourceText::Find(text.data(), absent, value));
        FUZZ_CHECK(value == "untouched");
    }
    return 0;
}
