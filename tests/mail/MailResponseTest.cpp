// The reading of POP3 and IMAP answers without the sockets. Portable: built and run natively by
// scripts/test (the Wine suites check the same against scripted and real servers).
#include "Wisp/mail/MailResponse.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>

namespace {

using mail_response::End;
using mail_response::EndScanner;

// Feeds the text in pieces of `piece` bytes; the answer's length, or npos when incomplete.
std::size_t EndOf(const std::string& text, End end, std::size_t piece, std::size_t* tagged = nullptr,
                  const char* terminator = "\r\n")
{
    EndScanner scanner(end, terminator);
    for (std::size_t before = 0; before < text.size(); before += piece) {
        const std::size_t length = std::min(text.size(), before + piece);
        if (scanner.Scan(text.data(), before, length)) {
            if (tagged)
                *tagged = scanner.TaggedLine();
            return scanner.Length();
        }
    }
    return std::string::npos;
}

TEST(MailResponse, ALineEndsAtItsFirstTerminatorAlsoAcrossPieces)
{
    const std::string line = "+OK 2 320\r\n+OK more\r\n";
    for (std::size_t piece : {1u, 2u, 10u, 11u, 100u})
        EXPECT_EQ(9u, EndOf(line, End::Terminator, piece)) << piece;
    EXPECT_EQ(std::string::npos, EndOf("+OK no end\r", End::Terminator, 1));
}

TEST(MailResponse, AnImapAnswerEndsAtItsCompleteTaggedLine)
{
    const std::string answer = "* 1 FETCH (FLAGS ())\r\n? OK done\r\n";
    for (std::size_t piece : {1u, 3u, 22u, 40u}) {
        std::size_t tagged = 0;
        EXPECT_EQ(answer.size() - 2, EndOf(answer, End::TaggedLine, piece, &tagged)) << piece;
        EXPECT_EQ(22u, tagged);
    }
    // Only a complete line counts, and only one starting with the tag and a blank.
    EXPECT_EQ(std::string::npos, EndOf("* ? OK\r\n? OK unfinished", End::TaggedLine, 4));
    EXPECT_EQ(10u, EndOf("?OK\n?\n? OK\n", End::TaggedLine, 1));
}

TEST(MailResponse, CapabilityListsEndAtTheLoneDotAndNameWholeWords)
{
    const std::string list = "+OK\r\nSTLS\r\nUSER\r\n.\r\n";
    for (std::size_t piece : {1u, 4u, 100u})
        EXPECT_EQ(list.size() - 5, EndOf(list, End::MultiLine, piece, nullptr, "\r\n.\r\n")) << piece;
    EXPECT_EQ(3u, EndOf("+OK\r\n.\r\n", End::MultiLine, 1, nullptr, "\r\n.\r\n"));
    EXPECT_EQ(4u, EndOf("-ERR\r\nnever a list", End::MultiLine, 1, nullptr, "\r\n.\r\n"));
    EXPECT_EQ(std::string::npos, EndOf("+OK\r\nSTLS\r\n", End::MultiLine, 3, nullptr, "\r\n.\r\n"));

    EXPECT_TRUE(mail_response::Pop3HasCapability(list, "stls"));
    EXPECT_TRUE(mail_response::Pop3HasCapability(list, "USER"));
    EXPECT_FALSE(mail_response::Pop3HasCapability("+OK STLS\r\nSTLSX\r\nX STLS\r\n.", "STLS"));
    EXPECT_FALSE(mail_response::Pop3HasCapability("-ERR\r\nSTLS\r\n", "STLS"));
    EXPECT_TRUE(mail_response::ImapHasCapability("* OK [CAPABILITY IMAP4rev1 STARTTLS] ready\r\n", "starttls"));
    EXPECT_TRUE(mail_response::ImapHasCapability("* CAPABILITY IMAP4rev1 LOGINDISABLED\r\n? OK\r\n", "LOGINDISABLED"));
    EXPECT_FALSE(mail_response::ImapHasCapability("* OK STARTTLS is not offered\r\n", "STARTTLS"));
    EXPECT_FALSE(mail_response::ImapHasCapability("* OK [CAPABILITY IMAP4rev1] STARTTLS\r\n", "STARTTLS"));
    EXPECT_FALSE(mail_response::ImapHasCapability("* CAPABILITY XSTARTTLS STARTTLSX\r\n", "STARTTLS"));
}

TEST(MailResponse, OkAndRefusalsIgnoreCase)
{
    EXPECT_TRUE(mail_response::IsPop3Ok("+ok fine"));
    EXPECT_FALSE(mail_response::IsPop3Ok("+O"));
    EXPECT_FALSE(mail_response::IsPop3Ok("-ERR no"));
    EXPECT_FALSE(mail_response::IsPop3Ok(nullptr));
    EXPECT_FALSE(mail_response::IsImapOk("? no [AUTHENTICATIONFAILED]"));
    EXPECT_FALSE(mail_response::IsImapOk("? BAD command"));
    EXPECT_TRUE(mail_response::IsImapOk("? OK done"));
    EXPECT_TRUE(mail_response::IsImapOk("? N"));
}

TEST(MailResponse, StatNeedsBothNumbersWithin32Bits)
{
    uint32_t count = 7, size = 7;
    EXPECT_TRUE(mail_response::ParseStat("+OK 3 4096", count, size));
    EXPECT_EQ(3u, count);
    EXPECT_EQ(4096u, size);
    EXPECT_TRUE(mail_response::ParseStat("+ok\t4294967295\t0 octets", count, size));
    EXPECT_EQ(4294967295u, count);
    count = size = 7;
    for (const char* bad : {"+OK 4294967296 1", "+OK 3", "+OK 3x 4", "-ERR 3 4", "+OK", "+OK  "})
        EXPECT_FALSE(mail_response::ParseStat(bad, count, size)) << bad;
    EXPECT_EQ(7u, count);
    EXPECT_EQ(7u, size);
}

TEST(MailResponse, ExistsAndUnseenCounts)
{
    EXPECT_EQ(0, mail_response::ExistingMessages("* FLAGS ()\r\n* 0 EXISTS\r\n? OK\r\n"));
    EXPECT_EQ(12, mail_response::ExistingMessages("* 12 exists"));
    EXPECT_EQ(-1, mail_response::ExistingMessages("* 12 RECENT\r\n? OK"));
    EXPECT_EQ(LLONG_MAX, mail_response::ExistingMessages("* 18446744073709551614 EXISTS\r\n"));
    EXPECT_EQ(2u, mail_response::CountUnseen("* 1 FETCH (FLAGS (\\Seen))\r\n* 2 FETCH (FLAGS ())\r\n"
                                             "* 3 FETCH (FLAGS (\\Answered))\r\n? OK"));
    EXPECT_EQ(0u, mail_response::CountUnseen("* 2 FETCH (FLAGS ())\r\n? OK"));
}

}  // namespace
