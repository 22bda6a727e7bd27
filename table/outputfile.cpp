#include "table/outputfile.h"

#include <array>

// What every system shares of the rules for the file a CSV goes to; the system calls that
// write it are in outputfile_posix.cpp and outputfile_windows.cpp.

namespace stats::table {

std::string systemReason(int error)
{
    return error == 0 ? std::string("the system gave no reason") : image::osReason(error);
}

std::string imageRisk(const std::string &path, image::FileApi &files)
{
    const auto opened = files.open(path, image::Access::Read);
    if (!opened) {
        return "it cannot be read, so nothing tells that it is no image: " +
               systemReason(opened.error().code) +
               "; the CSV replaces only a file that can be read";
    }
    const image::FileHandle file(files, *opened);
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
