#pragma once

#include <QString>
#include <vector>

// A plain text table for the terminal: a header line, then one line per row, the
// columns separated by two spaces and padded to the widest cell. Widths count
// terminal cells, so Chinese names (two cells per character) stay aligned.
class TablePrinter
{
public:
    enum class Align
    {
        Left,
        Right,
    };

    void AddColumn(const QString& title, Align align = Align::Left);
    // Cells beyond the columns are ignored; missing cells are empty.
    void AddRow(const std::vector<QString>& cells);

    // The table's lines (no trailing blanks).
    std::vector<QString> Lines() const;
    // Writes the lines to standard output.
    void Print() const;

    // The number of terminal cells that `text` occupies.
    static int DisplayWidth(const QString& text);

private:
    struct Column
    {
        QString title;
        Align align;
    };
    std::vector<Column> columns_;
    std::vector<std::vector<QString>> rows_;
};
