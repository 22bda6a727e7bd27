#pragma once

/// @file
/// Where the base-stats records lie in a "QVZT" image and how one record is laid out.

#include <array>
#include <cstdint>
#include <expected>
#include <optional>
#include <string_view>

namespace stats::image {

/// The three slices of the stats table, one per entry list of the window.
enum class Range : std::uint8_t { List1, List2, AlternateForms };

struct RangeInfo
{
    Range range;
    std::string_view name;
    int firstRecord;
    int rowCount;
    /// The range's base as a 1-based file position (byte 1 is the file's first byte).
    std::int32_t basePosition;
};

inline constexpr std::array<RangeInfo, 3> kRanges{{
    {Range::List1, "List 1", 0, 547, 110422357},
    {Range::List2, "List 2", 547, 102, 110455177},
    {Range::AlternateForms, "Alternate forms", 649, 18, 110461297},
}};

[[nodiscard]] constexpr const RangeInfo &rangeInfo(Range range)
{
    return kRanges[static_cast<std::size_t>(range)];
}

inline constexpr std::int64_t kTableOffset = 0x694E954;
inline constexpr int kRecordSize = 60;
inline constexpr int kRecordCount = 667;
/// The first file offset after the last record the editor reaches.
inline constexpr std::int64_t kTableEnd = kTableOffset + std::int64_t{kRecordSize} * kRecordCount;

/// The game code every supported image carries at header bytes 12 to 15.
inline constexpr std::string_view kGameCode = "QVZT";
inline constexpr std::int64_t kGameCodeOffset = 12;

/// The editor reads record bytes 0 to 26 and writes fifteen of them; nothing past 26.
inline constexpr int kRecordSpan = 27;

enum class FieldKind : std::uint8_t { Number, Choice };

/// The lists whose rows name a choice field's bytes: row p of a list stands for byte p.
enum class ValueList : std::uint8_t { Types, HeldItems, Abilities, DreamWorldAbilities };
inline constexpr std::size_t kValueListCount = 4;

/// The fifteen edited fields, in the order loading and saving visit them (rising offset).
enum class Field : std::uint8_t {
    hp,
    atk,
    def,
    spd,
    spatk,
    spdef,
    ty1,
    ty2,
    cr,
    wh1,
    wh2,
    gr,
    ab1,
    ab2,
    dw
};

/// Everything the programs know of one field; every other table of fields refers to this one.
struct FieldInfo
{
    Field field;
    /// The name of its control in the window and of its column in a table file.
    std::string_view name;
    /// Its byte in the record.
    std::uint8_t offset;
    /// The list whose rows name its bytes; none for a number field.
    std::optional<ValueList> list;

    [[nodiscard]] constexpr FieldKind kind() const
    {
        return list ? FieldKind::Choice : FieldKind::Number;
    }
};

inline constexpr int kFieldCount = 15;

inline constexpr std::array<FieldInfo, kFieldCount> kFields{{
    {Field::hp, "hp", 0, std::nullopt},
    {Field::atk, "atk", 1, std::nullopt},
    {Field::def, "def", 2, std::nullopt},
    {Field::spd, "spd", 3, std::nullopt},
    {Field::spatk, "spatk", 4, std::nullopt},
    {Field::spdef, "spdef", 5, std::nullopt},
    {Field::ty1, "ty1", 6, ValueList::Types},
    {Field::ty2, "ty2", 7, ValueList::Types},
    {Field::cr, "cr", 8, std::nullopt},
    {Field::wh1, "wh1", 12, ValueList::HeldItems},
    {Field::wh2, "wh2", 14, ValueList::HeldItems},
    {Field::gr, "gr", 18, std::nullopt},
    {Field::ab1, "ab1", 24, ValueList::Abilities},
    {Field::ab2, "ab2", 25, ValueList::Abilities},
    {Field::dw, "dw", 26, ValueList::DreamWorldAbilities},
}};

// Code indexes the table by a field's enumerator.
static_assert([] {
    for (std::size_t i = 0; i < kFields.size(); ++i) {
        if (static_cast<std::size_t>(kFields[i].field) != i) {
            return false;
        }
    }
    return true;
}());

[[nodiscard]] constexpr const FieldInfo &fieldInfo(Field field)
{
    return kFields[static_cast<std::size_t>(field)];
}

enum class LayoutError : std::uint8_t {
    ProductOverflow,  ///< row times 60 does not fit a signed 16-bit integer
    PositionOverflow, ///< base plus row and field offset does not fit a signed 32-bit integer
};

/// The file offset of byte @p fieldOffset of row @p row in @p range, computed as the table's
/// rule has it: row * 60 in signed 16-bit arithmetic, then the 1-based base and the field
/// offset added with overflow checks, then minus one.
[[nodiscard]] std::expected<std::int64_t, LayoutError> fieldPosition(Range range, std::int16_t row,
                                                                     int fieldOffset);

/// The offset of the record's first byte, by the same rule.
[[nodiscard]] inline std::expected<std::int64_t, LayoutError> recordPosition(Range range,
                                                                             std::int16_t row)
{
    return fieldPosition(range, row, 0);
}

/// Whether @p row is one of @p range's rows; a save refuses any other row.
[[nodiscard]] constexpr bool isRowInRange(Range range, int row)
{
    return row >= 0 && row < rangeInfo(range).rowCount;
}

} // namespace stats::image
