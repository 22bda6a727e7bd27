#include "platform/fileapi.h"

#include "platform/writeall.h"

#include <utility>

namespace stats::platform {

// The calls themselves are the platform's (fileapi_posix.cpp, fileapi_windows.cpp); the one
// instance that stands for the real system is shared.
FileApi &systemFileApi()
{
    static FileApi api;
    return api;
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
