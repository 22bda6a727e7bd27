#pragma once

// A file layer that makes a chosen system call fail, the way a full disk, a failing drive or a
// permission change would, and counts descriptors so a test can tell none was left open.

#include "image/fileapi.h"

#include <cerrno>

namespace stats::testing {

class FaultyFileApi : public image::FileApi
{
public:
    enum class Call { None, Stat, Open, Fstat, Pread, Pwrite, Fdatasync, Close };

    /// Makes the @p nth call (1-based) of @p call and, with @p sticky, every later one fail
    /// with @p error.
    void failOn(Call call, int error, int nth = 1, bool sticky = false)
    {
        m_call = call;
        m_error = error;
        m_nth = nth;
        m_sticky = sticky;
    }
    /// Makes every write put at most @p bytes bytes, as a short write does.
    void limitWritesTo(std::size_t bytes) { m_writeLimit = bytes; }

    [[nodiscard]] int openDescriptors() const { return m_opened - m_closed; }
    [[nodiscard]] int writes() const { return m_counts[static_cast<int>(Call::Pwrite)]; }

    int stat(const char *path, struct ::stat *info) override
    {
        return fails(Call::Stat) ? -1 : FileApi::stat(path, info);
    }
    int open(const char *path, int flags) override
    {
        if (fails(Call::Open)) {
            return -1;
        }
        const int fd = FileApi::open(path, flags);
        m_opened += fd >= 0 ? 1 : 0;
        return fd;
    }
    int fstat(int fd, struct ::stat *info) override
    {
        return fails(Call::Fstat) ? -1 : FileApi::fstat(fd, info);
    }
    ssize_t pread(int fd, void *buffer, std::size_t count, off_t offset) override
    {
        return fails(Call::Pread) ? -1 : FileApi::pread(fd, buffer, count, offset);
    }
    ssize_t pwrite(int fd, const void *buffer, std::size_t count, off_t offset) override
    {
        if (fails(Call::Pwrite)) {
            return -1;
        }
        return FileApi::pwrite(fd, buffer, count < m_writeLimit ? count : m_writeLimit, offset);
    }
    int fdatasync(int fd) override { return fails(Call::Fdatasync) ? -1 : FileApi::fdatasync(fd); }
    int close(int fd) override
    {
        // The descriptor is gone even when close reports an error, as on Linux.
        ++m_closed;
        const int result = FileApi::close(fd);
        return fails(Call::Close) ? -1 : result;
    }

private:
    bool fails(Call call)
    {
        const int count = ++m_counts[static_cast<int>(call)];
        if (call != m_call || count < m_nth || (count > m_nth && !m_sticky)) {
            return false;
        }
        errno = m_error;
        return true;
    }

    Call m_call = Call::None;
    int m_error = 0;
    int m_nth = 1;
    bool m_sticky = false;
    std::size_t m_writeLimit = static_cast<std::size_t>(-1);
    int m_counts[8] = {};
    int m_opened = 0;
    int m_closed = 0;
};

} // namespace stats::testing
