#include "sampleimage.h"

#include "catalogues/files/cataloguefiles.h"
#include "platform/newfile.h"

#include <algorithm>
#include <array>
#include <string_view>
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

std::expected<void, std::string> writeSampleImage(const std::string &path, std::int64_t size,
                                                  platform::FileApi &files)
{
    if (size < kGuardEnd) {
        return std::unexpected("a sample image holds at least " + std::to_string(kGuardEnd) +
                               " bytes");
    }
    // Only the header and the table hold data; the rest stays a hole that takes no disk.
    using platform::FilePiece;
    const auto written =
        platform::writeNewFile(files, path, size,
                               {FilePiece{0, bytesOfRange(0, kHeaderSize)},
                                FilePiece{kGuardStart, bytesOfRange(kGuardStart, kGuardEnd)}});
    if (!written) {
        return std::unexpected(platform::osReason(written.error().code));
    }
    return {};
}

} // namespace stats::tools
