#include "platform/fileapi.h"

#include "platform/writeall.h"

#include <algorithm>
#include <thread>
#include <utility>

// What every system shares of the file seam: the one instance of the real calls, the loops
// that go on after a short read or write, and the wait for a lock. The calls themselves are
// the system's (fileapi_linux.cpp, fileapi_windows.cpp).

namespace stats::platform {

FileApi &systemFileApi()
{
    static FileApi api;
    return api;
}

std::string systemReason(OsError code)
{
    return code == 0 ? std::string("the system gave no reason") : osReason(code);
}

SystemResult<void> writeAll(FileApi &api, NativeFile file, std::span<const std::uint8_t> bytes,
                            std::int64_t offset)
{
    // The primitive reports a write that puts nothing as a failure of its own.
    return platform::writeAll(
        bytes,
        [&](std::span<const std::uint8_t> rest, std::size_t done) {
            return api.write(file, rest.data(), rest.size(),
                             offset + static_cast<std::int64_t>(done));
        },
        SystemError{Fault::Other, 0});
}

SystemResult<void> writeAllNext(FileApi &api, NativeFile file, std::string_view bytes)
{
    return platform::writeAll(
        std::span(bytes),
        [&](std::span<const char> rest, std::size_t /*done*/) {
            return api.writeNext(file, rest.data(), rest.size());
        },
        SystemError{Fault::Other, 0});
}

std::expected<std::string, ReadFailure> readAllNext(FileApi &api, NativeFile file,
                                                    std::size_t limit)
{
    std::string text;
    // One allocation of the file's size, not a string that doubles and copies as it grows.
    if (const auto info = api.status(file); info && info->type == FileType::Regular) {
        text.reserve(std::min(static_cast<std::size_t>(info->size), limit + 1));
    }
    std::string buffer(std::size_t{1} << 16, '\0');
    for (;;) {
        const auto got = api.readNext(file, buffer.data(), buffer.size());
        if (!got) {
            return std::unexpected(ReadFailure{got.error()});
        }
        if (*got == 0) {
            return text;
        }
        text.append(buffer, 0, *got);
        if (text.size() > limit) {
            return std::unexpected(ReadFailure{});
        }
    }
}

SystemResult<void> lockWaiting(FileApi &api, NativeFile file, LockKind kind,
                               std::chrono::milliseconds wait)
{
    constexpr auto kRetry = std::chrono::milliseconds(20);
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        auto locked = api.tryLock(file, kind);
        if (locked || locked.error().fault != Fault::LockHeld ||
            std::chrono::steady_clock::now() >= deadline) {
            return locked;
        }
        std::this_thread::sleep_for(kRetry);
    }
}

SystemResult<void> FileHandle::closeNow() noexcept
{
    if (m_file == kNoFile) {
        return {};
    }
    // The handle is given up whatever close reports: POSIX releases the descriptor even when
    // close fails, and retrying could close one that another open has since been given.
    return m_api->close(std::exchange(m_file, kNoFile));
}

} // namespace stats::platform
