// The text of the settings file: "<int propertyID='..' value='..' />" and
// "<string propertyID='..' value='..' encrypted='0|1'/>" entries inside "<configdata>", one a
// line, lines ended by a carriage return. Free of Windows headers: the reading and writing run
// natively too (tests, fuzzing); PersistentSettings adds the file, the mutex and the registry.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

struct SettingsDocument {
    // Looked up by C strings as well (std::less<>): the reading finds each entry without a
    // temporary key, and an entry read again keeps its storage.
    std::map<std::string, int, std::less<>> ints;
    std::map<std::string, std::string, std::less<>> strings;

    bool operator==(const SettingsDocument& other) const
    {
        return ints == other.ints && strings == other.strings;
    }
};

namespace settings_document {

// Adds the entries of text (changed in place) to document; an entry replaces one of the same
// kind and ID read before. Scrambled strings are unscrambled. False when the reading stopped
// at a malformed tag: the entries before it are kept.
bool Parse(char* text, SettingsDocument& document);

// False for file bytes the reader cannot take whole: a zero byte within them (it ends the text,
// and a UTF-16 file has one in every ASCII character) or a UTF-16 byte-order mark.
bool IsPlainText(const char* data, std::size_t size);

// Whether the file can hold this ID (or unscrambled text) so that it reads back the same: no
// quote, which would end the attribute, no line feed, which the text-mode file turns into a
// line end, and no zero byte, which ends the text. Scrambled values hold none of them.
bool IsStorable(const std::string& text);

struct LeftOut {
    bool isInt;
    std::string id;
};

// The whole file for document, strings scrambled when scramble is set. An entry the reader
// could not take back is left out (and named in leftOut when given): written raw, it would end
// the reading there and every later entry would be lost.
std::string Write(const SettingsDocument& document, bool scramble,
                  std::vector<LeftOut>* leftOut = nullptr);

}  // namespace settings_document
