#include "tests/support/host/HostRecord.h"

#include "common/HostMessages.h"
#include "tests/support/ScratchState.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace host {

namespace {

// For people reading the record (the demo prints it); the tests go by number.
const char* MessageName(uint32_t message)
{
    switch (message) {
    case RM_EXIT: return "RM_EXIT";
    case RM_DOCUMENT_COMPLETE: return "RM_DOCUMENT_COMPLETE";
    case RM_EXIT_SCREENSAVER: return "RM_EXIT_SCREENSAVER";
    case RM_EXIT_SCREENSAVER_IMMEDIATE: return "RM_EXIT_SCREENSAVER_IMMEDIATE";
    case RM_SCREENSAVER_CYCLED_ITEM: return "RM_SCREENSAVER_CYCLED_ITEM";
    case RM_CURRENT_STORY: return "RM_CURRENT_STORY";
    case RM_PREPARE_EXIT_WINDOW: return "RM_PREPARE_EXIT_WINDOW";
    case RM_SHOW_FADE_WINDOW: return "RM_SHOW_FADE_WINDOW";
    case RM_NOTIFY_CLIENTS: return "RM_NOTIFY_CLIENTS";
    case RM_NEWDATA_AVAILABLE: return "RM_NEWDATA_AVAILABLE";
    case RM_RELAY_TO_SCREENSAVER: return "RM_RELAY_TO_SCREENSAVER";
    case RM_NOTIFY_MOTHERSHIP: return "RM_NOTIFY_MOTHERSHIP";
    case RM_CALL_MOTHERSHIP_SCRIPT_METHOD: return "RM_CALL_MOTHERSHIP_SCRIPT_METHOD";
    case RM_LOG_USAGE_DATA: return "RM_LOG_USAGE_DATA";
    default: return "";
    }
}

const char* WindowKind(ReceivedMessage::Window window)
{
    switch (window) {
    case ReceivedMessage::Host: return "window";
    case ReceivedMessage::Container: return "container";
    default: return "pipe";
    }
}

std::vector<std::string> SplitTabs(const std::string& line)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

}  // namespace

HostRecordWriter::HostRecordWriter(const std::string& path)
    : m_file(CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr))
{
}

HostRecordWriter::~HostRecordWriter()
{
    if (IsOpen())
        CloseHandle(m_file);
}

bool HostRecordWriter::IsOpen() const
{
    return m_file != INVALID_HANDLE_VALUE && m_file != nullptr;
}

void HostRecordWriter::Line(const std::string& line)
{
    if (!IsOpen())
        return;
    const std::string whole = line + "\n";
    DWORD written = 0;
    WriteFile(m_file, whole.data(), static_cast<DWORD>(whole.size()), &written, nullptr);
}

void HostRecordWriter::Text(const char* kind, const std::string& text)
{
    Line(std::string(kind) + "\t" + EscapeRecordText(text));
}

void HostRecordWriter::Message(const ReceivedMessage& m)
{
    const bool data = m.message == WM_COPYDATA;
    const uint32_t number = data ? static_cast<uint32_t>(m.wParam) : m.message;
    char fields[96];
    std::snprintf(fields, sizeof fields, "\t%lu\t%llu\t%lld\t", static_cast<unsigned long>(number),
                  data ? 0ull : static_cast<unsigned long long>(m.wParam),
                  data ? 0ll : static_cast<long long>(m.lParam));
    Line(std::string(WindowKind(m.window)) + (data ? "-data" : "") + fields + EscapeRecordText(m.data) + "\t" +
         MessageName(number));
}

std::string EscapeRecordText(const std::string& bytes)
{
    std::string text;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            text += static_cast<char>(c);
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            text += escaped;
        }
    }
    return text;
}

std::string UnescapeRecordText(const std::string& text)
{
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x') {
            bytes += static_cast<char>(std::strtoul(text.substr(i + 2, 2).c_str(), nullptr, 16));
            i += 3;
        } else {
            bytes += text[i];
        }
    }
    return bytes;
}

std::vector<RecordEntry> ReadHostRecord(const std::string& path)
{
    std::vector<RecordEntry> entries;
    std::string file;
    if (!testing_support::ReadWholeFile(path, file))
        return entries;
    std::size_t start = 0;
    for (std::size_t end = file.find('\n'); end != std::string::npos; start = end + 1, end = file.find('\n', start)) {
        const std::vector<std::string> fields = SplitTabs(file.substr(start, end - start));
        RecordEntry entry;
        entry.kind = fields[0];
        if (fields.size() >= 5) {
            entry.message = static_cast<uint32_t>(std::strtoul(fields[1].c_str(), nullptr, 10));
            entry.wParam = std::strtoull(fields[2].c_str(), nullptr, 10);
            entry.lParam = std::strtoll(fields[3].c_str(), nullptr, 10);
            entry.data = UnescapeRecordText(fields[4]);
        } else if (fields.size() >= 2) {
            entry.data = UnescapeRecordText(fields[1]);
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<RecordEntry> FindEntries(const std::vector<RecordEntry>& entries, const std::string& kind,
                                     uint32_t message)
{
    std::vector<RecordEntry> found;
    for (const RecordEntry& entry : entries)
        if (entry.kind == kind && (message == 0 || entry.message == message))
            found.push_back(entry);
    return found;
}

}  // namespace host
