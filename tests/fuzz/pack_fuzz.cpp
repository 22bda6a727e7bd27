// The check of a name pack's list file: any bytes are taken or refused as a list of each of
// the six kinds, without a crash, undefined behaviour or faults kept beyond the bound; and a
// list that is taken holds only rows that read back as themselves and pass the check again.

#include "catalogues/files/cataloguefiles.h"
#include "catalogues/namepack.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

using namespace stats::catalogues;

bool checked(const CatalogueFile &list, const std::string &bytes)
{
    FaultLog faults(kPackFaultsKept);
    const DataFile file = dataFileOf(std::string(list.fileName), bytes, faults);
    checkStructure(list, file, faults);
    if (faults.kept().size() > kPackFaultsKept || faults.kept().size() > faults.count()) {
        return false;
    }
    if (!faults.empty()) {
        return true;
    }
    // Taken: the rows written out one per line are the same list, and are taken again.
    std::string again;
    for (const std::string &row : file.rows) {
        if (row.empty() || !isValidUtf8(row) || row.front() == ' ') {
            return false;
        }
        again += row + '\n';
    }
    FaultLog second;
    const DataFile reread = dataFileOf(std::string(list.fileName), again, second);
    checkStructure(list, reread, second);
    return second.empty() && reread.rows == file.rows;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char *>(data), size);
    for (const CatalogueFile &list : kCatalogueFiles) {
        if (!checked(list, bytes)) {
            __builtin_trap();
        }
    }
    return 0;
}
