// What the benchmark programs share: a clock, the median of repeated runs, and the summary row
// that bench/run-all collects into its table.
//
// A summary row is one line on standard output, fields separated by tabs:
//   BENCH-ROW <measure> <this component> <baseline> <ratio> <goal>
// The ratio is a plain number; the goal is ">= x" or "<= x", read against the ratio, or "-" for
// a row without a goal.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

namespace bench {

inline double Now()
{
    static const double ticksPerSecond = [] {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return static_cast<double>(frequency.QuadPart);
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / ticksPerSecond;
}

inline double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

inline std::string Format(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
inline std::string Format(const char* format, ...)
{
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

inline void PrintRow(const std::string& measure, const std::string& component,
                     const std::string& baseline, double ratio, const char* goal)
{
    std::printf("BENCH-ROW\t%s\t%s\t%s\t%.3f\t%s\n", measure.c_str(), component.c_str(),
                baseline.c_str(), ratio, goal);
    std::fflush(stdout);
}

// A row that is a reading to watch rather than a goal (goal "-"), or one the platform does not
// report: the ratio is then a text too ("-").
inline void PrintRow(const std::string& measure, const std::string& component,
                     const std::string& baseline, const std::string& ratio, const char* goal)
{
    std::printf("BENCH-ROW\t%s\t%s\t%s\t%s\t%s\n", measure.c_str(), component.c_str(),
                baseline.c_str(), ratio.c_str(), goal);
    std::fflush(stdout);
}

}  // namespace bench
