#include "figures.h"

#include <algorithm>
#include <charconv>

namespace stats::bench {

namespace {

constexpr std::string_view kSeconds = "s";
constexpr std::string_view kBytes = "B";

} // namespace

void printFigure(std::FILE *out, std::string_view id, double value, Unit unit)
{
    const std::string_view unitText = unit == Unit::Seconds ? kSeconds : kBytes;
    std::fprintf(out, "%.*s %.9g %.*s\n", static_cast<int>(id.size()), id.data(), value,
                 static_cast<int>(unitText.size()), unitText.data());
    // The table is read from a pipe; a figure must not wait in a buffer if a later
    // benchmark crashes.
    std::fflush(out);
}

std::optional<Figure> parseFigure(std::string_view line)
{
    const auto firstSpace = line.find(' ');
    const auto lastSpace = line.rfind(' ');
    if (firstSpace == std::string_view::npos || firstSpace == 0 || lastSpace == firstSpace) {
        return std::nullopt;
    }
    const std::string_view valueText = line.substr(firstSpace + 1, lastSpace - firstSpace - 1);
    const std::string_view unitText = line.substr(lastSpace + 1);
    double value = 0;
    const auto parsed =
        std::from_chars(valueText.data(), valueText.data() + valueText.size(), value);
    if (parsed.ec != std::errc{} || parsed.ptr != valueText.data() + valueText.size()) {
        return std::nullopt;
    }
    if (unitText != kSeconds && unitText != kBytes) {
        return std::nullopt;
    }
    return Figure{std::string(line.substr(0, firstSpace)), value,
                  unitText == kSeconds ? Unit::Seconds : Unit::Bytes};
}

double median(std::vector<double> values)
{
    if (values.empty()) {
        return 0;
    }
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    if (values.size() % 2 == 1) {
        return *middle;
    }
    const double upper = *middle;
    const double lower = *std::max_element(values.begin(), middle);
    return (lower + upper) / 2;
}

} // namespace stats::bench
