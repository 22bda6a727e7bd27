#pragma once

// Writing a whole text to a descriptor, going on after short writes and interruptions.

#include <string_view>

namespace stats::table {

/// Writes all of @p bytes to @p fd; false with errno set when it cannot.
[[nodiscard]] bool writeAll(int fd, std::string_view bytes);

} // namespace stats::table
