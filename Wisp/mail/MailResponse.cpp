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
    if (m_end == End::MultiLine && !m_firstLineSeen) {
        const char* lineEnd = static_cast<const char*>(std::memchr(text + before, '\n', length - before));
        if (!lineEnd)
            return false;
        m_firstLineSeen = true;
        const std::size_t lineLength = static_cast<std::size_t>(lineEnd - text);
        if (!IsPop3Ok(std::string(text, std::min<std::size_t>(lineLength, 3)).c_str())) {
            m_length = lineLength > 0 && text[lineLength - 1] == '\r' ? lineLength - 1 : lineLength;
            return true;
        }
        before = 0;   // the list may end right behind the first line
    }
    if (m_end == End::Terminator || m_end == End::MultiLine) {
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

namespace {

bool IsWordEnd(char c)
{
    return c == '\0' || c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ']';
}

// Whether `name` is one of the blank-separated words of text[from, to).
bool HasWord(const std::string& text, std::size_t from, std::size_t to, const char* name)
{
    const std::size_t nameLength = std::strlen(name);
    if (nameLength == 0)
        return false;
    for (std::size_t i = from; i + nameLength <= to; ++i) {
        if (i > from && text[i - 1] != ' ' && text[i - 1] != '\t')
            continue;
        const std::string word = text.substr(i, nameLength);
        if (StartsWithIgnoringCase(word.c_str(), name) && (i + nameLength == to || IsWordEnd(text[i + nameLength])))
            return true;
    }
    return false;
}

}  // namespace

bool ImapHasCapability(const std::string& answer, const char* name)
{
    static const char kListed[] = "* CAPABILITY ";
    static const char kGreeting[] = "* OK [CAPABILITY ";
    if (!name)
        return false;
    for (std::size_t lineStart = 0; lineStart < answer.size();) {
        std::size_t lineEnd = answer.find('\n', lineStart);
        if (lineEnd == std::string::npos)
            lineEnd = answer.size();
        const std::string head = answer.substr(lineStart, std::min(lineEnd - lineStart, sizeof kGreeting - 1));
        if (StartsWithIgnoringCase(head.c_str(), kListed) &&
            HasWord(answer, lineStart + sizeof kListed - 1, lineEnd, name))
            return true;
        if (StartsWithIgnoringCase(head.c_str(), kGreeting)) {
            const std::size_t close = std::min(answer.find(']', lineStart), lineEnd);
            if (HasWord(answer, lineStart + sizeof kGreeting - 1, close, name))
                return true;
        }
        lineStart = lineEnd + 1;
    }
    return false;
}

bool Pop3HasCapability(const std::string& answer, const char* name)
{
    if (!name || !IsPop3Ok(answer.c_str()))
        return false;
    std::size_t lineStart = answer.find('\n');
    while (lineStart != std::string::npos && ++lineStart < answer.size()) {
        std::size_t lineEnd = answer.find('\n', lineStart);
        const std::size_t to = lineEnd == std::string::npos ? answer.size() : lineEnd;
        const std::size_t nameLength = std::strlen(name);
        if (nameLength > 0 && to - lineStart >= nameLength &&
            StartsWithIgnoringCase(answer.substr(lineStart, nameLength).c_str(), name) &&
            (lineStart + nameLength == to || IsWordEnd(answer[lineStart + nameLength])))
            return true;
        lineStart = lineEnd;
    }
    return false;
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
