// The settings document: what is read, written and read again is what was read (less the
// entries the writer reports it cannot keep), a written file is always read back whole, and
// writing what was read back gives the same file.
#include "common/SettingsDocument.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

SettingsDocument Read(std::string text, bool* whole = nullptr)
{
    SettingsDocument document;
    const bool complete = settings_document::Parse(&text[0], document);
    if (whole)
        *whole = complete;
    return document;
}

void RoundTrip(const SettingsDocument& read, bool scramble)
{
    std::vector<settings_document::LeftOut> leftOut;
    const std::string written = settings_document::Write(read, scramble, &leftOut);
    SettingsDocument kept = read;
    for (const settings_document::LeftOut& entry : leftOut) {
        if (entry.isInt) {
            FUZZ_CHECK(!settings_document::IsStorable(entry.id));
            FUZZ_CHECK(kept.ints.erase(entry.id) == 1);
        } else {
            FUZZ_CHECK(!settings_document::IsStorable(entry.id) ||
                       (!scramble && !settings_document::IsStorable(kept.strings[entry.id])));
            FUZZ_CHECK(kept.strings.erase(entry.id) == 1);
        }
    }
    bool whole = false;
    const SettingsDocument again = Read(written, &whole);
    FUZZ_CHECK(whole);
    FUZZ_CHECK(again == kept);
    FUZZ_CHECK(settings_document::Write(again, scramble) == written);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const SettingsDocument read = Read(std::string(reinterpret_cast<const char*>(data), size));
    RoundTrip(read, true);
    RoundTrip(read, false);
    return 0;
}
