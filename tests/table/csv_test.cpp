#include "table/csv.h"

#include <gtest/gtest.h>

namespace {

using stats::table::CsvReader;

struct CsvCase
{
    const char *name;
    std::string text;
    // Each record as its line, then its cells; each fault as line:column.
    std::vector<std::vector<std::string>> records;
    std::vector<std::string> faults = {};
};

class Csv : public ::testing::TestWithParam<CsvCase>
{
};

TEST_P(Csv, SplitsRecordsAndCellsAndPlacesEveryFault)
{
    CsvReader reader(GetParam().text, 3);
    std::vector<std::vector<std::string>> records;
    std::vector<std::string> faults;
    while (auto record = reader.next()) {
        records.push_back({std::to_string(record->line)});
        records.back().insert(records.back().end(), record->cells.begin(), record->cells.end());
        if (record->cellsPastLimit > 0) {
            records.back().push_back("+" + std::to_string(record->cellsPastLimit));
        }
        for (const auto &fault : record->faults) {
            faults.push_back(std::to_string(fault.line) + ":" + std::to_string(fault.column));
        }
    }
    EXPECT_EQ(records, GetParam().records);
    EXPECT_EQ(faults, GetParam().faults);
}

INSTANTIATE_TEST_SUITE_P(
    Text, Csv,
    ::testing::Values(CsvCase{"QuotedCellsAcrossLinesKeepTheLineCount",
                              "\xEF\xBB\xBF"
                              "a,\"b\r\nc\",\"d\"\"\"\r\ne\rf\n",
                              {{"1", "a", "b\r\nc", "d\""}, {"3", "e"}, {"4", "f"}}},
                      CsvCase{"TextAfterAClosingQuoteIsAFaultInItsCell",
                              "a,\"b\nb\"x,c\nd\n",
                              {{"1", "a", "b\nbx", "c"}, {"3", "d"}},
                              {"2:2"}},
                      CsvCase{"AnUnclosedQuoteEndsTheText",
                              "a\n\"b,\nc\n",
                              {{"1", "a"}, {"2", "b,\nc\n"}},
                              {"2:1"}},
                      CsvCase{"CellsPastTheLimitAreCountedNotKept",
                              "a,b,c,,,\n,,,,x,\n",
                              {{"1", "a", "b", "c"}, {"2", "", "", "", "+2"}}}),
    [](const auto &testInfo) { return testInfo.param.name; });

} // namespace
