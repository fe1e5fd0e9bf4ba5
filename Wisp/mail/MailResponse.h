// The reading of POP3 and IMAP answers, apart from the sockets that bring them: where an answer
// ends as its bytes arrive in pieces, and what a complete answer says. Free of Windows headers,
// so that it also builds and is fuzzed natively; the mail clients call it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace mail_response {

enum class End {
    Terminator,   // the terminator anywhere in the text
    TaggedLine,   // a complete line starting with the IMAP tag "? "
    MultiLine,    // POP3: a refusal's one line, or "+OK" and the lines up to a lone "."
};

// Finds the end of one answer in a text that grows by whatever each receive brings. The same
// bytes give the same end however they are split.
class EndScanner {
public:
    // terminator: for End::Terminator, not empty; not used for End::TaggedLine.
    EndScanner(End end, const char* terminator);

    // text holds `length` bytes so far, the first `before` of them seen by earlier calls. True
    // once the answer is complete: Length() is then its length without the terminator (or the
    // tagged line's line end) and TaggedLine() where the tagged line starts.
    bool Scan(const char* text, std::size_t before, std::size_t length);

    std::size_t Length() const { return m_length; }
    std::size_t TaggedLine() const { return m_taggedLine; }

private:
    End m_end;
    const char* m_terminator;
    std::size_t m_terminatorLength;
    std::size_t m_lineStart = 0;   // TaggedLine: the first line not yet known to be untagged
    std::size_t m_taggedLine = 0;
    std::size_t m_length = 0;
    bool m_firstLineSeen = false;   // MultiLine: an "+OK" first line is complete
};

// A POP3 answer line starting "+OK" (in any case).
bool IsPop3Ok(const char* text);
// An IMAP answer not starting "? NO" or "? BAD" (in any case).
bool IsImapOk(const char* text);

// Whether an IMAP answer announces the capability: a word of a "* CAPABILITY" line or of a
// greeting's "[CAPABILITY ...]" code, compared without regard to case.
bool ImapHasCapability(const std::string& answer, const char* name);
// Whether a POP3 CAPA answer lists the capability: the first word of a line after "+OK".
bool Pop3HasCapability(const std::string& answer, const char* name);

// "+OK <count> <size>": false unless both numbers are there and fit 32 bits.
bool ParseStat(const char* text, uint32_t& count, uint32_t& size);

// The message count of an EXAMINE answer's "* <n> EXISTS" line; -1 when there is none.
long long ExistingMessages(const std::string& response);

// The unseen messages in a FETCH answer: every line but the tagged completion that does not
// carry \Seen; 0 unless the answer starts with the first message.
uint32_t CountUnseen(const std::string& fetchResponse);

}  // namespace mail_response
