// Reads the figures the benchmarks printed (on standard input) and prints the one table of
// the run: each figure, its reference, their ratio, its target and whether it holds. Exits
// with 1 when a figure the table needs was not measured, so a broken benchmark cannot pass
// for a slow one.

#include "bench/figures.h"
#include "bench/targets.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <iostream>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace stats::bench;

std::string formatted(const char *format, double value, const char *unit)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return std::string(text) + unit;
}

std::string valueText(const Figure &figure)
{
    if (figure.unit == Unit::Bytes) {
        return formatted("%.1f", figure.value / (1024.0 * 1024.0), " MiB");
    }
    if (figure.value < 1e-3) {
        return formatted("%.2f", figure.value * 1e6, " us");
    }
    if (figure.value < 1) {
        return formatted("%.2f", figure.value * 1e3, " ms");
    }
    return formatted("%.2f", figure.value, " s");
}

std::string targetText(const Target &target)
{
    switch (target.check) {
    case Check::RatioAtMost:
        return formatted("<= %.1f", target.limit, "x ref");
    case Check::FigureBelow:
        return valueText({"", target.limit, Unit::Seconds}).insert(0, "< ");
    case Check::Shown:
        return "shown only";
    }
    return {};
}

bool holds(const Target &target, double value, double ratio)
{
    switch (target.check) {
    case Check::RatioAtMost:
        return ratio <= target.limit;
    case Check::FigureBelow:
        return value < target.limit;
    case Check::Shown:
        return true;
    }
    return false;
}

using Row = std::array<std::string, 7>;

void printRows(const std::vector<Row> &rows)
{
    std::array<std::size_t, 7> widths{};
    for (const Row &row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            widths[i] = std::max(widths[i], row[i].size());
        }
    }
    // A Markdown table, so that a run pastes into the performance report as it is.
    const auto printRow = [&](const Row &row) {
        std::string line = "|";
        for (std::size_t i = 0; i < row.size(); ++i) {
            line += ' ' + row[i] + std::string(widths[i] - row[i].size(), ' ') + " |";
        }
        std::puts(line.c_str());
    };
    printRow(rows.front());
    std::string rule = "|";
    for (std::size_t i = 0; i < widths.size(); ++i) {
        // Numbers are right-aligned in the rendered report.
        const bool number = i == 1 || i == 3 || i == 4;
        rule += std::string(widths[i] + 1, '-') + (number ? ":|" : "-|");
    }
    std::puts(rule.c_str());
    for (std::size_t i = 1; i < rows.size(); ++i) {
        printRow(rows[i]);
    }
}

} // namespace

int main()
{
    std::map<std::string, Figure, std::less<>> figures;
    std::string line;
    while (std::getline(std::cin, line)) {
        if (auto figure = parseFigure(line)) {
            figures.insert_or_assign(figure->id, *figure);
        }
    }
    std::vector<Row> rows{{"figure", "median", "reference", "median", "ratio", "target", "holds"}};
    int missing = 0;
    int held = 0;
    int checked = 0;
    for (const Target &target : kTargets) {
        const auto figure = figures.find(target.figure);
        const auto reference = figures.find(target.reference);
        Row row{std::string(target.figureLabel),
                "missing",
                std::string(target.referenceLabel),
                "missing",
                "-",
                targetText(target),
                "missing"};
        if (target.check != Check::Shown) {
            ++checked;
        }
        if (figure == figures.end() || reference == figures.end()) {
            ++missing;
            rows.push_back(row);
            continue;
        }
        const double ratio = figure->second.value / reference->second.value;
        const bool ok = holds(target, figure->second.value, ratio);
        row[1] = valueText(figure->second);
        row[3] = valueText(reference->second);
        row[4] = formatted("%.2f", ratio, "");
        row[6] = target.check == Check::Shown ? "-" : ok ? "yes" : "NO";
        if (target.check != Check::Shown && ok) {
            ++held;
        }
        rows.push_back(row);
    }
    printRows(rows);
    std::printf("\n%d of %d targets hold", held, checked);
    if (missing > 0) {
        std::printf("; %d rows lack a figure: a benchmark failed", missing);
    }
    std::printf(".\n");
    return missing > 0 ? 1 : 0;
}
