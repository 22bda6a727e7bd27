#include "tempimage.h"

// The fixtures, on the platform layer's calls: the same code on every system.

#include "image/statstable.h"
#include "platform/fileapi.h"
#include "platform/newfile.h"
#include "sample-image/sampleimage.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <set>

namespace stats::testing {

namespace {

using platform::Path;

platform::FileApi &files()
{
    return platform::systemFileApi();
}

// Reads `count` bytes at `offset` of the open file whole; false when it cannot.
bool readWhole(platform::NativeFile file, std::uint8_t *bytes, std::size_t count,
               std::int64_t offset)
{
    std::size_t done = 0;
    while (done < count) {
        const auto got = files().read(file, bytes + done, count - done,
                                      offset + static_cast<std::int64_t>(done));
        if (!got || *got == 0) {
            return false;
        }
        done += *got;
    }
    return true;
}

} // namespace

TempDir::TempDir()
{
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    std::random_device seed;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path candidate = base / ("stats-test-" + std::to_string(seed()));
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error)) {
            // Only this user may look into it, as a folder made by mkdtemp.
            std::filesystem::permissions(candidate, std::filesystem::perms::owner_all, error);
            m_path = Path::fromFilesystem(candidate.generic_u8string()).text();
            return;
        }
    }
    std::fprintf(stderr, "no temporary folder could be made in %s\n", base.string().c_str());
    std::abort();
}

TempDir::~TempDir()
{
    std::error_code ignored;
    const std::filesystem::path root = Path(m_path).filesystem();
    // Tests take write permission away from files and folders; give it back so removal works.
    for (const auto &entry : std::filesystem::recursive_directory_iterator(root, ignored)) {
        if (!entry.is_symlink()) {
            std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
        }
    }
    std::filesystem::remove_all(root, ignored);
}

bool makeSampleImage(const std::string &path, std::int64_t size)
{
    if (size == 0) {
        size = (image::kTableEnd + tools::kGuardSize + 4095) / 4096 * 4096;
    }
    const auto written = tools::writeSampleImage(path, size);
    if (!written) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), written.error().c_str());
    }
    return written.has_value();
}

bool writeFile(const std::string &path, const std::vector<std::uint8_t> &bytes)
{
    const auto written = platform::writeNewFile(
        files(), path,
        std::string_view(reinterpret_cast<const char *>(bytes.data()), bytes.size()));
    if (!written) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(),
                     platform::osReason(written.error().code).c_str());
    }
    return written.has_value();
}

Snapshot snapshotOf(const std::string &path)
{
    const auto opened = files().open(path, platform::Access::Read);
    if (!opened) {
        return {};
    }
    const platform::FileHandle file(files(), *opened);
    Snapshot snapshot;
    std::vector<std::uint8_t> buffer(std::size_t{1} << 16);
    // Holes read as zeros, so only the runs of data need reading.
    std::int64_t offset = 0;
    for (;;) {
        const auto run = platform::nextDataRun(*opened, offset);
        if (!run) {
            return {};
        }
        if (run->begin >= run->end) {
            snapshot.size = run->begin;
            return snapshot;
        }
        for (offset = run->begin; offset < run->end;) {
            const auto want = static_cast<std::size_t>(std::min<std::int64_t>(
                run->end - offset, static_cast<std::int64_t>(buffer.size())));
            if (!readWhole(*opened, buffer.data(), want, offset)) {
                return {};
            }
            for (std::size_t i = 0; i < want; ++i) {
                if (buffer[i] != 0) {
                    snapshot.nonZero[offset + static_cast<std::int64_t>(i)] = buffer[i];
                }
            }
            offset += static_cast<std::int64_t>(want);
        }
    }
}

std::vector<std::uint8_t> readBytes(const std::string &path, std::int64_t offset, std::size_t count)
{
    std::vector<std::uint8_t> bytes(count);
    const auto opened = files().open(path, platform::Access::Read);
    if (!opened) {
        return {};
    }
    const platform::FileHandle file(files(), *opened);
    if (!readWhole(*opened, bytes.data(), count, offset)) {
        bytes.clear();
    }
    return bytes;
}

int openDescriptorCount()
{
    return platform::openHandleCount();
}

std::vector<std::int64_t> differingOffsets(const Snapshot &before, const Snapshot &after)
{
    std::set<std::int64_t> offsets;
    for (const auto &[offset, byte] : before.nonZero) {
        const auto it = after.nonZero.find(offset);
        if (it == after.nonZero.end() || it->second != byte) {
            offsets.insert(offset);
        }
    }
    for (const auto &[offset, byte] : after.nonZero) {
        if (!before.nonZero.contains(offset)) {
            offsets.insert(offset);
        }
    }
    return {offsets.begin(), offsets.end()};
}

} // namespace stats::testing
