#include "TablePrinter.h"

#include "CliConsole.h"

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
    columns_.push_back({title, align});
}

void TablePrinter::AddRow(const std::vector<QString>& cells)
{
    std::vector<QString> row(columns_.size());
    for (size_t i = 0; i < row.size() && i < cells.size(); ++i)
        row[i] = Clean(cells[i]);
    rows_.push_back(std::move(row));
}

int TablePrinter::DisplayWidth(const QString& text)
{
    int width = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        char32_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < n && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i].unicode(), text[i + 1].unicode());
            ++i;
        }
        width += CellsOf(c);
    }
    return width;
}

std::vector<QString> TablePrinter::Lines() const
{
    // Each cell's width is counted once; every line is then one pass over its cells.
    const size_t columns = columns_.size();
    std::vector<int> widths(columns, 0);
    std::vector<int> titleWidths(columns, 0);
    std::vector<int> cellWidths(rows_.size() * columns, 0);
    for (size_t i = 0; i < columns; ++i) {
        titleWidths[i] = DisplayWidth(columns_[i].title);
        widths[i] = titleWidths[i];
    }
    for (size_t r = 0; r < rows_.size(); ++r) {
        for (size_t i = 0; i < columns; ++i) {
            const int width = DisplayWidth(rows_[r][i]);
            cellWidths[r * columns + i] = width;
            widths[i] = std::max(widths[i], width);
        }
    }
    auto format = [&](const std::vector<QString>& cells, const int* cellWidth) {
        QString line;
        for (size_t i = 0; i < columns; ++i) {
            const qsizetype pad = widths[i] - cellWidth[i];
            if (i > 0)
                line += QStringLiteral("  ");
            if (columns_[i].align == Align::Right)
                line += QString(pad, QLatin1Char(' ')) + cells[i];
            else
                line += cells[i] + QString(pad, QLatin1Char(' '));
        }
        qsizetype end = line.size();
        while (end > 0 && line[end - 1] == QLatin1Char(' '))
            --end;
        line.truncate(end);
        return line;
    };
    std::vector<QString> lines;
    lines.reserve(rows_.size() + 1);
    std::vector<QString> titles;
    for (const Column& column : columns_)
        titles.push_back(column.title);
    lines.push_back(format(titles, titleWidths.data()));
    for (size_t r = 0; r < rows_.size(); ++r)
        lines.push_back(format(rows_[r], cellWidths.data() + r * columns));
    return lines;
}

void TablePrinter::Print() const
{
    CliConsole::Out(Lines());
}
