#include "TablePrinter.h"

#include "CliConsole.h"

#include <QList>
#include <algorithm>

namespace {

// East Asian wide and full-width ranges take two cells; combining marks none.
int CellsOf(char32_t c)
{
    if (c == 0 || (c >= 0x0300 && c <= 0x036F) || (c >= 0x200B && c <= 0x200F))
        return 0;
    if ((c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) || (c >= 0x3041 && c <= 0x33FF) ||
        (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
        (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
        (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F) ||
        (c >= 0x1F900 && c <= 0x1F9FF) || (c >= 0x20000 && c <= 0x3FFFD))
        return 2;
    return 1;
}

// Control characters in a cell would break the table: they are shown as spaces.
QString Clean(const QString& text)
{
    QString out = text;
    for (QChar& c : out) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char(' ');
    }
    return out;
}

} // namespace

void TablePrinter::AddColumn(const QString& title, Align align)
{
    m_columns.push_back({title, align});
}

void TablePrinter::AddRow(const std::vector<QString>& cells)
{
    std::vector<QString> row(m_columns.size());
    for (size_t i = 0; i < row.size() && i < cells.size(); ++i)
        row[i] = Clean(cells[i]);
    m_rows.push_back(std::move(row));
}

int TablePrinter::DisplayWidth(const QString& text)
{
    int width = 0;
    const QList<uint> codePoints = text.toUcs4();
    for (const uint c : codePoints)
        width += CellsOf(c);
    return width;
}

std::vector<QString> TablePrinter::Lines() const
{
    std::vector<int> widths(m_columns.size(), 0);
    for (size_t i = 0; i < m_columns.size(); ++i) {
        widths[i] = DisplayWidth(m_columns[i].title);
        for (const std::vector<QString>& row : m_rows)
            widths[i] = std::max(widths[i], DisplayWidth(row[i]));
    }
    auto format = [&](const std::vector<QString>& cells) {
        QString line;
        for (size_t i = 0; i < m_columns.size(); ++i) {
            const QString pad(widths[i] - DisplayWidth(cells[i]), QLatin1Char(' '));
            if (i > 0)
                line += QStringLiteral("  ");
            line += m_columns[i].align == Align::Right ? pad + cells[i] : cells[i] + pad;
        }
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        return line;
    };
    std::vector<QString> lines;
    std::vector<QString> titles;
    for (const Column& column : m_columns)
        titles.push_back(column.title);
    lines.push_back(format(titles));
    for (const std::vector<QString>& row : m_rows)
        lines.push_back(format(row));
    return lines;
}

void TablePrinter::Print() const
{
    for (const QString& line : Lines())
        CliConsole::Out(line);
}
