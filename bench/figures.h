#pragma once

// The figures the benchmarks measure, as they hand them to the table: one line per figure,
// "<id> <value> <unit>", the value being the median of repeated runs in seconds or bytes.

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace stats::bench {

enum class Unit { Seconds, Bytes };

struct Figure
{
    std::string id;
    double value;
    Unit unit;
};

void printFigure(std::FILE *out, std::string_view id, double value, Unit unit);

/// The figure a line written by printFigure() carries; nothing for any other line.
[[nodiscard]] std::optional<Figure> parseFigure(std::string_view line);

/// The middle value (the mean of the two middle ones for an even count); 0 for none.
[[nodiscard]] double median(std::vector<double> values);

} // namespace stats::bench
