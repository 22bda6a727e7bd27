#pragma once

// Reading a catalogue data file: one row per line, UTF-8, LF line ends, every line ended.

#include <expected>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace stats::tools {

/// One fault in the data, in the "path:line: message" form that editors and IDEs jump to.
struct Diagnostic
{
    std::string path;
    int line = 0; ///< 1-based; 0 when the fault concerns the whole file
    std::string message;
};

using Diagnostics = std::vector<Diagnostic>;

[[nodiscard]] std::string formatDiagnostic(const Diagnostic &diagnostic);

struct DataFile
{
    std::string path; ///< as shown in diagnostics
    std::vector<std::string> rows;
};

/// Reads @p fileName from @p directory. A file that cannot be read is the error; faults in the
/// bytes (a carriage return, invalid UTF-8, an empty or unended line) are added to @p faults
/// and the rows are still returned, so that the content rules can report as much as they can.
[[nodiscard]] std::expected<DataFile, Diagnostic>
readDataFile(const std::filesystem::path &directory, std::string_view fileName,
             Diagnostics &faults);

/// Whether @p text is well-formed UTF-8 (no overlong forms, no surrogates, at most U+10FFFF).
[[nodiscard]] bool isValidUtf8(std::string_view text);

/// The number of characters (code points) of well-formed UTF-8 @p text.
[[nodiscard]] int characterCount(std::string_view text);

} // namespace stats::tools
