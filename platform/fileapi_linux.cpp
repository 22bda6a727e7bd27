#include "platform/fileapi.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace stats::platform {

namespace {

std::unexpected<SystemError> lastError()
{
    const int code = errno;
    const Fault fault = code == ENOENT || code == ENOTDIR ? Fault::NotFound : Fault::Other;
    return std::unexpected(SystemError{fault, code});
}

FileStatus statusOf(const struct ::stat &info)
{
    const FileType type = S_ISREG(info.st_mode)   ? FileType::Regular
                          : S_ISDIR(info.st_mode) ? FileType::Folder
                                                  : FileType::Other;
    return {type, static_cast<std::int64_t>(info.st_size),
            FileIdentity{static_cast<std::uint64_t>(info.st_dev),
                         static_cast<std::uint64_t>(info.st_ino)}};
}

int descriptor(NativeFile file)
{
    return static_cast<int>(file);
}

} // namespace

SystemResult<FileStatus> FileApi::status(const std::string &path)
{
    struct ::stat info
    {
    };
    if (::stat(path.c_str(), &info) != 0) {
        return lastError();
    }
    return statusOf(info);
}

SystemResult<NativeFile> FileApi::open(const std::string &path, Access access)
{
    // O_NONBLOCK: a FIFO or device swapped in for the file cannot make the open wait.
    int flags = O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    switch (access) {
    case Access::Read:
        flags |= O_RDONLY;
        break;
    case Access::ReadWrite:
        flags |= O_RDWR;
        break;
    }
    const int fd = ::open(path.c_str(), flags);
    if (fd < 0) {
        return lastError();
    }
    return NativeFile{fd};
}

SystemResult<FileStatus> FileApi::status(NativeFile file)
{
    struct ::stat info
    {
    };
    if (::fstat(descriptor(file), &info) != 0) {
        return lastError();
    }
    return statusOf(info);
}

SystemResult<std::size_t> FileApi::read(NativeFile file, void *buffer, std::size_t count,
                                        std::int64_t offset)
{
    for (;;) {
        const ssize_t got = ::pread(descriptor(file), buffer, count, static_cast<off_t>(offset));
        if (got >= 0) {
            return static_cast<std::size_t>(got);
        }
        if (errno != EINTR) {
            return lastError();
        }
    }
}

SystemResult<std::size_t> FileApi::write(NativeFile file, const void *buffer, std::size_t count,
                                         std::int64_t offset)
{
    for (;;) {
        const ssize_t put = ::pwrite(descriptor(file), buffer, count, static_cast<off_t>(offset));
        if (put > 0 || (put == 0 && count == 0)) {
            return static_cast<std::size_t>(put);
        }
        if (put == 0) {
            // A write that puts nothing makes no progress; retrying would spin.
            return std::unexpected(SystemError{Fault::Other, EIO});
        }
        if (errno != EINTR) {
            return lastError();
        }
    }
}

SystemResult<void> FileApi::flush(NativeFile file)
{
    for (;;) {
        if (::fdatasync(descriptor(file)) == 0) {
            return {};
        }
        if (errno != EINTR) {
            return lastError();
        }
    }
}

// Open-file-description locks belong to the open, not to the process, so two threads or two
// opens in one process exclude each other as two processes do, and the system drops the lock
// when the file is closed, also when the process is killed.
SystemResult<void> FileApi::tryLock(NativeFile file, LockKind kind)
{
    struct ::flock lock
    {
    };
    switch (kind) {
    case LockKind::Shared:
        lock.l_type = F_RDLCK;
        break;
    case LockKind::Exclusive:
        lock.l_type = F_WRLCK;
        break;
    }
    lock.l_whence = SEEK_SET;
    for (;;) {
        if (::fcntl(descriptor(file), F_OFD_SETLK, &lock) == 0) {
            return {};
        }
        const int code = errno;
        if (code == EAGAIN || code == EACCES) {
            return std::unexpected(SystemError{Fault::LockHeld, code});
        }
        if (code != EINTR) {
            return lastError();
        }
    }
}

SystemResult<void> FileApi::close(NativeFile file)
{
    if (::close(descriptor(file)) != 0) {
        return lastError();
    }
    return {};
}

std::string osReason(OsError code)
{
    return std::strerror(code);
}

} // namespace stats::platform
