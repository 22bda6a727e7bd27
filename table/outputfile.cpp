#include "table/outputfile.h"

#include "image/imagefile.h"
#include "platform/outputfile.h"

#include <array>

namespace stats::table {

namespace {

using Written = std::expected<void, std::string>;
using platform::FileApi;
using platform::Path;

// Why the existing regular file at `path` must not be replaced by a CSV: it holds the game
// code of an image, or it cannot be read, so that nothing tells it from one. Empty when it
// may be.
std::string imageRisk(const Path &path, FileApi &files)
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

std::string problemOf(const platform::OutputFailure &failure)
{
    switch (failure.stage) {
    case platform::OutputStage::Look:
        return "it cannot be looked at: " + systemReason(failure.error.code);
    case platform::OutputStage::MakeTemporary:
        return "a new file cannot be made in its folder: " + systemReason(failure.error.code);
    case platform::OutputStage::Write:
        return "writing the CSV failed: " + systemReason(failure.error.code);
    case platform::OutputStage::Replaced:
        return "it was replaced by another file while the CSV was written";
    case platform::OutputStage::PutInPlace:
        return "the CSV cannot be put in place: " + systemReason(failure.error.code);
    }
    return {};
}

// Writes the CSV beside the target and puts it in place once it is whole and on the disk.
Written replaceWith(const Path &target, std::string_view csv,
                    const std::optional<platform::FileStatus> &existing, FileApi &files)
{
    if (auto replaced = platform::replaceWhole(files, target, csv, existing); !replaced) {
        return std::unexpected(problemOf(replaced.error()) +
                               (existing ? "; the file is as it was" : "; no file was made"));
    }
    return {};
}

// A pipe, a terminal or the null device: written as it is, as nothing can be replaced there.
Written writeStream(const Path &path, std::string_view csv, FileApi &files)
{
    const auto opened = files.openStream(path, platform::Direction::Write);
    if (!opened) {
        return std::unexpected("it cannot be opened for writing: " +
                               systemReason(opened.error().code));
    }
    platform::FileHandle file(files, *opened);
    auto written = platform::writeAllNext(files, *opened, csv);
    if (written) {
        written = file.closeNow();
    }
    if (!written) {
        return std::unexpected("writing the CSV failed: " + systemReason(written.error().code));
    }
    return {};
}

// An existing regular file: replaced where a shell's redirect would write it.
Written replaceFile(const Path &path, std::string_view csv, const platform::FileStatus &info,
                    FileApi &files)
{
    if (auto problem = imageRisk(path, files); !problem.empty()) {
        return std::unexpected(problem);
    }
    if (const auto allowed = files.mayWrite(path); !allowed) {
        return std::unexpected("it may not be written: " + systemReason(allowed.error().code) +
                               "; the CSV replaces only a file you may write");
    }
    return replaceWith(path, csv, info, files);
}

} // namespace

Written writeOutputFile(const Path &path, std::string_view csv, platform::FileIdentity imageFile,
                        FileApi &files)
{
    const auto info = files.status(path);
    if (!info) {
        if (info.error().fault != platform::Fault::NotFound) {
            return std::unexpected("it cannot be looked at: " + systemReason(info.error().code));
        }
        return replaceWith(path, csv, std::nullopt, files);
    }
    if (info->type == platform::FileType::Regular && info->identity == imageFile) {
        return std::unexpected("it is the image itself; the CSV is never written over the image");
    }
    switch (info->type) {
    case platform::FileType::Regular:
        return replaceFile(path, csv, *info, files);
    case platform::FileType::Stream:
        return writeStream(path, csv, files);
    case platform::FileType::Folder:
    case platform::FileType::Other:
        break;
    }
    return std::unexpected(
        "it is a folder, a disk or another device; the CSV goes only to a file, " +
        std::string(platform::streamPlaces()));
}

} // namespace stats::table
