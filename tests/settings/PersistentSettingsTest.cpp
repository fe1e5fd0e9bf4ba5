// The per-user settings file, seen through PersistentSettings objects, the file's bytes and
// other processes (this executable started again with a scenario).
#include "common/Obfuscation.h"
#include "common/PersistentSettings.h"
#include "common/QDUtilities.h"
#include "common/SettingsIds.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ScratchState.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <random>
#include <sstream>
#include <thread>
#include <vector>

using testing_support::ChildProcess;
using testing_support::DebuggedRun;
using testing_support::FileBackup;
using testing_support::FileExists;
using testing_support::ReadWholeFile;
using testing_support::RunUnderDebugger;
using testing_support::SelfPath;
using testing_support::WriteWholeFile;

namespace {

const char kMutexName[] = "{c957a8e0-5308-11da-8cd6-0800200c9a66}";
const char kHeldEvent[] = "PersistentSettingsTest.held";
const char kGoEvent[] = "PersistentSettingsTest.go";
const char kSavingEvent[] = "PersistentSettingsTest.saving";
const char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const int kTornProperties = 40;

std::string SettingsPath()
{
    std::string path;
    QDUtilities::GetSettingsFilePath(path);
    return path;
}

std::string FileText()
{
    std::string text;
    ReadWholeFile(SettingsPath(), text);
    return text;
}

// Lines of the file, split at its lone carriage returns.
std::vector<std::string> FileLines()
{
    std::vector<std::string> lines;
    std::string line;
    for (char c : FileText()) {
        if (c == '\r') {
            lines.push_back(line);
            line.clear();
        } else {
            line.push_back(c);
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

// --- child side -------------------------------------------------------------------------

std::string TornString(int generation, int i)
{
    return "generation " + std::to_string(generation) + " item " + std::to_string(i) +
           " \xE9\xFF\x80 'quoted' <tag>";
}

int RunChild(const std::string& scenario, const std::string& argument)
{
    if (scenario == "increment") {
        const int count = std::stoi(argument);
        for (int i = 0; i < count; ++i) {
            PersistentSettings settings;
            int value = 0;
            settings.GetProperty("test_counter", value);
            if (!settings.SetProperty("test_counter", value + 1, true) || !settings.Save())
                return 3;
        }
        return 0;
    }
    if (scenario == "save-loop") {
        // Every save writes one whole generation; a torn file would mix generations.
        HANDLE saving = OpenEventA(EVENT_MODIFY_STATE, FALSE, kSavingEvent);
        for (int generation = std::stoi(argument);; ++generation) {
            PersistentSettings settings;
            for (int i = 0; i < kTornProperties; ++i) {
                settings.SetProperty(("torn_int_" + std::to_string(i)).c_str(), generation, true);
                settings.SetProperty(("torn_string_" + std::to_string(i)).c_str(),
                                     TornString(generation, i), true);
            }
            settings.Save();
            if (saving) {
                SetEvent(saving);
                CloseHandle(saving);
                saving = nullptr;
            }
        }
    }
    if (scenario == "hold-mutex") {
        HANDLE mutex = CreateMutexA(nullptr, FALSE, kMutexName);
        HANDLE held = OpenEventA(EVENT_MODIFY_STATE, FALSE, kHeldEvent);
        HANDLE go = OpenEventA(SYNCHRONIZE, FALSE, kGoEvent);
        if (!mutex || !held || !go || WaitForSingleObject(mutex, 5000) != WAIT_OBJECT_0)
            return 3;
        SetEvent(held);
        WaitForSingleObject(go, 30000);
        ReleaseMutex(mutex);
        return 0;
    }
    if (scenario == "timed-out") {
        PersistentSettings settings;
        // Without the mutex the object still works.
        if (!settings.IsUsable() || !settings.SetProperty("after_timeout", 5))
            return 3;
        int value = 0;
        return settings.GetProperty("after_timeout", value) && value == 5 ? 0 : 4;
    }
    if (scenario == "unusable") {
        // Another kind of object holding the name makes the mutex impossible to create.
        HANDLE squatter = CreateEventA(nullptr, TRUE, FALSE, kMutexName);
        if (!squatter || GetLastError() == ERROR_ALREADY_EXISTS)
            return 7;
        {
            PersistentSettings settings;
            std::string text = "default";
            int number = 41;
            if (settings.IsUsable() || settings.GetProperty("x", text) ||
                settings.GetProperty("y", number) || settings.SetProperty("x", "v") ||
                settings.SetProperty("y", 1) || settings.Save() || settings.Load())
                return 3;
            if (text != "default" || number != 41)
                return 4;
        }
        CloseHandle(squatter);
        return 0;
    }
    if (scenario == "set-on-partial") {
        PersistentSettings settings;
        return settings.SetProperty("new_value", 7) && !settings.Save() ? 0 : 3;
    }
    if (scenario == "missing-file") {
        PersistentSettings settings;
        std::string text;
        int number = 0;
        return !settings.GetProperty("x", text) && !settings.GetProperty("y", number) ? 0 : 3;
    }
    return 2;
}

// --- parent side ------------------------------------------------------------------------

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_backup.reset(new FileBackup(SettingsPath()));
        m_tmpBackup.reset(new FileBackup(SettingsPath() + ".tmp"));
        DeleteFileA(SettingsPath().c_str());
    }
    void TearDown() override
    {
        m_tmpBackup.reset();
        m_backup.reset();
    }

    static void WriteFile(const std::string& text)
    {
        ASSERT_TRUE(QDUtilities::EnsureSaveFileDirectoryExists());
        ASSERT_TRUE(WriteWholeFile(SettingsPath(), text));
    }
    static std::string Child(const std::string& scenario, const std::string& argument = "0")
    {
        return "\"" + SelfPath() + "\" --settings-child=" + scenario + " --argument=" + argument;
    }

    std::unique_ptr<FileBackup> m_backup;
    std::unique_ptr<FileBackup> m_tmpBackup;
};

bool Contains(const DebuggedRun& run, const std::string& line)
{
    return std::find(run.output.begin(), run.output.end(), line) != run.output.end();
}

TEST_F(SettingsTest, FreshProfileGetsFailAndTheFirstSaveWritesTheEmptyFile)
{
    {
        PersistentSettings settings;
        ASSERT_TRUE(settings.IsUsable());
        EXPECT_FALSE(settings.Load());
        std::string text = "caller default";
        int number = 17;
        bool flag = true;
        EXPECT_FALSE(settings.GetProperty(SettingsId::content_directory, text));
        EXPECT_FALSE(settings.GetProperty(SettingsId::appbar_edge, number));
        EXPECT_FALSE(settings.GetProperty(SettingsId::appbar_autohide, flag));
        EXPECT_EQ("caller default", text);
        EXPECT_EQ(17, number);
        EXPECT_TRUE(flag);
        EXPECT_EQ(0, settings.GetAccountCount(SettingsId::accountType_GMail));
        EXPECT_FALSE(FileExists(SettingsPath()));
        EXPECT_TRUE(settings.Save());
    }
    EXPECT_EQ("<?xml version='1.0'?>\r<configdata>\r</configdata>\r", FileText());
}

TEST_F(SettingsTest, FileFormatIsExactIntLinesBeforeStringLines)
{
    {
        PersistentSettings settings;
        EXPECT_TRUE(settings.SetProperty("zeta", std::string("abc"), true));
        EXPECT_TRUE(settings.SetProperty("empty", std::string(), true));
        EXPECT_TRUE(settings.SetProperty(SettingsId::appbar_edge, 2, true));
        EXPECT_TRUE(settings.SetProperty("negative", -123, true));
        EXPECT_TRUE(settings.Save());
    }
    const std::string text = FileText();
    EXPECT_EQ(std::string::npos, text.find('\n'));
    const std::vector<std::string> lines = FileLines();
    ASSERT_EQ(7u, lines.size()) << text;
    EXPECT_EQ("<?xml version='1.0'?>", lines[0]);
    EXPECT_EQ("<configdata>", lines[1]);
    const std::vector<std::string> ints(lines.begin() + 2, lines.begin() + 4);
    const std::vector<std::string> strings(lines.begin() + 4, lines.begin() + 6);
    EXPECT_NE(ints.end(), std::find(ints.begin(), ints.end(),
                                    "  <int propertyID='appbar_edge' value='2' />"));
    EXPECT_NE(ints.end(), std::find(ints.begin(), ints.end(),
                                    "  <int propertyID='negative' value='-123' />"));
    EXPECT_NE(strings.end(), std::find(strings.begin(), strings.end(),
                                       "  <string propertyID='zeta' value='*5(+(5' encrypted='1'/>"));
    EXPECT_NE(strings.end(), std::find(strings.begin(), strings.end(),
                                       "  <string propertyID='empty' value='' encrypted='1'/>"));
    EXPECT_EQ("</configdata>", lines[6]);
}

TEST_F(SettingsTest, ValuesRoundTripThroughTheFile)
{
    std::string everyByte;
    for (int c = 1; c < 256; ++c)
        everyByte.push_back(static_cast<char>(c));
    {
        PersistentSettings settings;
        settings.SetProperty("all_bytes", everyByte, true);
        settings.SetProperty("empty", "", true);
        settings.SetProperty("same_id", "as string", true);
        settings.SetProperty("same_id", 99, true);
        settings.SetProperty("min", INT32_MIN, true);
        settings.SetProperty("max", INT32_MAX, true);
        settings.SetProperty("flag", true, true);
        settings.SetAccountProperty(SettingsId::emailPropertyType_username,
                                    SettingsId::accountType_Yahoo, 1, std::string("someone"), true);
        settings.SetAccountProperty(SettingsId::emailPropertyType_count, SettingsId::accountType_Yahoo,
                                    0, 2, true);
        settings.SetAccountProperty(SettingsId::emailPropertyType_stopCheckingThisAccount,
                                    SettingsId::accountType_Yahoo, 1, true, true);
        ASSERT_TRUE(settings.Save());
    }
    // The two kinds are separate name spaces.
    PersistentSettings settings;
    std::string text;
    int number = 0;
    bool flag = false;
    ASSERT_TRUE(settings.GetProperty("all_bytes", text));
    EXPECT_EQ(everyByte, text);
    ASSERT_TRUE(settings.GetProperty("empty", text));
    EXPECT_EQ("", text);
    ASSERT_TRUE(settings.GetProperty("same_id", text));
    EXPECT_EQ("as string", text);
    ASSERT_TRUE(settings.GetProperty("same_id", number));
    EXPECT_EQ(99, number);
    ASSERT_TRUE(settings.GetProperty("min", number));
    EXPECT_EQ(INT32_MIN, number);
    ASSERT_TRUE(settings.GetProperty("max", number));
    EXPECT_EQ(INT32_MAX, number);
    ASSERT_TRUE(settings.GetProperty("flag", flag));
    EXPECT_TRUE(flag);

    ASSERT_TRUE(settings.GetProperty("emailPropertyType.username.accountType.Yahoo.1", text));
    EXPECT_EQ("someone", text);
    text.clear();
    ASSERT_TRUE(settings.GetAccountProperty(SettingsId::emailPropertyType_username,
                                            SettingsId::accountType_Yahoo, 1, text));
    EXPECT_EQ("someone", text);
    EXPECT_EQ(2, settings.GetAccountCount(SettingsId::accountType_Yahoo));
    flag = false;
    ASSERT_TRUE(settings.GetAccountProperty(SettingsId::emailPropertyType_stopCheckingThisAccount,
                                            SettingsId::accountType_Yahoo, 1, flag));
    EXPECT_TRUE(flag);
    EXPECT_FALSE(settings.GetAccountProperty(nullptr, SettingsId::accountType_Yahoo, 1, text));
    EXPECT_FALSE(settings.GetProperty(nullptr, text));
}

TEST_F(SettingsTest, HandWrittenPlainValuesAreReadAndSavedObfuscated)
{
    WriteFile("<?xml version='1.0'?>\n<configdata>\r\n"
              "<string propertyID='plain0' value='one' encrypted='0'/>\n"
              "<string propertyID=\"bare\" value=\"two\"/>\n"
              "<string propertyID='scrambled' value='*5(+(5' encrypted='1'/>\n"
              "<string propertyID='nonzero' value='*5(+(5' encrypted='7'/>\n"
              "<string propertyID='novalue'/>\n"
              "<other propertyID='o' value='1'/>\n"
              "<int propertyID='n' value='4'/>\n"
              "</configdata>");
    {
        PersistentSettings settings;
        std::string text;
        ASSERT_TRUE(settings.GetProperty("plain0", text));
        EXPECT_EQ("one", text);
        ASSERT_TRUE(settings.GetProperty("bare", text));
        EXPECT_EQ("two", text);
        ASSERT_TRUE(settings.GetProperty("scrambled", text));
        EXPECT_EQ("abc", text);
        ASSERT_TRUE(settings.GetProperty("nonzero", text));
        EXPECT_EQ("abc", text);
        EXPECT_FALSE(settings.GetProperty("novalue", text));
        EXPECT_FALSE(settings.GetProperty("o", text));
        ASSERT_TRUE(settings.Save());
    }
    const std::string text = FileText();
    EXPECT_NE(std::string::npos,
              text.find("  <string propertyID='plain0' value='" +
                        QDUtilities::ObfuscateString("one") + "' encrypted='1'/>\r"));
    EXPECT_NE(std::string::npos,
              text.find("  <string propertyID='bare' value='" + QDUtilities::ObfuscateString("two") +
                        "' encrypted='1'/>\r"));
    EXPECT_EQ(std::string::npos, text.find("'one'"));
}

TEST_F(SettingsTest, IntValuesUseTheLeadingDigits)
{
    WriteFile("<configdata><int propertyID='a' value='12abc'/><int propertyID='b' value='abc'/>"
              "<int propertyID='c' value=' -7'/><int propertyID='d' value='99999999999'/>"
              "<int propertyID='e' value=''/></configdata>");
    PersistentSettings settings;
    int value = -1;
    ASSERT_TRUE(settings.GetProperty("a", value));
    EXPECT_EQ(12, value);
    ASSERT_TRUE(settings.GetProperty("b", value));
    EXPECT_EQ(0, value);
    ASSERT_TRUE(settings.GetProperty("c", value));
    EXPECT_EQ(-7, value);
    ASSERT_TRUE(settings.GetProperty("d", value));
    EXPECT_EQ(INT32_MAX, value);
    value = -1;
    ASSERT_TRUE(settings.GetProperty("e", value));
    EXPECT_EQ(0, value);
}

TEST_F(SettingsTest, EveryByteOfANameOrValueRoundTripsOrIsRefusedAndTheOtherEntriesStay)
{
    {
        PersistentSettings settings;
        ASSERT_TRUE(settings.SetProperty(SettingsId::content_directory, "C:\\content", true));
        ASSERT_TRUE(settings.SetAccountProperty(SettingsId::emailPropertyType_username,
                                                SettingsId::accountType_GMail, 0, std::string("someone"), true));
        ASSERT_TRUE(settings.Save());
    }
    std::vector<int> refusedNames, refusedValues;
    for (int b = 0; b < 256; ++b) {
        SCOPED_TRACE(b);
        const char c = static_cast<char>(b);
        const std::string id = std::string("name") + c + "end";   // a name ends at a zero byte
        const std::string valueId = "value" + std::to_string(b);
        const std::string value = std::string("v") + c + "w";
        bool nameStored = false, valueStored = false;
        {
            PersistentSettings settings;
            if (b != 0) {
                nameStored = settings.SetProperty(id.c_str(), b);
                EXPECT_EQ(nameStored, settings.SetProperty(id.c_str(), std::string("text")));
                if (!nameStored)
                    refusedNames.push_back(b);
            }
            valueStored = settings.SetProperty(valueId.c_str(), value);
            if (!valueStored)
                refusedValues.push_back(b);
        }
        PersistentSettings settings;
        int number = -1;
        std::string text;
        if (nameStored) {
            ASSERT_TRUE(settings.GetProperty(id.c_str(), number));
            EXPECT_EQ(b, number);
            ASSERT_TRUE(settings.GetProperty(id.c_str(), text));
            EXPECT_EQ("text", text);
        }
        text.clear();
        EXPECT_EQ(valueStored, settings.GetProperty(valueId.c_str(), text));
        if (valueStored) {
            EXPECT_EQ(value, text);
        }
        ASSERT_TRUE(settings.GetProperty(SettingsId::content_directory, text));
        ASSERT_EQ("C:\\content", text);
        ASSERT_TRUE(settings.GetAccountProperty(SettingsId::emailPropertyType_username,
                                                SettingsId::accountType_GMail, 0, text));
        ASSERT_EQ("someone", text);
    }
    // A quote would end the attribute, a line feed becomes a line end in the text-mode file;
    // a zero byte would end the value.
    EXPECT_EQ((std::vector<int>{'\n', '\''}), refusedNames);
    EXPECT_EQ(std::vector<int>{0}, refusedValues);
}

TEST_F(SettingsTest, AnEntryTheFileCannotHoldIsLeftOutOfTheNextSaveAndTheRestIsKept)
{
    // A hand-edited file may hold such names in double quotes; written back raw in single
    // quotes they would end the reading there.
    WriteFile("<configdata><int propertyID=\"it's\" value='1'/>"
              "<string propertyID=\"line\nbreak\" value='x' encrypted='0'/>"
              "<int propertyID='after' value='2'/>"
              "<string propertyID='content_directory' value='C:\\c' encrypted='0'/></configdata>");
    int number = 0;
    {
        PersistentSettings settings;
        ASSERT_TRUE(settings.GetProperty("it's", number));
        EXPECT_EQ(1, number);
        ASSERT_TRUE(settings.SetProperty("added", 3));
    }
    PersistentSettings settings;
    std::string text;
    EXPECT_FALSE(settings.GetProperty("it's", number));
    EXPECT_FALSE(settings.GetProperty("line\nbreak", text));
    ASSERT_TRUE(settings.GetProperty("after", number));
    EXPECT_EQ(2, number);
    ASSERT_TRUE(settings.GetProperty("added", number));
    EXPECT_EQ(3, number);
    ASSERT_TRUE(settings.GetProperty(SettingsId::content_directory, text));
    EXPECT_EQ("C:\\c", text);
}

TEST_F(SettingsTest, RemovingOneKindOfAnIdKeepsTheOther)
{
    {
        PersistentSettings settings;
        settings.SetProperty("both", 5, true);
        settings.SetProperty("both", std::string("five"), true);
        ASSERT_TRUE(settings.RemoveProperty("both", PersistentSettings::Kind::Int));
        EXPECT_FALSE(settings.RemoveProperty(nullptr, PersistentSettings::Kind::Int));
    }
    PersistentSettings settings;
    int number = 0;
    std::string text;
    EXPECT_FALSE(settings.GetProperty("both", number));
    ASSERT_TRUE(settings.GetProperty("both", text));
    EXPECT_EQ("five", text);
    ASSERT_TRUE(settings.RemoveProperty("both", PersistentSettings::Kind::String));
    PersistentSettings after;
    EXPECT_FALSE(after.GetProperty("both", text));
    EXPECT_EQ(std::string::npos, FileText().find("both"));
}

TEST_F(SettingsTest, TruncatedFileKeepsThePropertiesReadBeforeTheCut)
{
    {
        PersistentSettings settings;
        for (int i = 0; i < 5; ++i) {
            settings.SetProperty(("i" + std::to_string(i)).c_str(), i * 11, true);
            settings.SetProperty(("s" + std::to_string(i)).c_str(), "text " + std::to_string(i), true);
        }
        ASSERT_TRUE(settings.Save());
    }
    const std::string full = FileText();
    for (size_t cut = 0; cut < full.size(); ++cut) {
        const std::string prefix = full.substr(0, cut);
        WriteFile(prefix);
        PersistentSettings settings;
        EXPECT_TRUE(settings.Load()) << cut;
        // Every line that ended before the cut is read; the tag cut in the middle is not.
        for (int i = 0; i < 5; ++i) {
            for (const char* kind : {"i", "s"}) {
                const std::string id = kind + std::to_string(i);
                const size_t line = full.find("propertyID='" + id + "'");
                const size_t end = full.find('>', line);
                std::string text;
                int number = 0;
                const bool found = *kind == 'i' ? settings.GetProperty(id.c_str(), number)
                                                : settings.GetProperty(id.c_str(), text);
                EXPECT_EQ(end < cut, found) << "cut " << cut << " id " << id;
                if (found && *kind == 'i') {
                    EXPECT_EQ(i * 11, number);
                }
                if (found && *kind == 's') {
                    EXPECT_EQ("text " + std::to_string(i), text);
                }
            }
        }
    }
}

// A file the reader did not take whole keeps every byte through a set: a save would write only
// what was read and drop the rest (here the content folder and an account).
TEST_F(SettingsTest, AFileNotReadWholeIsNeverRewritten)
{
    const std::string tail =
        "<string propertyID='content_directory' value='C:\\content' encrypted='0'/>\r"
        "<string propertyID='emailPropertyType.userName.accountType.GMail.0' value='me' encrypted='0'/>\r"
        "</configdata>\r";
    const std::string unquoted = "<configdata>\r<int propertyID='first' value='1'/>\r"
                                 "<int propertyID='edited' value=3/>\r" + tail;
    std::string utf16;
    for (char c : std::string("<configdata><int propertyID='first' value='1'/>") + tail) {
        utf16.push_back(c);
        utf16.push_back('\0');
    }
    for (const std::string& text : {unquoted, "\xFF\xFE" + utf16}) {
        WriteFile(text);
        testing_support::TraceSwitch trace(1);
        DebuggedRun run = RunUnderDebugger(Child("set-on-partial"), 30000);
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(0u, run.exitCode);
        EXPECT_EQ(text, FileText());
        EXPECT_TRUE(Contains(run, "PersistentSettings::Save - '" + SettingsPath() +
                                      "' was not read whole; it is left as it is.\n"));
    }

    // Unreadable at the moment the object read it: the later set leaves the file alone too.
    {
        PersistentSettings settings;
        ASSERT_TRUE(settings.SetProperty("first", 1));
        ASSERT_TRUE(settings.SetProperty("second", 2));
    }
    const std::string whole = FileText();
    HANDLE held = CreateFileA(SettingsPath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    {
        PersistentSettings settings;
        CloseHandle(held);
        EXPECT_TRUE(settings.SetProperty("third", 3));
    }
    EXPECT_EQ(whole, FileText());

    // A missing file is no partial reading: the first save writes it.
    DeleteFileA(SettingsPath().c_str());
    {
        PersistentSettings settings;
        EXPECT_TRUE(settings.SetProperty("fresh", 1));
        EXPECT_TRUE(settings.Save());
    }
    EXPECT_NE(std::string::npos, FileText().find("propertyID='fresh' value='1'"));
}

TEST_F(SettingsTest, DeferredChangesReachTheFileOnlyThroughSave)
{
    PersistentSettings settings;
    ASSERT_TRUE(settings.SetProperty("kept", 1));
    const std::string before = FileText();
    ASSERT_TRUE(settings.SetProperty("deferred", 2, true));
    EXPECT_EQ(before, FileText());
    ASSERT_TRUE(settings.Save());
    EXPECT_NE(std::string::npos, FileText().find("propertyID='deferred' value='2'"));

    // A get reads the unchanged file again over a deferred change: the file's value answers.
    PersistentSettings again;
    ASSERT_TRUE(again.SetProperty("kept", 7, true));
    int kept = 0;
    ASSERT_TRUE(again.GetProperty("kept", kept));
    EXPECT_EQ(1, kept);
}

TEST_F(SettingsTest, GetsReReadTheFileAndTheMutexIsReentrant)
{
    PersistentSettings outer;
    int value = 0;
    EXPECT_FALSE(outer.GetProperty("shared", value));
    {
        // A second object on the same thread while the first holds the mutex.
        PersistentSettings inner;
        ASSERT_TRUE(inner.SetProperty("shared", 5));
    }
    ASSERT_TRUE(outer.GetProperty("shared", value));
    EXPECT_EQ(5, value);

    // A value that the file no longer has stays in the object's map.
    WriteFile("<configdata><int propertyID='other' value='1'/></configdata>");
    ASSERT_TRUE(outer.GetProperty("shared", value));
    EXPECT_EQ(5, value);
}

TEST_F(SettingsTest, AnotherThreadWaitsForTheMutex)
{
    std::atomic<bool> constructed{false};
    std::unique_ptr<PersistentSettings> holder(new PersistentSettings);
    std::thread other([&] {
        PersistentSettings settings;
        constructed = true;
    });
    Sleep(300);
    EXPECT_FALSE(constructed.load());
    holder.reset();
    other.join();
    EXPECT_TRUE(constructed.load());
}

TEST_F(SettingsTest, UnwritableFileFailsTheSaveAndKeepsTheValues)
{
    {
        PersistentSettings settings;
        ASSERT_TRUE(settings.SetProperty("before", 1));
    }
    const std::string before = FileText();
    // A folder where this thread's new file would be written; another thread's name is free.
    const std::string blocker = SettingsPath() + "." + std::to_string(GetCurrentProcessId()) + "." +
                                std::to_string(GetCurrentThreadId()) + ".tmp";
    EXPECT_EQ(blocker, PersistentSettings::TemporaryPath(SettingsPath()));
    DeleteFileA(blocker.c_str());
    ASSERT_TRUE(CreateDirectoryA(blocker.c_str(), nullptr));
    {
        PersistentSettings settings;
        EXPECT_TRUE(settings.SetProperty("lost", 2));
        EXPECT_FALSE(settings.Save());
        int value = 0;
        EXPECT_TRUE(settings.GetProperty("lost", value));
        EXPECT_EQ(2, value);
    }
    EXPECT_EQ(before, FileText());
    std::thread other([] {
        PersistentSettings settings;
        EXPECT_TRUE(settings.SetProperty("other_thread", 3, true));
        EXPECT_TRUE(settings.Save());
    });
    other.join();
    RemoveDirectoryA(blocker.c_str());
    EXPECT_NE(std::string::npos, FileText().find("propertyID='other_thread' value='3'"));
}

class AutoStartTest : public SettingsTest {
protected:
    void SetUp() override
    {
        SettingsTest::SetUp();
        m_run.reset(new testing_support::RegistryValueBackup(HKEY_CURRENT_USER, kRunKey,
                                                             "TidewireDesktop.exe"));
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kRunKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            RegDeleteValueA(key, "TidewireDesktop.exe");
            RegCloseKey(key);
        }
    }
    void TearDown() override
    {
        m_run.reset();
        SettingsTest::TearDown();
    }
    static bool RunValue(std::string& value)
    {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kRunKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
            return false;
        char data[512] = {};
        DWORD size = sizeof data - 1;
        DWORD type = 0;
        const bool found = RegQueryValueExA(key, "TidewireDesktop.exe", nullptr, &type,
                                            reinterpret_cast<BYTE*>(data), &size) == ERROR_SUCCESS &&
                           type == REG_SZ;
        RegCloseKey(key);
        value = data;
        return found;
    }
    std::unique_ptr<testing_support::RegistryValueBackup> m_run;
};

TEST_F(AutoStartTest, SettingItWritesTheRunEntryNotTheFile)
{
    PersistentSettings settings;
    // Without the application folder there is no command line to write.
    EXPECT_FALSE(settings.SetProperty(SettingsId::auto_start_marigold, 1));
    std::string value;
    EXPECT_FALSE(RunValue(value));

    ASSERT_TRUE(settings.SetProperty(SettingsId::application_directory, "C:\\Program Files\\Tidewire"));
    ASSERT_TRUE(settings.SetProperty(SettingsId::auto_start_marigold, 1));
    ASSERT_TRUE(RunValue(value));
    EXPECT_EQ("\"C:\\Program Files\\Tidewire\\TidewireDesktop.exe\" -NoBrowser", value);
    EXPECT_EQ(std::string::npos, FileText().find("auto_start_marigold"));

    // The answer comes from the registry, whatever the file says.
    WriteFile(FileText().substr(0, FileText().find("</configdata>")) +
              "<int propertyID='auto_start_marigold' value='0'/></configdata>");
    int on = 0;
    ASSERT_TRUE(settings.GetProperty(SettingsId::auto_start_marigold, on));
    EXPECT_EQ(1, on);
    bool flag = false;
    ASSERT_TRUE(settings.GetProperty(SettingsId::auto_start_marigold, flag));
    EXPECT_TRUE(flag);

    ASSERT_TRUE(settings.SetProperty(SettingsId::auto_start_marigold, 0));
    EXPECT_FALSE(RunValue(value));
    ASSERT_TRUE(settings.GetProperty(SettingsId::auto_start_marigold, on));
    EXPECT_EQ(0, on);
    // Removing it again reports the missing value.
    EXPECT_FALSE(settings.SetProperty(SettingsId::auto_start_marigold, 0));
}

TEST_F(SettingsTest, FourProcessesIncrementingEndAtExactly800)
{
    std::vector<std::unique_ptr<ChildProcess>> children;
    for (int i = 0; i < 4; ++i) {
        children.emplace_back(new ChildProcess);
        ASSERT_TRUE(children.back()->Start(Child("increment", "200")));
    }
    for (auto& child : children) {
        ASSERT_TRUE(child->Wait(120000));
        EXPECT_EQ(0u, child->ExitCode());
    }
    PersistentSettings settings;
    int value = 0;
    ASSERT_TRUE(settings.GetProperty("test_counter", value));
    EXPECT_EQ(800, value);
}

TEST_F(SettingsTest, ProcessesKilledInTheMiddleOfASaveLeaveAWholeFile)
{
    std::mt19937 random(GetTickCount());
    std::uniform_int_distribution<int> delay(0, 60);
    const DWORD start = GetTickCount();
    int rounds = 0;
    int generations = 0;
    int lastGeneration = -1;
    HANDLE saving = CreateEventA(nullptr, TRUE, FALSE, kSavingEvent);
    ASSERT_NE(nullptr, saving);
    while (GetTickCount() - start < 15000 || rounds < 10) {
        ++rounds;
        // Two savers at once, started from different generations, killed at random moments.
        ChildProcess first, second;
        ResetEvent(saving);
        ASSERT_TRUE(first.Start(Child("save-loop", std::to_string(rounds * 100000))))
            << "round " << rounds << ", error " << first.LastError();
        ASSERT_TRUE(second.Start(Child("save-loop", std::to_string(rounds * 100000 + 50000))))
            << "round " << rounds << ", error " << second.LastError();
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(saving, 20000));
        Sleep(delay(random));
        second.Kill();
        Sleep(delay(random) / 4);
        first.Kill();

        PersistentSettings settings;
        int generation = -1;
        ASSERT_TRUE(settings.GetProperty("torn_int_0", generation)) << "round " << rounds;
        for (int i = 0; i < kTornProperties; ++i) {
            int number = -1;
            std::string text;
            ASSERT_TRUE(settings.GetProperty(("torn_int_" + std::to_string(i)).c_str(), number))
                << "round " << rounds << " item " << i;
            ASSERT_EQ(generation, number) << "round " << rounds << " item " << i;
            ASSERT_TRUE(settings.GetProperty(("torn_string_" + std::to_string(i)).c_str(), text));
            ASSERT_EQ(TornString(generation, i), text) << "round " << rounds;
        }
        if (generation != lastGeneration)
            ++generations;
        lastGeneration = generation;
    }
    CloseHandle(saving);
    // The kills did land while saving was under way, not only before the first save.
    EXPECT_GT(generations, rounds / 2) << rounds << " rounds";
    std::printf("%d kill rounds, %d distinct generations found\n", rounds, generations);
}

TEST_F(SettingsTest, MutexHeldElsewhereIsWaitedForTenSecondsThenIgnored)
{
    testing_support::TraceSwitch trace(1);
    HANDLE held = CreateEventA(nullptr, TRUE, FALSE, kHeldEvent);
    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, kGoEvent);
    ChildProcess holder;
    ASSERT_TRUE(holder.Start(Child("hold-mutex")));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(held, 20000));

    const DWORD before = GetTickCount();
    DebuggedRun run = RunUnderDebugger(Child("timed-out"), 40000);
    const DWORD waited = GetTickCount() - before;
    SetEvent(go);
    EXPECT_TRUE(holder.Wait(20000));
    CloseHandle(held);
    CloseHandle(go);

    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_TRUE(Contains(run, "PersistentSettings::PersistentSettings - WaitForSingleObject timed out.\n"));
    // A bound, not a measurement: the wait did not give up early.
    EXPECT_GE(waited, 9500u);
}

TEST_F(SettingsTest, ObjectWithoutItsMutexRefusesEverything)
{
    testing_support::TraceSwitch trace(1);
    DebuggedRun run = RunUnderDebugger(Child("unusable"), 30000);
    ASSERT_TRUE(run.finished);
    if (run.exitCode == 7)
        GTEST_SKIP() << "the settings mutex exists in another process";
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_TRUE(Contains(run, "PersistentSettings::PersistentSettings m_hSingleInstanceMutex failed to be created \r"));
    EXPECT_TRUE(Contains(run, "PersistentSettings::~PersistentSettings m_hSingleInstanceMutex is NULL and was never created! \r"));
}

TEST_F(SettingsTest, MissingFileIsTraced)
{
    testing_support::TraceSwitch trace(1);
    DebuggedRun run = RunUnderDebugger(Child("missing-file"), 30000);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_TRUE(Contains(run, "PersistentSettings::Load failed, no xml buffer \n"));
    EXPECT_TRUE(Contains(run, "PersistentSettings::GetProperty (string) failed! \n"));
    EXPECT_TRUE(Contains(run, "PersistentSettings::GetProperty (int) failed! \n"));
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string scenario = testing_support::SwitchValue(argc, argv, "settings-child");
    if (!scenario.empty())
        return RunChild(scenario, testing_support::SwitchValue(argc, argv, "argument"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
