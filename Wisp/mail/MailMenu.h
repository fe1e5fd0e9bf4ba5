// The e-mail menu file ("EmailMenu.xml" in the content folder) as one check pass builds it,
// and the working state of that pass. Free of Windows headers.
#pragma once

#include <cstdint>
#include <string>

extern const char kEmailMenuFileName[];   // "EmailMenu.xml"
const int kAccountMenuItemId = 101;

// What one check pass gathers, owned by the thread that runs it.
struct MailCheckPass {
    std::string menu;
    int32_t total = 0;
    bool newMail = false;

    void Start();    // the menu's opening line; total and new mail cleared
    void Finish();   // the separator, the "Add e-mail account..." item and the closing line
    void AppendAccountItem(const std::string& label, int count, const std::string& destination);
    // errorText empty: "errorB".
    void AppendErrorItem(const std::string& label, const std::string& errorText, const std::string& destination);
};

// The one-item "updating" menu with the given label.
std::string UpdatingEmailMenu(const std::string& label);

// An attribute value in quotes the menu reader gives back exactly: apostrophes normally, double
// quotes around a value holding an apostrophe (the reader decodes no entities).
std::string QuotedAttribute(const std::string& value);
