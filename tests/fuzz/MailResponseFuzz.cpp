// POP3 and IMAP answers: the end of an answer, and what the answer says (OK or refused, the
// STAT numbers, the EXISTS count, the unseen count), come out the same whether the bytes
// arrive in one piece, one byte at a time or in any other pieces, and the end is where a plain
// reading of the whole text puts it.
//
// Input: one byte of flags (bit 0: an IMAP answer ending at its tagged line; else bit 1: a POP3
// list, "+OK" and lines up to a lone "." or a refusal's one line; else a POP3 line ending at
// CR LF), one byte n, n bytes of piece lengths, then the answer's bytes.
#include "Wisp/mail/MailResponse.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

struct Answer {
    bool complete = false;
    std::size_t length = 0;
    std::size_t taggedLine = 0;
    bool pop3Ok = false, imapOk = false, taggedOk = false, stat = false;
    uint32_t count = 0, size = 0;
    long long exists = 0;
    uint32_t unseen = 0;
    bool starttls = false, stls = false;

    bool operator==(const Answer& o) const
    {
        return complete == o.complete && length == o.length && taggedLine == o.taggedLine &&
               pop3Ok == o.pop3Ok && imapOk == o.imapOk && taggedOk == o.taggedOk &&
               stat == o.stat && count == o.count && size == o.size && exists == o.exists &&
               unseen == o.unseen && starttls == o.starttls && stls == o.stls;
    }
};

// Receives the stream in pieces of the given lengths (the last one repeated) as the mail
// clients do: the text grows by each piece and is scanned until the answer is complete.
Answer Receive(const std::string& stream, mail_response::End end, const std::vector<std::size_t>& pieces)
{
    Answer answer;
    mail_response::EndScanner scanner(end, end == mail_response::End::MultiLine ? "\r\n.\r\n" : "\r\n");
    std::string text;
    std::size_t next = 0;
    while (text.size() < stream.size()) {
        std::size_t piece = pieces[next < pieces.size() ? next : pieces.size() - 1];
        ++next;
        const std::size_t before = text.size();
        text.append(stream, before, piece);
        if (scanner.Scan(text.data(), before, text.size())) {
            answer.complete = true;
            break;
        }
    }
    if (!answer.complete)
        return answer;
    answer.length = scanner.Length();
    answer.taggedLine = scanner.TaggedLine();
    FUZZ_CHECK(answer.length <= text.size());
    FUZZ_CHECK(answer.taggedLine <= answer.length);
    text.resize(answer.length);
    // The clients hand the answer on as a C string.
    const std::string response = text.c_str();
    answer.pop3Ok = mail_response::IsPop3Ok(text.c_str());
    answer.imapOk = mail_response::IsImapOk(text.c_str());
    answer.taggedOk = mail_response::IsImapOk(text.c_str() + answer.taggedLine);
    answer.stat = mail_response::ParseStat(text.c_str(), answer.count, answer.size);
    answer.exists = mail_response::ExistingMessages(response);
    answer.unseen = mail_response::CountUnseen(response);
    FUZZ_CHECK(answer.exists >= -1);
    answer.starttls = mail_response::ImapHasCapability(response, "STARTTLS");
    answer.stls = mail_response::Pop3HasCapability(response, "STLS");
    return answer;
}

// Where a plain reading of the whole stream ends the answer; npos when it does not.
std::size_t PlainEnd(const std::string& stream, mail_response::End end, std::size_t& tagged)
{
    tagged = 0;
    if (end == mail_response::End::Terminator)
        return stream.find("\r\n");
    if (end == mail_response::End::MultiLine) {
        const std::size_t lineEnd = stream.find('\n');
        if (lineEnd == std::string::npos)
            return std::string::npos;
        if (!mail_response::IsPop3Ok(stream.substr(0, 3).c_str()))
            return lineEnd > 0 && stream[lineEnd - 1] == '\r' ? lineEnd - 1 : lineEnd;
        return stream.find("\r\n.\r\n");
    }
    std::size_t start = 0;
    for (;;) {
        const std::size_t lineEnd = stream.find('\n', start);
        if (lineEnd == std::string::npos)
            return std::string::npos;
        if (lineEnd - start >= 2 && stream.compare(start, 2, "? ") == 0) {
            tagged = start;
            return lineEnd > start && stream[lineEnd - 1] == '\r' ? lineEnd - 1 : lineEnd;
        }
        start = lineEnd + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const mail_response::End end = (data[0] & 1)   ? mail_response::End::TaggedLine
                                   : (data[0] & 2) ? mail_response::End::MultiLine
                                                   : mail_response::End::Terminator;
    std::size_t at = 2;
    std::vector<std::size_t> pieces;
    for (std::size_t i = 0; i < data[1] % 16 && at < size; ++i, ++at)
        pieces.push_back(data[at] ? data[at] : 1);
    if (pieces.empty())
        pieces.push_back(3);
    const std::string stream(reinterpret_cast<const char*>(data) + at, size - at);

    const Answer whole = Receive(stream, end, {stream.size() ? stream.size() : 1});
    FUZZ_CHECK(Receive(stream, end, {1}) == whole);
    FUZZ_CHECK(Receive(stream, end, pieces) == whole);

    std::size_t tagged = 0;
    const std::size_t plain = PlainEnd(stream, end, tagged);
    FUZZ_CHECK(whole.complete == (plain != std::string::npos));
    if (whole.complete)
        FUZZ_CHECK(whole.length == plain && whole.taggedLine == tagged);
    return 0;
}
