#include "imagefile.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <numeric>
#include <span>
#include <thread>
#include <utility>

namespace stats::image {

namespace {

// The header must reach past the game code; anything shorter is no image.
constexpr std::int64_t kHeaderMinimum = kGameCodeOffset + 4;

std::unexpected<ImageError> failure(ErrorKind kind, int osError = 0)
{
    return std::unexpected(ImageError{kind, osError});
}

struct OpenImage
{
    FileHandle handle;
    std::int64_t size;
    FileIdentity identity;
};

// Reads exactly buffer.size() bytes at offset, going on after short reads; false with errno
// set on a failure, false with errno 0 when the file ends first.
bool readFully(const FileHandle &file, std::span<std::uint8_t> buffer, std::int64_t offset)
{
    std::size_t done = 0;
    while (done < buffer.size()) {
        const ssize_t got = file.api().pread(file.fd(), buffer.data() + done, buffer.size() - done,
                                             static_cast<off_t>(offset) + static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            if (got == 0) {
                errno = 0;
            }
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
}

bool writeFully(const FileHandle &file, std::span<const std::uint8_t> bytes, std::int64_t offset)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put =
            file.api().pwrite(file.fd(), bytes.data() + done, bytes.size() - done,
                              static_cast<off_t>(offset) + static_cast<off_t>(done));
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            if (put == 0) {
                errno = EIO;
            }
            return false;
        }
        done += static_cast<std::size_t>(put);
    }
    return true;
}

// Opens a regular file without ever waiting on it: a FIFO or device is refused by its type
// before any open, and O_NONBLOCK covers a path swapped for one between the two steps.
std::expected<OpenImage, ImageError> openRegularFile(std::string_view path, int accessMode,
                                                     FileApi &api)
{
    const std::string cpath(path);
    struct ::stat info
    {
    };
    if (api.stat(cpath.c_str(), &info) != 0) {
        const int error = errno;
        return failure(
            error == ENOENT || error == ENOTDIR ? ErrorKind::NoFile : ErrorKind::CannotOpen, error);
    }
    if (!S_ISREG(info.st_mode)) {
        return failure(ErrorKind::NotAFile, S_ISDIR(info.st_mode) ? EISDIR : 0);
    }
    const int fd = api.open(cpath.c_str(), accessMode | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        return failure(error == ENOENT ? ErrorKind::NoFile : ErrorKind::CannotOpen, error);
    }
    FileHandle handle(api, fd);
    if (api.fstat(fd, &info) != 0) {
        return failure(ErrorKind::CannotRead, errno);
    }
    if (!S_ISREG(info.st_mode)) {
        return failure(ErrorKind::NotAFile, 0);
    }
    return OpenImage{std::move(handle), static_cast<std::int64_t>(info.st_size),
                     FileIdentity{info.st_dev, info.st_ino}};
}

std::expected<void, ImageError> checkGameCode(const OpenImage &image)
{
    if (image.size < kHeaderMinimum) {
        return failure(ErrorKind::NotSupported);
    }
    std::array<std::uint8_t, 4> code{};
    if (!readFully(image.handle, code, kGameCodeOffset)) {
        return errno == 0 ? failure(ErrorKind::NotSupported)
                          : failure(ErrorKind::CannotRead, errno);
    }
    if (std::memcmp(code.data(), kGameCode.data(), code.size()) != 0) {
        return failure(ErrorKind::NotSupported);
    }
    return {};
}

std::expected<OpenImage, ImageError> openImage(std::string_view path, int accessMode, FileApi &api)
{
    auto image = openRegularFile(path, accessMode, api);
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
    if (!readFully(image.handle, buffer, start)) {
        return errno == 0 ? failure(ErrorKind::RecordMissing)
                          : failure(ErrorKind::CannotRead, errno);
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
bool writeFieldBytes(const FileHandle &file, std::int64_t start, const FieldBytes &bytes)
{
    const auto &[runs, count] = kFieldRuns;
    for (int r = 0; r < count; ++r) {
        const FieldRun run = runs[static_cast<std::size_t>(r)];
        const auto span = std::span<const std::uint8_t>(bytes).subspan(
            static_cast<std::size_t>(run.firstField), static_cast<std::size_t>(run.fieldCount));
        const int offset = kFields[static_cast<std::size_t>(run.firstField)].offset;
        if (!writeFully(file, span, start + offset)) {
            return false;
        }
    }
    return true;
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
constexpr auto kLockRetry = std::chrono::milliseconds(20);

enum class LockKind : std::uint8_t { Read, Write };

// Takes the lock that our programs hold on an image: a write lock from the check of its
// records to the last write, and a read lock while the whole table is read, so that a table
// is never read half before and half after another program's import. Open-file-description
// locks belong to the open, not to the process, so two threads or two opens in one process
// exclude each other as two processes do, and the system drops the lock when the file is
// closed, also when the process is killed. A file system that has no such locks is used
// unlocked, as before: the check of the records still catches a writer that changed them.
std::expected<void, ImageError> lockImage(const FileHandle &file, LockKind kind)
{
    struct ::flock lock
    {
    };
    switch (kind) {
    case LockKind::Read:
        lock.l_type = F_RDLCK;
        break;
    case LockKind::Write:
        lock.l_type = F_WRLCK;
        break;
    }
    lock.l_whence = SEEK_SET;
    const auto deadline = std::chrono::steady_clock::now() + kLockWait;
    for (;;) {
        if (file.api().fcntl(file.fd(), F_OFD_SETLK, &lock) == 0) {
            return {};
        }
        const int error = errno;
        if (error != EINTR && error != EAGAIN && error != EACCES) {
            return {};
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return failure(ErrorKind::Busy, error);
        }
        std::this_thread::sleep_for(kLockRetry);
    }
}

// The open file still holds every byte up to `end`: a write there cannot make it longer.
std::expected<void, ImageError> fileReaches(const FileHandle &file, std::int64_t end)
{
    struct ::stat open
    {
    };
    if (file.api().fstat(file.fd(), &open) != 0) {
        return failure(ErrorKind::CannotRead, errno);
    }
    if (open.st_size < end) {
        return failure(ErrorKind::RecordMissing);
    }
    return {};
}

// Right before the writes: the path must still lead to the open file (not moved away, or
// replaced by a rename), so that no write lands in a file the user no longer sees. Whether
// the file still reaches each entry is checked entry by entry.
std::expected<void, ImageError> checkStillAtPath(const OpenImage &image, std::string_view path)
{
    struct ::stat named
    {
    };
    if (image.handle.api().stat(std::string(path).c_str(), &named) != 0) {
        const int error = errno;
        return failure(error == ENOENT ? ErrorKind::Replaced : ErrorKind::CannotRead, error);
    }
    if (FileIdentity{named.st_dev, named.st_ino} != image.identity) {
        return failure(ErrorKind::Replaced);
    }
    return {};
}

bool flush(const FileHandle &file)
{
    int result = 0;
    do {
        result = file.api().fdatasync(file.fd());
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

} // namespace

std::string osReason(int osError)
{
    return std::strerror(osError);
}

std::expected<void, ImageError> verifyImage(std::string_view path, FileApi &api)
{
    auto image = openImage(path, O_RDONLY, api);
    if (!image) {
        return std::unexpected(image.error());
    }
    return {};
}

std::expected<FieldBytes, ImageError> loadEntry(std::string_view path, Range range,
                                                std::int16_t row, FileApi &api)
{
    const auto start = recordStart(range, row);
    if (!start) {
        return std::unexpected(start.error());
    }
    const auto image = openImage(path, O_RDONLY, api);
    if (!image) {
        return std::unexpected(image.error());
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
    const auto image = openImage(path, O_RDONLY, api);
    if (!image) {
        return std::unexpected(image.error());
    }
    if (auto locked = lockImage(image->handle, LockKind::Read); !locked) {
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
        return std::unexpected(saved.error().error);
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
    const auto image = openRegularFile(path, O_RDWR, api);
    if (!image) {
        return std::unexpected(SaveError{image.error()});
    }
    // Everything from the check of the game code to the last write happens under the lock.
    if (auto locked = lockImage(image->handle, LockKind::Write); !locked) {
        return std::unexpected(SaveError{locked.error()});
    }
    if (auto code = checkGameCode(*image); !code) {
        return std::unexpected(SaveError{code.error()});
    }
    // The old bytes of every entry, in one read from the first record to the last and in the
    // same open as the writes, so that a failed write can put them back.
    std::vector<std::uint8_t> span(static_cast<std::size_t>(last + kRecordSpan - first));
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
    if (!changed.empty()) {
        return std::unexpected(SaveError{{ErrorKind::ChangedSinceLoad}, std::move(changed)});
    }
    if (auto same = checkStillAtPath(*image, path); !same) {
        return std::unexpected(SaveError{same.error()});
    }
    for (std::size_t i = 0; i < updates.size(); ++i) {
        // A program that takes no lock may cut the file short while the entries are written;
        // each entry is written only into a file that still reaches its end.
        const auto reaches = fileReaches(image->handle, starts[i] + kRecordSpan);
        if (reaches && writeFieldBytes(image->handle, starts[i], updates[i].bytes)) {
            continue;
        }
        // Entries 0 to i may hold new bytes, entry i perhaps only some of them.
        const ImageError failed =
            reaches ? ImageError{ErrorKind::WriteFailed, errno} : reaches.error();
        const int writeError = failed.osError;
        bool allPutBack = true;
        for (std::size_t j = 0; j <= i; ++j) {
            // What a cut took away holds nothing of ours, and writing it back would make the
            // file longer again.
            const auto within = fileReaches(image->handle, starts[j] + kRecordSpan);
            if (within) {
                allPutBack = writeFieldBytes(image->handle, starts[j], before[j]) && allPutBack;
            } else if (within.error().kind != ErrorKind::RecordMissing) {
                allPutBack = false;
            }
        }
        const bool flushed = flush(image->handle);
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
    if (!flush(image->handle)) {
        return std::unexpected(SaveError{{ErrorKind::FlushFailed, errno}});
    }
    return {};
}

} // namespace stats::image
