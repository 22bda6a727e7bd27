#include "platform/outputfile.h"

#include "platform/interrupt.h"

#include <chrono>
#include <filesystem>
#include <random>

namespace stats::platform {

namespace {

struct Temporary
{
    FileHandle file;
    Path path;
};

// A new file with an unused name in `folder`, held by our lock for as long as it is open: the
// lock is what tells another program's sweep that it is not abandoned. On Windows the file is
// also shared with no other open.
SystemResult<Temporary> makeTemporary(FileApi &files, const Path &folder)
{
    constexpr std::string_view kLetters = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    SystemError last{Fault::Exists, 0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name(kTemporaryPrefix);
        std::size_t bits = (std::size_t{random()} << 32U) | random();
        for (int i = 0; i < 6; ++i, bits /= kLetters.size()) {
            name += kLetters[bits % kLetters.size()];
        }
        Path path = folder / name;
        const auto made = files.create(path, NewFile::Temporary);
        if (!made) {
            if (made.error().fault != Fault::Exists) {
                return std::unexpected(made.error());
            }
            last = made.error();
            continue;
        }
        FileHandle file(files, *made);
        if (files.tryLock(*made, LockKind::Exclusive)) {
            return Temporary{std::move(file), std::move(path)};
        }
        // Another program's sweep took it for abandoned in the moment before it was held,
        // and removes it: a new name is made instead.
    }
    return std::unexpected(last);
}

// Removes the temporary file at `path` unless a running program holds it: its own open
// refuses ours (Windows), or its lock refuses ours (everywhere).
void removeIfAbandoned(FileApi &files, const Path &path)
{
    const auto opened = files.open(path, Access::ReadWrite);
    if (!opened) {
        return;
    }
    const FileHandle file(files, *opened);
    if (files.tryLock(*opened, LockKind::Exclusive)) {
        static_cast<void>(files.remove(path));
    }
}

} // namespace

void removeAbandonedTemporaries(FileApi &files, const Path &folder)
{
    // A temporary name is the prefix and six letters or digits.
    constexpr std::size_t kNameLength = kTemporaryPrefix.size() + 6;
    // A program holds its file while it writes it, and puts it in place a moment after; one
    // written less than a minute ago may be in that moment.
    const auto abandonedBefore =
        std::filesystem::file_time_type::clock::now() - std::chrono::minutes(1);
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator(folder.filesystem(), error)) {
        const Path path = Path::fromFilesystem(entry.path());
        const std::string name = Path::fromFilesystem(entry.path().filename()).text();
        if (name.size() == kNameLength && name.starts_with(kTemporaryPrefix) &&
            entry.is_regular_file(error) && !entry.is_symlink(error) &&
            entry.last_write_time(error) < abandonedBefore) {
            removeIfAbandoned(files, path);
        }
    }
}

std::expected<void, OutputFailure> replaceWhole(FileApi &files, const Path &path,
                                                std::string_view bytes,
                                                const std::optional<FileStatus> &existing)
{
    // The temporary file goes beside the file a link leads to, so that it can take its name.
    Path target = path;
    if (existing) {
        auto final = files.finalPath(path);
        if (!final) {
            return std::unexpected(OutputFailure{OutputStage::Look, final.error()});
        }
        target = std::move(*final);
    }
    const Path folder = target.folder();
    removeAbandonedTemporaries(files, folder);
    auto made = makeTemporary(files, folder);
    if (!made) {
        return std::unexpected(OutputFailure{OutputStage::MakeTemporary, made.error()});
    }
    const RemovedOnInterrupt removedOnInterrupt(made->path);
    files.reached(SaveStep::TemporaryMade, 0);
    const auto fail = [&](OutputStage stage, SystemError error) {
        static_cast<void>(made->file.closeNow());
        static_cast<void>(files.remove(made->path));
        return std::unexpected(OutputFailure{stage, error});
    };
    const NativeFile file = made->file.file();
    // A file it replaces keeps its permissions.
    if (existing) {
        if (auto kept = files.keepPermissions(file, *existing); !kept) {
            return fail(OutputStage::Write, kept.error());
        }
    }
    if (auto written = writeAllNext(files, file, bytes); !written) {
        return fail(OutputStage::Write, written.error());
    }
    if (auto flushed = files.flush(file); !flushed) {
        return fail(OutputStage::Write, flushed.error());
    }
    if (auto closed = made->file.closeNow(); !closed) {
        return fail(OutputStage::Write, closed.error());
    }
    files.reached(SaveStep::TemporaryWritten, 0);
    if (existing) {
        // Only the file that was looked at is replaced, not one put there meanwhile.
        const auto now = files.status(target);
        if (!now && now.error().fault != Fault::NotFound) {
            return fail(OutputStage::Look, now.error());
        }
        if (!now || now->identity != existing->identity) {
            return fail(OutputStage::Replaced, SystemError{});
        }
    }
    const Placing placing = existing ? Placing::ReplacingFile : Placing::NoFileThere;
    if (auto placed = files.putInPlace(made->path, target, placing); !placed) {
        return fail(OutputStage::PutInPlace, placed.error());
    }
    return {};
}

} // namespace stats::platform
