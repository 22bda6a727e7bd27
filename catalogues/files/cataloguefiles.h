#pragma once

/// @file
/// The six catalogue data files and the rules that any set of them obeys: the names we ship
/// and the name packs users bring alike. Rules that describe only the texts we ship are the
/// catalogue compiler's own.

#include "catalogues/files/datafile.h"
#include "image/statstable.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace stats::catalogues {

enum class CatalogueFileId : std::uint8_t {
    List1,
    List2,
    AlternateForms,
    Types,
    HeldItems,
    Abilities
};

/// One data file: the entry list or value list it fills.
struct CatalogueFile
{
    CatalogueFileId id;
    std::string_view fileName;
    std::optional<image::Range> entries;
    std::optional<image::ValueList> values;
    /// The rows of the list we ship. An entry list always has exactly this many, one per
    /// record of its range.
    int builtInRows;
};

inline constexpr std::array<CatalogueFile, 6> kCatalogueFiles{{
    {CatalogueFileId::List1, "list1.txt", image::Range::List1, std::nullopt,
     image::rangeInfo(image::Range::List1).rowCount},
    {CatalogueFileId::List2, "list2.txt", image::Range::List2, std::nullopt,
     image::rangeInfo(image::Range::List2).rowCount},
    {CatalogueFileId::AlternateForms, "alternate-forms.txt", image::Range::AlternateForms,
     std::nullopt, image::rangeInfo(image::Range::AlternateForms).rowCount},
    {CatalogueFileId::Types, "types.txt", std::nullopt, image::ValueList::Types, 17},
    {CatalogueFileId::HeldItems, "held-items.txt", std::nullopt, image::ValueList::HeldItems, 627},
    {CatalogueFileId::Abilities, "abilities.txt", std::nullopt, image::ValueList::Abilities, 165},
}};

static_assert([] {
    for (std::size_t i = 0; i < kCatalogueFiles.size(); ++i) {
        if (static_cast<std::size_t>(kCatalogueFiles[i].id) != i ||
            kCatalogueFiles[i].entries.has_value() == kCatalogueFiles[i].values.has_value()) {
            return false;
        }
    }
    return true;
}());

[[nodiscard]] constexpr const CatalogueFile &catalogueFile(CatalogueFileId id)
{
    return kCatalogueFiles[static_cast<std::size_t>(id)];
}

/// The longest text a row may hold, in characters.
inline constexpr int kLongestText = 64;

/// The fewest and the most rows @p file may have: an entry list exactly its range's rows; a
/// value list at least one (the ability list two, since the Dream World list is the ability
/// list less its last row) and at most 256 or its built-in count, whichever is larger.
[[nodiscard]] constexpr std::pair<int, int> rowLimits(const CatalogueFile &file)
{
    if (file.entries) {
        return {file.builtInRows, file.builtInRows};
    }
    const int fewest = file.values == image::ValueList::Abilities ? 2 : 1;
    return {fewest, file.builtInRows > 256 ? file.builtInRows : 256};
}

/// The most bytes a data file of @p file can need: its most rows, each of kLongestText
/// characters of four bytes and a CRLF, after a byte order mark. A larger file is no list.
[[nodiscard]] constexpr std::int64_t largestFileSize(const CatalogueFile &file)
{
    return 3 + std::int64_t{rowLimits(file).second} * (kLongestText * 4 + 2);
}

/// The characters no name may hold, as a terminal would act on them or show them as nothing
/// or as a plain space: control characters (C0 and C1, which move the cursor or change
/// colours), direction marks, overrides and isolates, which reorder the text after them,
/// invisible and no-break blanks and the byte order mark. Every output of names to a
/// terminal shows them escaped.
[[nodiscard]] constexpr bool isRefusedInNames(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0xA0) || c == 0xAD || (c >= 0x200B && c <= 0x200F) ||
           (c >= 0x2028 && c <= 0x202F) || (c >= 0x2060 && c <= 0x206F) || c == 0xFEFF;
}

/// Adds to @p out every breach of the rules that any set obeys, in line order: a row count
/// within rowLimits(), no text longer than kLongestText characters, none of the characters
/// isRefusedInNames() gives, no blank at either end but the one that ends each held item.
/// (Rows that are not UTF-8 or are empty are reported while reading.)
void checkStructure(const CatalogueFile &file, const DataFile &data, FaultLog &out);

} // namespace stats::catalogues
