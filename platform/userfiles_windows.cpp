#include "platform/userfiles.h"

#include "platform/text.h"

#include <windows.h>

#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

namespace stats::platform {

namespace {

// The C runtime keeps the system's own code of a failed open beside errno; that code is what
// osReason() puts in words on Windows.
int systemCode()
{
    const unsigned long code = _doserrno;
    return code != 0 ? static_cast<int>(code) : ERROR_GEN_FAILURE;
}

} // namespace

std::expected<int, int> openToRead(const std::string &path)
{
    const auto wide = toUtf16(path);
    if (!wide) {
        return std::unexpected(static_cast<int>(ERROR_NO_UNICODE_TRANSLATION));
    }
    // Binary, so that the bytes read are the file's; not inherited by child processes.
    const int fd = ::_wopen(wide->c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (fd < 0) {
        return std::unexpected(systemCode());
    }
    return fd;
}

std::expected<int, int> createNewFile(const std::filesystem::path &path)
{
    const int fd = ::_wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                            _S_IREAD | _S_IWRITE);
    if (fd < 0) {
        return std::unexpected(systemCode());
    }
    return fd;
}

void removeNewFile(const std::filesystem::path &path)
{
    ::_wunlink(path.c_str());
}

bool Descriptor::closeNow() noexcept
{
    if (m_fd < 0) {
        return true;
    }
    const int fd = m_fd;
    m_fd = -1;
    return ::_close(fd) == 0;
}

} // namespace stats::platform
