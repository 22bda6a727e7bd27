#pragma once

/// @file
/// A sample "QVZT" image for trying the editor and for the tests: sparse, with a plausible
/// table whose edited bytes are valid for their lists and a recognisable pattern elsewhere.

#include "image/imagefile.h"
#include "platform/fileapi.h"

#include <cstdint>
#include <expected>
#include <string>

namespace stats::tools {

inline constexpr std::int64_t kSampleImageSize = std::int64_t{128} << 20;
/// Bytes of pattern the sample puts just before and just after the table, so that a write
/// beside the table shows in a comparison.
inline constexpr std::int64_t kGuardSize = 64;

/// The fifteen edited bytes the sample gives record @p record, in field order.
[[nodiscard]] stats::image::FieldBytes sampleFieldBytes(int record);

/// The byte the sample holds at @p offset of the file (header, table, guards; zero elsewhere).
[[nodiscard]] std::uint8_t sampleByteAt(std::int64_t offset);

/// Writes a new sample image of @p size bytes (at least the table's end) at @p path. Never
/// touches an existing file; the problem in words on failure.
[[nodiscard]] std::expected<void, std::string>
writeSampleImage(const std::string &path, std::int64_t size = kSampleImageSize,
                 platform::FileApi &files = platform::systemFileApi());

} // namespace stats::tools
