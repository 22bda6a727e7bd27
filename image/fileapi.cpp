#include "fileapi.h"

#include <fcntl.h>
#include <unistd.h>

namespace stats::image {

int FileApi::stat(const char *path, struct ::stat *info)
{
    return ::stat(path, info);
}

int FileApi::open(const char *path, int flags)
{
    return ::open(path, flags);
}

int FileApi::fstat(int fd, struct ::stat *info)
{
    return ::fstat(fd, info);
}

ssize_t FileApi::pread(int fd, void *buffer, std::size_t count, off_t offset)
{
    return ::pread(fd, buffer, count, offset);
}

ssize_t FileApi::pwrite(int fd, const void *buffer, std::size_t count, off_t offset)
{
    return ::pwrite(fd, buffer, count, offset);
}

int FileApi::fdatasync(int fd)
{
    return ::fdatasync(fd);
}

int FileApi::fcntl(int fd, int command, struct ::flock *lock)
{
    return ::fcntl(fd, command, lock);
}

int FileApi::close(int fd)
{
    return ::close(fd);
}

FileApi &systemFileApi()
{
    static FileApi api;
    return api;
}

int FileHandle::closeNow() noexcept
{
    if (m_fd < 0) {
        return 0;
    }
    const int result = m_api->close(m_fd);
    // Linux releases the descriptor even when close reports an error; retrying could close
    // a descriptor another open has since been given.
    m_fd = -1;
    return result;
}

} // namespace stats::image
