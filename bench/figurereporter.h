#pragma once

// Hands the median of each Google Benchmark's repetitions to the table as a figure, and says
// on stderr which benchmark is running so a long run shows its progress.

#include <benchmark/benchmark.h>

namespace stats::bench {

class FigureReporter : public benchmark::BenchmarkReporter
{
public:
    bool ReportContext(const Context &context) override;
    void ReportRuns(const std::vector<Run> &runs) override;

    /// Whether every benchmark ran without reporting an error.
    [[nodiscard]] bool allSucceeded() const { return m_allSucceeded; }

private:
    bool m_allSucceeded = true;
};

/// Runs the benchmarks named on the command line (Google Benchmark's own flags) through a
/// FigureReporter; the exit status for main().
[[nodiscard]] int runBenchmarks(int argc, char **argv);

} // namespace stats::bench
