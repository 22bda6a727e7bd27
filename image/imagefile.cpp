#include "imagefile.h"

#include "image/numbertext.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <span>

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
    return OpenImage{std::move(handle), static_cast<std::int64_t>(info.st_size)};
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

std::expected<std::array<std::uint8_t, kRecordSpan>, ImageError>
readRecordSpan(const OpenImage &image, std::int64_t start)
{
    if (image.size < start + kRecordSpan) {
        return failure(ErrorKind::RecordMissing);
    }
    std::array<std::uint8_t, kRecordSpan> span{};
    if (!readFully(image.handle, span, start)) {
        return errno == 0 ? failure(ErrorKind::RecordMissing)
                          : failure(ErrorKind::CannotRead, errno);
    }
    return span;
}

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

FieldBytes fieldBytesOf(const std::array<std::uint8_t, kRecordSpan> &record)
{
    FieldBytes bytes{};
    for (std::size_t i = 0; i < kFields.size(); ++i) {
        bytes[i] = record[kFields[i].offset];
    }
    return bytes;
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
    const auto record = readRecordSpan(*image, *start);
    if (!record) {
        return std::unexpected(record.error());
    }
    return fieldBytesOf(*record);
}

std::optional<std::uint8_t> convertField(const FieldInfo &field, const FieldInput &input) noexcept
{
    if (field.kind == FieldKind::Number) {
        return parseNumberText(input.text);
    }
    if (!input.position || *input.position < 0 || *input.position > 255) {
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(*input.position);
}

std::expected<FieldBytes, Field> convertFields(const EditorInput &input) noexcept
{
    FieldBytes bytes{};
    for (std::size_t i = 0; i < kFields.size(); ++i) {
        const auto byte = convertField(kFields[i], input[i]);
        if (!byte) {
            return std::unexpected(kFields[i].field);
        }
        bytes[i] = *byte;
    }
    return bytes;
}

std::expected<void, ImageError> saveEntry(std::string_view path, Range range, std::int16_t row,
                                          const EditorInput &input, FileApi &api,
                                          std::optional<FieldBytes> loaded)
{
    const auto start = recordStart(range, row);
    if (!start) {
        return std::unexpected(start.error());
    }
    // Every field converts before the file is touched, so a bad value never leaves a record
    // half old and half new.
    const auto bytes = convertFields(input);
    if (!bytes) {
        return std::unexpected(ImageError{ErrorKind::ValueInvalid, 0, bytes.error()});
    }
    const auto image = openImage(path, O_RDWR, api);
    if (!image) {
        return std::unexpected(image.error());
    }
    // The old bytes are read in the same open, so a failed write can put them back.
    const auto before = readRecordSpan(*image, *start);
    if (!before) {
        return std::unexpected(before.error());
    }
    if (loaded && fieldBytesOf(*before) != *loaded) {
        return failure(ErrorKind::ChangedSinceLoad);
    }
    if (!writeFieldBytes(image->handle, *start, *bytes)) {
        const int writeError = errno;
        const bool restored =
            writeFieldBytes(image->handle, *start, fieldBytesOf(*before)) && flush(image->handle);
        return failure(restored ? ErrorKind::WriteFailed : ErrorKind::WriteFailedDirty, writeError);
    }
    if (!flush(image->handle)) {
        return failure(ErrorKind::FlushFailed, errno);
    }
    return {};
}

} // namespace stats::image
