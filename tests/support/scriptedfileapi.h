#pragma once

// A file layer whose failures are armed at a chosen moment, so that a test can open an image
// and load an entry normally and then make exactly the save's third read or its fifth write
// fail. Calls are counted from the moment of arming, descriptors over the whole life. A test
// can also act in the gap after a chosen call, as another program would (truncate or replace
// the file), at a moment a real race could never be made to hit.

#include "image/fileapi.h"

#include <array>
#include <cerrno>
#include <cstddef>
#include <functional>
#include <limits>
#include <utility>

namespace stats::testing {

class ScriptedFileApi : public image::FileApi
{
public:
    enum class Call { Stat, Open, Fstat, Pread, Pwrite, Fdatasync, Close, Fcntl };
    static constexpr std::size_t kCallKinds = 8;

    /// What happens to writes once their byte budget is spent.
    enum class AfterBudget {
        Recover, ///< the one failing write is the only one; putting the old bytes back works
        Stay,    ///< every later write fails too, so putting the old bytes back fails
    };

    /// From now on, the @p nth call of @p call fails with @p error, and with @p sticky every
    /// later one too.
    void arm(Call call, int error, int nth = 1, bool sticky = false)
    {
        m_call = call;
        m_error = error;
        m_nth = nth;
        m_sticky = sticky;
        m_armed = true;
        m_counts = {};
    }

    /// From now on, writes put @p bytes bytes in all; the write that reaches past them puts
    /// what is left (a short write) and the next one fails with @p error, the way a disk that
    /// fills up mid-save does.
    void failWritesAfter(std::size_t bytes, int error, AfterBudget after)
    {
        m_writeBudget = bytes;
        m_budgetError = error;
        m_afterBudget = after;
    }

    /// Runs @p action right after the @p nth call of @p call (counted from now) returns.
    void after(Call call, int nth, std::function<void()> action)
    {
        m_hookCall = call;
        m_hookNth = nth;
        m_hookCount = 0;
        m_hook = std::move(action);
    }

    /// Every write puts at most @p bytes bytes, each one a short write that is not a failure.
    void limitEachWriteTo(std::size_t bytes) { m_eachWriteLimit = bytes; }

    /// Back to the real calls, with no failure armed.
    void disarm()
    {
        m_armed = false;
        m_writeBudget = kUnlimited;
        m_eachWriteLimit = kUnlimited;
    }

    [[nodiscard]] int openDescriptors() const { return m_opened - m_closed; }
    [[nodiscard]] int calls(Call call) const { return m_counts[index(call)]; }

    int stat(const char *path, struct ::stat *info) override
    {
        return hooked(Call::Stat, fails(Call::Stat) ? -1 : FileApi::stat(path, info));
    }
    int open(const char *path, int flags) override
    {
        if (fails(Call::Open)) {
            return -1;
        }
        const int fd = FileApi::open(path, flags);
        m_opened += fd >= 0 ? 1 : 0;
        return hooked(Call::Open, fd);
    }
    int fstat(int fd, struct ::stat *info) override
    {
        return hooked(Call::Fstat, fails(Call::Fstat) ? -1 : FileApi::fstat(fd, info));
    }
    ssize_t pread(int fd, void *buffer, std::size_t count, off_t offset) override
    {
        return hooked(Call::Pread,
                      fails(Call::Pread) ? -1 : FileApi::pread(fd, buffer, count, offset));
    }
    int fcntl(int fd, int command, struct ::flock *lock) override
    {
        return hooked(Call::Fcntl, fails(Call::Fcntl) ? -1 : FileApi::fcntl(fd, command, lock));
    }
    ssize_t pwrite(int fd, const void *buffer, std::size_t count, off_t offset) override
    {
        return hooked(Call::Pwrite, budgetedWrite(fd, buffer, count, offset));
    }
    int fdatasync(int fd) override
    {
        return hooked(Call::Fdatasync, fails(Call::Fdatasync) ? -1 : FileApi::fdatasync(fd));
    }
    int close(int fd) override
    {
        // Linux releases the descriptor even when close reports an error.
        ++m_closed;
        const int result = FileApi::close(fd);
        return fails(Call::Close) ? -1 : result;
    }

private:
    static constexpr std::size_t kUnlimited = std::numeric_limits<std::size_t>::max();

    static std::size_t index(Call call) { return static_cast<std::size_t>(call); }

    // The result of a call, after the action armed for it (which keeps errno as it was).
    template <typename Result> Result hooked(Call call, Result result)
    {
        if (m_hook && call == m_hookCall && ++m_hookCount == m_hookNth) {
            const int error = errno;
            std::exchange(m_hook, nullptr)();
            errno = error;
        }
        return result;
    }

    ssize_t budgetedWrite(int fd, const void *buffer, std::size_t count, off_t offset)
    {
        if (fails(Call::Pwrite)) {
            return -1;
        }
        if (m_writeBudget == 0) {
            if (m_afterBudget == AfterBudget::Recover) {
                m_writeBudget = kUnlimited;
            }
            errno = m_budgetError;
            return -1;
        }
        std::size_t allowed = count < m_eachWriteLimit ? count : m_eachWriteLimit;
        allowed = allowed < m_writeBudget ? allowed : m_writeBudget;
        const ssize_t put = FileApi::pwrite(fd, buffer, allowed, offset);
        if (put > 0 && m_writeBudget != kUnlimited) {
            m_writeBudget -= static_cast<std::size_t>(put);
        }
        return put;
    }

    bool fails(Call call)
    {
        const int count = ++m_counts[index(call)];
        if (!m_armed || call != m_call || count < m_nth || (count > m_nth && !m_sticky)) {
            return false;
        }
        errno = m_error;
        return true;
    }

    bool m_armed = false;
    Call m_call = Call::Stat;
    int m_error = 0;
    int m_nth = 1;
    bool m_sticky = false;
    std::size_t m_writeBudget = kUnlimited;
    int m_budgetError = EIO;
    AfterBudget m_afterBudget = AfterBudget::Recover;
    std::size_t m_eachWriteLimit = kUnlimited;
    std::array<int, kCallKinds> m_counts{};
    Call m_hookCall = Call::Stat;
    int m_hookNth = 0;
    int m_hookCount = 0;
    std::function<void()> m_hook;
    int m_opened = 0;
    int m_closed = 0;
};

} // namespace stats::testing
