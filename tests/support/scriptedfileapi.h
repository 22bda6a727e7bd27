#pragma once

// A file layer whose failures are armed at a chosen moment, so that a test can open an image
// and load an entry normally and then make exactly the save's third read or its fifth write
// fail. Calls are counted from the moment of arming, handles over the whole life. A test can
// also act at a named step of a save, or in the gap after a chosen call, as another program
// would (truncate or replace the file), at a moment a real race could never be made to hit.

#include "platform/fileapi.h"

#include <array>
#include <cerrno>
#include <cstddef>
#include <functional>
#include <limits>
#include <string>
#include <utility>

namespace stats::testing {

class ScriptedFileApi : public platform::FileApi
{
public:
    /// The calls of the file seam: what is at a path, open, what the open file is, read (at
    /// an offset or the next bytes), write (likewise), flush, close, the lock, making a new
    /// file and putting one in place.
    enum class Call {
        Status,
        Open,
        FileStatus,
        Read,
        Write,
        Flush,
        Close,
        Lock,
        Create,
        PutInPlace
    };
    static constexpr std::size_t kCallKinds = 10;

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

    /// Runs @p action when the core reaches @p step (of entry @p entry where the step belongs
    /// to one), the first time only.
    void atStep(platform::SaveStep step, std::size_t entry, std::function<void()> action)
    {
        m_stepHook = {step, entry, std::move(action)};
    }

    /// Once the core reaches @p step (of @p entry), the next call of @p call fails with
    /// @p error, and with @p sticky every later one too.
    void failAfterStep(platform::SaveStep step, std::size_t entry, Call call, int error,
                       bool sticky = false)
    {
        atStep(step, entry, [this, call, error, sticky] { arm(call, error, 1, sticky); });
    }

    [[nodiscard]] int openDescriptors() const { return m_opened - m_closed; }
    [[nodiscard]] int calls(Call call) const { return m_counts[index(call)]; }

    platform::SystemResult<platform::FileStatus> status(const platform::Path &path) override
    {
        return scripted(Call::Status, [&] { return FileApi::status(path); });
    }
    platform::SystemResult<platform::NativeFile> open(const platform::Path &path,
                                                      platform::Access access) override
    {
        return opened(Call::Open, [&] { return FileApi::open(path, access); });
    }
    platform::SystemResult<platform::FileStatus> status(platform::NativeFile file) override
    {
        return scripted(Call::FileStatus, [&] { return FileApi::status(file); });
    }
    platform::SystemResult<std::size_t> read(platform::NativeFile file, void *buffer,
                                             std::size_t count, std::int64_t offset) override
    {
        return scripted(Call::Read, [&] { return FileApi::read(file, buffer, count, offset); });
    }
    platform::SystemResult<void> tryLock(platform::NativeFile file,
                                         platform::LockKind kind) override
    {
        return scripted(Call::Lock, [&] { return FileApi::tryLock(file, kind); });
    }
    platform::SystemResult<std::size_t> write(platform::NativeFile file, const void *buffer,
                                              std::size_t count, std::int64_t offset) override
    {
        return hooked(Call::Write, budgetedWrite(file, buffer, count, offset));
    }
    platform::SystemResult<void> flush(platform::NativeFile file) override
    {
        return scripted(Call::Flush, [&] { return FileApi::flush(file); });
    }
    platform::SystemResult<void> close(platform::NativeFile file) override
    {
        // The handle is released even when close reports an error.
        ++m_closed;
        auto result = FileApi::close(file);
        return fails(Call::Close) ? failure<void>(Call::Close) : result;
    }
    platform::SystemResult<platform::NativeFile> create(const platform::Path &path,
                                                        platform::NewFile kind) override
    {
        return opened(Call::Create, [&] { return FileApi::create(path, kind); });
    }
    platform::SystemResult<platform::NativeFile> openStream(const platform::Path &path,
                                                            platform::Direction direction) override
    {
        return opened(Call::Open, [&] { return FileApi::openStream(path, direction); });
    }
    platform::SystemResult<std::size_t> readNext(platform::NativeFile file, void *buffer,
                                                 std::size_t count) override
    {
        return scripted(Call::Read, [&] { return FileApi::readNext(file, buffer, count); });
    }
    platform::SystemResult<std::size_t> writeNext(platform::NativeFile file, const void *buffer,
                                                  std::size_t count) override
    {
        return scripted(Call::Write, [&] { return FileApi::writeNext(file, buffer, count); });
    }
    platform::SystemResult<void> putInPlace(const platform::Path &made,
                                            const platform::Path &target,
                                            platform::Placing placing) override
    {
        return scripted(Call::PutInPlace,
                        [&] { return FileApi::putInPlace(made, target, placing); });
    }
    void reached(platform::SaveStep step, std::size_t entry) override
    {
        if (m_stepHook.action && step == m_stepHook.step && entry == m_stepHook.entry) {
            std::exchange(m_stepHook.action, nullptr)();
        }
    }

private:
    static constexpr std::size_t kUnlimited = std::numeric_limits<std::size_t>::max();

    static std::size_t index(Call call) { return static_cast<std::size_t>(call); }

    // The armed error as the system would report it for this call.
    template <typename T> platform::SystemResult<T> failure(Call call) const
    {
        return std::unexpected(platform::SystemError{faultOf(call, m_error), m_error});
    }

    static platform::Fault faultOf(Call call, int error)
    {
        if (error == ENOENT || error == ENOTDIR) {
            return platform::Fault::NotFound;
        }
        if (call == Call::Lock && (error == EAGAIN || error == EACCES)) {
            return platform::Fault::LockHeld;
        }
        return platform::Fault::Other;
    }

    // The armed failure of `call`, or what the real call returns; then the action armed for it.
    template <typename Real> auto scripted(Call call, Real real) -> decltype(real())
    {
        using Result = decltype(real());
        return hooked(call, fails(call) ? failure<typename Result::value_type>(call) : real());
    }

    // The same for a call that opens a file, which is counted until it is closed.
    template <typename Real>
    platform::SystemResult<platform::NativeFile> opened(Call call, Real real)
    {
        if (fails(call)) {
            return failure<platform::NativeFile>(call);
        }
        auto file = real();
        m_opened += file ? 1 : 0;
        return hooked(call, std::move(file));
    }

    // The result of a call, after the action armed for it.
    template <typename Result> Result hooked(Call call, Result result)
    {
        if (m_hook && call == m_hookCall && ++m_hookCount == m_hookNth) {
            std::exchange(m_hook, nullptr)();
        }
        return result;
    }

    platform::SystemResult<std::size_t> budgetedWrite(platform::NativeFile file, const void *buffer,
                                                      std::size_t count, std::int64_t offset)
    {
        if (fails(Call::Write)) {
            return failure<std::size_t>(Call::Write);
        }
        if (m_writeBudget == 0) {
            if (m_afterBudget == AfterBudget::Recover) {
                m_writeBudget = kUnlimited;
            }
            return std::unexpected(platform::SystemError{platform::Fault::Other, m_budgetError});
        }
        std::size_t allowed = count < m_eachWriteLimit ? count : m_eachWriteLimit;
        allowed = allowed < m_writeBudget ? allowed : m_writeBudget;
        auto put = FileApi::write(file, buffer, allowed, offset);
        if (put && m_writeBudget != kUnlimited) {
            m_writeBudget -= *put;
        }
        return put;
    }

    bool fails(Call call)
    {
        const int count = ++m_counts[index(call)];
        return m_armed && call == m_call && count >= m_nth && (count == m_nth || m_sticky);
    }

    bool m_armed = false;
    Call m_call = Call::Status;
    int m_error = 0;
    int m_nth = 1;
    bool m_sticky = false;
    std::size_t m_writeBudget = kUnlimited;
    int m_budgetError = EIO;
    AfterBudget m_afterBudget = AfterBudget::Recover;
    std::size_t m_eachWriteLimit = kUnlimited;
    std::array<int, kCallKinds> m_counts{};
    Call m_hookCall = Call::Status;
    int m_hookNth = 0;
    int m_hookCount = 0;
    std::function<void()> m_hook;
    struct StepHook
    {
        platform::SaveStep step = platform::SaveStep::RecordsChecked;
        std::size_t entry = 0;
        std::function<void()> action;
    } m_stepHook;
    int m_opened = 0;
    int m_closed = 0;
};

} // namespace stats::testing
