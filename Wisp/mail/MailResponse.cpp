#include "Wisp/mail/MailResponse.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace mail_response {

namespace {

char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whether text starts with prefix, letters compared without regard to case.
bool StartsWithIgnoringCase(const char* text, const char* prefix)
{
    for (; *prefix; ++text, ++prefix)
        if (!*text || Lower(*text) != Lower(*prefix))
            return false;
    return true;
}

// Reads an unsigned decimal number after optional blanks; false when there is none or it
// does not fit 32 bits.
bool ParseCount(const char* text, uint32_t& value, const char*& end)
{
    while (*text == ' ' || *text == '\t')
        ++text;
    if (*text < '0' || *text > '9')
        return false;
    unsigned long long number = 0;
    while (*text >= '0' && *text <= '9') {
        number = number * 10 + static_cast<unsigned>(*text - '0');
        if (number > UINT32_MAX)
            return false;
        ++text;
    }
    value = static_cast<uint32_t>(number);
    end = text;
    return true;
}

}  // namespace

EndScanner::EndScanner(End end, const char* terminator)
    : m_end(end),
      m_terminator(terminator ? terminator : ""),
      m_terminatorLength(std::strlen(m_terminator))
{
}

bool EndScanner::Scan(const char* text, std::size_t before, std::size_t length)
{
    if (m_end == End::Terminator) {
        if (m_terminatorLength == 0)
            return false;
        // The terminator may straddle two receives.
        const std::size_t from =
            before >= m_terminatorLength - 1 ? before - (m_terminatorLength - 1) : 0;
        const char* found = std::search(text + from, text + length, m_terminator,
                                        m_terminator + m_terminatorLength);
        if (found == text + length)
            return false;
        m_length = static_cast<std::size_t>(found - text);
        return true;
    }
    // Only complete lines count; the tagged one ends the answer.
    for (std::size_t i = before; i < length; ++i) {
        if (text[i] != '\n')
            continue;
        if (i - m_lineStart >= 2 && text[m_lineStart] == '?' && text[m_lineStart + 1] == ' ') {
            m_taggedLine = m_lineStart;
            m_length = i > m_lineStart && text[i - 1] == '\r' ? i - 1 : i;
            return true;
        }
        m_lineStart = i + 1;
    }
    return false;
}

bool IsPop3Ok(const char* text)
{
    return text && StartsWithIgnoringCase(text, "+OK");
}

bool IsImapOk(const char* text)
{
    return text && !StartsWithIgnoringCase(text, "? NO") && !StartsWithIgnoringCase(text, "? BAD");
}

bool ParseStat(const char* text, uint32_t& count, uint32_t& size)
{
    if (!text)
        return false;
    const char* blank = text + std::strcspn(text, " \t");
    uint32_t messages = 0, bytes = 0;
    const char* end = nullptr;
    if (!StartsWithIgnoringCase(text, "+OK") || *blank == '\0' ||
        !ParseCount(blank, messages, end) || (*end != ' ' && *end != '\t') ||
        !ParseCount(end, bytes, end))
        return false;
    count = messages;
    size = bytes;
    return true;
}

long long ExistingMessages(const std::string& response)
{
    std::size_t lineStart = 0;
    while (lineStart < response.size()) {
        std::size_t lineEnd = response.find('\n', lineStart);
        if (lineEnd == std::string::npos)
            lineEnd = response.size();
        const std::string line = response.substr(lineStart, lineEnd - lineStart);
        if (line.compare(0, 2, "* ") == 0) {
            char* end = nullptr;
            const char* digits = line.c_str() + 2;
            if (*digits >= '0' && *digits <= '9') {
                const unsigned long long count = std::strtoull(digits, &end, 10);
                // A count past the signed range stays a count rather than wrapping negative.
                if (StartsWithIgnoringCase(end, " EXISTS"))
                    return count > static_cast<unsigned long long>(LLONG_MAX)
                               ? LLONG_MAX
                               : static_cast<long long>(count);
            }
        }
        lineStart = lineEnd + 1;
    }
    return -1;
}

uint32_t CountUnseen(const std::string& fetchResponse)
{
    if (!StartsWithIgnoringCase(fetchResponse.c_str(), "* 1 FETCH"))
        return 0;
    uint32_t unseen = 0;
    std::size_t lineStart = 0;
    for (;;) {
        const std::size_t lineEnd = fetchResponse.find('\n', lineStart);
        if (lineEnd == std::string::npos)
            break;   // the last line is the tagged completion
        const std::string line = fetchResponse.substr(lineStart, lineEnd - lineStart);
        if (line.find("\\Seen") == std::string::npos)
            ++unseen;
        lineStart = lineEnd + 1;
    }
    return unseen;
}

}  // namespace mail_response
