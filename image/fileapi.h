#pragma once

/// @file
/// The few system calls the core makes on an image, behind one seam so that tests can make
/// any of them fail the way a real disk, mount or permission does.

#include <cstddef>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

namespace stats::image {

/// The system calls of the core, with POSIX meaning: -1 and errno on failure.
class FileApi
{
public:
    FileApi() = default;
    FileApi(const FileApi &) = delete;
    FileApi &operator=(const FileApi &) = delete;
    virtual ~FileApi() = default;

    virtual int stat(const char *path, struct ::stat *info);
    virtual int open(const char *path, int flags);
    virtual int fstat(int fd, struct ::stat *info);
    virtual ssize_t pread(int fd, void *buffer, std::size_t count, off_t offset);
    virtual ssize_t pwrite(int fd, const void *buffer, std::size_t count, off_t offset);
    virtual int fdatasync(int fd);
    /// fcntl(2) for the record-lock commands (F_OFD_SETLK and its kin).
    virtual int fcntl(int fd, int command, struct ::flock *lock);
    virtual int close(int fd);
};

/// The real system calls.
[[nodiscard]] FileApi &systemFileApi();

/// An open descriptor that is closed on every path out of the scope that owns it.
class FileHandle
{
public:
    FileHandle(FileApi &api, int fd) noexcept : m_api(&api), m_fd(fd) {}
    FileHandle(FileHandle &&other) noexcept : m_api(other.m_api), m_fd(other.m_fd)
    {
        other.m_fd = -1;
    }
    FileHandle &operator=(FileHandle &&) = delete;
    FileHandle(const FileHandle &) = delete;
    FileHandle &operator=(const FileHandle &) = delete;
    ~FileHandle() { closeNow(); }

    [[nodiscard]] int fd() const noexcept { return m_fd; }
    [[nodiscard]] FileApi &api() const noexcept { return *m_api; }

    /// Closes at once; the result of close(2), 0 when already closed.
    int closeNow() noexcept;

private:
    FileApi *m_api;
    int m_fd;
};

} // namespace stats::image
