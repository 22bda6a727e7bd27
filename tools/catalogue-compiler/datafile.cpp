#include "tools/catalogue-compiler/datafile.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

namespace stats::tools {

std::string formatDiagnostic(const Diagnostic &diagnostic)
{
    if (diagnostic.line <= 0) {
        return diagnostic.path + ": " + diagnostic.message;
    }
    return diagnostic.path + ":" + std::to_string(diagnostic.line) + ": " + diagnostic.message;
}

namespace {

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

void addRow(DataFile &file, std::string line, Diagnostics &faults)
{
    const int lineNumber = static_cast<int>(file.rows.size()) + 1;
    const auto fault = [&](std::string message) {
        faults.push_back({file.path, lineNumber, std::move(message)});
    };
    if (line.find('\r') != std::string::npos) {
        fault("line holds a carriage return; the data files use LF line ends only");
    } else if (!isValidUtf8(line)) {
        fault("line is not valid UTF-8");
    } else if (line.empty()) {
        fault("row " + std::to_string(lineNumber - 1) + " is empty; every row needs a text");
    }
    file.rows.push_back(std::move(line));
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
    DataFile file{(directory / fileName).generic_string(), {}};
    std::ifstream stream(directory / fileName, std::ios::binary);
    if (!stream) {
        return std::unexpected(
            Diagnostic{file.path, 0, std::string("cannot open the file: ") + std::strerror(errno)});
    }
    const std::string bytes{std::istreambuf_iterator<char>(stream),
                            std::istreambuf_iterator<char>()};
    if (stream.bad()) {
        return std::unexpected(Diagnostic{file.path, 0, "cannot read the file"});
    }

    std::size_t lineStart = 0;
    while (lineStart < bytes.size()) {
        const std::size_t lineEnd = bytes.find('\n', lineStart);
        if (lineEnd == std::string::npos) {
            addRow(file, bytes.substr(lineStart), faults);
            faults.push_back({file.path, static_cast<int>(file.rows.size()),
                              "the last line must end in a line feed"});
            break;
        }
        addRow(file, bytes.substr(lineStart, lineEnd - lineStart), faults);
        lineStart = lineEnd + 1;
    }
    return file;
}

} // namespace stats::tools
