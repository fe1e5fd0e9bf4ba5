// The scrambling of the settings file's strings. Portable: also built and run natively.
#include "common/Obfuscation.h"

#include <gtest/gtest.h>

#include <string>

using QDUtilities::DeobfuscateString;
using QDUtilities::ObfuscateString;

namespace {

TEST(Obfuscation, KnownTextHasItsFixedForm)
{
    // 'a'^'L' = 0x2D, 'b'^'a' = 0x03, 'c'^'n' = 0x0D; each nibble is written as 0x28 + n.
    EXPECT_EQ("*5(+(5", ObfuscateString("abc"));
    EXPECT_EQ("abc", DeobfuscateString("*5(+(5"));
    EXPECT_EQ("", ObfuscateString(""));
    EXPECT_EQ("", DeobfuscateString(""));

    // Longer than the 26-byte key, so that every key byte and the wrap to the first are used.
    const std::string text = "Tidewire settings value, 30+ bytes long";
    const std::string form = ")0(0(2)))*)3)4*5,)()(/)3())3,6,),/)0,,-0-5,--()3)+(-/4,2,6).)4(.(3+3,))6(5())*";
    ASSERT_EQ(39u, text.size());
    EXPECT_EQ(form, ObfuscateString(text));
    EXPECT_EQ(text, DeobfuscateString(form));
}

TEST(Obfuscation, EveryByteAtEveryKeyPositionRoundTrips)
{
    // 26 key positions, then a second pass over the key for each byte value.
    for (int position = 0; position < 52; ++position) {
        for (int value = 1; value < 256; ++value) {
            std::string plain(position, 'q');
            plain.push_back(static_cast<char>(value));
            plain += "tail";
            const std::string scrambled = ObfuscateString(plain);
            ASSERT_EQ(plain.size() * 2, scrambled.size());
            for (char c : scrambled) {
                ASSERT_GE(static_cast<unsigned char>(c), 0x28) << value;
                ASSERT_LE(static_cast<unsigned char>(c), 0x37) << value;
            }
            ASSERT_EQ(plain, DeobfuscateString(scrambled)) << "byte " << value << " at " << position;
        }
    }
}

TEST(Obfuscation, TextBelow0x80UsesOnlyParenToSeven)
{
    std::string ascii;
    for (int c = 1; c < 0x80; ++c)
        ascii.push_back(static_cast<char>(c));
    const std::string scrambled = ObfuscateString(ascii);
    EXPECT_EQ(std::string::npos, scrambled.find_first_not_of("()*+,-./01234567"));
    EXPECT_EQ(std::string::npos, scrambled.find('\''));
}

TEST(Obfuscation, DecodingIgnoresAnOddLastCharacterAndStopsAtZero)
{
    const std::string scrambled = ObfuscateString("abc");
    EXPECT_EQ("abc", DeobfuscateString(scrambled + "7"));
    EXPECT_EQ("a", DeobfuscateString("*5"));

    // A zero byte ends the text: encode "ab\0cd" and only "ab" comes back.
    EXPECT_EQ("ab", DeobfuscateString(ObfuscateString(std::string("ab\0cd", 5))));
}

TEST(Obfuscation, HandEditedCharactersDecodeWithoutHarm)
{
    // Any pair of characters decodes to some byte; nothing outside the range is refused.
    std::string odd;
    for (int c = 1; c < 256; ++c)
        odd.push_back(static_cast<char>(c));
    const std::string plain = DeobfuscateString(odd);
    EXPECT_LE(plain.size(), odd.size() / 2);
}

}  // namespace
