// The resource-string file's parse. Portable: this file is also built and run natively.
#include "Wisp/windows/ResourceText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

bool Find(const std::string& text, const char* name, std::string& value)
{
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    return ResourceText::Find(buffer.data(), name, value);
}

const char kFile[] =
    "<?xml version='1.0' encoding='windows-1252'?>\r\n"
    "<resources>\r\n"
    "  <!-- <Ok value='from a comment'/> -->\r\n"
    "  <Ok value='Okay'/>\r\n"
    "  <Lines value='first\\nsecond\\n'/>\r\n"
    "  <Empty value=''/>\r\n"
    "  <NoValue text='not this one'/>\r\n"
    "  <NoValue value=\"the second tag\"/>\r\n"
    "  <Ok value='a later Ok'/>\r\n"
    "  text between tags is ignored <Spaces value='  kept  '></Spaces>\r\n"
    "</resources>\r\n";

TEST(ResourceText, TheTagNameIsTheResourceNameAndItsValueTheText)
{
    std::string value;
    ASSERT_TRUE(Find(kFile, "Ok", value));
    EXPECT_EQ("Okay", value);
    ASSERT_TRUE(Find(kFile, "Spaces", value));
    EXPECT_EQ("  kept  ", value);
    ASSERT_TRUE(Find(kFile, "Empty", value));
    EXPECT_EQ("", value);
    // The first tag of that name that has a value.
    ASSERT_TRUE(Find(kFile, "NoValue", value));
    EXPECT_EQ("the second tag", value);
}

TEST(ResourceText, BackslashNBecomesALineBreak)
{
    std::string value;
    ASSERT_TRUE(Find(kFile, "Lines", value));
    EXPECT_EQ("first\nsecond\n", value);
    ASSERT_TRUE(Find("<a value='one\\\\two \\x \\'/>", "a", value));
    EXPECT_EQ("one\\\\two \\x \\", value);
    ASSERT_TRUE(Find("<a value='\\\\n'/>", "a", value));   // backslash, then backslash-n
    EXPECT_EQ("\\\n", value);
}

TEST(ResourceText, AMissingNameLeavesTheValueAlone)
{
    std::string value = "unchanged";
    EXPECT_FALSE(Find(kFile, "Missing", value));
    EXPECT_FALSE(Find(kFile, "ok", value));   // names compare exactly
    EXPECT_FALSE(Find(kFile, "resources", value));
    EXPECT_EQ("unchanged", value);
    // A malformed tag ends the search.
    EXPECT_FALSE(Find("<a value=bare/><b value='x'/>", "b", value));
    EXPECT_EQ("unchanged", value);
    EXPECT_FALSE(ResourceText::Find(nullptr, "a", value));
}

}  // namespace
