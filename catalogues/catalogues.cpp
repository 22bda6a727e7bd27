#include "catalogues/catalogues.h"

#include "catalogues/rowdata.h"

#include <algorithm>

namespace stats::catalogues {

namespace {

using image::Range;
using rowdata::DataFile;

// The Dream World field reaches one ability fewer than the two ability fields.
constexpr std::size_t kDreamWorldRowCount = 164;

[[nodiscard]] constexpr char foldAsciiCase(char c) noexcept
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

[[nodiscard]] bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) noexcept
{
    return std::ranges::equal(a, b,
                              [](char x, char y) { return foldAsciiCase(x) == foldAsciiCase(y); });
}

[[nodiscard]] std::span<const std::string_view> dreamWorldRows() noexcept
{
    const auto abilities = rowdata::rows(DataFile::Abilities);
    return abilities.first(std::min(kDreamWorldRowCount, abilities.size()));
}

} // namespace

int Catalogue::rowCount() const noexcept
{
    return static_cast<int>(m_rows.size());
}

std::string_view Catalogue::text(int row) const
{
    if (row < 0 || row >= rowCount()) {
        return {};
    }
    return m_rows[static_cast<std::size_t>(row)];
}

std::span<const std::string_view> Catalogue::rows() const noexcept
{
    return m_rows;
}

std::optional<int> Catalogue::findExact(std::string_view text) const noexcept
{
    if (text.empty()) {
        return std::nullopt;
    }
    const auto found = std::ranges::find_if(
        m_rows, [text](std::string_view row) { return equalsIgnoringAsciiCase(row, text); });
    if (found == m_rows.end()) {
        return std::nullopt;
    }
    return static_cast<int>(found - m_rows.begin());
}

const Catalogue &entryCatalogue(Range range) noexcept
{
    static const Catalogue list1{rowdata::rows(DataFile::List1)};
    static const Catalogue list2{rowdata::rows(DataFile::List2)};
    static const Catalogue alternateForms{rowdata::rows(DataFile::AlternateForms)};
    switch (range) {
    case Range::List1:
        return list1;
    case Range::List2:
        return list2;
    case Range::AlternateForms:
        return alternateForms;
    }
    return list1;
}

int recordOfRow(Range range, int row) noexcept
{
    return image::rangeInfo(range).firstRecord + row;
}

const Catalogue &valueCatalogue(ValueList list) noexcept
{
    static const Catalogue types{rowdata::rows(DataFile::Types)};
    static const Catalogue heldItems{rowdata::rows(DataFile::HeldItems)};
    static const Catalogue abilities{rowdata::rows(DataFile::Abilities)};
    static const Catalogue dreamWorldAbilities{dreamWorldRows()};
    switch (list) {
    case ValueList::Types:
        return types;
    case ValueList::HeldItems:
        return heldItems;
    case ValueList::Abilities:
        return abilities;
    case ValueList::DreamWorldAbilities:
        return dreamWorldAbilities;
    }
    return types;
}

std::optional<ValueList> valueListOf(image::Field field) noexcept
{
    using image::Field;
    switch (field) {
    case Field::ty1:
    case Field::ty2:
        return ValueList::Types;
    case Field::wh1:
    case Field::wh2:
        return ValueList::HeldItems;
    case Field::ab1:
    case Field::ab2:
        return ValueList::Abilities;
    case Field::dw:
        return ValueList::DreamWorldAbilities;
    default:
        return std::nullopt;
    }
}

} // namespace stats::catalogues
