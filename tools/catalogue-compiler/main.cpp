// catalogue-compiler: checks the catalogue data files and compiles them into a C++ source.
//
//   catalogue-compiler --check DATA_DIR         check only
//   catalogue-compiler DATA_DIR OUTPUT_FILE     check, then write the source
//
// Faults go to standard error as "file:line: message". Exit status: 0 when the data is sound
// (and the source was written), 1 when the data breaks a rule, 2 for a usage or file error.

#include "tools/catalogue-compiler/emitter.h"
#include "tools/catalogue-compiler/rules.h"

#include "platform/path.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <span>
#include <string>
#include <system_error>

namespace {

using namespace stats::tools;
namespace catalogues = stats::catalogues;

constexpr int kSound = 0;
constexpr int kBrokenData = 1;
constexpr int kFailure = 2;

struct Options
{
    stats::platform::Path dataDirectory;
    std::optional<std::filesystem::path> output; ///< none: check only
};

[[nodiscard]] std::optional<Options> parseOptions(std::span<char *const> arguments)
{
    if (arguments.size() == 3 && std::string_view(arguments[1]) == "--check") {
        return Options{arguments[2], std::nullopt};
    }
    if (arguments.size() == 3 && !std::string_view(arguments[1]).starts_with("--")) {
        return Options{arguments[1], std::filesystem::path(arguments[2])};
    }
    return std::nullopt;
}

void report(const Diagnostic &diagnostic)
{
    std::cerr << catalogues::formatDiagnostic(diagnostic) << '\n';
}

// Sorted by file and line, so a reader works through each file from the top.
void reportAll(Diagnostics diagnostics)
{
    std::ranges::stable_sort(diagnostics, [](const Diagnostic &a, const Diagnostic &b) {
        return a.path != b.path ? a.path < b.path : a.line < b.line;
    });
    for (const Diagnostic &diagnostic : diagnostics) {
        report(diagnostic);
    }
    std::cerr << "catalogue-compiler: " << diagnostics.size()
              << (diagnostics.size() == 1 ? " fault" : " faults") << " in the catalogue data\n";
}

// Writes beside the target and renames, so an interrupted build never leaves half a source.
[[nodiscard]] bool writeSource(const std::filesystem::path &output, const std::string &source)
{
    std::filesystem::path partial = output;
    partial += ".partial";
    {
        std::ofstream stream(partial, std::ios::binary | std::ios::trunc);
        stream << source;
        stream.close();
        if (!stream) {
            std::cerr << partial.generic_string() << ": cannot write the generated source\n";
            return false;
        }
    }
    std::error_code error;
    std::filesystem::rename(partial, output, error);
    if (error) {
        std::cerr << output.generic_string()
                  << ": cannot write the generated source: " << error.message() << '\n';
        return false;
    }
    return true;
}

[[nodiscard]] int run(const Options &options)
{
    CatalogueData data;
    catalogues::FaultLog log;
    for (const CatalogueFile &catalogue : kCatalogueFiles) {
        auto file = readDataFile(options.dataDirectory, catalogue.fileName,
                                 catalogues::largestFileSize(catalogue), log);
        if (!file) {
            report(file.error());
            return kFailure;
        }
        catalogues::checkStructure(catalogue, *file, log);
        data.files[static_cast<std::size_t>(catalogue.id)] = std::move(*file);
    }
    Diagnostics faults = log.kept();
    const Diagnostics breaches = checkShippedTexts(data);
    faults.insert(faults.end(), breaches.begin(), breaches.end());
    if (!faults.empty()) {
        reportAll(std::move(faults));
        return kBrokenData;
    }
    if (options.output && !writeSource(*options.output, generateSource(data))) {
        return kFailure;
    }
    return kSound;
}

} // namespace

int main(int argc, char **argv)
{
    const auto options = parseOptions(std::span<char *const>(argv, static_cast<std::size_t>(argc)));
    if (!options) {
        std::cerr << "usage: catalogue-compiler --check DATA_DIR\n"
                     "       catalogue-compiler DATA_DIR OUTPUT_FILE\n";
        return kFailure;
    }
    return run(*options);
}
