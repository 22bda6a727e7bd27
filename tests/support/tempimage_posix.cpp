#include "tempimage.h"

// The POSIX side of the fixtures: temporary folders, whole files, reading images back and
// counting open descriptors.

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace stats::testing {

TempDir::TempDir()
{
    std::string pattern = std::filesystem::temp_directory_path().string() + "/stats-test-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::fprintf(stderr, "mkdtemp: %s\n", std::strerror(errno));
        std::abort();
    }
    m_path = pattern;
}

bool writeFile(const std::string &path, const std::vector<std::uint8_t> &bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    const bool written =
        ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    return ::close(fd) == 0 && written;
}

Snapshot snapshotOf(const std::string &path)
{
    Snapshot snapshot;
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) {
        return snapshot;
    }
    snapshot.size = ::lseek(fd, 0, SEEK_END);
    std::vector<std::uint8_t> buffer(1 << 16);
    // Holes read as zeros, so only the data extents need reading.
    off_t offset = ::lseek(fd, 0, SEEK_DATA);
    while (offset >= 0 && offset < snapshot.size) {
        const off_t holeAt = ::lseek(fd, offset, SEEK_HOLE);
        while (offset < holeAt) {
            const auto want = static_cast<std::size_t>(
                std::min<off_t>(holeAt - offset, static_cast<off_t>(buffer.size())));
            const ssize_t got = ::pread(fd, buffer.data(), want, offset);
            if (got <= 0) {
                ::close(fd);
                return Snapshot{};
            }
            for (ssize_t i = 0; i < got; ++i) {
                if (buffer[static_cast<std::size_t>(i)] != 0) {
                    snapshot.nonZero[offset + i] = buffer[static_cast<std::size_t>(i)];
                }
            }
            offset += got;
        }
        offset = ::lseek(fd, holeAt, SEEK_DATA);
    }
    ::close(fd);
    return snapshot;
}

std::vector<std::uint8_t> readBytes(const std::string &path, std::int64_t offset, std::size_t count)
{
    std::vector<std::uint8_t> bytes(count);
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0 || ::pread(fd, bytes.data(), count, static_cast<off_t>(offset)) !=
                      static_cast<ssize_t>(count)) {
        bytes.clear();
    }
    if (fd >= 0) {
        ::close(fd);
    }
    return bytes;
}

int openDescriptorCount()
{
    int count = 0;
    for ([[maybe_unused]] const auto &entry :
         std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

} // namespace stats::testing
