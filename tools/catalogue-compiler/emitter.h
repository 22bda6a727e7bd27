#pragma once

// Turning checked catalogue rows into the C++ source the catalogues library is built from.

#include "tools/catalogue-compiler/rules.h"

#include <string>

namespace stats::tools {

/// A source file that defines stats::catalogues::rowdata::rows() over constexpr arrays of every
/// row, byte for byte, in file order.
[[nodiscard]] std::string generateSource(const CatalogueData &data);

} // namespace stats::tools
