#pragma once

/// @file
/// The names stats-table uses, and its names command, which writes them out as a name pack to
/// start from.

#include "catalogues/namepack.h"
#include "table/tabletool.h"

#include <optional>
#include <string>

namespace stats::table {

/// The names to use: those of @p pack, else of the first pack in the XDG data folders, else
/// the built-in names. A pack that is refused gets every fault on @p streams.err, "file:line:
/// rule" (the first hundred and a count of the rest), and nothing is returned.
[[nodiscard]] std::optional<catalogues::NamesInUse>
namesForTool(const std::optional<std::string> &pack, Streams streams);

/// The names in use, in words: "the built-in names" or "the names of the pack DIR".
[[nodiscard]] std::string namesInUseText(const catalogues::NamesInUse &names);

/// Writes @p names into @p folder as the six data files of a name pack, one row per line, LF
/// after each, creating the folder if need be. Never overwrites: if any of the six exists,
/// nothing is written. Says on @p streams.out what it wrote; the exit status.
[[nodiscard]] int writeNamePack(const std::string &folder, const catalogues::NamesInUse &names,
                                Streams streams, platform::FileApi &files);

} // namespace stats::table
