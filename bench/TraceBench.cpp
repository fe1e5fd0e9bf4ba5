// A TraceLog call with tracing switched off against a call, with the same argument, of an
// empty function that the compiler may neither inline nor drop. Both loops run in turns;
// the medians of the rounds give nanoseconds per call.
//   trace_bench [millions of calls per round]
#include "bench/BenchSupport.h"
#include "common/TraceLog.h"

#include <cstdlib>

namespace {

const char kMessage[] = "TraceBench::Loop - one message\n";
const int kRounds = 7;

__attribute__((noinline, noipa)) void EmptyCall(const char*, ...) {}

template <class Call>
double NanosPerCall(Call call, unsigned calls)
{
    const double start = bench::Now();
    for (unsigned i = 0; i < calls; ++i)
        call();
    return (bench::Now() - start) / calls * 1e9;
}

}  // namespace

int main(int argc, char** argv)
{
    const unsigned millions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    if (ReadDebugLevel() != 0) {
        std::fprintf(stderr, "trace_bench: tracing is switched on in this prefix (HKCU\\Software\\"
                             "Ashgrove\\Tidewire debug); the measure needs it off.\n");
        return 1;
    }
    TraceLog(kMessage);   // the first call reads the switch
    const unsigned calls = millions * 1000000u;
    std::vector<double> trace, empty;
    for (int round = 0; round < kRounds; ++round) {
        trace.push_back(NanosPerCall([] { TraceLog(kMessage); }, calls));
        empty.push_back(NanosPerCall([] { EmptyCall(kMessage); }, calls));
    }
    const double t = bench::Median(trace), e = bench::Median(empty);
    std::printf("TraceLog switched off: %.2f ns a call; empty call: %.2f ns (medians of %d rounds "
                "of %u calls)\n",
                t, e, kRounds, calls);
    bench::PrintRow("trace log switched off", bench::Format("%.2f ns a call", t),
                    bench::Format("%.2f ns (empty call)", e), t / e, "<= 3");
    return 0;
}
