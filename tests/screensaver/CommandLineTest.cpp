// The screen saver's command line, as the Display control panel and users write it (already
// lower case: the program lowers it first). Built natively, under the sanitizers.
#include "ScreenSaver/CommandLine.h"

#include <gtest/gtest.h>

using screensaver::CommandLine;
using screensaver::ParseCommandLine;

TEST(ScreenSaverCommandLine, TheLetterAfterTheFirstSwitchCharacterIsTheMode)
{
    EXPECT_EQ('s', ParseCommandLine("/s").mode);
    EXPECT_EQ('s', ParseCommandLine("-s").mode);
    EXPECT_EQ('c', ParseCommandLine("/c").mode);
    EXPECT_EQ('x', ParseCommandLine("/x").mode);
    EXPECT_EQ('s', ParseCommandLine("  junk /s -c").mode);
    EXPECT_EQ(' ', ParseCommandLine("").mode);
    EXPECT_EQ(' ', ParseCommandLine("/").mode);
    EXPECT_EQ(' ', ParseCommandLine("nothing").mode);
    EXPECT_EQ(0u, ParseCommandLine("/s 4096").parent);
}

TEST(ScreenSaverCommandLine, AWindowNumberNeedsTwoCharactersAfterTheLetter)
{
    EXPECT_EQ(4096u, ParseCommandLine("/p 4096").parent);
    EXPECT_EQ(4096u, ParseCommandLine("/p \t 4096 more").parent);
    EXPECT_EQ(1234u, ParseCommandLine("/c 1234").parent);
    EXPECT_EQ(0u, ParseCommandLine("/c:4096").parent);
    EXPECT_EQ(12u, ParseCommandLine("/p12").parent);
    // "/p1": fewer than two characters follow, so no window: full screen.
    const CommandLine short1 = ParseCommandLine("/p1");
    EXPECT_EQ('p', short1.mode);
    EXPECT_EQ(0u, short1.parent);
    EXPECT_EQ(0u, ParseCommandLine("/p").parent);
    EXPECT_EQ(0u, ParseCommandLine("/p -5").parent);
    EXPECT_EQ(77u, ParseCommandLine("x/p 77").parent);
}

TEST(ScreenSaverCommandLine, ANumberTooLargeForAHandleStaysLarge)
{
    EXPECT_EQ(4294967295u, ParseCommandLine("/p 4294967295").parent);
    EXPECT_EQ(4294967295u, ParseCommandLine("/p 99999999999999999999999999").parent);
}
