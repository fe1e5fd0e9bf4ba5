// A small XML tag reader that works in place on a NUL-terminated narrow buffer, which it
// changes (names and values are NUL-terminated where they stand). It returns tags only:
// text between tags is skipped and never decoded (no entities, no CDATA). Used for the
// settings file, menu files and the resource-string file. Free of Windows headers so it also
// builds natively.
#pragma once

struct XmlTagAttribute {
    char* name;
    char* value;
};

struct XmlTag {
    static const int kMaxAttributes = 50;

    bool isEndTag;
    char* name;      // may be empty, as for "<?xml ...?>"
    bool isOpen;     // false for end tags and self-closing tags
    int attributeCount;
    XmlTagAttribute attributes[kMaxAttributes];
};

// The standard decimal conversion of an attribute value (leading blanks, a sign, leading
// digits; 0 when there are none), saturated to the 32-bit range instead of overflowing.
int XmlDecimalValue(const char* text);

class XmlTagReader {
public:
    enum Result { kTag = 0, kEndOfText = 1, kMalformed = 2 };

    explicit XmlTagReader(char* text);

    // The next tag. strict: attribute values must be quoted. After kMalformed the reader
    // does not resynchronise; callers stop there.
    Result Next(XmlTag& tag, bool strict);

    // The value of the first attribute whose name equals name exactly, or null.
    static const char* FindAttribute(const XmlTag& tag, const char* name);

private:
    char* m_start;
    char* m_position;
};
