#include "fileapi.h"

#include <utility>

namespace stats::image {

// The calls themselves are the platform's (fileapi_posix.cpp, fileapi_windows.cpp); the one
// instance that stands for the real system is shared.
FileApi &systemFileApi()
{
    static FileApi api;
    return api;
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

} // namespace stats::image
