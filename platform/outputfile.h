#pragma once

/// @file
/// A file the user names, replaced whole: the new text goes into a temporary file beside it,
/// which is flushed, checked and only then put in its place, so that a failed write leaves
/// the old file as it was and a reader never sees half of the new one. The same policy on
/// every system, over the calls of the file seam.

#include "platform/fileapi.h"

#include <expected>
#include <optional>
#include <string_view>

namespace stats::platform {

/// What the name of every temporary file starts with, in its target's folder.
inline constexpr std::string_view kTemporaryPrefix = ".stats-table.";

/// Where a replacement stopped.
enum class OutputStage : std::uint8_t {
    Look,          ///< the target, or the file a link leads to, could not be looked at
    MakeTemporary, ///< no new file could be made in the folder
    Write,         ///< writing, flushing or closing the temporary file failed
    Replaced,      ///< the target is gone, or is no longer the file that was looked at
    PutInPlace,    ///< the temporary file could not take the target's name
};

struct OutputFailure
{
    OutputStage stage = OutputStage::Write;
    SystemError error;
};

/// Writes @p bytes to @p target through a temporary file. @p existing is what was at the
/// target when the caller looked: that very file is replaced, keeping its permissions, and
/// nothing else; a link stays a link, the file it leads to being replaced. Without it, a file
/// that appears there meanwhile is left alone. No temporary file is left on any path out, nor
/// after an interrupt.
[[nodiscard]] std::expected<void, OutputFailure>
replaceWhole(FileApi &files, const Path &target, std::string_view bytes,
             const std::optional<FileStatus> &existing);

/// Removes from @p folder the temporary files of programs that were killed before they could
/// remove their own; one that a running program holds, or that was written in the last
/// minute, is left alone.
void removeAbandonedTemporaries(FileApi &files, const Path &folder);

} // namespace stats::platform
