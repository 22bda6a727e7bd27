#include "newfile.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

namespace stats::tools {

namespace {

std::wstring widePath(const std::string &path)
{
    const int size =
        ::MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(std::max(size, 0)), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), wide.data(),
                          size);
    return wide;
}

bool writeAll(int fd, const std::vector<std::uint8_t> &bytes, std::int64_t offset)
{
    if (::_lseeki64(fd, offset, SEEK_SET) != offset) {
        return false;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const int put =
            ::_write(fd, bytes.data() + done, static_cast<unsigned>(bytes.size() - done));
        if (put <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(put);
    }
    return true;
}

} // namespace

std::expected<void, int> writeNewFile(const std::string &path, std::int64_t size,
                                      std::initializer_list<FilePiece> pieces)
{
    const std::wstring wide = widePath(path);
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

} // namespace stats::tools
