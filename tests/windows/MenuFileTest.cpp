// The menu-file reader. Portable: this file is also built and run natively.
#include "Wisp/windows/MenuFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Parsed {
    bool found;
    std::vector<MenuFileItem> items;
};

Parsed Read(const std::string& text)
{
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    Parsed parsed;
    parsed.found = MenuFile::Read(buffer.data(), parsed.items);
    return parsed;
}

TEST(MenuFile, ReadsItemsAndNestedMenusInFileOrder)
{
    const Parsed menu = Read(
        "<?xml version='1.0'?>\r\n"
        "<Menu>\r\n"
        "  <MenuItem ID='1' Text='Open' Icon='C:\\icons\\open.bmp'/>\r\n"
        "  <MenuItem Separator='true'/>\r\n"
        "  <Menu ID='5' Text='More'>\r\n"
        "    <MenuItem ID='10' Text='Deep' Checked='1'></MenuItem>\r\n"
        "    <Menu Text='Deeper'><Entry ID='20' Text='Deepest'/></Menu>\r\n"
        "  </Menu>\r\n"
        "  <Anything ID='30' Text='After'/>\r\n"
        "</Menu>\r\n"
        "<MenuItem ID='99' Text='Outside'/>\r\n");
    ASSERT_TRUE(menu.found);
    ASSERT_EQ(4u, menu.items.size());
    EXPECT_EQ(1, menu.items[0].id);
    EXPECT_EQ("Open", menu.items[0].text);
    EXPECT_EQ("C:\\icons\\open.bmp", menu.items[0].icon);
    EXPECT_TRUE(menu.items[1].separator);
    EXPECT_FALSE(menu.items[0].separator);

    const MenuFileItem& more = menu.items[2];
    EXPECT_TRUE(more.hasSubmenu);
    EXPECT_EQ(5, more.id);
    EXPECT_EQ("More", more.text);
    ASSERT_EQ(2u, more.submenu.size());
    EXPECT_EQ("Deep", more.submenu[0].text);
    EXPECT_TRUE(more.submenu[0].checked);
    EXPECT_EQ("1", more.submenu[0].checkedSource);
    ASSERT_TRUE(more.submenu[1].hasSubmenu);
    ASSERT_EQ(1u, more.submenu[1].submenu.size());
    EXPECT_EQ(20, more.submenu[1].submenu[0].id);

    EXPECT_EQ("After", menu.items[3].text);
    EXPECT_FALSE(menu.items[3].hasSubmenu);
}

TEST(MenuFile, FalseIsFalseOrZeroInAnyCaseAndEverythingElseIsTrue)
{
    EXPECT_FALSE(MenuFile::FlagValue("false"));
    EXPECT_FALSE(MenuFile::FlagValue("FALSE"));
    EXPECT_FALSE(MenuFile::FlagValue("fAlSe"));
    EXPECT_FALSE(MenuFile::FlagValue("0"));
    EXPECT_TRUE(MenuFile::FlagValue("no"));
    EXPECT_TRUE(MenuFile::FlagValue("00"));
    EXPECT_TRUE(MenuFile::FlagValue("falsey"));
    EXPECT_TRUE(MenuFile::FlagValue("Callback:isEnabled"));

    // An empty value is ignored: the default stays.
    const Parsed menu = Read("<Menu><I ID='3' Text='x' Enabled='' Checked='' Separator='0'/></Menu>");
    ASSERT_EQ(1u, menu.items.size());
    EXPECT_TRUE(menu.items[0].enabled);
    EXPECT_EQ("", menu.items[0].enabledSource);
    EXPECT_FALSE(menu.items[0].separator);
}

TEST(MenuFile, TheCallbackPrefixIsExact)
{
    std::string name;
    EXPECT_TRUE(MenuFile::CallbackName("Callback:labelFor", name));
    EXPECT_EQ("labelFor", name);
    EXPECT_FALSE(MenuFile::CallbackName("callback:labelFor", name));
    EXPECT_FALSE(MenuFile::CallbackName("Callback", name));
    EXPECT_TRUE(MenuFile::CallbackName("Callback:", name));
    EXPECT_EQ("", name);
}

TEST(MenuFile, OnlyTheFirstRealMenuTagCountsAndCommentsAreNotSeen)
{
    const Parsed menu = Read("<root><!-- <Menu><MenuItem ID='9' Text='Hidden'/></Menu> -->"
                             "<Menu><MenuItem ID='1' Text='Shown'/></Menu>"
                             "<Menu><MenuItem ID='2' Text='Second menu'/></Menu></root>");
    ASSERT_TRUE(menu.found);
    ASSERT_EQ(1u, menu.items.size());
    EXPECT_EQ("Shown", menu.items[0].text);

    // Names are matched case-sensitively.
    EXPECT_FALSE(Read("<menu><MenuItem ID='1' Text='x'/></menu>").found);
    EXPECT_FALSE(Read("no tags at all").found);
    EXPECT_FALSE(Read("").found);
    EXPECT_TRUE(Read("<Menu/>").found);
    EXPECT_TRUE(Read("<Menu/>").items.empty());
}

TEST(MenuFile, AMalformedTagEndsTheParseAndKeepsTheItemsSoFar)
{
    // Unquoted values are malformed for the strict reader.
    const Parsed menu = Read("<Menu><MenuItem ID='1' Text='One'/>"
                             "<Menu Text='Sub'><MenuItem ID='2' Text='Two'/><MenuItem ID=3 Text='Three'/>"
                             "</Menu><MenuItem ID='4' Text='Four'/></Menu>");
    ASSERT_TRUE(menu.found);
    ASSERT_EQ(2u, menu.items.size());
    EXPECT_EQ("One", menu.items[0].text);
    ASSERT_EQ(1u, menu.items[1].submenu.size());
    EXPECT_EQ("Two", menu.items[1].submenu[0].text);

    // A file cut inside a tag, and one without the closing "/Menu".
    EXPECT_EQ(1u, Read("<Menu><MenuItem ID='1' Text='One'/><MenuItem ID='2' Te").items.size());
    EXPECT_EQ(2u, Read("<Menu><a Text='1'/><b Text='2'/>").items.size());
    // Other end tags are ignored; a self-closing nested Menu has an empty submenu.
    const Parsed ends = Read("<Menu></MenuItem><Menu Text='Empty'/><c Text='3'/></Menu>");
    ASSERT_EQ(2u, ends.items.size());
    EXPECT_TRUE(ends.items[0].hasSubmenu);
    EXPECT_TRUE(ends.items[0].submenu.empty());
}

TEST(MenuFile, AttributeTextsAreCutAt259Bytes)
{
    const std::string longText(1000, 'x');
    const std::string longName(300, 'f');
    const Parsed menu = Read("<Menu><MenuItem ID='1' Text='" + longText + "' Icon='" + longText + "' Enabled='" +
                             longText + "' Checked='Callback:" + longName + "'/></Menu>");
    ASSERT_EQ(1u, menu.items.size());
    EXPECT_EQ(259u, menu.items[0].text.size());
    EXPECT_EQ(259u, menu.items[0].icon.size());
    EXPECT_EQ(259u, menu.items[0].enabledSource.size());
    std::string name;
    ASSERT_TRUE(MenuFile::CallbackName(menu.items[0].checkedSource, name));
    EXPECT_EQ(std::string(250, 'f'), name);
}

TEST(MenuFile, IdsAreDecimalWithTheStandardConversion)
{
    const Parsed menu = Read("<Menu><a ID='12abc' Text='a'/><b ID='-3' Text='b'/><c ID='x' Text='c'/>"
                             "<d ID='99999999999' Text='d'/></Menu>");
    ASSERT_EQ(4u, menu.items.size());
    EXPECT_EQ(12, menu.items[0].id);
    EXPECT_EQ(-3, menu.items[1].id);
    EXPECT_EQ(0, menu.items[2].id);
    EXPECT_EQ(2147483647, menu.items[3].id);
}

TEST(MenuFile, NestingBeyondTheBoundEndsTheParseWithoutExhaustingTheStack)
{
    std::string deep = "<Menu>";
    for (int i = 0; i < 100000; ++i)
        deep += "<Menu Text='level'>";
    const Parsed menu = Read(deep);
    ASSERT_TRUE(menu.found);
    int depth = 0;
    for (const std::vector<MenuFileItem>* items = &menu.items; !items->empty(); items = &(*items)[0].submenu)
        ++depth;
    EXPECT_EQ(MenuFile::kMaxNesting - 1, depth);
}

}  // namespace
