// Page script reaching native code through the control, hosted in the test host with the
// browser stand-in (real JScript):
//   page -> native call: window.external.CallApplicationMethod("GetPID") in a script loop,
//     against the same loop calling a bare native IDispatch object handed to the same page
//     (one name, one DISPID, no control, no method table). The two halves of the measure,
//     finding window.external and calling what it gives, are printed too, and the control's
//     own share: the same call made from native code straight into the control's Invoke.
//   preference read: GetPreference of one integer name from a settings file of 200
//     properties, from native code (a settings object for the one read, as the method does)
//     and from page script, against opening, reading and closing the same file with plain
//     file calls. The parts of a read are timed apart too: the named mutex, the file's path,
//     reading the file and parsing it (into a fresh document, and again over the entries the
//     constructor's load left, as the getter's load does).
// Component and baseline run in turns; the medians of the rounds are compared.
//   control_bench [scale]
#include "bench/BenchSupport.h"
#include "common/HostMessages.h"
#include "common/PersistentSettings.h"
#include "common/SettingsDocument.h"
#include "common/QDUtilities.h"
#include "common/com/Bstr.h"
#include "common/com/ComObject.h"
#include "common/com/ComPtr.h"
#include "common/com/Strings.h"
#include "tests/support/WispLibrary.h"
#include "tests/support/host/HostApplication.h"

#include <climits>
#include <cstring>
#include <memory>
#include <cstdlib>
#include <cwchar>

namespace {

const int kRounds = 5;
const int kIntProperties = 100;
const int kStringProperties = 100;
const char kReadName[] = "bench_int_050";
const int kReadValue = 5050;

class BareObject final : public ComObject<BareObject>, public IDispatch {
public:
    WISP_COM_INTERFACES(BareObject, WISP_COM_ENTRY(IDispatch))
    WISP_IUNKNOWN_FORWARD()

    STDMETHODIMP GetTypeInfoCount(UINT* count) override
    {
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override
    {
        if (count != 1 || std::wcscmp(names[0], L"CallApplicationMethod") != 0)
            return DISP_E_UNKNOWNNAME;
        ids[0] = 1;
        return S_OK;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                        UINT*) override
    {
        if (id != 1)
            return DISP_E_MEMBERNOTFOUND;
        if (result) {
            VariantInit(result);
            result->vt = VT_I4;
            result->lVal = static_cast<LONG>(GetCurrentProcessId());
        }
        return S_OK;
    }
};

// Calls a page function with integer and string arguments; its answer as an integer, or
// LONG_MIN when the call failed.
long CallPage(host::HostApplication& app, const wchar_t* function, long count,
              const char* text = nullptr, IDispatch* object = nullptr)
{
    VARIANT args[2];
    ULONG used = 0;
    VariantInit(&args[0]);
    VariantInit(&args[1]);
    if (object) {
        object->AddRef();
        args[used].vt = VT_DISPATCH;
        args[used++].pdispVal = object;
    } else {
        args[used].vt = VT_I4;
        args[used++].lVal = count;
    }
    if (text) {
        args[used].vt = VT_BSTR;
        args[used++].bstrVal = SysAllocString(WideFromAnsi(text).c_str());
    }
    VARIANT result;
    VariantInit(&result);
    Bstr name(function);
    const HRESULT hr = app.Control()->CallScriptMethod(name.Get(), &result, used, args);
    long answer = LONG_MIN;
    if (SUCCEEDED(hr) && SUCCEEDED(VariantChangeType(&result, &result, 0, VT_I4)))
        answer = result.lVal;
    VariantClear(&result);
    for (VARIANT& v : args)
        VariantClear(&v);
    return answer;
}

void WriteSettingsFile()
{
    QDUtilities::EnsureSaveFileDirectoryExists();
    std::string path;
    QDUtilities::GetSettingsFilePath(path);
    DeleteFileA(path.c_str());
    PersistentSettings settings;
    for (int i = 0; i < kIntProperties; ++i)
        settings.SetProperty(bench::Format("bench_int_%03d", i).c_str(), 5000 + i, true);
    for (int i = 0; i < kStringProperties; ++i)
        settings.SetProperty(bench::Format("bench_string_%03d", i).c_str(),
                             bench::Format("a string value of property %d", i), true);
    settings.Save();
}

// GetPreference as the method does it: a settings object for the one read, the integer
// getter first, then the string getter.
bool ReadPreference(int& number)
{
    PersistentSettings settings;
    std::string text;
    return settings.GetProperty(kReadName, number) || settings.GetProperty(kReadName, text);
}

bool ReadPlain(const std::string& path, std::vector<char>& buffer)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD read = 0;
    const BOOL ok = ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr);
    CloseHandle(file);
    return ok && read > 0;
}

template <class Work>
double MicrosEach(unsigned count, Work work)
{
    const double start = bench::Now();
    for (unsigned i = 0; i < count; ++i)
        if (!work())
            return -1;
    return (bench::Now() - start) / count * 1e6;
}

// CallApplicationMethod("GetPID") from native code into the control's IDispatch: the
// control's own cost of a page's call, without the script engine's.
bool CallControlNatively(host::HostApplication& app, long expected)
{
    DISPID id = 0;
    static wchar_t name[] = L"CallApplicationMethod";
    LPOLESTR names[] = {name};
    IWispControl* control = app.Control();
    if (FAILED(control->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id)))
        return false;
    static Bstr method(L"GetPID");
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_BSTR;
    arg.bstrVal = method.Get();   // lent
    DISPPARAMS params = {&arg, nullptr, 1, 0};
    VARIANT result;
    VariantInit(&result);
    const HRESULT hr = control->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result,
                                       nullptr, nullptr);
    const bool ok = SUCCEEDED(hr) && result.vt == VT_I4 && result.lVal == expected;
    VariantClear(&result);
    return ok;
}

// Where the microseconds of a preference read go, each part on its own.
struct ReadSplit {
    std::vector<double> mutex, path, read, parse, reparse;
};

bool TimeReadParts(unsigned reads, ReadSplit& split)
{
    std::string path;
    split.mutex.push_back(MicrosEach(reads, [] {
        HANDLE mutex = CreateMutexA(nullptr, FALSE, SETTINGS_MUTEX);
        if (!mutex)
            return false;
        const bool taken = WaitForSingleObject(mutex, 10000) == WAIT_OBJECT_0;
        if (taken)
            ReleaseMutex(mutex);
        CloseHandle(mutex);
        return taken;
    }));
    split.path.push_back(MicrosEach(reads, [&] { return QDUtilities::GetSettingsFilePath(path); }));
    std::size_t size = 0;
    split.read.push_back(MicrosEach(reads, [&] { return QDUtilities::ReadFileIntoBuffer(path.c_str(), &size) != nullptr; }));
    std::unique_ptr<char[]> text = QDUtilities::ReadFileIntoBuffer(path.c_str(), &size);
    if (!text)
        return false;
    std::vector<char> copy(size + 1);
    SettingsDocument kept;
    const auto parse = [&](SettingsDocument& document) {
        std::memcpy(copy.data(), text.get(), size + 1);
        return settings_document::Parse(copy.data(), document) && document.ints.size() == kIntProperties;
    };
    split.parse.push_back(MicrosEach(reads, [&] {
        SettingsDocument fresh;
        return parse(fresh);
    }));
    split.reparse.push_back(MicrosEach(reads, [&] { return parse(kept); }));
    return true;
}

int Run(unsigned scale)
{
    if (FAILED(testing_support::RegisterWisp())) {
        std::fprintf(stderr, "control_bench: Wisp.dll could not be registered\n");
        return 1;
    }
    WriteSettingsFile();
    std::string path;
    QDUtilities::GetSettingsFilePath(path);
    std::vector<char> plain(1 << 20);
    int number = 0;
    if (!ReadPreference(number) || number != kReadValue || !ReadPlain(path, plain)) {
        std::fprintf(stderr, "control_bench: the settings file of 200 properties does not read\n");
        return 1;
    }

    host::HostApplication app;
    const std::wstring url =
        host::FileUrl(host::PathBesideExecutable(L"fixtures\\bench\\calls.htm"));
    if (!app.Create(120, 90) || app.CreateControl() != S_OK || app.InitControl(url) != S_OK ||
        !app.WaitForMessage(RM_DOCUMENT_COMPLETE, 15000)) {
        std::fprintf(stderr, "control_bench: the page did not load in the control\n");
        return 1;
    }
    ComPtr<BareObject> bare = MakeComObject<BareObject>();
    const long pid = static_cast<long>(GetCurrentProcessId());
    const long kept = CallPage(app, L"keepBare", 0, nullptr, bare.Get());
    const long viaControl = CallPage(app, L"callLoop", 1);
    const long viaBare = CallPage(app, L"bareLoop", 1);
    const long preference = CallPage(app, L"preferenceLoop", 1, kReadName);
    // GetPID answers the window that owns the page's window: the host's.
    const long hostWindow = static_cast<long>(reinterpret_cast<LONG_PTR>(app.HostWindow()));
    if (kept != 1 || viaControl != hostWindow || viaBare != pid || preference != kReadValue) {
        std::fprintf(stderr, "control_bench: the page's loops answer %ld, %ld, %ld, %ld; expected "
                             "1, %ld, %ld and %d\n",
                     kept, viaControl, viaBare, preference, hostWindow, pid, kReadValue);
        return 1;
    }

    const unsigned calls = 20000 * scale, reads = 400 * scale;
    std::vector<double> control, direct, lookup, held, nativeCall, native, page, file;
    ReadSplit split;
    auto callsPerSecond = [&](const wchar_t* loop) {
        const double start = bench::Now();
        CallPage(app, loop, static_cast<long>(calls));
        return calls / (bench::Now() - start);
    };
    for (int round = 0; round < kRounds; ++round) {
        control.push_back(callsPerSecond(L"callLoop"));
        direct.push_back(callsPerSecond(L"bareLoop"));
        lookup.push_back(callsPerSecond(L"externalLoop"));
        held.push_back(callsPerSecond(L"heldLoop"));
        nativeCall.push_back(1e6 / MicrosEach(calls, [&] { return CallControlNatively(app, hostWindow); }));

        native.push_back(MicrosEach(reads, [&] { return ReadPreference(number); }));
        const double start = bench::Now();
        CallPage(app, L"preferenceLoop", static_cast<long>(reads), kReadName);
        page.push_back((bench::Now() - start) / reads * 1e6);
        file.push_back(MicrosEach(reads, [&] { return ReadPlain(path, plain); }));
        if (!TimeReadParts(reads, split)) {
            std::fprintf(stderr, "control_bench: the parts of a read do not run\n");
            return 1;
        }
    }
    app.Destroy();

    const double c = bench::Median(control), d = bench::Median(direct);
    const double n = bench::Median(native), p = bench::Median(page), f = bench::Median(file);
    std::printf("Page -> native calls per second (medians of %d rounds of %u calls):\n", kRounds,
                calls);
    std::printf("  window.external.CallApplicationMethod(\"GetPID\"): %10.0f\n", c);
    std::printf("  bare native IDispatch method:                     %10.0f\n", d);
    std::printf("  window.external alone (the browser stand-in's):   %10.0f\n",
                bench::Median(lookup));
    std::printf("  the call alone, window.external held:             %10.0f\n",
                bench::Median(held));
    std::printf("  the control's Invoke called from native code:     %10.0f\n",
                bench::Median(nativeCall));
    std::printf("GetPreference(\"%s\") of 200 properties, microseconds a read (%u reads):\n",
                kReadName, reads);
    std::printf("  native, a settings object per read: %8.1f\n", n);
    std::printf("  from page script:                   %8.1f\n", p);
    std::printf("  open, read, close with file calls:  %8.1f\n", f);
    std::printf("  its parts, each timed apart:\n");
    std::printf("    the named mutex (create, wait, release, close): %8.1f\n", bench::Median(split.mutex));
    std::printf("    the file's path:                                %8.1f\n", bench::Median(split.path));
    std::printf("    reading the file into a buffer:                 %8.1f\n", bench::Median(split.read));
    std::printf("    parsing it into a fresh document:               %8.1f\n", bench::Median(split.parse));
    std::printf("    parsing it over the entries read before:        %8.1f\n", bench::Median(split.reparse));
    bench::PrintRow("page -> native call", bench::Format("%.0f calls/s", c),
                    bench::Format("%.0f calls/s (bare IDispatch)", d), c / d, ">= 0.5");
    bench::PrintRow("preference read, native", bench::Format("%.1f us", n),
                    bench::Format("%.1f us (open, read, close)", f), n / f, "<= 3");
    bench::PrintRow("preference read, page script", bench::Format("%.1f us", p),
                    bench::Format("%.1f us (open, read, close)", f), p / f, "<= 3");
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const unsigned scale = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;
    OleInitialize(nullptr);
    const int status = Run(scale);
    OleUninitialize();
    return status;
}
