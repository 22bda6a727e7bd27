#pragma once

// The rules that describe the catalogue texts we ship, beyond those any set of names obeys.

#include "catalogues/files/cataloguefiles.h"

#include <array>

namespace stats::tools {

using catalogues::CatalogueFile;
using catalogues::CatalogueFileId;
using catalogues::DataFile;
using catalogues::Diagnostic;
using catalogues::Diagnostics;
using catalogues::kCatalogueFiles;

/// The rows of all six data files, indexed like kCatalogueFiles.
struct CatalogueData
{
    std::array<DataFile, kCatalogueFiles.size()> files;

    [[nodiscard]] const DataFile &file(CatalogueFileId id) const
    {
        return files[static_cast<std::size_t>(id)];
    }
};

/// Every breach of a rule of the shipped texts, in file order; empty when all data is sound.
/// The value lists have exactly their built-in rows, every file has LF line ends, the last
/// one too, and each list keeps its fixed rows, characters and letter case.
[[nodiscard]] Diagnostics checkShippedTexts(const CatalogueData &data);

} // namespace stats::tools
