// The in-place tag reader. Portable: this file is also built and run natively.
#include "common/XmlTagReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// One tag as seen by a test: copies of the pointed-to texts.
struct SeenTag {
    bool isEndTag;
    bool isOpen;
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;
};

struct Walk {
    std::vector<SeenTag> tags;
    XmlTagReader::Result last;
};

Walk ReadAll(std::string text, bool strict)
{
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    XmlTagReader reader(buffer.data());
    Walk walk;
    XmlTag tag;
    for (int guard = 0; guard < 1000; ++guard) {
        walk.last = reader.Next(tag, strict);
        if (walk.last != XmlTagReader::kTag)
            break;
        SeenTag seen{tag.isEndTag, tag.isOpen, tag.name, {}};
        for (int i = 0; i < tag.attributeCount; ++i)
            seen.attributes.emplace_back(tag.attributes[i].name, tag.attributes[i].value);
        walk.tags.push_back(seen);
    }
    return walk;
}

using Attributes = std::vector<std::pair<std::string, std::string>>;

TEST(XmlTagReader, ReadsTheSettingsFileShape)
{
    const Walk walk = ReadAll("<?xml version='1.0'?>\r<configdata>\r"
                              "  <int propertyID='appbar_edge' value='2' />\r"
                              "  <string propertyID='x' value='*5(+(5' encrypted='1'/>\r"
                              "</configdata>\r",
                              true);
    EXPECT_EQ(XmlTagReader::kEndOfText, walk.last);
    ASSERT_EQ(5u, walk.tags.size());

    // The declaration has an empty name; its "xml" is read as an attribute.
    EXPECT_EQ("", walk.tags[0].name);
    EXPECT_EQ((Attributes{{"xml", "1.0"}}), walk.tags[0].attributes);

    EXPECT_EQ("configdata", walk.tags[1].name);
    EXPECT_TRUE(walk.tags[1].isOpen);
    EXPECT_FALSE(walk.tags[1].isEndTag);

    EXPECT_EQ("int", walk.tags[2].name);
    EXPECT_FALSE(walk.tags[2].isOpen);
    EXPECT_EQ((Attributes{{"propertyID", "appbar_edge"}, {"value", "2"}}), walk.tags[2].attributes);

    EXPECT_EQ("string", walk.tags[3].name);
    EXPECT_FALSE(walk.tags[3].isOpen);
    EXPECT_EQ((Attributes{{"propertyID", "x"}, {"value", "*5(+(5"}, {"encrypted", "1"}}),
              walk.tags[3].attributes);

    EXPECT_EQ("configdata", walk.tags[4].name);
    EXPECT_TRUE(walk.tags[4].isEndTag);
    EXPECT_FALSE(walk.tags[4].isOpen);
}

TEST(XmlTagReader, QuotesOfEitherKindAndBlanksAroundTheEqualsSign)
{
    const Walk walk = ReadAll("<a one=\"it's\" two = 'say \"hi\"' three=''>", true);
    ASSERT_EQ(1u, walk.tags.size());
    EXPECT_EQ((Attributes{{"one", "it's"}, {"two", "say \"hi\""}, {"three", ""}}),
              walk.tags[0].attributes);
    EXPECT_TRUE(walk.tags[0].isOpen);
}

TEST(XmlTagReader, TextBetweenTagsIsSkippedAndNothingIsDecoded)
{
    const Walk walk = ReadAll("lead <item v='&amp;&lt;'>some &amp; text</item> trail", true);
    ASSERT_EQ(2u, walk.tags.size());
    EXPECT_EQ((Attributes{{"v", "&amp;&lt;"}}), walk.tags[0].attributes);
    EXPECT_EQ("item", walk.tags[1].name);
    EXPECT_TRUE(walk.tags[1].isEndTag);
    EXPECT_EQ(XmlTagReader::kEndOfText, walk.last);
}

TEST(XmlTagReader, CommentsAreSkipped)
{
    Walk walk = ReadAll("<!-- <fake a='1'/> --><real/><!--x--><again/>", true);
    ASSERT_EQ(2u, walk.tags.size());
    EXPECT_EQ("real", walk.tags[0].name);
    EXPECT_EQ("again", walk.tags[1].name);

    // An unclosed comment runs to the end of the text.
    walk = ReadAll("<a/><!-- <b/>", true);
    ASSERT_EQ(1u, walk.tags.size());
    EXPECT_EQ(XmlTagReader::kEndOfText, walk.last);
}

TEST(XmlTagReader, NamesTakeLettersDigitsDotsDashesAndUnderscores)
{
    const Walk walk = ReadAll("< Menu.Item-2_x a_b.c-d='v'/>", true);
    ASSERT_EQ(1u, walk.tags.size());
    EXPECT_EQ("Menu.Item-2_x", walk.tags[0].name);
    EXPECT_EQ((Attributes{{"a_b.c-d", "v"}}), walk.tags[0].attributes);
    EXPECT_FALSE(walk.tags[0].isOpen);
}

TEST(XmlTagReader, StrictModeRefusesUnquotedValues)
{
    Walk walk = ReadAll("<a x='1'/><b y=2/><c/>", true);
    ASSERT_EQ(1u, walk.tags.size());
    EXPECT_EQ(XmlTagReader::kMalformed, walk.last);

    walk = ReadAll("<b y=2 z=3>", false);
    ASSERT_EQ(1u, walk.tags.size());
    EXPECT_EQ((Attributes{{"y", "2"}, {"z", "3"}}), walk.tags[0].attributes);
    EXPECT_TRUE(walk.tags[0].isOpen);
}

TEST(XmlTagReader, LenientUnquotedValueEndsAtSlashOrAngle)
{
    Walk walk = ReadAll("<b y=2/><c z=3><d/>", false);
    ASSERT_EQ(3u, walk.tags.size());
    EXPECT_EQ((Attributes{{"y", "2"}}), walk.tags[0].attributes);
    EXPECT_FALSE(walk.tags[0].isOpen);
    EXPECT_EQ((Attributes{{"z", "3"}}), walk.tags[1].attributes);
    EXPECT_TRUE(walk.tags[1].isOpen);
    EXPECT_EQ("d", walk.tags[2].name);
}

TEST(XmlTagReader, AttributeWithoutValueStopsAtTheTagEnd)
{
    // The tags after it stay intact instead of being swallowed up to the next "=".
    Walk walk = ReadAll("<item checked><next a='1'/>", false);
    ASSERT_EQ(2u, walk.tags.size());
    EXPECT_EQ((Attributes{{"checked", ""}}), walk.tags[0].attributes);
    EXPECT_EQ((Attributes{{"a", "1"}}), walk.tags[1].attributes);

    walk = ReadAll("<item checked ><next a='1'/>", false);
    ASSERT_EQ(2u, walk.tags.size());
    EXPECT_EQ("item", walk.tags[0].name);

    walk = ReadAll("<item checked><next a='1'/>", true);
    EXPECT_TRUE(walk.tags.empty());
    EXPECT_EQ(XmlTagReader::kMalformed, walk.last);
}

TEST(XmlTagReader, FiftyAttributesAreTheLimit)
{
    std::string fifty = "<t";
    for (int i = 0; i < 50; ++i)
        fifty += " a" + std::to_string(i) + "='" + std::to_string(i) + "'";
    Walk walk = ReadAll(fifty + "/>", true);
    ASSERT_EQ(1u, walk.tags.size());
    ASSERT_EQ(50u, walk.tags[0].attributes.size());
    EXPECT_EQ("a49", walk.tags[0].attributes[49].first);
    EXPECT_EQ("49", walk.tags[0].attributes[49].second);

    walk = ReadAll(fifty + " one='more'/>", true);
    EXPECT_TRUE(walk.tags.empty());
    EXPECT_EQ(XmlTagReader::kMalformed, walk.last);
}

TEST(XmlTagReader, EndOfTextInsideATagIsMalformed)
{
    const char* cuts[] = {"<a", "<a b", "<a b=", "<a b='x", "<a b='x'", "</a", "<a b=x"};
    for (const char* cut : cuts) {
        Walk walk = ReadAll(std::string("<ok/>") + cut, false);
        EXPECT_EQ(1u, walk.tags.size()) << cut;
        EXPECT_EQ(XmlTagReader::kMalformed, walk.last) << cut;
    }
    EXPECT_EQ(XmlTagReader::kEndOfText, ReadAll("", true).last);
    EXPECT_EQ(XmlTagReader::kEndOfText, ReadAll("no tags at all", true).last);
}

TEST(XmlTagReader, EveryPrefixOfADocumentIsReadWithoutHarm)
{
    const std::string document =
        "<?xml version='1.0'?>\r<menu>\r<!-- c -->\r  <item id='1' text=\"A b\" />\r"
        "  <item id='2' text='C'>\r</item>\r</menu>\r";
    const size_t full = ReadAll(document, true).tags.size();
    for (size_t cut = 0; cut <= document.size(); ++cut) {
        const Walk walk = ReadAll(document.substr(0, cut), true);
        EXPECT_LE(walk.tags.size(), full) << cut;
        EXPECT_NE(XmlTagReader::kTag, walk.last) << cut;
    }
}

TEST(XmlTagReader, FindAttributeTakesTheFirstExactMatch)
{
    char text[] = "<t id='1' ID='2' id='3' idx='4'/>";
    XmlTagReader reader(text);
    XmlTag tag;
    ASSERT_EQ(XmlTagReader::kTag, reader.Next(tag, true));
    ASSERT_NE(nullptr, XmlTagReader::FindAttribute(tag, "id"));
    EXPECT_STREQ("1", XmlTagReader::FindAttribute(tag, "id"));
    EXPECT_STREQ("2", XmlTagReader::FindAttribute(tag, "ID"));
    EXPECT_STREQ("4", XmlTagReader::FindAttribute(tag, "idx"));
    EXPECT_EQ(nullptr, XmlTagReader::FindAttribute(tag, "i"));
    EXPECT_EQ(nullptr, XmlTagReader::FindAttribute(tag, nullptr));
    EXPECT_EQ(XmlTagReader::kEndOfText, reader.Next(tag, true));
    EXPECT_EQ(0, tag.attributeCount);
}

TEST(XmlTagReader, ValuesAreCutInPlace)
{
    char text[] = "<t a='xy'/>";
    XmlTagReader reader(text);
    XmlTag tag;
    ASSERT_EQ(XmlTagReader::kTag, reader.Next(tag, true));
    // The pointers lie inside the caller's buffer.
    EXPECT_EQ(text + 1, tag.name);
    EXPECT_EQ(text + 6, tag.attributes[0].value);
}

}  // namespace
