#pragma once

/// @file
/// Opening and verifying an image, loading one entry or the whole table, and saving one entry
/// or many at once. Every call opens the image by path, works on the few bytes it needs and
/// closes it again on every path.

#include "image/statstable.h"
#include "platform/fileapi.h"

#include <array>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace stats::image {

// The file seam's names, as the core's interface and its callers use them.
using platform::Access;
using platform::Fault;
using platform::FileApi;
using platform::FileHandle;
using platform::FileIdentity;
using platform::FileStatus;
using platform::FileType;
using platform::kNoFile;
using platform::LockKind;
using platform::NativeFile;
using platform::OsError;
using platform::osReason;
using platform::SaveStep;
using platform::SystemError;
using platform::systemFileApi;
using platform::SystemResult;

enum class ErrorKind : std::uint8_t {
    NoFile,           ///< nothing at the path (or a folder on the way is missing)
    NotAFile,         ///< a folder, FIFO, device or socket: never opened, so nothing blocks
    CannotOpen,       ///< exists but cannot be opened (no permission, read-only mount, ...)
    CannotRead,       ///< opened, but reading failed
    NotSupported,     ///< shorter than the header or another game code than "QVZT"
    RecordMissing,    ///< the file ends before the last byte of the entry's record
    RowOutOfRange,    ///< the row is not one of the range's rows
    WriteFailed,      ///< a write failed; the record's old bytes were put back
    WriteFailedDirty, ///< a write failed and putting the old bytes back failed too
    FlushFailed,      ///< written, but the disk did not confirm it
    ChangedSinceLoad, ///< the record no longer holds what was loaded; nothing was written
    Busy,             ///< another program is writing this image; nothing was written
    Replaced,         ///< the path leads to another file than the one opened (moved, deleted or
                      ///< replaced while the save ran); nothing was written
    LengthChanged,    ///< another program cut or extended the file while the entries were
                      ///< written; see oldLength and newLength
    NotAsWritten,     ///< the writes were made, but the records did not read back as written
                      ///< (another program changed them meanwhile), or could not be read back
                      ///< at all (osError says why): what the image holds is not what was saved
};

/// What the fifteen field bytes of a record read back as after a save's writes.
enum class FieldsFound : std::uint8_t {
    New,   ///< the bytes the save wrote
    Old,   ///< the bytes the record held before the writes
    Other, ///< neither
};

/// What a record that did not read back as written holds now.
struct RecordFound
{
    FieldsFound fields = FieldsFound::Other;
    /// The record's other bytes, which a save never writes, differ from before the writes.
    bool restChanged = false;
};

struct ImageError
{
    ErrorKind kind;
    /// The system's reason (see osReason), or 0 where there is none.
    OsError osError = 0;
    /// LengthChanged: the file's length in bytes at the last check before the writes, and
    /// after them.
    std::int64_t oldLength = 0;
    std::int64_t newLength = 0;
    /// NotAsWritten by the save of one entry that could read the record back: what it holds.
    std::optional<RecordFound> found = std::nullopt;
};

/// Whether an open that failed this way refuses the file as no supported image, which ends
/// the editor, as opposed to a file that is not there or cannot be read, which the user is
/// told about and may choose again. The one rule for both programs' open.
[[nodiscard]] constexpr bool isRefusal(ErrorKind kind)
{
    return kind == ErrorKind::NotSupported;
}

/// What the records a save was to write hold after it failed: their old bytes, the new ones
/// (written, but not confirmed by the disk), or bytes no one can tell.
enum class HeldAfterFailure : std::uint8_t { OldBytes, NewBytes, Unknown };

/// What a save that failed as @p kind left in the records. The one answer for the editor's
/// session and messages and the table tool's report.
[[nodiscard]] constexpr HeldAfterFailure heldAfterFailure(ErrorKind kind)
{
    switch (kind) {
    case ErrorKind::FlushFailed:
        return HeldAfterFailure::NewBytes;
    case ErrorKind::WriteFailedDirty:
    case ErrorKind::LengthChanged:
    case ErrorKind::NotAsWritten:
        return HeldAfterFailure::Unknown;
    case ErrorKind::NoFile:
    case ErrorKind::NotAFile:
    case ErrorKind::CannotOpen:
    case ErrorKind::CannotRead:
    case ErrorKind::NotSupported:
    case ErrorKind::RecordMissing:
    case ErrorKind::RowOutOfRange:
    case ErrorKind::WriteFailed:
    case ErrorKind::ChangedSinceLoad:
    case ErrorKind::Busy:
    case ErrorKind::Replaced:
        break;
    }
    return HeldAfterFailure::OldBytes;
}

/// The fifteen edited bytes of one record, in field order.
using FieldBytes = std::array<std::uint8_t, kFieldCount>;

/// Checks that @p path is a readable regular file carrying the game code "QVZT"; only reads.
/// Waits as loadTable does for another writer of ours.
[[nodiscard]] std::expected<void, ImageError> verifyImage(std::string_view path,
                                                          FileApi &api = systemFileApi());

/// Reads the fifteen edited bytes of row @p row of @p range. The game code is checked again
/// in the same open, so a file replaced since it was verified is refused. Like loadTable, the
/// read waits a short while for another writer of ours, then fails with Busy.
[[nodiscard]] std::expected<FieldBytes, ImageError>
loadEntry(std::string_view path, Range range, std::int16_t row, FileApi &api = systemFileApi());

/// Writes @p bytes into row @p row of @p range and flushes them to the disk. Nothing but
/// those fifteen bytes is ever written; a failed write puts back the bytes the record held
/// before. With @p loaded, the bytes the fields were loaded from, a record that holds other
/// bytes by now (changed by another window or program, or a replaced image) is refused instead
/// of overwritten.
[[nodiscard]] std::expected<void, ImageError>
saveEntry(std::string_view path, Range range, std::int16_t row, const FieldBytes &bytes,
          FileApi &api = systemFileApi(), std::optional<FieldBytes> loaded = std::nullopt);

/// The fifteen edited bytes of every record of the table, record 0 first (kRecordCount).
using TableBytes = std::vector<FieldBytes>;

struct TableRead
{
    TableBytes entries;
    FileIdentity file;
};

/// Reads the fifteen edited bytes of all kRecordCount records in one read of the table. The
/// game code is checked in the same open; an image that ends before kTableEnd is refused
/// (RecordMissing). The read waits a short while for another writer of ours (saveEntries),
/// then fails with Busy, so a table is never read half before and half after a save.
[[nodiscard]] std::expected<TableRead, ImageError> loadTable(std::string_view path,
                                                             FileApi &api = systemFileApi());

/// One entry of a batch save: the bytes to write into row @p row of @p range and, if given,
/// the bytes the record must hold until then.
struct EntryUpdate
{
    Range range;
    std::int16_t row;
    FieldBytes bytes;
    std::optional<FieldBytes> expected = std::nullopt;
};

struct SaveError
{
    ImageError error;
    /// Positions in the batch. ChangedSinceLoad: the entries whose records no longer hold
    /// their expected bytes. WriteFailedDirty: the entries that may be half-written, holding
    /// neither their old bytes nor their new ones as far as reading them back can tell.
    std::vector<std::size_t> entries = {};
    /// WriteFailedDirty: the entries that hold their new bytes, whole, as they could not be
    /// put back. LengthChanged: the entries that were written whole; `entries` then holds
    /// those that were written into, then put back as far as the file still held them.
    /// NotAsWritten: `written` holds the entries that read back as written, `entries` the
    /// others (every entry when the file could not be read back).
    std::vector<std::size_t> written = {};
    /// NotAsWritten: what each entry of `entries` holds now, in the same order; empty when
    /// the file could not be read back.
    std::vector<RecordFound> found = {};
};

/// Writes every entry of @p updates in one open, all or nothing: the image is locked against
/// the other writers of our programs (a save waits a short while for one, then fails with
/// Busy), the game code is checked again, the old bytes of every entry are read, and only
/// when every record still holds its expected bytes, the path still leads to the open file
/// and that file still holds every record, are the fifteen field bytes of each entry written
/// (and no other byte), then flushed once. A failed write puts back every entry written so
/// far and flushes that; a file is never created, extended or truncated by the save itself.
/// A program that cuts the file while the entries are written can see it made as long as
/// the entry being written again, as no system call keeps a write from extending a file: the
/// file's length is compared after the writes, and a change fails with LengthChanged. Every
/// record written is then read back whole: its field bytes must be those written and its
/// other bytes those it held before, or the save fails with NotAsWritten, as it does when the
/// file's state after the writes cannot be learnt at all. Success means the file was seen to
/// hold what was saved.
[[nodiscard]] std::expected<void, SaveError> saveEntries(std::string_view path,
                                                         std::span<const EntryUpdate> updates,
                                                         FileApi &api = systemFileApi());

} // namespace stats::image
