#pragma once

/// @file
/// The stats table as CSV: one row per entry, the entry's list, row and name first, then the
/// fifteen field values in table order.

#include "catalogues/catalogues.h"
#include "catalogues/files/utf8.h"
#include "image/imagefile.h"
#include "table/tablechanges.h"

#include <array>
#include <expected>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace stats::table {

inline constexpr std::size_t kEntryColumns = 3;
inline constexpr std::size_t kColumnCount = kEntryColumns + image::kFieldCount;

/// The header of the table's CSV, one name per column.
inline constexpr std::array<std::string_view, kColumnCount> kColumnNames = [] {
    std::array<std::string_view, kColumnCount> names{"list", "row", "name"};
    for (std::size_t i = 0; i < image::kFields.size(); ++i) {
        names[kEntryColumns + i] = image::kFields[i].name;
    }
    return names;
}();

using catalogues::shownEscaped;

/// The whole table as CSV text with its header, one row per record in table order, each
/// entry named by @p names. Values are decimal bytes; with @p withNames a choice value is the
/// text of its row instead, unless that text would not read back as the same byte (no row, or
/// a text several rows share).
[[nodiscard]] std::string tableCsv(const image::TableBytes &table,
                                   const catalogues::CatalogueSet &names, bool withNames);

/// An import file of @p changes alone: one row per changed entry, and in it only the cells of
/// the changed values; every other value cell is empty, so an import keeps what the image holds
/// there. Values are written as tableCsv() writes them.
[[nodiscard]] std::string changesCsv(std::span<const EntryChange> changes,
                                     const catalogues::CatalogueSet &names, bool withNames);

/// The text of one entry for the clipboard: the header and the entry's row, each ended by a line
/// feed, with @p separator between the cells. Its cells are those tableCsv() writes with names.
[[nodiscard]] std::string entryRowText(image::Range range, int row, const image::FieldBytes &bytes,
                                       const catalogues::CatalogueSet &names, char separator);

/// The column that header cell @p cell names, its blanks around it and the case of its letters
/// ignored; nothing when it names none.
[[nodiscard]] std::optional<std::size_t> columnNamed(std::string_view cell);

/// Why a value cell gives its field no byte.
struct CellFault
{
    /// What is wrong, as a fault says it after naming the cell.
    std::string reason;
    /// Whether the cell is a text that names no row of its list at all.
    bool namesNoRow = false;
};

/// The import's rule for one value cell. A number field takes the editor's number text. A
/// choice field takes the number of a row of its list (0 to 255), or the row's text whatever
/// the case of its letters, also without the final blank of a held item; a text several rows
/// share must be given as a number.
class ValueCells
{
public:
    explicit ValueCells(const catalogues::CatalogueSet &names);
    ~ValueCells();
    ValueCells(const ValueCells &) = delete;
    ValueCells &operator=(const ValueCells &) = delete;

    /// The byte @p cell gives @p field. A number without a row in a choice field's list is
    /// taken only when it is @p held, the byte the record holds already, so that such a record
    /// goes out and back in unchanged. A cell of blanks is no value; the caller knows what it
    /// keeps.
    [[nodiscard]] std::expected<std::uint8_t, CellFault>
    byteOf(const image::FieldInfo &field, std::string_view cell,
           std::optional<std::uint8_t> held) const;

private:
    struct Rules;
    std::unique_ptr<const Rules> m_rules;
};

/// One row of an import: the entry it names, the line it stands on, and its fifteen bytes.
struct ImportRow
{
    image::Range range;
    std::int16_t row;
    int line;
    image::FieldBytes bytes;
};

/// A fault of an import file: its line, its column (counting from 1; 0 for the whole row)
/// and what is wrong.
struct ImportFault
{
    int line;
    std::size_t column;
    std::string reason;
};

struct ImportTable
{
    std::vector<ImportRow> rows;
    /// The first faults of the file, in the order of their lines and columns.
    std::vector<ImportFault> faults;
    /// How many faults the file has, also those past the limit that are not kept.
    std::size_t faultCount = 0;
    /// How many of the faults are entry names or choice texts that the names in use do not
    /// have at all: the file may have been made with other names.
    std::size_t unknownNames = 0;
};

/// Reads and checks a whole import file against @p current, the table the image holds, and
/// @p names: the header, every row's entry (list, row and name, each entry at most once) and
/// every value. An empty value cell keeps the value the image holds. Rows are taken only when
/// the file has no fault at all. At most @p faultLimit faults are kept, so that a file of any
/// size is checked in bounded memory.
[[nodiscard]] ImportTable
readImportCsv(std::string_view text, const image::TableBytes &current,
              const catalogues::CatalogueSet &names,
              std::size_t faultLimit = std::numeric_limits<std::size_t>::max());

/// The text of @p byte in choice field @p field's list, or nothing when it has no row there;
/// for reports.
[[nodiscard]] std::optional<std::string_view>
choiceText(const image::FieldInfo &field, std::uint8_t byte, const catalogues::CatalogueSet &names);

} // namespace stats::table
