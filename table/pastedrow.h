#pragma once

/// @file
/// One entry's values as they come from the clipboard: copied from an entry of the editor, or
/// a row copied from a spreadsheet, read by the rules of the CSV import.

#include "catalogues/catalogues.h"
#include "image/imagefile.h"

#include <array>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

namespace stats::table {

/// A byte for each field in field order, or nothing where the cell was empty, so that the
/// field keeps what it shows.
using PastedValues = std::array<std::optional<std::uint8_t>, image::kFieldCount>;

/// Reads @p text as the values of one entry. Cells are separated by tabs when the first line
/// holds one, else by commas; quoted cells, CRLF or LF line ends, empty lines and a final line
/// end are fine. What is taken:
/// - a header and one row: the header names the fifteen value columns of the export, each
///   once and in any order, and may name list, row and name too;
/// - one row without a header: the fifteen values in the export's order, or a whole row of the
///   export (list, row, name and the fifteen values).
/// The list, row and name cells are not read, so that one entry's values can be pasted into
/// another. Each value cell is read by the import's rule (ValueCells), @p held being the bytes
/// the record of the entry pasted into holds. Anything else is refused with one message, which
/// names the first cell that does not fit.
[[nodiscard]] std::expected<PastedValues, std::string>
readPastedRow(std::string_view text, const catalogues::CatalogueSet &names,
              const std::optional<image::FieldBytes> &held);

} // namespace stats::table
