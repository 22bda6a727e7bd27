#include "statstable.h"

#include <limits>

namespace stats::image {

std::expected<std::int64_t, LayoutError> fieldPosition(Range range, std::int16_t row,
                                                       int fieldOffset)
{
    const int product = int{row} * kRecordSize;
    if (product < std::numeric_limits<std::int16_t>::min() ||
        product > std::numeric_limits<std::int16_t>::max()) {
        return std::unexpected(LayoutError::ProductOverflow);
    }
    std::int32_t position = 0;
    if (__builtin_add_overflow(static_cast<std::int32_t>(product), rangeInfo(range).basePosition,
                               &position) ||
        __builtin_add_overflow(position, static_cast<std::int32_t>(fieldOffset), &position)) {
        return std::unexpected(LayoutError::PositionOverflow);
    }
    return std::int64_t{position} - 1;
}

} // namespace stats::image
