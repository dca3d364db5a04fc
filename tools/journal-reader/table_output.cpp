#include "tools/journal-reader/table_output.h"

#include <algorithm>

#include "tools/accessbase/csv.h"
#include "tools/cp1251_text/shown_text.h"

namespace {

// Every character a journal can hold comes from CP1251, and each of those
// takes one place on the screen: counting characters is counting places.
size_t display_width(const std::string& text) {
    size_t width = 0;
    for (const char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++width;
    }
    return width;
}

int write_text(FILE* out, const std::string& text) {
    return fwrite(text.data(), 1, text.size(), out) == text.size() ? 0 : -1;
}

Cells names_of(const std::vector<Column>& columns) {
    Cells names;
    for (const Column& column : columns)
        names.push_back(column.name);
    return names;
}

Cells shown_cells(const Cells& cells) {
    Cells shown;
    for (const std::string& cell : cells)
        shown.push_back(escaped_text(cell, true));
    return shown;
}

int write_row(FILE* out, const Table& table, const Cells& cells) {
    std::string line;
    for (size_t i = 0; i < cells.size(); ++i) {
        // A file that grew between measuring and writing may bring a wider
        // cell; it only spoils the alignment.
        const size_t width = display_width(cells[i]);
        const std::string padding(table.widths[i] > width ? table.widths[i] - width : 0, ' ');
        const bool last = i + 1 == cells.size();
        line += table.columns[i].numeric ? padding + cells[i] : cells[i] + padding;
        if (!last)
            line += "  ";
    }
    // Empty cells at the end leave no blanks behind.
    line.erase(line.find_last_not_of(' ') + 1);
    return write_text(out, line + "\n");
}

} // namespace

Table::Table(const std::vector<Column>& columns_) : columns(columns_) {
    for (const std::string& name : names_of(columns))
        widths.push_back(display_width(name));
}

void measure_row(Table* table, const Cells& cells) {
    const Cells shown = shown_cells(cells);
    for (size_t i = 0; i < shown.size(); ++i)
        table->widths[i] = std::max(table->widths[i], display_width(shown[i]));
}

int write_table_header(FILE* out, const Table& table) {
    return write_row(out, table, names_of(table.columns));
}

int write_table_row(FILE* out, const Table& table, const Cells& cells) {
    return write_row(out, table, shown_cells(cells));
}

int write_csv_line(FILE* out, const Cells& cells) {
    return write_text(out, csv_line(cells));
}

int write_csv_header(FILE* out, const std::vector<Column>& columns) {
    return write_csv_line(out, names_of(columns));
}
