#pragma once

/// @file
/// The lists the programs show: three entry catalogues, one per range of the stats table, and
/// four value catalogues, one per kind of choice field. A set of them is a value that the
/// window and the table tool are handed; the compiled-in names are one such set.

#include "image/statstable.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace stats::catalogues {

using image::ValueList;

/// A fixed, ordered run of UTF-8 texts; row p stands for position p (an entry list's record
/// first-record + p, or a value list's byte p). Rows are never sorted or merged.
class Catalogue
{
public:
    Catalogue() = default;
    /// Rows in storage that outlives every catalogue, such as the compiled-in texts; nothing
    /// is copied.
    explicit Catalogue(std::span<const std::string_view> rows) noexcept : m_rows(rows) {}
    /// Rows that the catalogue keeps, and its copies share: a copy costs no more than two
    /// reference counts.
    explicit Catalogue(std::vector<std::string> rows);

    [[nodiscard]] int rowCount() const noexcept;
    /// The text of @p row, 0 <= row < rowCount(); an empty text for any other row, which no
    /// real row has.
    [[nodiscard]] std::string_view text(int row) const;
    [[nodiscard]] std::span<const std::string_view> rows() const noexcept;
    /// Lowest row from @p from on whose whole text is the same name as `text` (sameName); an
    /// empty text finds nothing.
    [[nodiscard]] std::optional<int> findExact(std::string_view text, int from = 0) const;
    /// Every row that `text` names: the same name (sameName), also without the blank that ends
    /// a held item, which a person typing the name leaves out.
    [[nodiscard]] std::vector<int> rowsNamed(std::string_view text) const;
    /// The first @p count rows, sharing this catalogue's texts.
    [[nodiscard]] Catalogue firstRows(int count) const;

private:
    std::shared_ptr<const std::vector<std::string>> m_texts;
    std::shared_ptr<const std::vector<std::string_view>> m_views;
    std::span<const std::string_view> m_rows;
};

/// The form of a name that every match of the programs compares: Unicode case folding and
/// NFC normalisation, so that "CLOISONNÉ JAR", "cloisonné jar" and one whose "é" is written
/// as "e" and a combining accent are one name. A text that is not UTF-8 has only its ASCII
/// letters folded. Texts with the same key are the same name, so it serves as a look-up key.
[[nodiscard]] std::string nameKey(std::string_view text);

/// Whether @p a and @p b are the same name: their nameKey is the same.
[[nodiscard]] bool sameName(std::string_view a, std::string_view b);

/// The seven catalogues of one set of names. The Dream World list is always the ability list
/// without its last row.
class CatalogueSet
{
public:
    CatalogueSet(Catalogue list1, Catalogue list2, Catalogue alternateForms, Catalogue types,
                 Catalogue heldItems, Catalogue abilities);

    [[nodiscard]] const Catalogue &entries(image::Range range) const noexcept;
    [[nodiscard]] const Catalogue &values(ValueList list) const noexcept;
    /// The name of row @p row of @p range's entry list; empty for a row it does not have.
    [[nodiscard]] std::string_view entryName(image::Range range, int row) const;

private:
    std::array<Catalogue, image::kRanges.size()> m_entries;
    std::array<Catalogue, image::kValueListCount> m_values;
};

/// The names compiled into the programs.
[[nodiscard]] const CatalogueSet &builtInCatalogues();

/// The stats record that row `row` of `range`'s entry list stands for: first record + row.
[[nodiscard]] int recordOfRow(image::Range range, int row) noexcept;

/// The byte that row or number @p value of @p list stands for: a row of the list that one byte
/// can hold, or a value without a row when it is @p held, the byte the record holds already,
/// which is kept as it is. Nothing for any other value. The editor's choice boxes and the
/// table import convert by this one rule.
[[nodiscard]] std::optional<std::uint8_t> choiceByte(const Catalogue &list, int value,
                                                     std::optional<std::uint8_t> held) noexcept;

/// How many rows of @p list one byte can name: its row count, at most 256.
[[nodiscard]] int storableRows(const Catalogue &list) noexcept;

} // namespace stats::catalogues
