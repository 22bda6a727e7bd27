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

} // namespace

CsvReader::CsvReader(std::string_view text, std::size_t cellLimit, char separator)
    : m_text(text), m_cellLimit(cellLimit), m_separator(separator)
{
    if (m_text.starts_with(kByteOrderMark)) {
        m_at = kByteOrderMark.size();
    }
}

std::optional<CsvRecord> CsvReader::next()
{
    if (m_at >= m_text.size() || m_ended) {
        return std::nullopt;
    }
    CsvRecord record{m_line, {}, 0, {}};
    std::size_t column = 0;
    std::size_t pastLimit = 0;
    do {
        ++column;
        std::string cell = readCell(record, column);
        if (column <= m_cellLimit) {
            record.cells.push_back(std::move(cell));
        } else {
            ++pastLimit;
            if (!cell.empty()) {
                record.cellsPastLimit = pastLimit;
            }
        }
    } while (!m_ended && skip(m_separator));
    if (!m_ended) {
        skipLineEnd();
    }
    return record;
}

bool CsvReader::skip(char c)
{
    if (m_at < m_text.size() && m_text[m_at] == c) {
        ++m_at;
        return true;
    }
    return false;
}

// CRLF, LF or a CR on its own each end one line.
void CsvReader::skipLineEnd()
{
    if (skip('\r')) {
        skip('\n');
    } else {
        skip('\n');
    }
    ++m_line;
}

bool CsvReader::atCellEnd() const
{
    return m_at == m_text.size() || m_text[m_at] == m_separator || isLineEnd(m_text[m_at]);
}

std::string CsvReader::readCell(CsvRecord &record, std::size_t column)
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
            record.faults.push_back(
                {opened, column,
                 "a cell opens a quote that is not closed before the end of the file"});
            cell.append(m_text.substr(m_at));
            m_at = m_text.size();
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
        if (column <= m_cellLimit) {
            record.faults.push_back({m_line, column, "text follows the closing quote of a cell"});
        }
        const std::size_t start = m_at;
        while (!atCellEnd()) {
            ++m_at;
        }
        cell.append(m_text.substr(start, m_at - start));
    }
    return cell;
}

void appendCsvCell(std::string &out, std::string_view cell)
{
    const bool quoted =
        cell.find_first_of(",\t\"\r\n") != std::string_view::npos ||
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
    return record.cellsPastLimit == 0 && std::ranges::all_of(record.cells, &std::string::empty);
}

} // namespace stats::table
