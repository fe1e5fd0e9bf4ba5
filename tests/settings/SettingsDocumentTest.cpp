// The settings file's text without the file: reading, writing, what is left out. Portable:
// built and run natively by scripts/test (the Wine suite checks the same through the file).
#include "common/SettingsDocument.h"

#include "common/Obfuscation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

SettingsDocument Parse(std::string text, bool* whole = nullptr)
{
    SettingsDocument document;
    const bool complete = settings_document::Parse(&text[0], document);
    if (whole)
        *whole = complete;
    return document;
}

TEST(SettingsDocument, WritesTheFileLineByLineAndReadsItBack)
{
    SettingsDocument document;
    document.ints["window_left"] = -120;
    document.strings["user"] = "Tidewire";
    const std::string written = settings_document::Write(document, true);
    EXPECT_EQ("<?xml version='1.0'?>\r<configdata>\r"
              "  <int propertyID='window_left' value='-120' />\r"
              "  <string propertyID='user' value=')0(0(2)))*)3)4*5' encrypted='1'/>\r"
              "</configdata>\r",
              written);
    bool whole = false;
    EXPECT_TRUE(Parse(written, &whole) == document);
    EXPECT_TRUE(whole);
    EXPECT_NE(std::string::npos, settings_document::Write(document, false)
                                     .find("  <string propertyID='user' value='Tidewire' encrypted='0'/>\r"));
}

TEST(SettingsDocument, PlainAndDoubleQuotedValuesAreReadAndLaterEntriesWin)
{
    const SettingsDocument read = Parse(
        "<configdata><string propertyID=\"a\" value=\"it's\"/><int propertyID='n' value='7'/>"
        "<int propertyID='n' value=' 12abc'/><string propertyID='b' value='x' encrypted='0'/>"
        "<int propertyID='noValue'/><other propertyID='c' value='1'/></configdata>");
    EXPECT_EQ("it's", read.strings.at("a"));
    EXPECT_EQ("x", read.strings.at("b"));
    EXPECT_EQ(12, read.ints.at("n"));
    EXPECT_EQ(1u, read.ints.size());
    EXPECT_EQ(2u, read.strings.size());

    // A scrambled value read over a longer one of the same ID (as the getters' second reading
    // does) is the new value alone; one holding a zero byte ends there.
    SettingsDocument document;
    const std::string longer = "  <string propertyID='user' value='" + QDUtilities::ObfuscateString("a longer value") +
                               "' encrypted='1'/>\r";
    std::string text = longer;
    ASSERT_TRUE(settings_document::Parse(&text[0], document));
    text = "  <string propertyID='user' value='" + QDUtilities::ObfuscateString(std::string("ab\0cd", 5)) +
           "' encrypted='1'/>\r";
    ASSERT_TRUE(settings_document::Parse(&text[0], document));
    EXPECT_EQ("ab", document.strings.at("user"));
}

TEST(SettingsDocument, AMalformedTagEndsTheReadingAndKeepsWhatCameBefore)
{
    bool whole = true;
    const SettingsDocument read =
        Parse("<int propertyID='a' value='1'/><int propertyID=b value='2'/><int propertyID='c' value='3'/>", &whole);
    EXPECT_FALSE(whole);
    EXPECT_EQ(1u, read.ints.size());
    EXPECT_EQ(1, read.ints.at("a"));
}

TEST(SettingsDocument, EntriesTheFileCannotHoldAreLeftOutAndNamed)
{
    SettingsDocument document;
    document.ints["it's"] = 1;
    document.ints["fine"] = 2;
    document.strings["line\nfeed"] = "v";
    document.strings["plain"] = "quote ' inside";
    std::vector<settings_document::LeftOut> leftOut;
    const SettingsDocument back = Parse(settings_document::Write(document, false, &leftOut));
    ASSERT_EQ(3u, leftOut.size());
    EXPECT_TRUE(leftOut[0].isInt);
    EXPECT_EQ("it's", leftOut[0].id);
    EXPECT_EQ("line\nfeed", leftOut[1].id);
    EXPECT_EQ("plain", leftOut[2].id);
    EXPECT_EQ(1u, back.ints.size());
    EXPECT_TRUE(back.strings.empty());
    // Scrambled, the value with the quote is kept.
    leftOut.clear();
    EXPECT_EQ("quote ' inside", Parse(settings_document::Write(document, true, &leftOut)).strings.at("plain"));
    EXPECT_EQ(2u, leftOut.size());
    EXPECT_FALSE(settings_document::IsStorable(std::string("a\0b", 3)));
}

}  // namespace
