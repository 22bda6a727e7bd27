#include "platform/newfile.h"

#include <functional>

namespace stats::platform {

namespace {

// Makes the file, lets `fill` write it, and closes it; a file that could not be made whole is
// removed, so that no half of one is left for the next attempt to refuse as existing.
SystemResult<void> makeWhole(FileApi &files, const Path &path,
                             const std::function<SystemResult<void>(NativeFile)> &fill)
{
    const auto made = files.create(path, NewFile::Finished);
    if (!made) {
        return std::unexpected(made.error());
    }
    FileHandle file(files, *made);
    auto written = fill(*made);
    auto closed = file.closeNow();
    if (written && !closed) {
        written = std::unexpected(closed.error());
    }
    if (!written) {
        static_cast<void>(files.remove(path));
    }
    return written;
}

} // namespace

SystemResult<void> writeNewFile(FileApi &files, const Path &path, std::int64_t size,
                                std::initializer_list<FilePiece> pieces)
{
    return makeWhole(files, path, [&](NativeFile file) -> SystemResult<void> {
        // The size first: a write never makes a file longer, and what no piece covers stays
        // a hole that takes no disk.
        if (auto sized = files.setSize(file, size); !sized) {
            return sized;
        }
        for (const FilePiece &piece : pieces) {
            if (auto written = writeAll(files, file, piece.bytes, piece.offset); !written) {
                return written;
            }
        }
        return {};
    });
}

SystemResult<void> writeNewFile(FileApi &files, const Path &path, std::string_view text)
{
    return makeWhole(files, path, [&](NativeFile file) { return writeAllNext(files, file, text); });
}

} // namespace stats::platform
