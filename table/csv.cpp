#include "table/csv.h"

#include "image/numbertext.h"

#include <algorithm>

namespace stats::table {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

constexpr bool isLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

// Reads one CSV text cell by cell; `at` is always the next byte to read.
class CsvReader
{
public:
    explicit CsvReader(std::string_view text) : m_text(text) {}

    CsvText read()
    {
        if (m_text.starts_with(kByteOrderMark)) {
            m_at = kByteOrderMark.size();
        }
        while (m_at < m_text.size() && !m_ended) {
            CsvRecord record{m_line, {}};
            // Records are as long as the one before, as a rule: one allocation, not six.
            record.cells.reserve(m_result.records.empty() ? 1
                                                          : m_result.records.back().cells.size());
            do {
                record.cells.push_back(readCell());
            } while (!m_ended && skip(','));
            if (!m_ended) {
                skipLineEnd();
                m_result.records.push_back(std::move(record));
            }
        }
        return std::move(m_result);
    }

private:
    bool skip(char c)
    {
        if (m_at < m_text.size() && m_text[m_at] == c) {
            ++m_at;
            return true;
        }
        return false;
    }

    // CRLF, LF or a CR on its own each end one line.
    void skipLineEnd()
    {
        if (skip('\r')) {
            skip('\n');
        } else {
            skip('\n');
        }
        ++m_line;
    }

    bool atCellEnd() const
    {
        return m_at == m_text.size() || m_text[m_at] == ',' || isLineEnd(m_text[m_at]);
    }

    std::string readCell()
    {
        if (!skip('"')) {
            const std::size_t start = m_at;
            while (!atCellEnd()) {
                ++m_at;
            }
            return std::string(m_text.substr(start, m_at - start));
        }
        const int opened = m_line;
        std::string cell;
        for (;;) {
            const std::size_t quote = m_text.find('"', m_at);
            if (quote == std::string_view::npos) {
                m_result.faults.push_back(
                    {opened, "a cell opens a quote that is not closed before the end of the file"});
                m_ended = true;
                return cell;
            }
            const std::string_view part = m_text.substr(m_at, quote - m_at);
            // Line ends inside a quoted cell still count, so later faults name the right line.
            m_line += static_cast<int>(std::ranges::count(part, '\n'));
            for (std::size_t i = 0; i < part.size(); ++i) {
                m_line += part[i] == '\r' && (i + 1 == part.size() || part[i + 1] != '\n');
            }
            cell.append(part);
            m_at = quote + 1;
            if (!skip('"')) {
                break;
            }
            cell.push_back('"');
        }
        if (!atCellEnd()) {
            m_result.faults.push_back({m_line, "text follows the closing quote of a cell"});
            while (!atCellEnd()) {
                ++m_at;
            }
        }
        return cell;
    }

    std::string_view m_text;
    std::size_t m_at = 0;
    int m_line = 1;
    bool m_ended = false;
    CsvText m_result;
};

} // namespace

CsvText parseCsv(std::string_view text)
{
    return CsvReader(text).read();
}

void appendCsvCell(std::string &out, std::string_view cell)
{
    const bool quoted =
        cell.find_first_of(",\"\r\n") != std::string_view::npos ||
        (!cell.empty() && (image::isBlank(cell.front()) || image::isBlank(cell.back())));
    if (!quoted) {
        out.append(cell);
        return;
    }
    out.push_back('"');
    for (const char c : cell) {
        if (c == '"') {
            out.push_back('"');
        }
        out.push_back(c);
    }
    out.push_back('"');
}

bool isBlankRecord(const CsvRecord &record)
{
    return std::ranges::all_of(record.cells, &std::string::empty);
}

} // namespace stats::table
