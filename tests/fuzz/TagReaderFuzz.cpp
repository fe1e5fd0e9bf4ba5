// The tag reader, strict and lenient: every answer is one of the three results, every name and
// value lies inside the buffer, and the reading ends within one call per input byte.
#include "common/XmlTagReader.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

bool Inside(const char* p, const std::vector<char>& buffer)
{
    return p >= buffer.data() && p < buffer.data() + buffer.size();
}

// A string that starts inside the buffer also ends inside it, at a NUL.
bool StringInside(const char* p, const std::vector<char>& buffer)
{
    if (!Inside(p, buffer))
        return false;
    const void* end = std::memchr(p, 0, static_cast<std::size_t>(buffer.data() + buffer.size() - p));
    return end != nullptr;
}

void Read(const uint8_t* data, std::size_t size, bool strict)
{
    std::vector<char> buffer(data, data + size);
    buffer.push_back('\0');
    XmlTagReader reader(buffer.data());
    XmlTag tag;
    std::size_t calls = 0;
    int last = XmlTagReader::kTag;
    for (;;) {
        const int result = reader.Next(tag, strict);
        FUZZ_CHECK(result == XmlTagReader::kTag || result == XmlTagReader::kEndOfText ||
                   result == XmlTagReader::kMalformed);
        // Every tag takes at least its '<': more calls than bytes would be a loop.
        FUZZ_CHECK(++calls <= size + 1);
        last = result;
        if (result != XmlTagReader::kTag)
            break;
        FUZZ_CHECK(StringInside(tag.name, buffer));
        FUZZ_CHECK(tag.attributeCount >= 0 && tag.attributeCount <= XmlTag::kMaxAttributes);
        FUZZ_CHECK(!tag.isEndTag || !tag.isOpen);
        for (int i = 0; i < tag.attributeCount; ++i) {
            FUZZ_CHECK(StringInside(tag.attributes[i].name, buffer));
            FUZZ_CHECK(StringInside(tag.attributes[i].value, buffer));
            const char* found = XmlTagReader::FindAttribute(tag, tag.attributes[i].name);
            FUZZ_CHECK(found && StringInside(found, buffer));
            XmlDecimalValue(tag.attributes[i].value);
        }
    }
    // The end stays the end.
    if (last == XmlTagReader::kEndOfText)
        FUZZ_CHECK(reader.Next(tag, strict) == XmlTagReader::kEndOfText);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    Read(data, size, true);
    Read(data, size, false);
    return 0;
}
