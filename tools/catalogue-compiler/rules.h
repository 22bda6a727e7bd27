#pragma once

// The catalogue data files and the content rules their rows obey.

#include "tools/catalogue-compiler/datafile.h"

#include "image/statstable.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace stats::tools {

enum class CatalogueId : std::uint8_t { List1, List2, AlternateForms, Types, HeldItems, Abilities };

struct CatalogueFile
{
    CatalogueId id;
    std::string_view fileName;
    /// The enumerator of stats::catalogues::rowdata::DataFile that the generated source serves.
    std::string_view enumerator;
    std::string_view arrayName;
    int rowCount;
};

inline constexpr std::array<CatalogueFile, 6> kCatalogueFiles{{
    {CatalogueId::List1, "list1.txt", "List1", "kList1",
     image::rangeInfo(image::Range::List1).rowCount},
    {CatalogueId::List2, "list2.txt", "List2", "kList2",
     image::rangeInfo(image::Range::List2).rowCount},
    {CatalogueId::AlternateForms, "alternate-forms.txt", "AlternateForms", "kAlternateForms",
     image::rangeInfo(image::Range::AlternateForms).rowCount},
    {CatalogueId::Types, "types.txt", "Types", "kTypes", 17},
    {CatalogueId::HeldItems, "held-items.txt", "HeldItems", "kHeldItems", 627},
    {CatalogueId::Abilities, "abilities.txt", "Abilities", "kAbilities", 165},
}};

[[nodiscard]] constexpr const CatalogueFile &catalogueFile(CatalogueId id)
{
    return kCatalogueFiles[static_cast<std::size_t>(id)];
}

/// The rows of all six data files, indexed like kCatalogueFiles.
struct CatalogueData
{
    std::array<DataFile, kCatalogueFiles.size()> files;

    [[nodiscard]] const DataFile &file(CatalogueId id) const
    {
        return files[static_cast<std::size_t>(id)];
    }
};

/// Every breach of a content rule, in file order; empty when all data is sound.
[[nodiscard]] Diagnostics checkCatalogues(const CatalogueData &data);

} // namespace stats::tools
