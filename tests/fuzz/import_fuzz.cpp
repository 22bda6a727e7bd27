// The whole check of an import file against a table: any text is taken or refused, without a
// crash, undefined behaviour or work beyond its size, and never both.

#include "sample-image/sampleimage.h"
#include "table/tablecsv.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

using namespace stats::image;

// The sample's table, with one entry holding bytes that have no row in their lists, so
// that the branch which takes such a number where the image holds it is reached too.
const TableBytes &table()
{
    static const TableBytes bytes = [] {
        TableBytes all(kRecordCount);
        for (int r = 0; r < kRecordCount; ++r) {
            all[static_cast<std::size_t>(r)] = stats::tools::sampleFieldBytes(r);
        }
        all[4][6] = 200;
        all[4][14] = 250;
        return all;
    }();
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    constexpr std::size_t kFaultLimit = 100;
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    const auto result = stats::table::readImportCsv(
        text, table(), stats::catalogues::builtInCatalogues(), kFaultLimit);
    const bool bounded =
        result.faults.size() <= kFaultLimit && result.faults.size() <= result.faultCount &&
        (result.faults.size() == kFaultLimit || result.faults.size() == result.faultCount);
    const bool allOrNothing = result.faultCount == 0 || result.rows.empty();
    bool rowsInTable = result.rows.size() <= static_cast<std::size_t>(kRecordCount);
    for (const auto &row : result.rows) {
        rowsInTable = rowsInTable && isRowInRange(row.range, row.row);
    }
    if (!bounded || !allOrNothing || !rowsInTable) {
        __builtin_trap();
    }
    return 0;
}
