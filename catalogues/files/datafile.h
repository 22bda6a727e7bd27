#pragma once

/// @file
/// Reading a catalogue data file: one row per line, UTF-8.

#include "platform/path.h"

#include <cstdint>
#include <expected>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace stats::catalogues {

/// One fault in a data file, in the "path:line: message" form that editors and IDEs jump to.
struct Diagnostic
{
    std::string path;
    int line = 0; ///< 1-based; 0 when the fault concerns the whole file
    std::string message;
};

using Diagnostics = std::vector<Diagnostic>;

/// Faults as they are found: the first of them in full, the others only counted, so that a
/// file broken on every line takes no more memory than one broken on a hundred.
class FaultLog
{
public:
    explicit FaultLog(std::size_t keep = std::numeric_limits<std::size_t>::max()) : m_keep(keep) {}

    void add(Diagnostic fault)
    {
        if (m_kept.size() < m_keep) {
            m_kept.push_back(std::move(fault));
        }
        ++m_count;
    }

    /// Adds the fault that @p make returns, made only while there is room to keep it: a
    /// million faults then cost a million counts, not a million copies of their path.
    template <typename Make> void addMade(Make &&make)
    {
        if (m_kept.size() < m_keep) {
            m_kept.push_back(make());
        }
        ++m_count;
    }

    [[nodiscard]] const Diagnostics &kept() const noexcept { return m_kept; }
    /// Every fault added, kept or not.
    [[nodiscard]] std::size_t count() const noexcept { return m_count; }
    [[nodiscard]] bool empty() const noexcept { return m_count == 0; }

private:
    std::size_t m_keep;
    Diagnostics m_kept;
    std::size_t m_count = 0;
};

[[nodiscard]] std::string formatDiagnostic(const Diagnostic &diagnostic);

struct DataFile
{
    std::string path; ///< as shown in diagnostics
    /// The file's bytes as they are, for rules about the bytes themselves (the line ends).
    std::string bytes;
    /// One row per line, without its line end.
    std::vector<std::string> rows;
};

/// Reads @p fileName from @p directory. A file that cannot be read, or is larger than
/// @p largest bytes, is the error, found before any of it is read. Lines end in
/// LF or CRLF, the last one may lack its line end, and a UTF-8 byte order mark at the start is
/// skipped: files edited on any system read the same. Rows that are not UTF-8 or are empty
/// are added to @p faults and still returned, so that later rules can report as much as they
/// can.
[[nodiscard]] std::expected<DataFile, Diagnostic> readDataFile(const platform::Path &directory,
                                                               std::string_view fileName,
                                                               std::int64_t largest,
                                                               FaultLog &faults);

/// The rows of a data file whose @p bytes were read from @p path, by the rules of
/// readDataFile().
[[nodiscard]] DataFile dataFileOf(std::string path, std::string bytes, FaultLog &faults);

/// Whether @p text is well-formed UTF-8 (no overlong forms, no surrogates, at most U+10FFFF).
[[nodiscard]] bool isValidUtf8(std::string_view text);

/// The number of characters (code points) of well-formed UTF-8 @p text.
[[nodiscard]] int characterCount(std::string_view text);

} // namespace stats::catalogues
