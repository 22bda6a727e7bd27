#include "table/outputfile.h"

#include <array>
#include <chrono>

// What every system shares of the rules for the file a CSV goes to; the system calls that
// write it are in outputfile_posix.cpp and outputfile_windows.cpp.

namespace stats::table {

std::string systemReason(int error)
{
    return error == 0 ? std::string("the system gave no reason") : platform::osReason(error);
}

void removeAbandonedTemporaries(const std::filesystem::path &folder)
{
    // A temporary name is the prefix and six letters or digits.
    constexpr std::size_t kNameLength = kTemporaryPrefix.size() + 6;
    // An export holds its file while it writes it, and puts it in place a moment after; one
    // written less than a minute ago may be in that moment.
    const auto abandonedBefore =
        std::filesystem::file_time_type::clock::now() - std::chrono::minutes(1);
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.size() == kNameLength && name.starts_with(kTemporaryPrefix) &&
            entry.is_regular_file(error) && !entry.is_symlink(error) &&
            entry.last_write_time(error) < abandonedBefore) {
            removeIfAbandoned(entry.path());
        }
    }
}

std::string imageRisk(const std::string &path, platform::FileApi &files)
{
    const auto opened = files.open(path, platform::Access::Read);
    if (!opened) {
        return "it cannot be read, so nothing tells that it is no image: " +
               systemReason(opened.error().code) +
               "; the CSV replaces only a file that can be read";
    }
    const platform::FileHandle file(files, *opened);
    std::array<char, 4> code{};
    const auto got = files.read(*opened, code.data(), code.size(), image::kGameCodeOffset);
    if (!got) {
        return "it cannot be read, so nothing tells that it is no image: " +
               systemReason(got.error().code);
    }
    if (*got == 4 && std::string_view(code.data(), code.size()) == image::kGameCode) {
        return "it is an image (its game code is QVZT); the CSV is never written over an "
               "image";
    }
    return {};
}

} // namespace stats::table
