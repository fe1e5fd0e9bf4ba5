// Menu files: the XML that describes a context menu. The first start tag named "Menu" opens
// the menu and its "/Menu" closes it; a nested "Menu" is an item that opens a submenu, any other
// start tag is an item. Item attributes: "ID", "Text", "Icon", "Enabled", "Checked",
// "Separator" (names case-sensitive, empty values ignored). Text, Enabled and Checked may be
// "Callback:" followed by the name of a page function that decides at show time.
//
// Free of Windows headers: the parse runs natively too (tests, fuzzing).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct MenuFileItem {
    int id = 0;
    std::string text;            // literal label, or a callback source
    std::string icon;            // bitmap file path
    std::string enabledSource;   // the "Enabled" attribute as written
    std::string checkedSource;   // the "Checked" attribute as written
    bool enabled = true;
    bool checked = false;
    bool separator = false;
    bool hasSubmenu = false;     // a nested Menu element, even an empty one
    std::vector<MenuFileItem> submenu;
};

namespace MenuFile {

// Attribute texts are kept to this many bytes (260 with the terminator); longer ones are cut.
const std::size_t kMaxAttributeLength = 259;
// Menus nested deeper than this end the parse there (the items read so far stay).
const int kMaxNesting = 32;
extern const char kCallbackPrefix[];   // "Callback:"

// Reads the menu in text (changed in place). False when the text has no start tag "Menu"; a
// malformed tag inside the menu ends the parse and the items read so far stay.
bool Read(char* text, std::vector<MenuFileItem>& items);

// "false" and "0" in any case are false; every other value is true.
bool FlagValue(const char* value);
// Whether source starts exactly with "Callback:"; then name receives what follows it (at most
// kMaxAttributeLength characters).
bool CallbackName(const std::string& source, std::string& name);

}  // namespace MenuFile
