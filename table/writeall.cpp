#include "table/writeall.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace stats::table {

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        // At most a gibibyte a call: Windows' write(2) takes an unsigned int, POSIX's a size_t.
        const auto count = static_cast<unsigned int>(std::min<std::size_t>(bytes.size(), 1U << 30));
        const ssize_t put = ::write(fd, bytes.data(), count);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            errno = put == 0 ? EIO : errno;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(put));
    }
    return true;
}

} // namespace stats::table
