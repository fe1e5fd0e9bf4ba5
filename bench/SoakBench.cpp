// Hours of use in a few minutes: N cycles, in the test host with the browser stand-in, of what a
// page does all day. Each cycle creates the control, Inits it with a page and waits for the load;
// from that page opens a sliding pop-up (its page closes it), shows a balloon until its lifetime
// ends, adds, shows, dismisses and deletes a menu, completes an HTTP request to the private
// server, sets and reads a preference; beside it creates and closes an offscreen browser; then
// UnInits and releases the control.
// After a warm-up of 20 cycles and at the end it reads the resident memory, the windows this
// thread owns (with their children), the process's handles and GDI/USER objects, and prints their
// growth per 1,000 cycles.
//   soak_bench <cycles> <http url>
// The resident memory is VmRSS of the Wine process (Z:\proc\<pid>\status); on Windows the
// private bytes.
#include "bench/BenchSupport.h"
#include "common/HostMessages.h"
#include "common/PersistentSettings.h"
#include "common/QDUtilities.h"
#include "common/com/Strings.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/TraceCapture.h"
#include "tests/support/WispLibrary.h"
#include "tests/support/host/HostApplication.h"
#include "Wisp/mail/WispOffscreenBrowser.h"

#include <psapi.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>

using testing_support::PumpMessages;
using testing_support::PumpUntil;

namespace {

const int kWarmUp = 20;
const DWORD kStepTimeoutMs = 15000;
const char kPopupClass[] = "WispPopupWindow";
const char kBalloonClass[] = "WispBalloonWindow";

std::string Fixture(const char* relative)
{
    return AnsiFromWide(host::PathBesideExecutable(L"fixtures\\")) + relative;
}

std::string FixtureUrl(const char* relative)
{
    return AnsiFromWide(host::FileUrl(WideFromAnsi(Fixture(relative))));
}

struct Reading {
    double residentKiB = 0;
    int windows = 0;
    DWORD handles = 0, gdi = 0, user = 0;
};

// The status file of the unix process this program runs in: under Wine Z:\proc\self is the
// process that opens the file (the wineserver), so it is the entry whose command line is this
// program's: the executable's name (its path as the loader was given it, a unix one perhaps),
// then the same arguments. Empty where there is none.
std::string UnixStatusPath(int argc, char** argv)
{
    char module[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, module, sizeof module);
    const char* base = std::strrchr(module, '\\');
    const std::string name = base ? base + 1 : module;
    std::string arguments;
    for (int i = 1; i < argc; ++i)
        arguments += std::string(1, '\0') + argv[i];
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("Z:\\proc\\*", &found);
    if (search == INVALID_HANDLE_VALUE)
        return {};
    std::string path;
    do {
        const std::string entry = found.cFileName;
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || entry.empty() ||
            entry.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream file("Z:\\proc\\" + entry + "\\cmdline", std::ios::binary);
        std::string line((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        while (!line.empty() && line.back() == '\0')
            line.pop_back();
        const std::size_t programEnd = line.find('\0') == std::string::npos ? line.size() : line.find('\0');
        const std::string program = line.substr(0, programEnd);
        const std::size_t slash = program.find_last_of("/\\");
        const std::string programName = slash == std::string::npos ? program : program.substr(slash + 1);
        if (lstrcmpiA(programName.c_str(), name.c_str()) == 0 && line.compare(programEnd, std::string::npos, arguments) == 0) {
            path = "Z:\\proc\\" + entry + "\\status";
            break;
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return path;
}

double StatusKiB(const std::string& path, const char* field)
{
    std::ifstream status(path);
    std::string line;
    const std::size_t length = std::strlen(field);
    while (std::getline(status, line)) {
        if (line.compare(0, length, field) == 0 && line.size() > length && line[length] == ':')
            return std::atof(line.c_str() + length + 1);
    }
    return -1;
}

// The windows this thread owns, with their children and its message-only windows, by class.
std::map<std::string, int> ThreadWindows()
{
    struct Count {
        static void Add(HWND window, LPARAM param)
        {
            char name[128] = "";
            GetClassNameA(window, name, sizeof name);
            ++(*reinterpret_cast<std::map<std::string, int>*>(param))[name];
        }
        static BOOL CALLBACK Child(HWND window, LPARAM param)
        {
            Add(window, param);
            return TRUE;
        }
        static BOOL CALLBACK Top(HWND window, LPARAM param)
        {
            Add(window, param);
            EnumChildWindows(window, Child, param);   // every descendant, not only the first level
            return TRUE;
        }
    };
    std::map<std::string, int> classes;
    const LPARAM param = reinterpret_cast<LPARAM>(&classes);
    EnumThreadWindows(GetCurrentThreadId(), Count::Top, param);
    // Message-only windows are no top-level windows: they are looked for apart.
    for (HWND window = FindWindowExA(HWND_MESSAGE, nullptr, nullptr, nullptr); window;
         window = FindWindowExA(HWND_MESSAGE, window, nullptr, nullptr)) {
        if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId())
            Count::Top(window, param);
    }
    return classes;
}

int CountWindows()
{
    int count = 0;
    for (const auto& entry : ThreadWindows())
        count += entry.second;
    return count;
}

std::string DescribeWindows()
{
    std::string text;
    for (const auto& entry : ThreadWindows())
        text += bench::Format(" %s x %d", entry.first.c_str(), entry.second);
    return text.empty() ? " none" : text;
}

Reading Read(const std::string& statusPath)
{
    Reading r;
    if (!statusPath.empty()) {
        r.residentKiB = StatusKiB(statusPath, "VmRSS");
    } else {
        PROCESS_MEMORY_COUNTERS_EX counters = {};
        counters.cb = sizeof counters;
        if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                 sizeof counters))
            r.residentKiB = static_cast<double>(counters.PrivateUsage) / 1024;
    }
    r.windows = CountWindows();
    GetProcessHandleCount(GetCurrentProcess(), &r.handles);
    r.gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    r.user = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    return r;
}

class Cycle {
public:
    Cycle(const std::string& httpUrl, int number) : m_httpUrl(httpUrl), m_number(number) {}

    // The cycle's steps; false, with the step named, when one does not complete.
    bool Run()
    {
        if (!m_app.OpenPage(L"fixtures\\bench\\soak.htm", 320, 200, true, kStepTimeoutMs))
            return Failed("the page did not load");
        POINT origin = {0, 0};
        ClientToScreen(m_app.ControlWindow(), &origin);
        // The pop-up, the balloon and the request run side by side; the rest happens meanwhile.
        if (App("'SlideHTMLRoundedPopup', " + host::JsString(FixtureUrl("windows\\popup.htm?close")) +
                ", 40, -120, 200, 120, 0, 40, 40, 200, 120, false, false, 8, 8, 8, 8, 0")
                .find("object:") != 0)
            return Failed("the pop-up did not open");
        if (App("'ShowBalloon', " + host::JsString(FixtureUrl("windows\\popup.htm")) + ", " +
                std::to_string(600 - origin.x) + ", " + std::to_string(400 - origin.y) + ", 200, 100, 1")
                .find("object:") != 0)
            return Failed("the balloon did not open");
        if (App("'HTTPURL', " + std::to_string(m_number) + ", 'GET', " + host::JsString(m_httpUrl) + ", '', '', 1") !=
            "boolean:true")
            return Failed("the request did not start");
        if (!Preference())
            return Failed("the preference did not read back");
        if (!OffscreenBrowser())
            return Failed("the offscreen browser did not load");
        if (!Menu())
            return Failed("the menu was not shown and deleted");
        const std::string request = std::to_string(m_number) + " 200 ";
        if (!PumpUntil([&] { return Page("httpDone()").find(request) != std::string::npos; }, kStepTimeoutMs))
            return Failed("the request did not complete");
        if (!PumpUntil([] { return !FindWindowA(kPopupClass, nullptr) && !FindWindowA(kBalloonClass, nullptr); },
                       kStepTimeoutMs))
            return Failed("the pop-up or the balloon did not go");
        m_app.Destroy();
        PumpMessages(20);
        return true;
    }

private:
    std::string Page(const std::string& code) { return m_app.CallPageFunction(L"run", code); }
    std::string App(const std::string& arguments) { return Page("app().CallApplicationMethod(" + arguments + ")"); }

    bool Failed(const char* what)
    {
        std::fprintf(stderr, "soak_bench: cycle %d: %s\n", m_number, what);
        return false;
    }

    bool Preference()
    {
        const std::string value = std::to_string(1000 + m_number);
        return App("'SetPreference', 'soak_counter', '" + value + "'") == "boolean:true" &&
               App("'GetPreference', 'soak_counter'") == "number:" + value;
    }

    bool OffscreenBrowser()
    {
        CWispOffscreenBrowser browser;
        if (!browser.CreateWispOffscreenBrowser(FixtureUrl("bench\\soak.htm").c_str()))
            return false;
        const bool loaded = PumpUntil([&] { return browser.DocLoadComplete() > 0; }, kStepTimeoutMs);
        browser.Close();
        return loaded;
    }

    bool Menu()
    {
        const std::string added = App("'AddMenu', " + host::JsString(Fixture("bench\\soak-menu.xml")));
        if (added.find("number:") != 0)
            return false;
        const std::string id = added.substr(7);
        bool seen = false;
        const std::string shown = testing_support::DriveModal(
            [&] {
                seen = testing_support::WaitForMenuWindow() != nullptr;
                testing_support::DismissMenu();
            },
            [&] { return App("'ShowMenu', " + id); });
        return seen && shown == "number:0" && App("'DeleteMenu', " + id) == "boolean:true";
    }

    host::HostApplication m_app;
    std::string m_httpUrl;
    int m_number;
};

int Run(int cycles, const std::string& httpUrl, const std::string& statusPath)
{
    if (FAILED(testing_support::RegisterWisp())) {
        std::fprintf(stderr, "soak_bench: Wisp.dll could not be registered\n");
        return 1;
    }
    QDUtilities::EnsureSaveFileDirectoryExists();
    {
        // The fixture pages' folder is the content folder: the pop-up and balloon pages lie there.
        PersistentSettings settings;
        std::string folder = Fixture("");
        folder.pop_back();
        settings.SetProperty("content_directory", folder);
    }
    SetCursorPos(640, 5);   // away from the pop-up, which the mouse would keep open

    Reading warm, end;
    const double start = bench::Now();
    double warmedAt = start;
    for (int i = 1; i <= cycles; ++i) {
        Cycle cycle(httpUrl, i);
        if (!cycle.Run())
            return 1;
        if (i == kWarmUp) {
            warm = Read(statusPath);
            warmedAt = bench::Now();
        }
        if (i % 50 == 0)
            std::fprintf(stderr, "soak_bench: %d cycles, %.0f KiB, windows:%s\n", i, Read(statusPath).residentKiB,
                         DescribeWindows().c_str());
    }
    end = Read(statusPath);
    const int measured = cycles - kWarmUp;
    const double seconds = bench::Now() - warmedAt;

    const char* memory = statusPath.empty() ? "private bytes" : "VmRSS";
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    std::printf("Resident memory: %s (the working set the platform reports at the end: %.0f KiB)\n",
                statusPath.empty() ? "private bytes" : ("VmRSS of " + statusPath).c_str(),
                static_cast<double>(counters.WorkingSetSize) / 1024);
    std::printf("Soak, %d cycles (%d of warm-up, %.2f s a cycle after it):\n", cycles, kWarmUp,
                seconds / measured);
    std::printf("  %-32s %12s %12s %18s\n", "", "after warm-up", "at the end", "per 1,000 cycles");
    std::printf("  %-32s %12d %12d %+18.1f\n", "windows of the thread", warm.windows, end.windows,
                (end.windows - warm.windows) * 1000.0 / measured);
    std::printf("  %-32s %s\n", "windows left at the end:", DescribeWindows().c_str());
    std::printf("  %-32s %12.0f %12.0f %+18.1f\n", bench::Format("%s, KiB", memory).c_str(), warm.residentKiB,
                end.residentKiB, (end.residentKiB - warm.residentKiB) * 1000 / measured);
    const struct {
        const char* name;
        DWORD warm, end;
    } counts[] = {{"handles", warm.handles, end.handles},
                  {"GDI objects", warm.gdi, end.gdi},
                  {"USER objects", warm.user, end.user}};
    for (const auto& c : counts) {
        const std::string measure = bench::Format("soak: %s", c.name);
        // Wine answers 0 for all of these: that is no reading.
        if (c.warm == 0 && c.end == 0) {
            std::printf("  %-32s %12s %12s\n", c.name, "not reported", "not reported");
            bench::PrintRow(measure, "not reported", "-", "-", "-");
            continue;
        }
        const double growth = (static_cast<double>(c.end) - c.warm) * 1000 / measured;
        std::printf("  %-32s %12lu %12lu %+18.1f\n", c.name, c.warm, c.end, growth);
        bench::PrintRow(measure, bench::Format("%+.0f per 1,000 cycles", growth),
                        bench::Format("%lu after warm-up", c.warm), bench::Format("%.1f", growth), "-");
    }
    const double windowGrowth = (end.windows - warm.windows) * 1000.0 / measured;
    const double memoryGrowth = (end.residentKiB - warm.residentKiB) / 1024 * 1000 / measured;
    bench::PrintRow("soak: windows of the thread", bench::Format("%+.0f per 1,000 cycles", windowGrowth),
                    bench::Format("%d after %d warm-up cycles", warm.windows, kWarmUp), windowGrowth, "<= 0");
    bench::PrintRow(bench::Format("soak: resident memory (%s)", memory),
                    bench::Format("%+.2f MiB per 1,000 cycles", memoryGrowth),
                    bench::Format("%.1f MiB after warm-up, %d cycles", warm.residentKiB / 1024, cycles), memoryGrowth,
                    "<= 2");
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: soak_bench <cycles> <http url>\n");
        return 2;
    }
    const int cycles = std::max(kWarmUp + 1, std::atoi(argv[1]));
    OleInitialize(nullptr);
    const std::string statusPath = UnixStatusPath(argc, argv);
    const int status = Run(cycles, argv[2], statusPath);
    OleUninitialize();
    return status;
}
