#include "platform/userfiles.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace stats::platform {

std::expected<int, int> openToRead(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return std::unexpected(errno);
    }
    return fd;
}

std::expected<int, int> createNewFile(const std::filesystem::path &path)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) {
        return std::unexpected(errno);
    }
    return fd;
}

void removeNewFile(const std::filesystem::path &path)
{
    ::unlink(path.c_str());
}

bool Descriptor::closeNow() noexcept
{
    if (m_fd < 0) {
        return true;
    }
    // Linux releases the descriptor even when close reports an error; retrying could close
    // one that another open has since been given.
    const int fd = m_fd;
    m_fd = -1;
    return ::close(fd) == 0;
}

} // namespace stats::platform
