#pragma once

// Where a field of a row lies in the image, and what the sample image holds there, for the
// tests that look at the image's bytes.

#include "image/statstable.h"
#include "sample-image/sampleimage.h"

namespace stats::testing {

/// The file offset of @p field in row @p row of @p range, for a row the range has.
[[nodiscard]] inline std::int64_t offsetOf(image::Range range, int row, image::Field field)
{
    return *image::fieldPosition(range, static_cast<std::int16_t>(row),
                                 image::fieldInfo(field).offset);
}

/// The byte the sample image holds for @p field of row @p row, in every range.
[[nodiscard]] inline std::uint8_t sampleByte(int row, image::Field field)
{
    return tools::sampleFieldBytes(row)[static_cast<std::size_t>(field)];
}

} // namespace stats::testing
