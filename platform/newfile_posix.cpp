#include "platform/newfile.h"

#include "platform/writeall.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace stats::platform {

namespace {

bool writeAll(int fd, const std::vector<std::uint8_t> &bytes, std::int64_t offset)
{
    const auto pwriteSome = [&](std::span<const std::uint8_t> rest,
                                std::size_t done) -> std::expected<std::size_t, int> {
        for (;;) {
            const ssize_t put =
                ::pwrite(fd, rest.data(), rest.size(),
                         static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
            if (put >= 0) {
                return static_cast<std::size_t>(put);
            }
            if (errno != EINTR) {
                return std::unexpected(errno);
            }
        }
    };
    return platform::writeAll(std::span(bytes), pwriteSome, EIO).has_value();
}

} // namespace

std::expected<void, int> writeNewFile(const std::string &path, std::int64_t size,
                                      std::initializer_list<FilePiece> pieces)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        return std::unexpected(errno);
    }
    // The size first: what no piece covers stays a hole that takes no disk.
    bool written = ::ftruncate(fd, static_cast<off_t>(size)) == 0;
    for (const FilePiece &piece : pieces) {
        written = written && writeAll(fd, piece.bytes, piece.offset);
    }
    const int error = errno;
    if (::close(fd) != 0 && written) {
        return std::unexpected(errno);
    }
    if (!written) {
        ::unlink(path.c_str());
        return std::unexpected(error);
    }
    return {};
}

} // namespace stats::platform
