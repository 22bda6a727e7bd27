#include "catalogues/files/datafile.h"
#include "catalogues/files/utf8.h"

#include "platform/fileapi.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace stats::catalogues {

std::string formatDiagnostic(const Diagnostic &diagnostic)
{
    // The path is the user's, from a name pack's folder: shown as any untrusted text is.
    const std::string path = shownEscaped(diagnostic.path);
    if (diagnostic.line <= 0) {
        return path + ": " + diagnostic.message;
    }
    return path + ":" + std::to_string(diagnostic.line) + ": " + diagnostic.message;
}

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

[[nodiscard]] bool isContinuationByte(unsigned char byte)
{
    return (byte & 0xC0U) == 0x80U;
}

void addRow(DataFile &file, std::string_view line, FaultLog &faults)
{
    const int lineNumber = static_cast<int>(file.rows.size()) + 1;
    if (!isValidUtf8(line)) {
        faults.addMade([&] {
            return Diagnostic{file.path, lineNumber, "line is not valid UTF-8"};
        });
    } else if (line.empty()) {
        faults.addMade([&] {
            return Diagnostic{file.path, lineNumber,
                              "row " + std::to_string(lineNumber - 1) +
                                  " is empty; every row needs a text"};
        });
    }
    file.rows.emplace_back(line);
}

} // namespace

std::pair<char32_t, std::size_t> firstCharacter(std::string_view text)
{
    if (text.empty()) {
        return {0, 0};
    }
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        return {lead, 1};
    }
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || text.size() < length) {
        return {0, 0};
    }
    char32_t code = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if (!isContinuationByte(byte(i))) {
            return {0, 0};
        }
        code = (code << 6) | (byte(i) & 0x3F);
    }
    // Overlong forms, surrogates and code points past U+10FFFF are no characters.
    constexpr std::array<char32_t, 5> kSmallest{0, 0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return {0, 0};
    }
    return {code, length};
}

bool isValidUtf8(std::string_view text)
{
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t length = firstCharacter(text.substr(at)).second;
        if (length == 0) {
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

std::expected<DataFile, Diagnostic> readDataFile(const platform::Path &directory,
                                                 std::string_view fileName, std::int64_t largest,
                                                 FaultLog &faults)
{
    const platform::Path path = directory / fileName;
    DataFile file{path.text(), {}, {}};
    const auto fault = [&file](std::string message) {
        return std::unexpected(Diagnostic{file.path, 0, std::move(message)});
    };
    // Opened without waiting, so a FIFO or device put in the file's place cannot hang a
    // program at start; then refused unless it is a plain file of a plausible size.
    platform::FileApi &api = platform::systemFileApi();
    const auto opened = api.open(path, platform::Access::Read);
    if (!opened) {
        return fault("cannot open the file: " + platform::osReason(opened.error().code));
    }
    const platform::FileHandle handle(api, *opened);
    const auto info = api.status(*opened);
    if (!info) {
        return fault("cannot read the file: " + platform::osReason(info.error().code));
    }
    if (info->type != platform::FileType::Regular) {
        return fault("is not a plain file");
    }
    if (info->size > largest) {
        return fault("is " + std::to_string(info->size) + " bytes long, larger than the " +
                     std::to_string(largest) + " bytes that the longest list of names takes");
    }
    file.bytes.resize(static_cast<std::size_t>(info->size));
    std::size_t done = 0;
    while (done < file.bytes.size()) {
        const auto got = api.read(*opened, file.bytes.data() + done, file.bytes.size() - done,
                                  static_cast<std::int64_t>(done));
        if (!got) {
            return fault("cannot read the file: " + platform::osReason(got.error().code));
        }
        if (*got == 0) {
            break; // cut short while it was read: take what there is
        }
        done += *got;
    }
    file.bytes.resize(done);
    return dataFileOf(std::move(file.path), std::move(file.bytes), faults);
}

DataFile dataFileOf(std::string path, std::string bytes, FaultLog &faults)
{
    DataFile file{std::move(path), std::move(bytes), {}};
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
