#pragma once

// Where a field of a row lies in the image, for the tests that look at the image's bytes.

#include "image/statstable.h"

namespace stats::testing {

/// The file offset of @p field in row @p row of @p range, for a row the range has.
[[nodiscard]] inline std::int64_t offsetOf(image::Range range, int row, image::Field field)
{
    return *image::fieldPosition(range, static_cast<std::int16_t>(row),
                                 image::fieldInfo(field).offset);
}

} // namespace stats::testing
