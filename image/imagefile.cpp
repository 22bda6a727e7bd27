#include "imagefile.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <numeric>
#include <span>
#include <utility>

namespace stats::image {

namespace {

// The header must reach past the game code; anything shorter is no image.
constexpr std::int64_t kHeaderMinimum = kGameCodeOffset + 4;

std::unexpected<ImageError> failure(ErrorKind kind, OsError osError = 0)
{
    return std::unexpected(ImageError{kind, osError});
}

std::unexpected<ImageError> failure(ErrorKind kind, const SystemError &error)
{
    return failure(kind, error.code);
}

struct OpenImage
{
    FileHandle handle;
    std::int64_t size;
    FileIdentity identity;
};

// Why a read stopped before it had all its bytes: the file ended, or the system failed.
struct ShortRead
{
    std::optional<SystemError> error;
};

// Reads exactly buffer.size() bytes at offset, going on after short reads.
std::expected<void, ShortRead> readFully(const FileHandle &file, std::span<std::uint8_t> buffer,
                                         std::int64_t offset)
{
    std::size_t done = 0;
    while (done < buffer.size()) {
        const auto got = file.api().read(file.file(), buffer.data() + done, buffer.size() - done,
                                         offset + static_cast<std::int64_t>(done));
        if (!got) {
            return std::unexpected(ShortRead{got.error()});
        }
        if (*got == 0) {
            return std::unexpected(ShortRead{});
        }
        done += *got;
    }
    return {};
}

// Opens a regular file without ever waiting on it: a FIFO or device is refused by its type
// before any open, and the open itself never waits on one swapped in between the two steps.
std::expected<OpenImage, ImageError> openRegularFile(std::string_view path, Access access,
                                                     FileApi &api)
{
    const std::string name(path);
    const auto named = api.status(name);
    if (!named) {
        return failure(named.error().fault == Fault::NotFound ? ErrorKind::NoFile
                                                              : ErrorKind::CannotOpen,
                       named.error());
    }
    if (named->type != FileType::Regular) {
        return failure(ErrorKind::NotAFile);
    }
    const auto opened = api.open(name, access);
    if (!opened) {
        return failure(opened.error().fault == Fault::NotFound ? ErrorKind::NoFile
                                                               : ErrorKind::CannotOpen,
                       opened.error());
    }
    FileHandle handle(api, *opened);
    const auto info = api.status(*opened);
    if (!info) {
        return failure(ErrorKind::CannotRead, info.error());
    }
    if (info->type != FileType::Regular) {
        return failure(ErrorKind::NotAFile);
    }
    return OpenImage{std::move(handle), info->size, info->identity};
}

std::expected<void, ImageError> checkGameCode(const OpenImage &image)
{
    if (image.size < kHeaderMinimum) {
        return failure(ErrorKind::NotSupported);
    }
    std::array<std::uint8_t, 4> code{};
    if (auto read = readFully(image.handle, code, kGameCodeOffset); !read) {
        return read.error().error ? failure(ErrorKind::CannotRead, *read.error().error)
                                  : failure(ErrorKind::NotSupported);
    }
    if (std::memcmp(code.data(), kGameCode.data(), code.size()) != 0) {
        return failure(ErrorKind::NotSupported);
    }
    return {};
}

std::expected<OpenImage, ImageError> openImage(std::string_view path, Access access, FileApi &api)
{
    auto image = openRegularFile(path, access, api);
    if (!image) {
        return std::unexpected(image.error());
    }
    if (auto code = checkGameCode(*image); !code) {
        return std::unexpected(code.error());
    }
    return image;
}

// The first byte of the row's record, refusing any row the range does not have.
std::expected<std::int64_t, ImageError> recordStart(Range range, std::int16_t row)
{
    if (!isRowInRange(range, row)) {
        return failure(ErrorKind::RowOutOfRange);
    }
    const auto start = recordPosition(range, row);
    if (!start) {
        return failure(ErrorKind::RowOutOfRange);
    }
    return *start;
}

// Fills `buffer` from `start` in one read, refusing a file that ends before its last byte.
std::expected<void, ImageError> readBytesAt(const OpenImage &image, std::int64_t start,
                                            std::span<std::uint8_t> buffer)
{
    if (image.size < start + static_cast<std::int64_t>(buffer.size())) {
        return failure(ErrorKind::RecordMissing);
    }
    if (auto read = readFully(image.handle, buffer, start); !read) {
        return read.error().error ? failure(ErrorKind::CannotRead, *read.error().error)
                                  : failure(ErrorKind::RecordMissing);
    }
    return {};
}

// The three ranges are consecutive slices of one table, so record r of the table is row
// r - firstRecord of its range and a read of the whole table serves every range.
static_assert([] {
    for (const RangeInfo &info : kRanges) {
        if (info.basePosition - 1 != kTableOffset + std::int64_t{kRecordSize} * info.firstRecord) {
            return false;
        }
    }
    return kRanges.back().firstRecord + kRanges.back().rowCount == kRecordCount;
}());

// The fields as runs of adjacent record bytes, so a save makes one write per run.
struct FieldRun
{
    int firstField;
    int fieldCount;
};

constexpr auto kFieldRuns = [] {
    std::array<FieldRun, kFieldCount> runs{};
    int count = 0;
    for (int i = 0; i < kFieldCount; ++i) {
        const bool continues = i > 0 && kFields[static_cast<std::size_t>(i)].offset ==
                                            kFields[static_cast<std::size_t>(i - 1)].offset + 1;
        if (continues) {
            ++runs[static_cast<std::size_t>(count - 1)].fieldCount;
        } else {
            runs[static_cast<std::size_t>(count++)] = {i, 1};
        }
    }
    return std::pair{runs, count};
}();

// Writes the run-ordered bytes of `bytes` (field order) into the record at `start`.
SystemResult<void> writeFieldBytes(const FileHandle &file, std::int64_t start,
                                   const FieldBytes &bytes, std::size_t entry)
{
    const auto &[runs, count] = kFieldRuns;
    for (int r = 0; r < count; ++r) {
        if (r > 0) {
            file.api().reached(SaveStep::BetweenWrites, entry);
        }
        const FieldRun run = runs[static_cast<std::size_t>(r)];
        const auto span = std::span<const std::uint8_t>(bytes).subspan(
            static_cast<std::size_t>(run.firstField), static_cast<std::size_t>(run.fieldCount));
        const int offset = kFields[static_cast<std::size_t>(run.firstField)].offset;
        if (auto written = platform::writeAll(file.api(), file.file(), span, start + offset);
            !written) {
            return written;
        }
    }
    return {};
}

constexpr auto kFieldOffsets = [] {
    std::array<std::uint8_t, kFieldCount> offsets{};
    for (std::size_t i = 0; i < kFields.size(); ++i) {
        offsets[i] = kFields[i].offset;
    }
    return offsets;
}();

// Copies the fifteen field bytes of the record whose first kRecordSpan bytes are `record`,
// straight to their place: a copy through a temporary, stored byte by byte and read back in
// words, stalls the processor on every record of a table. The copies are spelt out field by
// field, as a loop over the offsets costs a table read several times over.
template <std::size_t... I>
void copyFieldBytes(std::span<const std::uint8_t> record, FieldBytes &bytes,
                    std::index_sequence<I...> /*fields*/)
{
    ((bytes[I] = record[kFieldOffsets[I]]), ...);
}

void copyFieldBytes(std::span<const std::uint8_t> record, FieldBytes &bytes)
{
    copyFieldBytes(record, bytes, std::make_index_sequence<kFieldCount>());
}

// How long a save waits for another writer of ours to finish with the same image. A save
// of the whole table takes milliseconds, so a lock held longer is a program that is stuck
// or a person who is not done yet.
constexpr auto kLockWait = std::chrono::seconds(2);

// Takes the lock that our programs hold on an image: an exclusive one from the check of its
// records to the last write, and a shared one while the whole table is read, so that a table
// is never read half before and half after another program's import. A file system that has
// no such locks is used unlocked, as before: the check of the records still catches a writer
// that changed them.
std::expected<void, ImageError> lockImage(const FileHandle &file, LockKind kind)
{
    const auto locked = platform::lockWaiting(file.api(), file.file(), kind, kLockWait);
    if (!locked && locked.error().fault == Fault::LockHeld) {
        return failure(ErrorKind::Busy, locked.error());
    }
    return {};
}

// The open file still holds every byte up to `end`: a write there cannot make it longer.
std::expected<void, ImageError> fileReaches(const FileHandle &file, std::int64_t end)
{
    const auto info = file.api().status(file.file());
    if (!info) {
        return failure(ErrorKind::CannotRead, info.error());
    }
    if (info->size < end) {
        return failure(ErrorKind::RecordMissing);
    }
    return {};
}

// Right before the writes: the path must still lead to the open file (not moved away, or
// replaced by a rename), so that no write lands in a file the user no longer sees. Whether
// the file still reaches each entry is checked entry by entry. The file's length then.
std::expected<std::int64_t, ImageError> checkStillAtPath(const OpenImage &image,
                                                         std::string_view path)
{
    const auto named = image.handle.api().status(std::string(path));
    if (!named) {
        return failure(named.error().fault == Fault::NotFound ? ErrorKind::Replaced
                                                              : ErrorKind::CannotRead,
                       named.error());
    }
    if (named->identity != image.identity) {
        return failure(ErrorKind::Replaced);
    }
    return named->size;
}

// A program that cuts the file while an entry is written sees the next write make it as long
// as that entry again, with a hole before it: no system call keeps a write from extending a
// file. So the length after the writes must be the length at the check, or the save says
// that the file changed under it rather than report success.
std::expected<void, ImageError> sameLength(const FileHandle &file, std::int64_t length)
{
    const auto info = file.api().status(file.file());
    if (!info) {
        return failure(ErrorKind::CannotRead, info.error());
    }
    if (info->size != length) {
        return std::unexpected(ImageError{ErrorKind::LengthChanged, 0, length, info->size});
    }
    return {};
}

SystemResult<void> flush(const FileHandle &file)
{
    return file.api().flush(file.file());
}

// The file's state after the writes could not be learnt: no entry is known to hold anything.
SaveError unknownAfterWrites(OsError osError, std::size_t entryCount)
{
    SaveError unknown{{ErrorKind::NotAsWritten, osError}};
    unknown.entries.resize(entryCount);
    std::iota(unknown.entries.begin(), unknown.entries.end(), std::size_t{0});
    return unknown;
}

// The bytes read before the writes, from `first` to the end of the last entry's record.
struct SavedSpan
{
    std::int64_t first;
    std::span<const std::uint8_t> before;
};

// What a record read back as, against the record before the writes and the fields written.
std::optional<RecordFound> compareRecord(std::span<const std::uint8_t> now,
                                         std::span<const std::uint8_t> before,
                                         const FieldBytes &written)
{
    FieldBytes fields{};
    FieldBytes oldFields{};
    copyFieldBytes(now, fields);
    copyFieldBytes(before, oldFields);
    bool restChanged = false;
    for (std::size_t b = 0, f = 0; b < now.size(); ++b) {
        if (f < kFieldOffsets.size() && kFieldOffsets[f] == b) {
            ++f;
        } else {
            restChanged = restChanged || now[b] != before[b];
        }
    }
    if (fields == written && !restChanged) {
        return std::nullopt;
    }
    const FieldsFound found = fields == written     ? FieldsFound::New
                              : fields == oldFields ? FieldsFound::Old
                                                    : FieldsFound::Other;
    return RecordFound{found, restChanged};
}

// Reads every record written back whole, in one read as before the writes: a program that
// rewrote, cut and regrew, or otherwise changed the file while the entries were written,
// shows here, and the save fails rather than report what it cannot see.
std::expected<void, SaveError> readBack(const OpenImage &image, SavedSpan saved,
                                        std::span<const std::int64_t> starts,
                                        std::span<const EntryUpdate> updates)
{
    std::vector<std::uint8_t> now(saved.before.size());
    if (auto read = readFully(image.handle, now, saved.first); !read) {
        return std::unexpected(
            unknownAfterWrites(read.error().error ? read.error().error->code : 0, updates.size()));
    }
    // A record that a batch writes twice holds what its last update wrote.
    std::vector<std::size_t> order(updates.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::ranges::stable_sort(order, {}, [&](std::size_t i) { return starts[i]; });
    std::vector<std::size_t> last(updates.size());
    for (std::size_t k = order.size(); k-- > 0;) {
        const bool lastOfRecord = k + 1 == order.size() || starts[order[k + 1]] != starts[order[k]];
        last[order[k]] = lastOfRecord ? order[k] : last[order[k + 1]];
    }
    SaveError differs{{ErrorKind::NotAsWritten}};
    for (std::size_t i = 0; i < updates.size(); ++i) {
        const auto at = static_cast<std::size_t>(starts[i] - saved.first);
        const std::size_t length = std::min<std::size_t>(kRecordSize, now.size() - at);
        const auto found = compareRecord(std::span(now).subspan(at, length),
                                         saved.before.subspan(at, length), updates[last[i]].bytes);
        if (found) {
            differs.entries.push_back(i);
            differs.found.push_back(*found);
        } else {
            differs.written.push_back(i);
        }
    }
    if (differs.entries.empty()) {
        return {};
    }
    return std::unexpected(std::move(differs));
}

} // namespace

std::expected<void, ImageError> verifyImage(std::string_view path, FileApi &api)
{
    auto image = openImage(path, Access::Read, api);
    if (!image) {
        return std::unexpected(image.error());
    }
    return lockImage(image->handle, LockKind::Shared);
}

std::expected<FieldBytes, ImageError> loadEntry(std::string_view path, Range range,
                                                std::int16_t row, FileApi &api)
{
    const auto start = recordStart(range, row);
    if (!start) {
        return std::unexpected(start.error());
    }
    const auto image = openImage(path, Access::Read, api);
    if (!image) {
        return std::unexpected(image.error());
    }
    // An entry is never read half before and half after an import of ours writes it.
    if (auto locked = lockImage(image->handle, LockKind::Shared); !locked) {
        return std::unexpected(locked.error());
    }
    std::array<std::uint8_t, kRecordSpan> record{};
    if (auto read = readBytesAt(*image, *start, record); !read) {
        return std::unexpected(read.error());
    }
    FieldBytes bytes{};
    copyFieldBytes(record, bytes);
    return bytes;
}

std::expected<TableRead, ImageError> loadTable(std::string_view path, FileApi &api)
{
    const auto image = openImage(path, Access::Read, api);
    if (!image) {
        return std::unexpected(image.error());
    }
    if (auto locked = lockImage(image->handle, LockKind::Shared); !locked) {
        return std::unexpected(locked.error());
    }
    // The read fills the whole buffer or fails, so it is not cleared first.
    constexpr auto kTableSize = static_cast<std::size_t>(kTableEnd - kTableOffset);
    const auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(kTableSize);
    const std::span table(buffer.get(), kTableSize);
    if (auto read = readBytesAt(*image, kTableOffset, table); !read) {
        return std::unexpected(read.error());
    }
    TableRead result{TableBytes(kRecordCount), image->identity};
    for (std::size_t r = 0; r < result.entries.size(); ++r) {
        copyFieldBytes(table.subspan(r * kRecordSize, kRecordSpan), result.entries[r]);
    }
    return result;
}

std::expected<void, ImageError> saveEntry(std::string_view path, Range range, std::int16_t row,
                                          const FieldBytes &bytes, FileApi &api,
                                          std::optional<FieldBytes> loaded)
{
    const EntryUpdate update{range, row, bytes, loaded};
    if (auto saved = saveEntries(path, std::span(&update, 1), api); !saved) {
        ImageError error = saved.error().error;
        if (!saved.error().found.empty()) {
            error.found = saved.error().found.front();
        }
        return std::unexpected(error);
    }
    return {};
}

std::expected<void, SaveError> saveEntries(std::string_view path,
                                           std::span<const EntryUpdate> updates, FileApi &api)
{
    if (updates.empty()) {
        return {};
    }
    std::vector<std::int64_t> starts;
    starts.reserve(updates.size());
    for (const EntryUpdate &update : updates) {
        const auto start = recordStart(update.range, update.row);
        if (!start) {
            return std::unexpected(SaveError{start.error()});
        }
        starts.push_back(*start);
    }
    const auto [first, last] = std::ranges::minmax(starts);
    const auto image = openRegularFile(path, Access::ReadWrite, api);
    if (!image) {
        return std::unexpected(SaveError{image.error()});
    }
    // Everything from the check of the game code to the last write happens under the lock.
    if (auto locked = lockImage(image->handle, LockKind::Exclusive); !locked) {
        return std::unexpected(SaveError{locked.error()});
    }
    if (auto code = checkGameCode(*image); !code) {
        return std::unexpected(SaveError{code.error()});
    }
    // The old bytes of every entry, in one read from the first record to the end of the last
    // and in the same open as the writes, so that a failed write can put them back and the
    // read-back after the writes can tell the record's other bytes from before. An image that
    // ends within the last record's unused bytes is saved as before, with its end as that
    // record's.
    const std::int64_t spanEnd =
        std::max(last + kRecordSpan, std::min(last + kRecordSize, image->size));
    std::vector<std::uint8_t> span(static_cast<std::size_t>(spanEnd - first));
    if (auto read = readBytesAt(*image, first, span); !read) {
        return std::unexpected(SaveError{read.error()});
    }
    std::vector<FieldBytes> before(updates.size());
    std::vector<std::size_t> changed;
    for (std::size_t i = 0; i < updates.size(); ++i) {
        copyFieldBytes(
            std::span(span).subspan(static_cast<std::size_t>(starts[i] - first), kRecordSpan),
            before[i]);
        if (updates[i].expected && before[i] != *updates[i].expected) {
            changed.push_back(i);
        }
    }
    api.reached(SaveStep::RecordsChecked, 0);
    if (!changed.empty()) {
        return std::unexpected(SaveError{{ErrorKind::ChangedSinceLoad}, std::move(changed)});
    }
    const auto length = checkStillAtPath(*image, path);
    if (!length) {
        return std::unexpected(SaveError{length.error()});
    }
    api.reached(SaveStep::BeforeWrites, 0);
    for (std::size_t i = 0; i < updates.size(); ++i) {
        api.reached(SaveStep::BeforeEntry, i);
        // A program that takes no lock may cut the file short while the entries are written;
        // each entry is written only into a file that still reaches its end.
        const auto reaches = fileReaches(image->handle, starts[i] + kRecordSpan);
        const auto written = reaches
                                 ? writeFieldBytes(image->handle, starts[i], updates[i].bytes, i)
                                 : SystemResult<void>{};
        if (reaches && written) {
            continue;
        }
        // Entries 0 to i may hold new bytes, entry i perhaps only some of them.
        const ImageError failed =
            reaches ? ImageError{ErrorKind::WriteFailed, written.error().code} : reaches.error();
        const OsError writeError = failed.osError;
        bool allPutBack = true;
        // The entries written into that the file still holds.
        std::vector<std::size_t> held;
        for (std::size_t j = 0; j <= i; ++j) {
            // What a cut took away holds nothing of ours, and writing it back would make the
            // file longer again.
            const auto within = fileReaches(image->handle, starts[j] + kRecordSpan);
            if (within) {
                allPutBack = writeFieldBytes(image->handle, starts[j], before[j], j).has_value() &&
                             allPutBack;
                held.push_back(j);
            } else if (within.error().kind != ErrorKind::RecordMissing) {
                allPutBack = false;
            }
        }
        const bool flushed = flush(image->handle).has_value();
        // A write past the end of a file that another program cut after the check is refused:
        // the failure is the cut, and the entries it left hold what the put-back made of them.
        if (auto same = sameLength(image->handle, *length);
            (reaches || !held.empty()) && !same && same.error().kind == ErrorKind::LengthChanged) {
            return std::unexpected(SaveError{same.error(), std::move(held)});
        }
        if (allPutBack && flushed) {
            return std::unexpected(SaveError{failed});
        }
        SaveError dirty{{ErrorKind::WriteFailedDirty, writeError}};
        if (!flushed) {
            // What reached the disk is unknown, whatever the file reads back now.
            dirty.entries.resize(i + 1);
            std::iota(dirty.entries.begin(), dirty.entries.end(), std::size_t{0});
            return std::unexpected(std::move(dirty));
        }
        // A write on a full disk often fails before it puts a byte, so an entry is named only
        // for what it holds when read back.
        for (std::size_t j = 0; j <= i; ++j) {
            std::array<std::uint8_t, kRecordSpan> record{};
            FieldBytes now{};
            if (readBytesAt(*image, starts[j], record)) {
                copyFieldBytes(record, now);
                if (now == before[j]) {
                    continue;
                }
                if (now == updates[j].bytes) {
                    dirty.written.push_back(j);
                    continue;
                }
            }
            dirty.entries.push_back(j);
        }
        if (dirty.entries.empty() && dirty.written.empty()) {
            return std::unexpected(SaveError{{ErrorKind::WriteFailed, writeError}});
        }
        return std::unexpected(std::move(dirty));
    }
    api.reached(SaveStep::AfterWrites, 0);
    const auto same = sameLength(image->handle, *length);
    if (auto flushed = flush(image->handle); !flushed) {
        return std::unexpected(SaveError{{ErrorKind::FlushFailed, flushed.error().code}});
    }
    if (!same && same.error().kind == ErrorKind::LengthChanged) {
        SaveError cut{same.error()};
        cut.written.resize(updates.size());
        std::iota(cut.written.begin(), cut.written.end(), std::size_t{0});
        return std::unexpected(std::move(cut));
    }
    if (!same) {
        return std::unexpected(unknownAfterWrites(same.error().osError, updates.size()));
    }
    return readBack(*image, SavedSpan{first, span}, starts, updates);
}

} // namespace stats::image
