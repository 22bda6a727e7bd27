#include "platform/userfiles.h"

#include "platform/writeall.h"

#include <algorithm>
#include <cerrno>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace stats::platform {

bool writeAll(int fd, std::string_view bytes)
{
    const auto written = platform::writeAll<char>(
        std::span(bytes),
        [fd](std::span<const char> rest, std::size_t /*done*/) -> std::expected<std::size_t, int> {
            // At most a gibibyte a call: Windows' write(2) takes an unsigned int, POSIX's a
            // size_t.
            const auto count =
                static_cast<unsigned int>(std::min<std::size_t>(rest.size(), 1U << 30));
            for (;;) {
                const auto put = ::write(fd, rest.data(), count);
                if (put >= 0) {
                    return static_cast<std::size_t>(put);
                }
                if (errno != EINTR) {
                    return std::unexpected(errno);
                }
            }
        },
        EIO);
    if (!written) {
        errno = written.error();
    }
    return written.has_value();
}

std::expected<std::string, ReadFailure> readAll(int fd, std::size_t limit)
{
    std::string text;
    // One allocation of the file's size, not a string that doubles and copies as it grows.
    struct ::stat info
    {
    };
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
        text.reserve(std::min(static_cast<std::size_t>(info.st_size), limit + 1));
    }
    std::string buffer(std::size_t{1} << 16, '\0');
    for (;;) {
        // The buffer's 64 KiB fit the unsigned int that Windows' read(2) takes.
        const auto got = ::read(fd, buffer.data(), static_cast<unsigned int>(buffer.size()));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return std::unexpected(ReadFailure{errno == 0 ? EIO : errno});
        }
        if (got == 0) {
            return text;
        }
        text.append(buffer, 0, static_cast<std::size_t>(got));
        if (text.size() > limit) {
            return std::unexpected(ReadFailure{0});
        }
    }
}

} // namespace stats::platform
