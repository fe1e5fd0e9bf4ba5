// The test host's record of what it was started with and of everything it received, one line
// per entry in a text file that other processes read while the host runs:
//   commandline <TAB> text
//   started <TAB> process id
//   window|container|pipe <TAB> message <TAB> wParam <TAB> lParam <TAB> <TAB> name
//   window-data|pipe-data <TAB> dwData <TAB> 0 <TAB> 0 <TAB> payload <TAB> name
//   exit <TAB> code
// Texts and payloads are escaped: bytes outside printable ASCII, the tab and the backslash
// as \xHH.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/host/HostApplication.h"

namespace host {

struct RecordEntry {
    std::string kind;       // the first field
    uint32_t message = 0;   // message, or dwData for the "-data" kinds
    uint64_t wParam = 0;
    int64_t lParam = 0;
    std::string data;       // payload, or the text of commandline / started / exit
};

class HostRecordWriter {
public:
    explicit HostRecordWriter(const std::string& path);
    ~HostRecordWriter();
    HostRecordWriter(const HostRecordWriter&) = delete;
    HostRecordWriter& operator=(const HostRecordWriter&) = delete;

    bool IsOpen() const;
    void Text(const char* kind, const std::string& text);
    void Message(const ReceivedMessage& message);

private:
    void Line(const std::string& line);
    void* m_file;
};

std::string EscapeRecordText(const std::string& bytes);
std::string UnescapeRecordText(const std::string& text);

// Every whole line of the file (an empty list when it does not exist).
std::vector<RecordEntry> ReadHostRecord(const std::string& path);
// The entries of one kind (and message, unless 0).
std::vector<RecordEntry> FindEntries(const std::vector<RecordEntry>& entries, const std::string& kind,
                                     uint32_t message = 0);

}  // namespace host
