#include "figurereporter.h"

#include "figures.h"

#include <cstdio>

namespace stats::bench {

namespace {

/// The reason a run gave no measurement, or nothing when it was measured.
const std::string *failureOf(const benchmark::BenchmarkReporter::Run &run)
{
#ifdef STATS_BENCHMARK_RUN_HAS_SKIPPED
    // A skipped run, with an error or a message, has no figure for the table either.
    return run.skipped ? &run.skip_message : nullptr;
#else
    return run.error_occurred ? &run.error_message : nullptr;
#endif
}

} // namespace

bool FigureReporter::ReportContext(const Context &)
{
    return true;
}

void FigureReporter::ReportRuns(const std::vector<Run> &runs)
{
    for (const Run &run : runs) {
        const std::string &name = run.run_name.function_name;
        if (const std::string *failure = failureOf(run)) {
            std::fprintf(stderr, "%s: %s\n", name.c_str(), failure->c_str());
            m_allSucceeded = false;
            continue;
        }
        // With repetitions the median stands for the benchmark; a single run (a quick check
        // by hand or the smoke test) stands for itself.
        const bool isMedian = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
        const bool isOnlyRun = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
        if (!isMedian && !isOnlyRun) {
            continue;
        }
        const double seconds =
            run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
        printFigure(stdout, name, seconds, Unit::Seconds);
        if (isMedian) {
            std::fprintf(stderr, "  %-30s %12.3f us, median of %lld\n", name.c_str(), seconds * 1e6,
                         static_cast<long long>(run.repetitions));
        } else {
            std::fprintf(stderr, "  %-30s %12.3f us, %lld iterations\n", name.c_str(),
                         seconds * 1e6, static_cast<long long>(run.iterations));
        }
    }
}

int runBenchmarks(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 2;
    }
    FigureReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return reporter.allSucceeded() ? 0 : 1;
}

} // namespace stats::bench
