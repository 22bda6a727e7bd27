#pragma once

/// @file
/// The fixed lists the editor shows: three entry catalogues, one per range of the stats
/// table, and four value catalogues, one per kind of choice field. All texts are compiled in.

#include "image/statstable.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace stats::catalogues {

/// A fixed, ordered run of UTF-8 texts; row p stands for position p (an entry list's record
/// first-record + p, or a value list's byte p). Rows are never sorted or merged.
class Catalogue
{
public:
    explicit constexpr Catalogue(std::span<const std::string_view> rows) noexcept : m_rows(rows) {}

    [[nodiscard]] int rowCount() const noexcept;
    /// The text of @p row, 0 <= row < rowCount(); an empty text for any other row, which no
    /// real row has.
    [[nodiscard]] std::string_view text(int row) const;
    [[nodiscard]] std::span<const std::string_view> rows() const noexcept;
    /// Lowest row whose whole text equals `text` when the case of ASCII letters is ignored
    /// (all other bytes compare exactly); an empty text finds nothing.
    [[nodiscard]] std::optional<int> findExact(std::string_view text) const noexcept;

private:
    std::span<const std::string_view> m_rows;
};

/// The entry catalogue of @p range: List 1, List 2 or the alternate forms.
[[nodiscard]] const Catalogue &entryCatalogue(stats::image::Range range) noexcept;
/// The stats record that row `row` of `range`'s entry list stands for: first record + row.
[[nodiscard]] int recordOfRow(stats::image::Range range, int row) noexcept;

enum class ValueList : std::uint8_t { Types, HeldItems, Abilities, DreamWorldAbilities };
/// The value catalogue of @p list. The Dream World list is the ability list without its
/// last row.
[[nodiscard]] const Catalogue &valueCatalogue(ValueList list) noexcept;
/// The value list whose rows a choice field's byte chooses from; nothing for a number field.
[[nodiscard]] std::optional<ValueList> valueListOf(stats::image::Field field) noexcept;

} // namespace stats::catalogues
