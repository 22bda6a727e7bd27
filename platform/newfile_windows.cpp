#include "platform/newfile.h"

#include "platform/text.h"
#include "platform/writeall.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

namespace stats::platform {

namespace {

bool writeAll(int fd, const std::vector<std::uint8_t> &bytes, std::int64_t offset)
{
    if (::_lseeki64(fd, offset, SEEK_SET) != offset) {
        return false;
    }
    const auto writeSome = [fd](std::span<const std::uint8_t> rest,
                                std::size_t /*done*/) -> std::expected<std::size_t, int> {
        const int put = ::_write(fd, rest.data(), static_cast<unsigned>(rest.size()));
        if (put < 0) {
            return std::unexpected(errno);
        }
        return static_cast<std::size_t>(put);
    };
    return platform::writeAll(std::span(bytes), writeSome, EIO).has_value();
}

} // namespace

std::expected<void, int> writeNewFile(const std::string &path, std::int64_t size,
                                      std::initializer_list<FilePiece> pieces)
{
    const auto converted = toUtf16(path);
    if (!converted) {
        return std::unexpected(EINVAL);
    }
    const std::wstring &wide = *converted;
    const int fd =
        ::_wopen(wide.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) {
        return std::unexpected(errno);
    }
    bool written = ::_chsize_s(fd, size) == 0;
    for (const FilePiece &piece : pieces) {
        written = written && writeAll(fd, piece.bytes, piece.offset);
    }
    const int error = errno;
    if (::_close(fd) != 0 && written) {
        return std::unexpected(errno);
    }
    if (!written) {
        ::_wunlink(wide.c_str());
        return std::unexpected(error == 0 ? EIO : error);
    }
    return {};
}

} // namespace stats::platform
