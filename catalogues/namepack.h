#pragma once

/// @file
/// Name packs: a folder with any of the six catalogue data files, for a version of the game
/// whose entries, items, abilities or types are named otherwise. Each file present replaces
/// its list whole.

#include "catalogues/catalogues.h"
#include "catalogues/files/cataloguefiles.h"
#include "catalogues/files/datafile.h"
#include "platform/path.h"

#include <expected>
#include <optional>
#include <string>
#include <vector>

namespace stats::catalogues {

/// The environment that says where the XDG data folders are. On Windows, dataHome holds
/// %APPDATA% and the other two are unused.
struct DataFolders
{
    std::string dataHome; ///< $XDG_DATA_HOME
    std::string home;     ///< $HOME
    std::string dataDirs; ///< $XDG_DATA_DIRS

    [[nodiscard]] static DataFolders fromEnvironment();
};

/// The folders a name pack is looked for in, first one first: stats-editor/names in
/// $XDG_DATA_HOME (or ~/.local/share), then in each of $XDG_DATA_DIRS (or /usr/local/share and
/// /usr/share). Relative folders are ignored, as the XDG rules ask. On Windows, only
/// stats-editor\names in %APPDATA%.
[[nodiscard]] std::vector<platform::Path> namePackFolders(const DataFolders &folders);

/// The faults of a refused pack that are kept in full; enough to see what is wrong.
inline constexpr std::size_t kPackFaultsKept = 100;

/// The list of @p names that data file @p file fills.
[[nodiscard]] const Catalogue &listOfFile(const CatalogueSet &names, const CatalogueFile &file);

/// The set of names that the pack in @p folder gives: every data file in it replaces its
/// list of @p base. A pack that breaks a rule of every set is refused whole, with every fault
/// by file and line (the first kPackFaultsKept of them, and the count); so is a folder that
/// holds none of the six files. No file larger than its longest list is read.
[[nodiscard]] std::expected<CatalogueSet, FaultLog> loadNamePack(const platform::Path &folder,
                                                                 const CatalogueSet &base);

struct NamesInUse
{
    CatalogueSet names;
    /// The pack the names come from; none for the built-in names.
    std::optional<platform::Path> pack;
};

/// The names a program uses: those of the pack @p given on its command line, else of the
/// first pack in namePackFolders(), else the built-in names. Where no pack folder exists,
/// nothing is read.
[[nodiscard]] std::expected<NamesInUse, FaultLog>
chooseNames(const std::optional<platform::Path> &given, const DataFolders &folders);

} // namespace stats::catalogues
