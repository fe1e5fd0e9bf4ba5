#include "common/XmlTagReader.h"

#include <climits>
#include <cstring>

namespace {

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }
bool IsNameChar(char c) { return IsLetter(c) || IsDigit(c) || c == '.' || c == '-' || c == '_'; }

char* SkipName(char* p)
{
    while (IsNameChar(*p))
        ++p;
    return p;
}

}  // namespace

XmlTagReader::XmlTagReader(char* text) : m_start(text), m_position(text) {}

XmlTagReader::Result XmlTagReader::Next(XmlTag& tag, bool strict)
{
    tag.isEndTag = false;
    tag.name = nullptr;
    tag.isOpen = true;
    tag.attributeCount = 0;

    if (!m_position)
        return kEndOfText;
    char* p = m_position;
    for (;;) {
        while (*p && *p != '<')
            ++p;
        if (!*p) {
            m_position = p;
            return kEndOfText;
        }
        ++p;
        if (std::strncmp(p, "!--", 3) != 0)
            break;
        char* close = std::strstr(p + 3, "-->");
        if (!close) {
            m_position = p + std::strlen(p);
            return kEndOfText;
        }
        p = close + 3;
    }

    while (IsSpace(*p))
        ++p;
    if (*p == '/') {
        tag.isEndTag = true;
        tag.isOpen = false;
        ++p;
    }
    tag.name = p;
    p = SkipName(p);
    char* nameEnd = p;

    // Set when a NUL written for an attribute took the place of the tag's closing '>'.
    bool closed = false;
    while (!closed && *p != '>') {
        if (!*p)
            return kMalformed;
        if (!IsLetter(*p) && *p != '_') {
            ++p;
            continue;
        }
        if (tag.attributeCount >= XmlTag::kMaxAttributes)
            return kMalformed;
        XmlTagAttribute& attribute = tag.attributes[tag.attributeCount++];
        attribute.name = p;
        p = SkipName(p);
        char* attributeNameEnd = p;
        // A name without "=" ends at the tag's '>' rather than swallowing the tags after it.
        while (*p && *p != '=' && *p != '>')
            ++p;
        if (!*p)
            return kMalformed;
        if (*p == '>') {
            if (strict)
                return kMalformed;
            closed = attributeNameEnd == p;
            attribute.value = attributeNameEnd;
            *attributeNameEnd = '\0';
            continue;   // on '>' (or its NUL): the loop ends
        }
        ++p;   // over '='
        *attributeNameEnd = '\0';
        while (IsSpace(*p))
            ++p;
        if (*p == '"' || *p == '\'') {
            const char quote = *p++;
            attribute.value = p;
            while (*p && *p != quote)
                ++p;
            if (!*p)
                return kMalformed;
            *p++ = '\0';
            continue;
        }
        if (strict)
            return kMalformed;
        attribute.value = p;
        while (*p && !IsSpace(*p) && *p != '/' && *p != '>')
            ++p;
        if (!*p)
            return kMalformed;
        if (*p == '/') {
            tag.isOpen = false;
            *p++ = '\0';
        } else if (*p == '>') {
            *p = '\0';
            closed = true;
        } else {
            *p++ = '\0';
        }
    }

    if (!closed && p > m_start && p[-1] == '/')
        tag.isOpen = false;
    // The name's end may be the '/' or '>' just examined; it is cut only now.
    *nameEnd = '\0';
    m_position = p + 1;
    return kTag;
}

const char* XmlTagReader::FindAttribute(const XmlTag& tag, const char* name)
{
    if (!name)
        return nullptr;
    for (int i = 0; i < tag.attributeCount; ++i)
        if (std::strcmp(tag.attributes[i].name, name) == 0)
            return tag.attributes[i].value;
    return nullptr;
}

int XmlDecimalValue(const char* text)
{
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    long long value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        value = INT_MAX;
    return static_cast<int>(value);
}
