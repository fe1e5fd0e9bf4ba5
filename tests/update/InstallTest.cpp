// Checking and starting the downloaded installer for real: installers signed at test time
// (bin/fixtures/signing, made by make-signed-installers) under a root this suite places in the
// prefix's trusted root store, the platform's WinVerifyTrust, the shell and the management
// service starting the stand-in installer, the question dialog from the test host's templates
// and the test host's window catching RM_EXIT.
#include <windows.h>
#include <shlobj.h>
#include <wincrypt.h>
#include <softpub.h>
#include <wintrust.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "common/HostMessages.h"
#include "common/PersistentSettings.h"
#include "common/QDUtilities.h"
#include "common/SettingsIds.h"
#include "common/com/Handle.h"
#include "common/com/Strings.h"
#include "tests/support/BrowserWindows.h"
#include "tests/support/ImportHook.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/ScratchState.h"
#include "tests/support/TraceCapture.h"
#include "tests/support/TrustedRoot.h"
#include "tests/support/WispLibrary.h"
#include "tests/support/host/HostApplication.h"
#include "tests/update/UpdateTestSupport.h"
#include "Wisp/update/CodeSignature.h"
#include "Wisp/update/Installer.h"
#include "Wisp/update/ManifestFiles.h"
#include "Wisp/update/UpdateClient.h"

using testing_support::DriveModal;
using testing_support::FileExists;
using testing_support::TraceCapture;

namespace {

const char kQuestionCaption[] = "Tidewire Desktop";   // the Yes/No template's caption
const char kResources[] =
    "<resources>\r\n"
    "  <DownloadMsg value='This update is not signed. Fetch it from our site instead?'/>\r\n"
    "  <DownloadYesButtonText value='Go to the site'/>\r\n"
    "  <DownloadNoButtonText value='Skip it'/>\r\n"
    "  <UpdateMsgOk value='An update is ready.'/>\r\n"
    "  <UpdateCaptionOk value='Tidewire update'/>\r\n"
    "</resources>\r\n";

std::string ThisFolder()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string full = path;
    return full.substr(0, full.find_last_of('\\'));
}

std::string Signing(const char* name)
{
    return ThisFolder() + "\\fixtures\\signing\\" + name;
}

std::string SettingsPath()
{
    std::string path;
    QDUtilities::GetSettingsFilePath(path);
    return path;
}

std::string Quoted(const std::string& path)
{
    return "\"" + path + "\"";
}

class Install : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_root = new testing_support::TrustedRoot(Signing("trusted-root.der")); }
    static void TearDownTestSuite()
    {
        delete s_root;
        s_root = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(s_root->Added()) << "the test root was not trusted; signing fixtures missing?";
        ASSERT_TRUE(GetUpdateFolder(m_updateFolder));
        testing_support::RemoveTree(m_updateFolder);
        ASSERT_EQ(0, SHCreateDirectoryExA(nullptr, m_updateFolder.c_str(), nullptr));
        QDUtilities::EnsureSaveFileDirectoryExists();
        ASSERT_TRUE(testing_support::WriteWholeFile(m_content.Path() + "\\resources.xml", kResources));
        PersistentSettings settings;
        ASSERT_TRUE(settings.SetProperty(SettingsId::content_directory, m_content.Path()));
        ASSERT_TRUE(settings.SetProperty(SettingsId::application_directory, ThisFolder()));
        m_mark = TraceCapture::Mark();
    }
    void TearDown() override { testing_support::RemoveTree(m_updateFolder); }

    std::string Traced() const { return TraceCapture::Since(m_mark); }
    bool Has(const std::string& text) const { return Traced().find(text) != std::string::npos; }
    // A fixture copied into the update folder under `name`; its full path.
    std::string Place(const char* fixture, const std::string& name)
    {
        const std::string target = m_updateFolder + "\\" + name;
        EXPECT_TRUE(CopyFileA(Signing(fixture).c_str(), target.c_str(), FALSE)) << fixture;
        return target;
    }
    // Whether the stand-in installer at `path` ran, waiting for it a while.
    static bool Ran(const std::string& path, DWORD timeoutMs = 10000)
    {
        return testing_support::PumpUntil([&] { return FileExists(path + ".ran"); }, timeoutMs);
    }

    static testing_support::TrustedRoot* s_root;
    testing_support::FileBackup m_settings{SettingsPath()};
    testing_support::ScratchFolder m_content{"wisp-install-content"};
    std::string m_updateFolder;
    std::size_t m_mark = 0;
};

testing_support::TrustedRoot* Install::s_root = nullptr;

TEST_F(Install, FindInstallerTakesTheGreatestTimestampOfTheTopFolder)
{
    std::string found = "stale";
    EXPECT_FALSE(FindInstaller(m_updateFolder.c_str(), &found));
    EXPECT_EQ("stale", found);

    for (const char* name : {"100_setup.msi", "200_setup.exe", "0_zero.exe", "900_notes.txt", "950_setup.exe.part",
                             "plain.exe"})
        ASSERT_TRUE(testing_support::WriteWholeFile(m_updateFolder + "\\" + name, "x"));
    ASSERT_TRUE(CreateDirectoryA((m_updateFolder + "\\sub").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((m_updateFolder + "\\990_folder.exe").c_str(), nullptr));
    ASSERT_TRUE(testing_support::WriteWholeFile(m_updateFolder + "\\sub\\999_deep.exe", "x"));
    ASSERT_TRUE(FindInstaller(m_updateFolder.c_str(), &found));
    EXPECT_EQ("\"" + m_updateFolder + "\\200_setup.exe\"", found);

    // Equal timestamps: the one the search meets later wins, whatever its extension's case.
    ASSERT_TRUE(testing_support::WriteWholeFile(m_updateFolder + "\\300_a.EXE", "x"));
    ASSERT_TRUE(testing_support::WriteWholeFile(m_updateFolder + "\\300_b.Msi", "x"));
    std::string later;
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA((m_updateFolder + "\\300_*").c_str(), &data);
    ASSERT_NE(INVALID_HANDLE_VALUE, search);
    do
        later = data.cFileName;
    while (FindNextFileA(search, &data));
    FindClose(search);
    ASSERT_TRUE(FindInstaller(m_updateFolder.c_str(), &found));
    EXPECT_EQ("\"" + m_updateFolder + "\\" + later + "\"", found);

    EXPECT_FALSE(FindInstaller(nullptr, &found));
    EXPECT_FALSE(FindInstaller(m_updateFolder.c_str(), nullptr));
}

TEST_F(Install, AnInstallerPackageIsKnownByItsExtension)
{
    EXPECT_TRUE(IsInstallerPackage("\"C:\\u\\100_setup.msi\""));
    EXPECT_TRUE(IsInstallerPackage("C:\\u\\100_SETUP.MSI"));
    EXPECT_FALSE(IsInstallerPackage("\"C:\\u.msi\\100_setup.exe\""));
    EXPECT_FALSE(IsInstallerPackage("C:\\u\\100_setup.msi.exe"));
    EXPECT_FALSE(IsInstallerPackage("C:\\u\\msi"));
    EXPECT_EQ("C:\\a b\\c.exe", UnquotedPath("\"C:\\a b\\c.exe\""));
}

TEST_F(Install, SignaturesAreCountedAndOnlyATrustedOneVerifies)
{
    EXPECT_TRUE(HasCertificates(Quoted(Signing("signed.exe")).c_str()));
    // The old automation object is missing here: the platform's signature query answers.
    EXPECT_TRUE(Has("Failed creating CAPICOM SignedCode object., hr=0x80040154\n")) << Traced();
    EXPECT_TRUE(Has("Num Certs = 2\n"));
    EXPECT_TRUE(HasCertificates(Signing("untrusted.exe").c_str()));
    EXPECT_TRUE(HasCertificates(Signing("signed.msi").c_str()));
    EXPECT_FALSE(HasCertificates(Signing("unsigned.exe").c_str()));
    EXPECT_TRUE(Has("Num Certs = 0\n"));
    EXPECT_FALSE(HasCertificates(Signing("no-such.exe").c_str()));
    EXPECT_FALSE(HasCertificates(nullptr));

    EXPECT_TRUE(VerifyTrust(Quoted(Signing("signed.exe")).c_str(), false)) << Traced();
    EXPECT_FALSE(VerifyTrust(Signing("unsigned.exe").c_str(), false));
    EXPECT_FALSE(VerifyTrust(Signing("tampered.exe").c_str(), false));
    // The platform's own answer passes a root nobody trusts; the signer's chain does not.
    EXPECT_FALSE(VerifyTrust(Signing("untrusted.exe").c_str(), false));
    EXPECT_TRUE(Has("VerifyTrust - signer chain not trusted")) << Traced();
    EXPECT_FALSE(VerifyTrust(Signing("no-such.exe").c_str(), false));
    EXPECT_FALSE(VerifyTrust(nullptr, false));
}

TEST_F(Install, OnlyTheSignerOfThisLibraryMayPublishAnInstaller)
{
    const std::string wisp = Quoted(Signing("Wisp.dll"));
    EXPECT_TRUE(SamePublisher(Quoted(Signing("signed.exe")).c_str(), wisp.c_str())) << Traced();
    // Another publisher under the same trusted root passes the trust check, not this one.
    ASSERT_TRUE(VerifyTrust(Signing("other-publisher.exe").c_str(), false)) << Traced();
    EXPECT_FALSE(SamePublisher(Signing("other-publisher.exe").c_str(), wisp.c_str()));
    EXPECT_TRUE(Has("SamePublisher - '" + Signing("other-publisher.exe") + "' is not signed by the publisher of '" +
                    Signing("Wisp.dll") + "'.\n"))
        << Traced();
    // The same name with another key is another publisher.
    EXPECT_FALSE(SamePublisher(Signing("server-usage.exe").c_str(), wisp.c_str()));

    // An unsigned build refuses everything.
    const std::string unsignedWisp = AnsiFromWide(testing_support::WispPath());
    for (const char* fixture : {"signed.exe", "other-publisher.exe"})
        EXPECT_FALSE(SamePublisher(Signing(fixture).c_str(), unsignedWisp.c_str())) << fixture;
    EXPECT_TRUE(Has("SamePublisher - '" + unsignedWisp + "' carries no signature: nothing is installed.\n"));
}

using LoadLibraryFn = HMODULE(WINAPI*)(LPCSTR);
LoadLibraryFn g_loadLibrary = nullptr;

HMODULE WINAPI LoadLibraryWithoutWintrust(LPCSTR name)
{
    if (name && lstrcmpiA(name, "wintrust.dll") == 0) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return g_loadLibrary(name);
}

TEST_F(Install, WithoutAVerifierNothingIsTrusted)
{
    testing_support::ImportHook hook(GetModuleHandleA(nullptr), "kernel32.dll", "LoadLibraryA",
                                     reinterpret_cast<void*>(&LoadLibraryWithoutWintrust));
    ASSERT_TRUE(hook.Installed());
    g_loadLibrary = reinterpret_cast<LoadLibraryFn>(hook.Original());
    EXPECT_FALSE(VerifyTrust(Signing("signed.exe").c_str(), false));
    EXPECT_TRUE(Has("VerifyTrust - no signature verifier, LastError = 126\n")) << Traced();
}

using ChainPolicyFn = BOOL(WINAPI*)(LPCSTR, PCCERT_CHAIN_CONTEXT, PCERT_CHAIN_POLICY_PARA, PCERT_CHAIN_POLICY_STATUS);
ChainPolicyFn g_chainPolicy = nullptr;

// The platform's Authenticode policy refusing a chain it trusts (as Windows does for a leaf
// without the code-signing usage; this platform's policy answers from the chain status alone).
BOOL WINAPI PolicyRefusingUsage(LPCSTR policy, PCCERT_CHAIN_CONTEXT chain, PCERT_CHAIN_POLICY_PARA para,
                                PCERT_CHAIN_POLICY_STATUS status)
{
    const BOOL answered = g_chainPolicy(policy, chain, para, status);
    status->dwError = static_cast<DWORD>(CERT_E_WRONG_USAGE);
    return answered;
}

TEST_F(Install, ATrustedChainTheAuthenticodePolicyRefusesIsNotTrusted)
{
    testing_support::ImportHook hook(GetModuleHandleA(nullptr), "crypt32.dll", "CertVerifyCertificateChainPolicy",
                                     reinterpret_cast<void*>(&PolicyRefusingUsage));
    ASSERT_TRUE(hook.Installed());
    g_chainPolicy = reinterpret_cast<ChainPolicyFn>(hook.Original());
    EXPECT_FALSE(VerifyTrust(Signing("server-usage.exe").c_str(), false));
    EXPECT_TRUE(Has("VerifyTrust - Authenticode policy refused the chain, error 0x800B0110\n")) << Traced();
}

using GetProcAddressFn = FARPROC(WINAPI*)(HMODULE, LPCSTR);
using WinVerifyTrustFn = LONG(WINAPI*)(HWND, GUID*, LPVOID);
GetProcAddressFn g_getProcAddress = nullptr;
WinVerifyTrustFn g_winVerifyTrust = nullptr;
DWORD g_uiChoice = 0;

LONG WINAPI RecordingWinVerifyTrust(HWND window, GUID* action, LPVOID data)
{
    auto* trust = static_cast<WINTRUST_DATA*>(data);
    if (trust->dwStateAction == WTD_STATEACTION_VERIFY)
        g_uiChoice = trust->dwUIChoice;
    return g_winVerifyTrust(window, action, data);
}

FARPROC WINAPI GetProcAddressRecordingTrust(HMODULE module, LPCSTR name)
{
    FARPROC found = g_getProcAddress(module, name);
    if (found && reinterpret_cast<ULONG_PTR>(name) > 0xFFFF && lstrcmpA(name, "WinVerifyTrust") == 0) {
        g_winVerifyTrust = reinterpret_cast<WinVerifyTrustFn>(reinterpret_cast<void (*)()>(found));
        return reinterpret_cast<FARPROC>(&RecordingWinVerifyTrust);
    }
    return found;
}

TEST_F(Install, TheVerifierShowsEveryResultOnlyWhenAskedAndOtherwiseOnlyBadOnes)
{
    testing_support::ImportHook hook(GetModuleHandleA(nullptr), "kernel32.dll", "GetProcAddress",
                                     reinterpret_cast<void*>(&GetProcAddressRecordingTrust));
    ASSERT_TRUE(hook.Installed());
    g_getProcAddress = reinterpret_cast<GetProcAddressFn>(hook.Original());
    EXPECT_TRUE(VerifyTrust(Signing("signed.exe").c_str(), false));
    EXPECT_EQ(static_cast<DWORD>(WTD_UI_NOGOOD), g_uiChoice);
    EXPECT_TRUE(VerifyTrust(Signing("signed.exe").c_str(), true));
    EXPECT_EQ(static_cast<DWORD>(WTD_UI_ALL), g_uiChoice);
}

TEST_F(Install, AVerifiedInstallerIsHeldAgainstChangeUntilLetGo)
{
    const std::string path = Place("signed.exe", "10_setup.exe");
    UniqueFile held;
    ASSERT_TRUE(VerifyTrust(path.c_str(), false, &held));
    ASSERT_TRUE(held);
    UniqueFile writer(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(writer);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
    EXPECT_FALSE(DeleteFileA(path.c_str()));
    EXPECT_FALSE(MoveFileA(path.c_str(), (path + ".moved").c_str()));
    // Reading (as starting it does) is fine.
    UniqueFile reader(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(reader);

    held.Reset();
    reader.Reset();
    EXPECT_TRUE(DeleteFileA(path.c_str()));
    // A refused file is not held.
    UniqueFile none;
    EXPECT_FALSE(VerifyTrust(Signing("untrusted.exe").c_str(), false, &none));
    EXPECT_FALSE(none);
}

TEST_F(Install, TheShellStartsTheInstallerAndTheHostIsToldToExit)
{
    host::HostApplication host;
    ASSERT_TRUE(host.Create());
    const std::string path = Place("unsigned.exe", "20_setup.exe");
    ASSERT_TRUE(RunInstaller(Quoted(path).c_str())) << Traced();
    EXPECT_TRUE(Ran(path));
    ASSERT_TRUE(host.WaitForMessage(RM_EXIT, 5000));
    EXPECT_EQ(1026u, static_cast<unsigned>(RM_EXIT));

    // Nothing started: no exit for the host, false.
    host.ClearMessages();
    EXPECT_FALSE(RunInstaller(Quoted(m_updateFolder + "\\30_missing.exe").c_str()));
    EXPECT_TRUE(Has("RunInstaller - ShellExecute failed for '" + m_updateFolder + "\\30_missing.exe', error "));
    testing_support::PumpMessages(200);
    EXPECT_EQ(0, host.CountMessages(RM_EXIT));
    EXPECT_FALSE(RunInstaller(nullptr));
}

TEST_F(Install, WhileAScreenSaverRunsTheManagementServiceStartsIt)
{
    host::HostApplication host;
    ASSERT_TRUE(host.Create());
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = SCREENSAVER_WINDOW_CLASS;
    RegisterClassA(&wc);
    HWND saver = CreateWindowA("WindowsScreenSaverClass", "MarigoldScreenSaverWindow", WS_POPUP, 0, 0, 10, 10,
                               nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_TRUE(saver);
    ASSERT_TRUE(QDUtilities::SSIsRunning());
    const std::string path = Place("unsigned.exe", "40_setup.exe");
    ASSERT_TRUE(RunInstaller(Quoted(path).c_str())) << Traced();
    EXPECT_TRUE(Ran(path));
    EXPECT_FALSE(Has("RunInstaller - the management service did not start"));
    EXPECT_TRUE(host.WaitForMessage(RM_EXIT, 5000));
    DestroyWindow(saver);
}

TEST_F(Install, WhileAScreenSaverRunsAnInstallerPackageGoesThroughMsiexec)
{
    host::HostApplication host;
    ASSERT_TRUE(host.Create());
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = SCREENSAVER_WINDOW_CLASS;
    RegisterClassA(&wc);
    HWND saver = CreateWindowA(SCREENSAVER_WINDOW_CLASS, SCREENSAVER_WINDOW_TITLE, WS_POPUP, 0, 0, 10, 10, nullptr,
                               nullptr, wc.hInstance, nullptr);
    ASSERT_TRUE(saver);
    // The package is a 32-bit one (ProgramFilesFolder): a 64-bit Windows puts it into the x86
    // folder, which a 64-bit test program reads as CSIDL_PROGRAM_FILESX86, not CSIDL_PROGRAM_FILES.
    std::string programs;
    if (QDUtilities::GetSpecialFolder(nullptr, CSIDL_PROGRAM_FILESX86, nullptr, 0, programs) != 0)
        ASSERT_EQ(0, QDUtilities::GetSpecialFolder(nullptr, CSIDL_PROGRAM_FILES, nullptr, 0, programs));
    const std::string installed = programs + "\\WispUpdateTest\\installed.txt";
    const std::string package = Place("signed.msi", "45_package.msi");
    // The platform's verifier takes the signed package.
    EXPECT_TRUE(VerifyTrust(package.c_str(), false)) << Traced();
    ASSERT_TRUE(RunInstaller(Quoted(package).c_str())) << Traced();
    EXPECT_TRUE(testing_support::PumpUntil([&] { return FileExists(installed); }, 30000));
    EXPECT_TRUE(host.WaitForMessage(RM_EXIT, 5000));
    DestroyWindow(saver);

    // Taken out again.
    std::string command = "msiexec /x " + Quoted(package) + " /qn";
    STARTUPINFOA startup = {sizeof startup};
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.hProcess, 30000));
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    EXPECT_EQ(0u, exitCode) << command;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_FALSE(FileExists(installed));
}

// --- the steps of UpdateClient ---------------------------------------------------------------

TEST_F(Install, WithoutAnInstallerNothingIsShownAndNothingExits)
{
    host::HostApplication host;
    ASSERT_TRUE(host.Create());
    EXPECT_FALSE(UpdateClient());
    testing_support::PumpMessages(200);
    EXPECT_EQ(nullptr, FindWindowA("#32770", nullptr));
    EXPECT_EQ(0, host.CountMessages(RM_EXIT));
}

TEST_F(Install, UpdateClientWaitsForADownloadPassAndTakesWhatItLeft)
{
    host::HostApplication host;
    ASSERT_TRUE(host.Create());
    const std::string chosen = Place("signed.exe", "70_setup.exe");
    // A pass (here: the test) holds the update folder.
    UniqueHandle pass(CreateMutexA(nullptr, TRUE, "{7A5E2C19-4B8D-4F63-A0E1-5C9B3D2F8E47}"));
    ASSERT_TRUE(pass);
    std::atomic<int> answered{-1};
    std::thread client([&] { answered = UpdateClient() ? 1 : 0; });
    testing_support::PumpMessages(800);
    EXPECT_EQ(-1, answered.load());
    EXPECT_EQ(0, host.CountMessages(RM_EXIT));
    // Nothing holds the installer it would have chosen: the pass may replace it.
    EXPECT_TRUE(DeleteFileA(chosen.c_str()));
    const std::string fresh = Place("signed.exe", "80_setup.exe");
    ReleaseMutex(pass.Get());
    client.join();
    // This program is the running build here, and nobody signed it: even a trusted installer
    // is refused, and the host still told to exit.
    EXPECT_EQ(0, answered.load());
    EXPECT_TRUE(Has("' carries no signature: nothing is installed.\n")) << Traced();
    EXPECT_TRUE(Has("UpdateClient - installer \"" + fresh + "\" is not trusted.\n")) << Traced();
    EXPECT_TRUE(host.WaitForMessage(RM_EXIT, 5000));
    EXPECT_FALSE(Ran(fresh, 500));
}

TEST_F(Install, AnUntrustedInstallerIsNotStartedButTheHostStillExits)
{
    for (const char* fixture : {"untrusted.exe", "tampered.exe"}) {
        host::HostApplication host;
        ASSERT_TRUE(host.Create());
        testing_support::RemoveTree(m_updateFolder);
        ASSERT_EQ(0, SHCreateDirectoryExA(nullptr, m_updateFolder.c_str(), nullptr));
        const std::string path = Place(fixture, "70_setup.exe");
        EXPECT_FALSE(UpdateClient()) << fixture;
        EXPECT_TRUE(host.WaitForMessage(RM_EXIT, 5000)) << fixture;
        EXPECT_FALSE(Ran(path, 500)) << fixture;
    }
}

class UnsignedInstaller : public Install {
protected:
    // UpdateClient while `answer` works the question dialog; what the dialog said.
    bool Ask(int button, std::string& message, std::string& yes, std::string& no)
    {
        return DriveModal([&] {
            HWND d = testing_support::WaitForDialog(kQuestionCaption);
            if (!d) {
                ADD_FAILURE() << "no question dialog";
                testing_support::CancelAnyDialog();
                return;
            }
            message = testing_support::ItemText(d, 1009);
            yes = testing_support::ItemText(d, IDYES);
            no = testing_support::ItemText(d, IDNO);
            testing_support::PressButton(d, button);
        }, [&] { return UpdateClient(); });
    }
};

TEST_F(UnsignedInstaller, YesOpensTheMakersSiteInTheDefaultBrowserAndStopsThere)
{
    // The test browser, copied where its log is its own, as the default browser.
    testing_support::ScratchFolder scratch("update browser");
    const std::string browser = scratch.Path() + "\\test_browser.exe";
    ASSERT_TRUE(CopyFileA((ThisFolder() + "\\test_browser.exe").c_str(), browser.c_str(), FALSE));
    testing_support::DefaultBrowserRegistration http;
    http.Set(Quoted(browser) + " -url \"%1\"", "Firefox");
    host::HostApplication host;
    ASSERT_TRUE(host.Create());
    const std::string path = Place("unsigned.exe", "80_setup.exe");
    std::string message, yes, no;
    EXPECT_FALSE(Ask(IDYES, message, yes, no));
    testing_support::CloseTestBrowsers();
    EXPECT_EQ("This update is not signed. Fetch it from our site instead?", message);
    EXPECT_EQ("Go to the site", yes);
    EXPECT_EQ("Skip it", no);
    std::string logged;
    EXPECT_TRUE(testing_support::ReadWholeFile(browser + ".log", logged));
    EXPECT_EQ(Quoted(browser) + " \"http://www.tidewire.com/\"\n", logged);
    EXPECT_FALSE(Has("UpdateClient - failed opening"));
    EXPECT_EQ(0, host.CountMessages(WM_COPYDATA));   // not through the host
    EXPECT_EQ(0, host.CountMessages(RM_EXIT));
    EXPECT_TRUE(FileExists(path));
    EXPECT_FALSE(Ran(path, 300));

    // Without a default browser the page cannot open: traced, and still nothing else happens.
    http.Clear();
    EXPECT_FALSE(Ask(IDYES, message, yes, no));
    EXPECT_TRUE(Has("UpdateClient - failed opening 'http://www.tidewire.com/' in the default browser.\n"));
    EXPECT_EQ(0, host.CountMessages(RM_EXIT));
    EXPECT_TRUE(FileExists(path));
}

TEST_F(UnsignedInstaller, NoTakesTheManifestAsInstalledAndRemovesTheDownloads)
{
    host::HostApplication host;
    ASSERT_TRUE(host.Create());
    const std::string manifest = update_testing::ManifestText(33, "");
    ASSERT_TRUE(testing_support::WriteWholeFile(m_updateFolder + "\\manifest.xml", manifest));
    const std::string path = Place("unsigned.exe", "90_setup.exe");
    std::string message, yes, no;
    EXPECT_FALSE(Ask(IDNO, message, yes, no));
    std::string installed;
    ASSERT_TRUE(testing_support::ReadWholeFile(m_content.Path() + "\\manifest.xml", installed));
    EXPECT_EQ(manifest, installed);
    EXPECT_FALSE(FileExists(m_updateFolder));
    // The installer went with the folder: it is refused and the host told to exit.
    EXPECT_TRUE(host.WaitForMessage(RM_EXIT, 5000));
    EXPECT_EQ(0, host.CountMessages(WM_COPYDATA));
}

TEST_F(Install, TheUpdateNowBoxHasNoCloseButtonAndAnswersOk)
{
    LONG_PTR style = WS_SYSMENU;
    std::string text;
    const int answer = DriveModal([&] {
        HWND box = testing_support::WaitForDialog("Tidewire update");
        if (!box) {
            ADD_FAILURE() << "no update box";
            testing_support::CancelAnyDialog();
            return;
        }
        style = GetWindowLongPtrA(box, GWL_STYLE);
        text = testing_support::ItemText(box, 65535);
        testing_support::PressButton(box, IDOK);
    }, [] { return ShowUpdateNowDialog(); });
    EXPECT_EQ(IDOK, answer);
    EXPECT_EQ("An update is ready.", text);
    EXPECT_EQ(0, style & WS_SYSMENU);

    // The hook went with the box: the next window keeps its system menu.
    HWND plain = CreateWindowA("STATIC", "plain", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                               nullptr, nullptr);
    ASSERT_TRUE(plain);
    SetActiveWindow(plain);
    EXPECT_NE(0, GetWindowLongPtrA(plain, GWL_STYLE) & WS_SYSMENU);
    DestroyWindow(plain);

    // Without its texts nothing is shown.
    ASSERT_TRUE(testing_support::WriteWholeFile(m_content.Path() + "\\resources.xml",
                                                "<resources><UpdateMsgOk value='x'/></resources>"));
    EXPECT_EQ(0, ShowUpdateNowDialog());
    EXPECT_EQ(nullptr, FindWindowA("#32770", "Tidewire update"));
}

}  // namespace

// --- the three page methods as page script calls them ----------------------------------------

class UpdatePage : public Install {
protected:
    static void SetUpTestSuite()
    {
        Install::SetUpTestSuite();
        s_proxy = new update_testing::ProxyToTestServer;
        ASSERT_EQ(S_OK, testing_support::RegisterWisp());
    }
    static void TearDownTestSuite()
    {
        delete s_proxy;
        s_proxy = nullptr;
        Install::TearDownTestSuite();
    }
    void SetUp() override
    {
        Install::SetUp();
        ASSERT_TRUE(m_host.OpenPage(L"fixtures\\windows\\menus.htm", 200, 120));
    }
    void TearDown() override
    {
        m_host.Destroy();
        Install::TearDown();
    }
    std::string App(const std::string& arguments)
    {
        return m_host.CallPageFunction(L"run", "app().CallApplicationMethod(" + arguments + ")");
    }

    static update_testing::ProxyToTestServer* s_proxy;
    host::HostApplication m_host;
};

update_testing::ProxyToTestServer* UpdatePage::s_proxy = nullptr;

TEST_F(UpdatePage, SetNewManifestDownloadsTheNewerInstallersInTheBackground)
{
    using update_testing::Binary;
    using update_testing::Plain;
    const std::string stamp = std::to_string(GetTickCount());
    ASSERT_TRUE(testing_support::WriteWholeFile(
        m_content.Path() + "\\manifest.xml",
        update_testing::ManifestText(1, Binary("http://dl.tidewire.com/respond/same.exe?body=same", 5) +
                                            Binary("http://dl.tidewire.com/respond/newer.exe?body=old", 5))));
    std::string cache;
    ASSERT_TRUE(QDUtilities::GetCacheDirectory(cache));
    ASSERT_TRUE(testing_support::WriteWholeFile(
        cache + "\\manifest.xml",
        update_testing::ManifestText(
            2, Binary("http://dl.tidewire.com/respond/same.exe?body=same", 5) +
                   Binary("http://dl.tidewire.com/respond/newer.exe?body=newer&u=" + stamp, 6) +
                   Binary("http://updates.quilldesktop.com/respond/fresh.msi?body=fresh&u=" + stamp, 1, "tools") +
                   Plain("http://dl.tidewire.com/respond/skin.css?body=css&u=" + stamp, 9))));
    EXPECT_EQ("boolean:true", App("'SetNewManifest'"));
    ASSERT_TRUE(m_host.WaitForMessage(RM_UPDATE_DOWNLOAD_COMPLETE, 15000)) << Traced();
    EXPECT_EQ(0u, m_host.Messages().back().wParam);
    std::string body;
    ASSERT_TRUE(testing_support::ReadWholeFile(m_updateFolder + "\\6_newer.exe", body));
    EXPECT_EQ("newer", body);
    ASSERT_TRUE(testing_support::ReadWholeFile(m_updateFolder + "\\tools\\1_fresh.msi", body));
    EXPECT_EQ("fresh", body);
    EXPECT_FALSE(FileExists(m_updateFolder + "\\5_same.exe"));
    EXPECT_FALSE(FileExists(m_updateFolder + "\\9_skin.css"));
    // The new manifest now stands in the update folder.
    std::string installed;
    ASSERT_TRUE(testing_support::ReadWholeFile(m_updateFolder + "\\manifest.xml", installed));
    EXPECT_NE(std::string::npos, installed.find("pubdate=\"2\""));

    // Without an installed manifest nothing can be compared.
    DeleteFileA((m_content.Path() + "\\manifest.xml").c_str());
    EXPECT_EQ("boolean:false", App("'SetNewManifest'"));
}

// The same page methods in a copy of Wisp.dll signed by the test leaf.
class SignedUpdatePage : public UpdatePage {
protected:
    static void SetUpTestSuite()
    {
        UpdatePage::SetUpTestSuite();
        ASSERT_EQ(S_OK, testing_support::RegisterWisp(true, WideFromAnsi(Signing("Wisp.dll"))));
    }
    static void TearDownTestSuite()
    {
        EXPECT_EQ(S_OK, testing_support::RegisterWisp());
        UpdatePage::TearDownTestSuite();
    }
};

TEST_F(SignedUpdatePage, UpdateClientStartsOnlyItsPublishersInstallerAndTheBoxAnswersOk)
{
    EXPECT_EQ("boolean:false", App("'UpdateClient'"));   // nothing downloaded
    const std::string other = Place("other-publisher.exe", "76_setup.exe");
    EXPECT_EQ("boolean:false", App("'UpdateClient'"));
    EXPECT_TRUE(m_host.WaitForMessage(RM_EXIT, 5000));
    EXPECT_FALSE(Ran(other, 500));
    m_host.ClearMessages();
    const std::string path = Place("signed.exe", "77_setup.exe");
    EXPECT_EQ("boolean:true", App("'UpdateClient'"));
    EXPECT_TRUE(Ran(path));
    EXPECT_TRUE(m_host.WaitForMessage(RM_EXIT, 5000));

    const std::string answer = DriveModal([&] {
        HWND box = testing_support::WaitForDialog("Tidewire update");
        if (!box) {
            ADD_FAILURE() << "no update box";
            testing_support::CancelAnyDialog();
            return;
        }
        testing_support::PressButton(box, IDOK);
    }, [&] { return App("'ShowUpdateNowDialog'"); });
    EXPECT_EQ("number:1", answer);
}
