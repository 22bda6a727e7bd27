#include "tempimage.h"

#include "image/statstable.h"
#include "sample-image/sampleimage.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>

namespace stats::testing {

TempDir::~TempDir()
{
    std::error_code ignored;
    // Tests take write permission away from files and folders; give it back so removal works.
    for (const auto &entry : std::filesystem::recursive_directory_iterator(m_path, ignored)) {
        if (!entry.is_symlink()) {
            std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
        }
    }
    std::filesystem::remove_all(m_path, ignored);
}

bool makeSampleImage(const std::string &path, std::int64_t size)
{
    if (size == 0) {
        size = (image::kTableEnd + tools::kGuardSize + 4095) / 4096 * 4096;
    }
    const auto written = tools::writeSampleImage(path, size);
    if (!written) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), std::strerror(written.error()));
    }
    return written.has_value();
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
