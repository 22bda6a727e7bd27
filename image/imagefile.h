#pragma once

/// @file
/// Opening and verifying an image, loading one entry and saving one entry. Every call opens
/// the image by path, works on the few bytes it needs and closes it again on every path.

#include "image/fileapi.h"
#include "image/statstable.h"

#include <array>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

namespace stats::image {

enum class ErrorKind : std::uint8_t {
    NoFile,           ///< nothing at the path (or a folder on the way is missing)
    NotAFile,         ///< a folder, FIFO, device or socket: never opened, so nothing blocks
    CannotOpen,       ///< exists but cannot be opened (no permission, read-only mount, ...)
    CannotRead,       ///< opened, but reading failed
    NotSupported,     ///< shorter than the header or another game code than "QVZT"
    RecordMissing,    ///< the file ends before the last byte of the entry's record
    RowOutOfRange,    ///< the row is not one of the range's rows
    ValueInvalid,     ///< a field does not convert to a byte; nothing was written
    WriteFailed,      ///< a write failed; the record's old bytes were put back
    WriteFailedDirty, ///< a write failed and putting the old bytes back failed too
    FlushFailed,      ///< written, but the disk did not confirm it
    ChangedSinceLoad, ///< the record no longer holds what was loaded; nothing was written
};

struct ImageError
{
    ErrorKind kind;
    /// The system's reason (an errno value), or 0 where there is none.
    int osError = 0;
    /// For ValueInvalid: the first field that does not convert.
    std::optional<Field> field = std::nullopt;
};

/// Whether an open that failed this way means the file is not a supported image at all (as
/// opposed to one that exists but cannot be read).
[[nodiscard]] constexpr bool isRefusal(ErrorKind kind)
{
    return kind == ErrorKind::NoFile || kind == ErrorKind::NotSupported;
}

/// The system's own words for an errno value.
[[nodiscard]] std::string osReason(int osError);

/// The fifteen edited bytes of one record, in field order.
using FieldBytes = std::array<std::uint8_t, kFieldCount>;

/// What the editor holds for one field: the text of a number field, or the chosen row of a
/// choice field (none when the user typed a text of their own or nothing was loaded).
struct FieldInput
{
    std::string text;
    std::optional<int> position;
};

using EditorInput = std::array<FieldInput, kFieldCount>;

/// Checks that @p path is a readable regular file carrying the game code "QVZT"; only reads.
[[nodiscard]] std::expected<void, ImageError> verifyImage(std::string_view path,
                                                          FileApi &api = systemFileApi());

/// Reads the fifteen edited bytes of row @p row of @p range. The game code is checked again
/// in the same open, so a file replaced since it was verified is refused.
[[nodiscard]] std::expected<FieldBytes, ImageError>
loadEntry(std::string_view path, Range range, std::int16_t row, FileApi &api = systemFileApi());

/// Converts all fifteen fields and, only when every one converts, writes their bytes into
/// row @p row of @p range and flushes them to the disk. Nothing but those fifteen bytes is
/// ever written; a failed write puts back the bytes the record held before. With @p loaded,
/// the bytes the fields were loaded from, a record that holds other bytes by now (changed by
/// another window or program, or a replaced image) is refused instead of overwritten.
[[nodiscard]] std::expected<void, ImageError>
saveEntry(std::string_view path, Range range, std::int16_t row, const EditorInput &input,
          FileApi &api = systemFileApi(), std::optional<FieldBytes> loaded = std::nullopt);

/// The byte a field's input converts to by its kind's rule, or nothing.
[[nodiscard]] std::optional<std::uint8_t> convertField(const FieldInfo &field,
                                                       const FieldInput &input) noexcept;

/// All fifteen bytes, or the first field that does not convert.
[[nodiscard]] std::expected<FieldBytes, Field> convertFields(const EditorInput &input) noexcept;

} // namespace stats::image
