// The resource-string file ("resources.xml"): each string is a tag named after the resource
// whose "value" attribute holds the text; the two characters backslash and "n" in a value
// stand for a line break. Comments are skipped and text between tags is ignored.
//
// Free of Windows headers: the parse runs natively too (tests, fuzzing).
#pragma once

#include <string>

namespace ResourceText {

// The value of the first start tag named exactly `name` that has a "value" attribute, with its
// line breaks, from text (changed in place). False, and value untouched, when there is none
// before the end of the text or a malformed tag.
bool Find(char* text, const char* name, std::string& value);

}  // namespace ResourceText
