#pragma once

/// @file
/// The one loop that writes a whole buffer through a call that may write only part of it.

#include <cstddef>
#include <expected>
#include <span>

namespace stats::platform {

/// Writes all of @p bytes by calling @p writeSome(remaining, done), which writes a first part
/// of `remaining` (the bytes from position `done` on) and returns how many bytes it wrote, or
/// its failure. A call that writes nothing while bytes remain makes no progress, so it ends
/// the loop with @p noProgress rather than spin.
template <typename Byte, typename WriteSome, typename Error>
std::expected<void, Error> writeAll(std::span<const Byte> bytes, WriteSome writeSome,
                                    Error noProgress)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::expected<std::size_t, Error> put = writeSome(bytes.subspan(done), done);
        if (!put) {
            return std::unexpected(put.error());
        }
        if (*put == 0) {
            return std::unexpected(noProgress);
        }
        done += *put;
    }
    return {};
}

} // namespace stats::platform
