#include "platform/fileapi.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace stats::platform {

namespace {

std::unexpected<SystemError> failure(int code)
{
    const Fault fault = code == ENOENT || code == ENOTDIR ? Fault::NotFound
                        : code == ETXTBSY                 ? Fault::InUse
                        : code == EEXIST                  ? Fault::Exists
                                                          : Fault::Other;
    return std::unexpected(SystemError{fault, code});
}

std::unexpected<SystemError> lastError()
{
    return failure(errno);
}

// Whether a character device is one that output may go to: /dev/null, or a terminal. Other
// devices are never opened, as opening some of them already does something.
bool isNullOrTerminal(const struct ::stat &info)
{
    struct ::stat null
    {
    };
    if (::stat("/dev/null", &null) == 0 && S_ISCHR(null.st_mode) && null.st_rdev == info.st_rdev) {
        return true;
    }
    // The terminal majors of Linux: virtual consoles and serial lines, /dev/tty and the
    // console, and pseudo-terminals.
    const unsigned int major = ::major(info.st_rdev);
    return major == 4 || major == 5 || (major >= 136 && major <= 143);
}

FileType typeOf(const struct ::stat &info)
{
    if (S_ISREG(info.st_mode)) {
        return FileType::Regular;
    }
    if (S_ISDIR(info.st_mode)) {
        return FileType::Folder;
    }
    if (S_ISFIFO(info.st_mode) || (S_ISCHR(info.st_mode) && isNullOrTerminal(info))) {
        return FileType::Stream;
    }
    return FileType::Other;
}

FileStatus statusOf(const struct ::stat &info)
{
    return {typeOf(info), static_cast<std::int64_t>(info.st_size),
            FileIdentity{static_cast<std::uint64_t>(info.st_dev),
                         static_cast<std::uint64_t>(info.st_ino)},
            static_cast<std::uint32_t>(info.st_mode & 07777)};
}

// Calls `call` again while a signal interrupts it.
template <typename Call> auto retried(Call call)
{
    for (;;) {
        const auto result = call();
        if (result >= 0 || errno != EINTR) {
            return result;
        }
    }
}

int descriptor(NativeFile file)
{
    return static_cast<int>(file);
}

} // namespace

SystemResult<FileStatus> FileApi::status(const Path &path)
{
    struct ::stat info
    {
    };
    if (::stat(path.text().c_str(), &info) != 0) {
        return lastError();
    }
    return statusOf(info);
}

SystemResult<NativeFile> FileApi::open(const Path &path, Access access)
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
    const int fd = ::open(path.text().c_str(), flags);
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
    const ssize_t got = retried(
        [&] { return ::pread(descriptor(file), buffer, count, static_cast<off_t>(offset)); });
    if (got < 0) {
        return lastError();
    }
    return static_cast<std::size_t>(got);
}

SystemResult<std::size_t> FileApi::write(NativeFile file, const void *buffer, std::size_t count,
                                         std::int64_t offset)
{
    // No save means to make a file longer, and no call keeps a write from doing so: one that
    // would is refused, as Windows refuses it. The core compares the length after its writes
    // for a file cut meanwhile.
    struct ::stat info
    {
    };
    if (::fstat(descriptor(file), &info) != 0) {
        return lastError();
    }
    if (offset < 0 || offset > info.st_size ||
        static_cast<std::int64_t>(count) > info.st_size - offset) {
        return failure(EFBIG);
    }
    const ssize_t put = retried(
        [&] { return ::pwrite(descriptor(file), buffer, count, static_cast<off_t>(offset)); });
    if (put < 0) {
        return lastError();
    }
    if (put == 0 && count != 0) {
        // A write that puts nothing makes no progress; retrying would spin.
        return failure(EIO);
    }
    return static_cast<std::size_t>(put);
}

SystemResult<void> FileApi::flush(NativeFile file)
{
    if (retried([&] { return ::fdatasync(descriptor(file)); }) != 0) {
        return lastError();
    }
    return {};
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
    if (retried([&] { return ::fcntl(descriptor(file), F_OFD_SETLK, &lock); }) == 0) {
        return {};
    }
    const int code = errno;
    if (code == EAGAIN || code == EACCES) {
        return std::unexpected(SystemError{Fault::LockHeld, code});
    }
    return failure(code);
}

SystemResult<void> FileApi::close(NativeFile file)
{
    if (::close(descriptor(file)) != 0) {
        return lastError();
    }
    return {};
}

SystemResult<NativeFile> FileApi::create(const Path &path, NewFile kind)
{
    // Every new file gets what the umask leaves of 0666, as a shell's redirect makes it; a
    // temporary file is only ever opened by name to be found abandoned, which the lock tells.
    static_cast<void>(kind);
    const int fd = retried([&] {
        return ::open(path.text().c_str(),
                      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666);
    });
    if (fd < 0) {
        return lastError();
    }
    return NativeFile{fd};
}

SystemResult<NativeFile> FileApi::openStream(const Path &path, Direction direction)
{
    int flags = O_NOCTTY | O_CLOEXEC;
    switch (direction) {
    case Direction::Read:
        flags |= O_RDONLY;
        break;
    case Direction::Write:
        flags |= O_WRONLY;
        break;
    }
    const int fd = retried([&] { return ::open(path.text().c_str(), flags); });
    if (fd < 0) {
        return lastError();
    }
    return NativeFile{fd};
}

SystemResult<std::size_t> FileApi::readNext(NativeFile file, void *buffer, std::size_t count)
{
    const ssize_t got = retried([&] { return ::read(descriptor(file), buffer, count); });
    if (got < 0) {
        return lastError();
    }
    return static_cast<std::size_t>(got);
}

SystemResult<std::size_t> FileApi::writeNext(NativeFile file, const void *buffer, std::size_t count)
{
    const ssize_t put = retried([&] { return ::write(descriptor(file), buffer, count); });
    if (put < 0) {
        return lastError();
    }
    if (put == 0 && count != 0) {
        return failure(EIO);
    }
    return static_cast<std::size_t>(put);
}

SystemResult<void> FileApi::setSize(NativeFile file, std::int64_t size)
{
    if (retried([&] { return ::ftruncate(descriptor(file), static_cast<off_t>(size)); }) != 0) {
        return lastError();
    }
    return {};
}

SystemResult<void> FileApi::keepPermissions(NativeFile file, const FileStatus &replaced)
{
    if (::fchmod(descriptor(file), static_cast<mode_t>(replaced.permissions)) != 0) {
        return lastError();
    }
    return {};
}

SystemResult<void> FileApi::mayWrite(const Path &path)
{
    // The effective user, as an open to write would be judged.
    if (::faccessat(AT_FDCWD, path.text().c_str(), W_OK, AT_EACCESS) != 0) {
        return lastError();
    }
    return {};
}

SystemResult<Path> FileApi::finalPath(const Path &path)
{
    char *resolved = ::realpath(path.text().c_str(), nullptr);
    if (resolved == nullptr) {
        return lastError();
    }
    Path result{std::string(resolved)};
    std::free(resolved);
    return result;
}

SystemResult<void> FileApi::putInPlace(const Path &made, const Path &target, Placing placing)
{
    switch (placing) {
    case Placing::NoFileThere:
        if (::renameat2(AT_FDCWD, made.text().c_str(), AT_FDCWD, target.text().c_str(),
                        RENAME_NOREPLACE) == 0) {
            return {};
        }
        // A file system that cannot keep a file from being replaced: the rename below, whose
        // window is the moment since the caller looked.
        if (errno != EINVAL && errno != ENOSYS) {
            return lastError();
        }
        break;
    case Placing::ReplacingFile:
        break;
    }
    if (::rename(made.text().c_str(), target.text().c_str()) != 0) {
        return lastError();
    }
    return {};
}

SystemResult<void> FileApi::remove(const Path &path)
{
    if (::unlink(path.text().c_str()) != 0) {
        return lastError();
    }
    return {};
}

NativeFile nativeFileOf(std::FILE *stream)
{
    return NativeFile{::fileno(stream)};
}

SystemResult<DataRun> nextDataRun(NativeFile file, std::int64_t from)
{
    const off_t end = ::lseek(descriptor(file), 0, SEEK_END);
    if (end < 0) {
        return lastError();
    }
    const off_t data = ::lseek(descriptor(file), static_cast<off_t>(from), SEEK_DATA);
    if (data < 0) {
        // Past the last data; a file system without holes has read all as data already.
        return errno == ENXIO ? SystemResult<DataRun>(DataRun{end, end}) : lastError();
    }
    const off_t hole = ::lseek(descriptor(file), data, SEEK_HOLE);
    if (hole < 0) {
        return lastError();
    }
    return DataRun{data, hole};
}

std::string_view streamPlaces()
{
    return "a pipe, a terminal or /dev/null";
}

int openHandleCount()
{
    std::error_code error;
    int count = 0;
    for (auto entry = std::filesystem::directory_iterator("/proc/self/fd", error);
         entry != std::filesystem::directory_iterator(); entry.increment(error)) {
        ++count;
    }
    return count;
}

std::string osReason(OsError code)
{
    // The system's own text says only "Text file busy"; what it means and what to do is ours.
    if (code == ETXTBSY) {
        return "another program is running from this file, and the system lets no other "
               "program write it meanwhile; close that program and try again";
    }
    return std::strerror(code);
}

} // namespace stats::platform
