#include "sampleimage.h"

#include "catalogues/files/cataloguefiles.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace stats::tools {

namespace {

using namespace stats::image;

constexpr std::string_view kTitle = "TAVREL ONDAK";
constexpr std::int64_t kHeaderSize = 512;
constexpr std::int64_t kGuardStart = kTableOffset - kGuardSize;
constexpr std::int64_t kGuardEnd = kTableEnd + kGuardSize;

// Gender ratios a real table holds: the four named ones and a few in between.
constexpr std::array<std::uint8_t, 7> kGenderRatios{0, 31, 63, 127, 191, 254, 255};

// The rows of a value list we ship that one byte can name: every sample value has a row.
unsigned storableRows(ValueList list)
{
    for (const auto &file : stats::catalogues::kCatalogueFiles) {
        if (file.values == list) {
            return static_cast<unsigned>(std::min(file.builtInRows, 256));
        }
    }
    return 1;
}

std::uint8_t headerByte(std::int64_t offset)
{
    if (offset < std::int64_t{kTitle.size()}) {
        return static_cast<std::uint8_t>(kTitle[static_cast<std::size_t>(offset)]);
    }
    if (offset < kGameCodeOffset + 4) {
        return static_cast<std::uint8_t>(kGameCode[static_cast<std::size_t>(offset - 12)]);
    }
    return static_cast<std::uint8_t>(0x5A ^ offset);
}

// Bytes no field owns carry a pattern that differs by offset and record, so a byte written
// into the wrong place cannot go unnoticed.
std::uint8_t tableByte(int record, int offset)
{
    for (std::size_t i = 0; i < kFields.size(); ++i) {
        if (kFields[i].offset == offset) {
            return sampleFieldBytes(record)[i];
        }
    }
    return static_cast<std::uint8_t>(0xA0 ^ offset ^ ((record * 3) & 0x1F));
}

bool writeAll(int fd, const std::vector<std::uint8_t> &bytes, std::int64_t offset)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::pwrite(fd, bytes.data() + done, bytes.size() - done,
                                     static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(put);
    }
    return true;
}

std::vector<std::uint8_t> bytesOfRange(std::int64_t from, std::int64_t to)
{
    std::vector<std::uint8_t> bytes;
    bytes.reserve(static_cast<std::size_t>(to - from));
    for (std::int64_t offset = from; offset < to; ++offset) {
        bytes.push_back(sampleByteAt(offset));
    }
    return bytes;
}

} // namespace

FieldBytes sampleFieldBytes(int record)
{
    const auto r = static_cast<unsigned>(record);
    FieldBytes bytes{};
    for (const FieldInfo &field : kFields) {
        // Each field steps by its own amount from record to record, so that neighbouring
        // records differ in every field.
        const auto salt = static_cast<unsigned>(field.field);
        std::uint8_t value = 0;
        if (field.field == Field::gr) {
            value = kGenderRatios[r % kGenderRatios.size()];
        } else if (field.list) {
            value = static_cast<std::uint8_t>((r * (salt + 1) + salt) % storableRows(*field.list));
        } else {
            value = static_cast<std::uint8_t>(20 + (r * (salt * 2 + 31) + salt * 17) % 180);
        }
        bytes[salt] = value;
    }
    return bytes;
}

std::uint8_t sampleByteAt(std::int64_t offset)
{
    if (offset >= 0 && offset < kHeaderSize) {
        return headerByte(offset);
    }
    if (offset >= kTableOffset && offset < kTableEnd) {
        const auto relative = offset - kTableOffset;
        return tableByte(static_cast<int>(relative / kRecordSize),
                         static_cast<int>(relative % kRecordSize));
    }
    if (offset >= kGuardStart && offset < kTableOffset) {
        return 0xEE;
    }
    if (offset >= kTableEnd && offset < kGuardEnd) {
        return 0xDD;
    }
    return 0;
}

std::expected<void, int> writeSampleImage(const std::string &path, std::int64_t size)
{
    if (size < kGuardEnd) {
        return std::unexpected(EINVAL);
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        return std::unexpected(errno);
    }
    // Only the header and the table hold data; the rest stays a hole that takes no disk.
    const bool written = ::ftruncate(fd, static_cast<off_t>(size)) == 0 &&
                         writeAll(fd, bytesOfRange(0, kHeaderSize), 0) &&
                         writeAll(fd, bytesOfRange(kGuardStart, kGuardEnd), kGuardStart);
    const int error = errno;
    if (::close(fd) != 0 && written) {
        return std::unexpected(errno);
    }
    if (!written) {
        ::unlink(path.c_str());
        return std::unexpected(error);
    }
    return {};
}

} // namespace stats::tools
