// One entry's values from the clipboard: what the editor's copy puts there, rows as LibreOffice
// Calc copies them (tabs, LF or CRLF, a final line end, quoted cells), comma-separated rows,
// and the first cell named in every refusal.

#include "table/pastedrow.h"
#include "table/tablecsv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

namespace {

using namespace stats;
using image::Field;
using image::FieldBytes;
using table::PastedValues;

// hp 45, atk 49, def 49, spd 45, spatk 65, spdef 65, ty1 "loam" (4), ty2 "venom" (3), cr 45,
// wh1 "Gilded Jar " (1), wh2 "None " (0), gr 31, ab1 "Ember Veil" (1), ab2 "Quiet Step" (2),
// dw "Mossy Hide" (3).
constexpr FieldBytes kBytes{45, 49, 49, 45, 65, 65, 4, 3, 45, 1, 0, 31, 1, 2, 3};

const std::vector<std::string> kNumbers{"45", "49", "49", "45", "65", "65", "4", "3",
                                        "45", "1",  "0",  "31", "1",  "2",  "3"};
// The same values as Calc shows an exported file with names: a held item without its blank.
const std::vector<std::string> kNamed{"45",    "49",   "49",         "45",         "65",
                                      "65",    "loam", "VENOM",      "45",         "Gilded Jar",
                                      "None ", "31",   "ember veil", "Quiet Step", "Mossy Hide"};
const std::vector<std::string> kHeader{"hp", "atk", "def", "spd", "spatk", "spdef", "ty1", "ty2",
                                       "cr", "wh1", "wh2", "gr",  "ab1",   "ab2",   "dw"};
const std::vector<std::string> kEntry{"List 1", "3", "Verdling"};

std::string joined(const std::vector<std::string> &cells, std::string_view separator)
{
    std::string text;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        text += i == 0 ? "" : separator;
        text += cells[i];
    }
    return text;
}

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<std::string> with(std::vector<std::string> cells, Field field, std::string cell)
{
    cells[static_cast<std::size_t>(field)] = std::move(cell);
    return cells;
}

PastedValues all(const FieldBytes &bytes)
{
    PastedValues values;
    std::ranges::copy(bytes, values.begin());
    return values;
}

PastedValues without(PastedValues values, Field field)
{
    values[static_cast<std::size_t>(field)].reset();
    return values;
}

struct Case
{
    const char *name;
    std::string text;
    // The values taken, or the message of the refusal.
    std::optional<PastedValues> values;
    std::string refusal = {};
    std::optional<FieldBytes> held = kBytes;
};

std::vector<Case> cases()
{
    const std::string tab = "\t";
    // The fifth row of Calc's own copy: a name with a tab and a line end in it, quoted.
    const std::vector<std::string> quotedEntry{"List 1", "3", "\"Odd\tname\nhere \"\"x\"\"\""};
    FieldBytes unlisted = kBytes;
    unlisted[static_cast<std::size_t>(Field::ty1)] = 200;
    return {
        {"what Copy values puts there",
         table::entryRowText(image::Range::List1, 3, kBytes, catalogues::builtInCatalogues(), '\t'),
         all(kBytes)},
        {"Calc: the values alone, LF and a final line end", joined(kNumbers, tab) + "\n",
         all(kBytes)},
        {"Calc: names of rows in any case, a held item without its blank",
         joined(kNamed, tab) + "\n", all(kBytes)},
        {"Calc: header and values, CRLF",
         joined(kHeader, tab) + "\r\n" + joined(kNamed, tab) + "\r\n", all(kBytes)},
        {"Calc: a whole export row with quoted cells, and empty lines around it",
         "\n" + joined(quotedEntry + with(kNumbers, Field::hp, "\"45\""), tab) + "\n\n",
         all(kBytes)},
        {"Calc: empty cells past the row", joined(kNumbers, tab) + "\t\t\t\n", all(kBytes)},
        {"an export row whose last values are empty",
         joined(kEntry + with(with(kNumbers, Field::ab2, ""), Field::dw, ""), tab),
         without(without(all(kBytes), Field::ab2), Field::dw)},
        {"comma-separated export row under the export's header",
         "list,row,name," + joined(kHeader, ",") + "\r\n" + joined(kEntry + kNumbers, ","),
         all(kBytes)},
        {"comma-separated values alone", joined(kNumbers, ","), all(kBytes)},
        {"a header in its own order, in capitals and with blanks",
         " DW ,name,hp,atk,def,spd,spatk,spdef,ty1,ty2,cr,wh1,wh2,gr,ab1,ab2\n"
         "3,Someone,45,49,49,45,65,65,4,3,45,1,0,31,1,2\n",
         all(kBytes)},
        {"numbers by the editor's rule: blanks, leading zeros, a fraction",
         joined(with(with(kNumbers, Field::hp, " 045 "), Field::atk, "48.5"), tab), all([] {
             FieldBytes bytes = kBytes;
             bytes[1] = 48;
             return bytes;
         }())},
        {"an empty cell leaves its field as it is", joined(with(kNumbers, Field::wh1, ""), tab),
         without(all(kBytes), Field::wh1)},
        {"a value without a row, when the record holds it",
         joined(with(kNumbers, Field::ty1, "200"), tab),
         all(unlisted),
         {},
         unlisted},
        {"a value without a row that the record does not hold",
         joined(with(kNumbers, Field::ty1, "200"), tab),
         {},
         "line 1, column 7 (ty1): 200 has no row in the type list (rows 0 to 16)"},
        {"a number past 255",
         joined(with(kNumbers, Field::gr, "256"), tab),
         {},
         "line 1, column 12 (gr): \"256\" is not a number from 0 to 255"},
        {"the first cell that does not fit is named",
         joined(with(with(kNumbers, Field::ab1, "Nothing Such"), Field::atk, "x"), tab),
         {},
         "line 1, column 2 (atk): \"x\" is not a number from 0 to 255"},
        {"a name that no row has",
         joined(with(kNumbers, Field::ab1, "Nothing Such"), tab),
         {},
         "line 1, column 13 (ab1): \"Nothing Such\" names no row of the ability list"},
        {"a cell is counted past the entry's cells, and named by the header",
         "list,row,name," + joined(kHeader, ",") + "\n" +
             joined(kEntry + with(kNumbers, Field::cr, "lots"), ","),
         {},
         "line 2, column 12 (cr): \"lots\" is not a number from 0 to 255"},
        {"a value missing from the row",
         joined(std::vector(kNumbers.begin() + 1, kNumbers.end()), tab),
         {},
         "line 1: the row has 14 cells; paste the 15 values hp to dw, a whole row of the "
         "export, or either under its header"},
        {"semicolons between the cells",
         joined(kNumbers, ";"),
         {},
         "line 1: the row has 1 cell; paste the 15 values hp to dw, a whole row of the export, "
         "or either under its header"},
        {"a header without a value",
         joined(std::vector(kHeader.begin(), kHeader.end() - 1), tab) + "\n" +
             joined(kNumbers, tab),
         {},
         "line 1: the header has no column dw; it must name all 15 values, hp to dw"},
        {"a header cell that is no column",
         joined(with(kHeader, Field::cr, "catch"), tab) + "\n" + joined(kNumbers, tab),
         {},
         "line 1, column 9: \"catch\" is not a column of the export, whose columns are list, "
         "row, name, hp, atk, def, spd, spatk, spdef, ty1, ty2, cr, wh1, wh2, gr, ab1, ab2, dw"},
        {"a column named twice",
         joined(kHeader + std::vector<std::string>{"HP"}, tab) + "\n" + joined(kNumbers, tab),
         {},
         "line 1, column 16 (hp): the column is named twice"},
        {"a row shorter than its header",
         joined(kHeader, tab) + "\n" +
             joined(std::vector(kNumbers.begin(), kNumbers.end() - 1), tab),
         {},
         "line 2: the row has 14 cells; the header has 15"},
        {"a header with no row under it",
         joined(kHeader, tab) + "\r\n",
         {},
         "line 1: the header has no row of values"},
        {"two rows",
         joined(kNumbers, tab) + "\n" + joined(kNumbers, tab) + "\n",
         {},
         "line 2: only one row can be pasted, the values of one entry"},
        {"two rows under a header",
         joined(kHeader, tab) + "\n" + joined(kNumbers, tab) + "\n" + joined(kNumbers, tab),
         {},
         "line 3: only one row can be pasted, the values of one entry"},
        {"a quote that is never closed",
         "\"45\t" + joined(kNumbers, tab),
         {},
         "line 1, column 1: a cell opens a quote that is not closed before the end of the file"},
        {"nothing but blanks", " \r\n\t\n", {}, "the clipboard holds no values"},
    };
}

void PrintTo(const Case &row, std::ostream *out)
{
    *out << row.name;
}

class PastedRowTest : public ::testing::TestWithParam<Case>
{
};

TEST_P(PastedRowTest, Reads)
{
    const Case &row = GetParam();
    const auto read = table::readPastedRow(row.text, catalogues::builtInCatalogues(), row.held);
    if (row.values) {
        ASSERT_TRUE(read.has_value()) << read.error();
        EXPECT_EQ(*read, *row.values);
    } else {
        ASSERT_FALSE(read.has_value());
        EXPECT_EQ(read.error(), row.refusal);
    }
}

INSTANTIATE_TEST_SUITE_P(Clipboard, PastedRowTest, ::testing::ValuesIn(cases()),
                         [](const auto &param) {
                             std::string name = param.param.name;
                             std::ranges::replace_if(
                                 name, [](char c) { return !std::isalnum(c); }, '_');
                             return name;
                         });

} // namespace
