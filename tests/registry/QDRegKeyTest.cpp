// The registry helper against the real registry of the test prefix, in keys of its own.
#include "common/QDRegKey.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ScratchState.h"

#include <aclapi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using testing_support::DebuggedRun;
using testing_support::RunUnderDebugger;
using testing_support::SelfPath;

namespace {

// The process whose scratch keys are used: this one, or for a child the parent.
DWORD g_keyOwner = GetCurrentProcessId();

std::string ScratchKey(const char* leaf = nullptr)
{
    std::string key = "Software\\WispTests\\QDRegKey." + std::to_string(g_keyOwner);
    if (leaf)
        key += std::string("\\") + leaf;
    return key;
}

std::string ClassesKey()
{
    return "WispTests.QDRegKey." + std::to_string(GetCurrentProcessId());
}

void PutValue(HKEY root, const std::string& subKey, const char* name, DWORD type, const void* data,
              DWORD size)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &key, nullptr));
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size));
    RegCloseKey(key);
}

void PutText(HKEY root, const std::string& subKey, const char* name, const std::string& text)
{
    PutValue(root, subKey, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

struct RawValue {
    bool exists = false;
    DWORD type = 0;
    std::vector<BYTE> data;
};

RawValue ReadValue(HKEY root, const std::string& subKey, const char* name)
{
    RawValue value;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return value;
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
        value.data.resize(size);
        value.exists = RegQueryValueExA(key, name, nullptr, &value.type,
                                        size ? value.data.data() : nullptr, &size) == ERROR_SUCCESS;
        value.data.resize(size);
    }
    RegCloseKey(key);
    return value;
}

int ValueCount(HKEY root, const std::string& subKey)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return -1;
    DWORD values = 0;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr,
                     nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return static_cast<int>(values);
}

// Lets everyone read the key and nobody write it (the owner may still change the rules).
bool MakeReadOnly(HKEY root, const std::string& subKey, bool readOnly)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, subKey.c_str(), 0, WRITE_DAC | READ_CONTROL, &key) != ERROR_SUCCESS)
        return false;
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
    EXPLICIT_ACCESSA access = {};
    access.grfAccessPermissions = readOnly ? KEY_READ : KEY_ALL_ACCESS;
    access.grfAccessMode = SET_ACCESS;
    access.grfInheritance = NO_INHERITANCE;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    access.Trustee.ptstrName = static_cast<LPSTR>(everyone);
    PACL acl = nullptr;
    bool done = SetEntriesInAclA(1, &access, nullptr, &acl) == ERROR_SUCCESS &&
                SetSecurityInfo(key, SE_REGISTRY_KEY,
                                DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                nullptr, nullptr, acl, nullptr) == ERROR_SUCCESS;
    if (acl)
        LocalFree(acl);
    FreeSid(everyone);
    RegCloseKey(key);
    return done;
}

class RegKeyTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        MakeReadOnly(HKEY_CURRENT_USER, ScratchKey("ReadOnly"), false);
        RegDeleteTreeA(HKEY_CURRENT_USER, ScratchKey().c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, ScratchKey().c_str());
        RegDeleteTreeA(HKEY_CLASSES_ROOT, ClassesKey().c_str());
        RegDeleteKeyA(HKEY_CLASSES_ROOT, ClassesKey().c_str());
    }
};

TEST_F(RegKeyTest, StringsRoundTripAndCreateMissingKeys)
{
    ASSERT_TRUE(QDRegKey::SetString(HKEY_CURRENT_USER, ScratchKey("a\\b").c_str(), "name", "value text"));
    const RawValue raw = ReadValue(HKEY_CURRENT_USER, ScratchKey("a\\b"), "name");
    ASSERT_TRUE(raw.exists);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), raw.type);
    EXPECT_EQ(std::string("value text", 11), std::string(raw.data.begin(), raw.data.end()));

    char buffer[64];
    std::memset(buffer, 'x', sizeof buffer);
    ASSERT_TRUE(QDRegKey::GetString(HKEY_CURRENT_USER, ScratchKey("a\\b").c_str(), "name", buffer,
                                    sizeof buffer));
    EXPECT_STREQ("value text", buffer);
    // The rest of the buffer was zero-filled first.
    EXPECT_TRUE(std::all_of(buffer + 11, buffer + sizeof buffer, [](char c) { return c == 0; }));

    // The default value through a null or empty name.
    ASSERT_TRUE(QDRegKey::SetString(HKEY_CURRENT_USER, ScratchKey().c_str(), nullptr, "default"));
    ASSERT_TRUE(QDRegKey::GetString(HKEY_CURRENT_USER, ScratchKey().c_str(), "", buffer, sizeof buffer));
    EXPECT_STREQ("default", buffer);
}

TEST_F(RegKeyTest, GetStringAcceptsOnlyTerminatedStringsThatFit)
{
    const DWORD number = 0x41424344;
    PutValue(HKEY_CURRENT_USER, ScratchKey(), "dword", REG_DWORD, &number, sizeof number);
    PutValue(HKEY_CURRENT_USER, ScratchKey(), "expand", REG_EXPAND_SZ, "%TEMP%\\x", 9);
    PutText(HKEY_CURRENT_USER, ScratchKey(), "twelve", "twelve chars");

    char buffer[32];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_FALSE(QDRegKey::GetString(HKEY_CURRENT_USER, ScratchKey().c_str(), "dword", buffer,
                                     sizeof buffer));
    EXPECT_TRUE(std::all_of(buffer, buffer + sizeof buffer, [](char c) { return c == 0; }));

    ASSERT_TRUE(QDRegKey::GetString(HKEY_CURRENT_USER, ScratchKey().c_str(), "expand", buffer,
                                    sizeof buffer));
    EXPECT_STREQ("%TEMP%\\x", buffer);

    // Exactly the text and its terminator fit; one byte less does not.
    char exact[13];
    ASSERT_TRUE(QDRegKey::GetString(HKEY_CURRENT_USER, ScratchKey().c_str(), "twelve", exact,
                                    sizeof exact));
    EXPECT_STREQ("twelve chars", exact);
    char shortBuffer[12];
    std::memset(shortBuffer, 'x', sizeof shortBuffer);
    EXPECT_FALSE(QDRegKey::GetString(HKEY_CURRENT_USER, ScratchKey().c_str(), "twelve", shortBuffer,
                                     sizeof shortBuffer));
    EXPECT_TRUE(std::all_of(shortBuffer, shortBuffer + sizeof shortBuffer,
                            [](char c) { return c == 0; }));

    EXPECT_FALSE(QDRegKey::GetString(HKEY_CURRENT_USER, ScratchKey().c_str(), "missing", buffer,
                                     sizeof buffer));
    EXPECT_FALSE(QDRegKey::GetString(HKEY_CURRENT_USER, ScratchKey("nokey").c_str(), "x", buffer,
                                     sizeof buffer));
    EXPECT_FALSE(QDRegKey::GetString(HKEY_CURRENT_USER, nullptr, "x", buffer, sizeof buffer));
    EXPECT_FALSE(QDRegKey::GetString(HKEY_CURRENT_USER, ScratchKey().c_str(), "x", nullptr, 5));
}

TEST_F(RegKeyTest, UnterminatedStringDataNeverLeavesAnUnterminatedBuffer)
{
    // Written through the wide interface without a terminator.
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, ScratchKey().c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, L"raw", 0, REG_SZ,
                                            reinterpret_cast<const BYTE*>(L"abcd"), 8));
    RegCloseKey(key);
    char buffer[4];
    const bool ok =
        QDRegKey::GetString(HKEY_CURRENT_USER, ScratchKey().c_str(), "raw", buffer, sizeof buffer);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(std::all_of(buffer, buffer + sizeof buffer, [](char c) { return c == 0; }));
}

TEST_F(RegKeyTest, ValueExistsNeedsAKeyThatMayBeWritten)
{
    PutText(HKEY_CURRENT_USER, ScratchKey(), "here", "x");
    EXPECT_TRUE(QDRegKey::ValueExists(HKEY_CURRENT_USER, ScratchKey().c_str(), "here"));
    EXPECT_FALSE(QDRegKey::ValueExists(HKEY_CURRENT_USER, ScratchKey().c_str(), "absent"));
    EXPECT_FALSE(QDRegKey::ValueExists(HKEY_CURRENT_USER, ScratchKey("nokey").c_str(), "here"));
    EXPECT_FALSE(QDRegKey::ValueExists(HKEY_CURRENT_USER, nullptr, "here"));
    EXPECT_FALSE(QDRegKey::ValueExists(HKEY_CURRENT_USER, ScratchKey().c_str(), nullptr));

    PutText(HKEY_CURRENT_USER, ScratchKey("ReadOnly"), "here", "x");
    ASSERT_TRUE(MakeReadOnly(HKEY_CURRENT_USER, ScratchKey("ReadOnly"), true));
    // The key really is readable and not writable for this user.
    char buffer[8];
    EXPECT_TRUE(QDRegKey::GetString(HKEY_CURRENT_USER, ScratchKey("ReadOnly").c_str(), "here",
                                    buffer, sizeof buffer));
    EXPECT_FALSE(QDRegKey::SetString(HKEY_CURRENT_USER, ScratchKey("ReadOnly").c_str(), "new", "y"));
    EXPECT_FALSE(QDRegKey::ValueExists(HKEY_CURRENT_USER, ScratchKey("ReadOnly").c_str(), "here"));
}

TEST_F(RegKeyTest, RenameKeepsTypeAndBytes)
{
    const BYTE binary[] = {0, 1, 0, 0xFF, 0};
    const DWORD number = 7;
    PutValue(HKEY_CURRENT_USER, ScratchKey(), "bin", REG_BINARY, binary, sizeof binary);
    PutValue(HKEY_CURRENT_USER, ScratchKey(), "num", REG_DWORD, &number, sizeof number);
    PutValue(HKEY_CURRENT_USER, ScratchKey(), "empty", REG_BINARY, nullptr, 0);

    ASSERT_TRUE(QDRegKey::RenameValue(HKEY_CURRENT_USER, ScratchKey().c_str(), "bin", "bin2"));
    ASSERT_TRUE(QDRegKey::RenameValue(HKEY_CURRENT_USER, ScratchKey().c_str(), "num", "num2"));
    ASSERT_TRUE(QDRegKey::RenameValue(HKEY_CURRENT_USER, ScratchKey().c_str(), "empty", "empty2"));
    EXPECT_FALSE(ReadValue(HKEY_CURRENT_USER, ScratchKey(), "bin").exists);
    EXPECT_FALSE(ReadValue(HKEY_CURRENT_USER, ScratchKey(), "num").exists);
    EXPECT_FALSE(ReadValue(HKEY_CURRENT_USER, ScratchKey(), "empty").exists);

    RawValue raw = ReadValue(HKEY_CURRENT_USER, ScratchKey(), "bin2");
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), raw.type);
    EXPECT_EQ(std::vector<BYTE>(binary, binary + sizeof binary), raw.data);
    raw = ReadValue(HKEY_CURRENT_USER, ScratchKey(), "num2");
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), raw.type);
    ASSERT_EQ(4u, raw.data.size());
    EXPECT_EQ(7, raw.data[0]);
    raw = ReadValue(HKEY_CURRENT_USER, ScratchKey(), "empty2");
    EXPECT_TRUE(raw.exists);
    EXPECT_TRUE(raw.data.empty());

    // A missing value creates nothing.
    EXPECT_FALSE(QDRegKey::RenameValue(HKEY_CURRENT_USER, ScratchKey().c_str(), "gone", "gone2"));
    EXPECT_FALSE(ReadValue(HKEY_CURRENT_USER, ScratchKey(), "gone2").exists);
    EXPECT_FALSE(QDRegKey::RenameValue(HKEY_CURRENT_USER, ScratchKey("nokey").c_str(), "a", "b"));
    EXPECT_FALSE(QDRegKey::RenameValue(HKEY_CURRENT_USER, nullptr, "a", "b"));
    EXPECT_FALSE(QDRegKey::RenameValue(HKEY_CURRENT_USER, ScratchKey().c_str(), nullptr, "b"));
    EXPECT_FALSE(QDRegKey::RenameValue(HKEY_CURRENT_USER, ScratchKey().c_str(), "a", nullptr));
}

TEST_F(RegKeyTest, BackupOfTheDefaultValueMovesItOnce)
{
    const std::string key = ClassesKey();
    PutText(HKEY_CLASSES_ROOT, key, nullptr, "URL:Feed Protocol");
    PutText(HKEY_CLASSES_ROOT, key, "URL Protocol", "");

    ASSERT_TRUE(QDRegKey::BackupValue(HKEY_CLASSES_ROOT, key.c_str(), ""));
    EXPECT_FALSE(ReadValue(HKEY_CLASSES_ROOT, key, "").exists);
    RawValue backup = ReadValue(HKEY_CLASSES_ROOT, key, "_QDBackup");
    ASSERT_TRUE(backup.exists);
    EXPECT_EQ(std::string("URL:Feed Protocol", 18), std::string(backup.data.begin(), backup.data.end()));
    EXPECT_TRUE(QDRegKey::IsValueBackedUp(HKEY_CLASSES_ROOT, key.c_str(), ""));

    // A second backup changes nothing, even after the caller wrote its own value.
    ASSERT_TRUE(QDRegKey::BackupValue(HKEY_CLASSES_ROOT, key.c_str(), ""));
    PutText(HKEY_CLASSES_ROOT, key, nullptr, "ours");
    ASSERT_TRUE(QDRegKey::BackupValue(HKEY_CLASSES_ROOT, key.c_str(), ""));
    backup = ReadValue(HKEY_CLASSES_ROOT, key, "_QDBackup");
    EXPECT_EQ(std::string("URL:Feed Protocol", 18), std::string(backup.data.begin(), backup.data.end()));
    EXPECT_TRUE(ReadValue(HKEY_CLASSES_ROOT, key, "").exists);

    // A named value gets the suffix after its name.
    ASSERT_TRUE(QDRegKey::BackupValue(HKEY_CLASSES_ROOT, key.c_str(), "URL Protocol"));
    EXPECT_TRUE(ReadValue(HKEY_CLASSES_ROOT, key, "URL Protocol_QDBackup").exists);
    EXPECT_FALSE(ReadValue(HKEY_CLASSES_ROOT, key, "URL Protocol").exists);
}

TEST_F(RegKeyTest, BackupOfAMissingValueCreatesNothing)
{
    const std::string key = ClassesKey();
    PutText(HKEY_CLASSES_ROOT, key, "other", "x");
    EXPECT_TRUE(QDRegKey::BackupValue(HKEY_CLASSES_ROOT, key.c_str(), "absent"));
    EXPECT_EQ(1, ValueCount(HKEY_CLASSES_ROOT, key));
    EXPECT_FALSE(QDRegKey::IsValueBackedUp(HKEY_CLASSES_ROOT, key.c_str(), "absent"));
    EXPECT_FALSE(QDRegKey::BackupValue(HKEY_CLASSES_ROOT, nullptr, ""));
    EXPECT_FALSE(QDRegKey::BackupValue(HKEY_CLASSES_ROOT, key.c_str(), nullptr));
    EXPECT_FALSE(QDRegKey::IsValueBackedUp(HKEY_CLASSES_ROOT, nullptr, ""));
}

TEST_F(RegKeyTest, BackupWorksUnderTheRootItWasGiven)
{
    PutText(HKEY_CURRENT_USER, ScratchKey(), "v", "mine");
    ASSERT_TRUE(QDRegKey::BackupValue(HKEY_CURRENT_USER, ScratchKey().c_str(), "v"));
    EXPECT_FALSE(ReadValue(HKEY_CURRENT_USER, ScratchKey(), "v").exists);
    EXPECT_TRUE(ReadValue(HKEY_CURRENT_USER, ScratchKey(), "v_QDBackup").exists);
}

TEST_F(RegKeyTest, ClassIdentifiersRoundTripInRegistryForm)
{
    // {51FD1C75-2005-4EBA-8E41-45416E366143}
    const GUID id = {0x51FD1C75, 0x2005, 0x4EBA, {0x8E, 0x41, 0x45, 0x41, 0x6E, 0x36, 0x61, 0x43}};
    ASSERT_TRUE(QDRegKey::SetCLSID(HKEY_CURRENT_USER, ScratchKey("clsid").c_str(), "id", id));
    const RawValue raw = ReadValue(HKEY_CURRENT_USER, ScratchKey("clsid"), "id");
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), raw.type);
    EXPECT_EQ(std::string("{51FD1C75-2005-4EBA-8E41-45416E366143}", 39),
              std::string(raw.data.begin(), raw.data.end()));

    GUID back = {};
    ASSERT_TRUE(QDRegKey::GetCLSID(HKEY_CURRENT_USER, ScratchKey("clsid").c_str(), "id", &back));
    EXPECT_TRUE(IsEqualGUID(id, back));

    // Lower case is read too; text without the brace or malformed text is refused.
    PutText(HKEY_CURRENT_USER, ScratchKey("clsid"), "lower", "{51fd1c75-2005-4eba-8e41-45416e366143}");
    PutText(HKEY_CURRENT_USER, ScratchKey("clsid"), "nobrace", "51FD1C75-2005-4EBA-8E41-45416E366143");
    PutText(HKEY_CURRENT_USER, ScratchKey("clsid"), "broken", "{51FD1C75-2005-4EBA}");
    back = {};
    EXPECT_TRUE(QDRegKey::GetCLSID(HKEY_CURRENT_USER, ScratchKey("clsid").c_str(), "lower", &back));
    EXPECT_TRUE(IsEqualGUID(id, back));
    GUID untouched = {1, 2, 3, {4}};
    EXPECT_FALSE(QDRegKey::GetCLSID(HKEY_CURRENT_USER, ScratchKey("clsid").c_str(), "nobrace", &untouched));
    EXPECT_FALSE(QDRegKey::GetCLSID(HKEY_CURRENT_USER, ScratchKey("clsid").c_str(), "broken", &untouched));
    EXPECT_EQ(1u, untouched.Data1);
    EXPECT_FALSE(QDRegKey::GetCLSID(HKEY_CURRENT_USER, ScratchKey("clsid").c_str(), "missing", &back));
    EXPECT_FALSE(QDRegKey::GetCLSID(HKEY_CURRENT_USER, ScratchKey("clsid").c_str(), "id", nullptr));
    EXPECT_FALSE(QDRegKey::GetCLSID(HKEY_CURRENT_USER, nullptr, "id", &back));
    EXPECT_FALSE(QDRegKey::SetCLSID(HKEY_CURRENT_USER, nullptr, "id", id));
}

// --- failure traces, seen from a child under a debugger ---------------------------------

int RunChild()
{
    char buffer[12];
    const std::string key = ScratchKey();
    QDRegKey::GetString(HKEY_CURRENT_USER, key.c_str(), "dword", buffer, sizeof buffer);
    QDRegKey::GetString(HKEY_CURRENT_USER, key.c_str(), "twelve", buffer, sizeof buffer);
    QDRegKey::GetString(HKEY_CURRENT_USER, (key + "\\nokey").c_str(), "x", buffer, sizeof buffer);
    QDRegKey::GetString(HKEY_CURRENT_USER, nullptr, "x", buffer, sizeof buffer);
    QDRegKey::GetString(HKEY_CURRENT_USER, key.c_str(), "x", nullptr, 1);
    QDRegKey::RenameValue(HKEY_CURRENT_USER, key.c_str(), "gone", "new");
    QDRegKey::RenameValue(HKEY_CURRENT_USER, (key + "\\nokey").c_str(), "a", "b");
    QDRegKey::BackupValue(HKEY_CURRENT_USER, nullptr, "");
    QDRegKey::IsValueBackedUp(HKEY_CURRENT_USER, nullptr, "");
    GUID id = {};
    QDRegKey::GetCLSID(HKEY_CURRENT_USER, key.c_str(), "twelve", &id);
    QDRegKey::SetString(HKEY_CURRENT_USER, key.c_str(), "x", nullptr);
    return 0;
}

TEST_F(RegKeyTest, FailuresAreTracedWithTheSystemError)
{
    const DWORD number = 1;
    PutValue(HKEY_CURRENT_USER, ScratchKey(), "dword", REG_DWORD, &number, sizeof number);
    PutText(HKEY_CURRENT_USER, ScratchKey(), "twelve", "twelve chars");
    testing_support::TraceSwitch trace(1);
    // The child works on this process's keys.
    const DebuggedRun run = RunUnderDebugger(
        "\"" + SelfPath() + "\" --registry-child=" + std::to_string(GetCurrentProcessId()), 30000);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);
    const std::string key = ScratchKey();
    const std::vector<std::string> expected = {
        "QDRegKey::GetString - failed getting key value 'dword'. Error 13\n",
        "QDRegKey::GetString - failed getting key value 'twelve'. Error 234\n",
        "QDRegKey::GetString - failed opening reg key '" + key + "\\nokey'. Error 2\n",
        "QDRegKey::GetString - strKey is NULL.\n",
        "QDRegKey::GetString - strVal is NULL.\n",
        "QDRegKey::RenameValue - QueryValue 'gone' failed. Error 0x2\n",
        "QDRegKey::RenameValue - failed opening '" + key + "\\nokey', Error 0x2\n",
        "QDRegKey::BackupValue - strSubKey is NULL.\n",
        "RSSRegistrarIE::IsValueBackedUp - strSubKey is NULL.\n",
        "QDRegKey::GetCLSID - failed getting key value 'twelve'. Error 13\n",
        "QDRegKey::SetString - strVal is NULL.\n",
    };
    for (const std::string& line : expected)
        EXPECT_NE(run.output.end(), std::find(run.output.begin(), run.output.end(), line)) << line;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string parent = testing_support::SwitchValue(argc, argv, "registry-child");
    if (!parent.empty()) {
        g_keyOwner = std::stoul(parent);
        return RunChild();
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
