#include "catalogues/files/datafile.h"

#include "image/fileapi.h"

#include <algorithm>
#include <cstdint>

namespace stats::catalogues {

std::string formatDiagnostic(const Diagnostic &diagnostic)
{
    if (diagnostic.line <= 0) {
        return diagnostic.path + ": " + diagnostic.message;
    }
    return diagnostic.path + ":" + std::to_string(diagnostic.line) + ": " + diagnostic.message;
}

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
// The longest list may hold 627 rows of 64 characters of up to four bytes each.
constexpr std::int64_t kLargestDataFile = std::int64_t{1} << 20;

[[nodiscard]] bool isContinuationByte(unsigned char byte)
{
    return (byte & 0xC0U) == 0x80U;
}

// The length of the sequence that @p lead starts, or 0 for a byte that cannot start one.
[[nodiscard]] std::size_t sequenceLength(unsigned char lead)
{
    if (lead < 0x80U) {
        return 1;
    }
    if (lead >= 0xC2U && lead <= 0xDFU) {
        return 2;
    }
    if (lead >= 0xE0U && lead <= 0xEFU) {
        return 3;
    }
    if (lead >= 0xF0U && lead <= 0xF4U) {
        return 4;
    }
    return 0;
}

[[nodiscard]] bool isWellFormedSequence(std::string_view sequence)
{
    const auto lead = static_cast<unsigned char>(sequence[0]);
    for (std::size_t i = 1; i < sequence.size(); ++i) {
        if (!isContinuationByte(static_cast<unsigned char>(sequence[i]))) {
            return false;
        }
    }
    if (sequence.size() < 3) {
        return true;
    }
    // The second byte's range rules out overlong forms, surrogates and code points past U+10FFFF.
    const auto second = static_cast<unsigned char>(sequence[1]);
    switch (lead) {
    case 0xE0U:
        return second >= 0xA0U;
    case 0xEDU:
        return second <= 0x9FU;
    case 0xF0U:
        return second >= 0x90U;
    case 0xF4U:
        return second <= 0x8FU;
    default:
        return true;
    }
}

void addRow(DataFile &file, std::string_view line, Diagnostics &faults)
{
    const int lineNumber = static_cast<int>(file.rows.size()) + 1;
    if (!isValidUtf8(line)) {
        faults.push_back({file.path, lineNumber, "line is not valid UTF-8"});
    } else if (line.empty()) {
        faults.push_back(
            {file.path, lineNumber,
             "row " + std::to_string(lineNumber - 1) + " is empty; every row needs a text"});
    }
    file.rows.emplace_back(line);
}

} // namespace

bool isValidUtf8(std::string_view text)
{
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t length = sequenceLength(static_cast<unsigned char>(text[at]));
        if (length == 0 || at + length > text.size() ||
            !isWellFormedSequence(text.substr(at, length))) {
            return false;
        }
        at += length;
    }
    return true;
}

int characterCount(std::string_view text)
{
    int count = 0;
    for (const char byte : text) {
        if (!isContinuationByte(static_cast<unsigned char>(byte))) {
            ++count;
        }
    }
    return count;
}

std::expected<DataFile, Diagnostic> readDataFile(const std::filesystem::path &directory,
                                                 std::string_view fileName, Diagnostics &faults)
{
    DataFile file{(directory / fileName).generic_string(), {}, {}};
    const auto fault = [&file](std::string message) {
        return std::unexpected(Diagnostic{file.path, 0, std::move(message)});
    };
    // Opened without waiting, so a FIFO or device put in the file's place cannot hang a
    // program at start; then refused unless it is a plain file of a plausible size.
    image::FileApi &api = image::systemFileApi();
    const auto opened = api.open((directory / fileName).string(), image::Access::Read);
    if (!opened) {
        return fault("cannot open the file: " + image::osReason(opened.error().code));
    }
    const image::FileHandle handle(api, *opened);
    const auto info = api.status(*opened);
    if (!info) {
        return fault("cannot read the file: " + image::osReason(info.error().code));
    }
    if (info->type != image::FileType::Regular) {
        return fault("is not a plain file");
    }
    if (info->size > kLargestDataFile) {
        return fault("is larger than 1 MiB, far larger than a list of names");
    }
    file.bytes.resize(static_cast<std::size_t>(info->size));
    std::size_t done = 0;
    while (done < file.bytes.size()) {
        const auto got = api.read(*opened, file.bytes.data() + done, file.bytes.size() - done,
                                  static_cast<std::int64_t>(done));
        if (!got) {
            return fault("cannot read the file: " + image::osReason(got.error().code));
        }
        if (*got == 0) {
            break; // cut short while it was read: take what there is
        }
        done += *got;
    }
    file.bytes.resize(done);
    std::string_view text = file.bytes;
    if (text.starts_with(kByteOrderMark)) {
        text.remove_prefix(kByteOrderMark.size());
    }
    while (!text.empty()) {
        const std::size_t lineEnd = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, lineEnd);
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        addRow(file, line, faults);
        text.remove_prefix(std::min(lineEnd + 1, text.size()));
    }
    return file;
}

} // namespace stats::catalogues
