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

int write_row(FILE* out, const std::vector<Column>& columns, const Cells& cells,
              const std::vector<size_t>& widths) {
    std::string line;
    for (size_t i = 0; i < cells.size(); ++i) {
        const std::string padding(widths[i] - display_width(cells[i]), ' ');
        const bool last = i + 1 == cells.size();
        line += columns[i].numeric ? padding + cells[i] : cells[i] + padding;
        if (!last)
            line += "  ";
    }
    // Empty cells at the end leave no blanks behind.
    line.erase(line.find_last_not_of(' ') + 1);
    return write_text(out, line + "\n");
}

Cells names_of(const std::vector<Column>& columns) {
    Cells names;
    for (const Column& column : columns)
        names.push_back(column.name);
    return names;
}

} // namespace

int write_table(FILE* out, const std::vector<Column>& columns, const std::vector<Cells>& rows) {
    std::vector<Cells> shown{names_of(columns)};
    for (const Cells& row : rows) {
        Cells cells;
        for (const std::string& cell : row)
            cells.push_back(escaped_text(cell, true));
        shown.push_back(cells);
    }
    std::vector<size_t> widths(columns.size(), 0);
    for (const Cells& cells : shown) {
        for (size_t i = 0; i < cells.size(); ++i)
            widths[i] = std::max(widths[i], display_width(cells[i]));
    }
    for (const Cells& cells : shown) {
        if (write_row(out, columns, cells, widths) != 0)
            return -1;
    }
    return 0;
}

int write_csv_line(FILE* out, const Cells& cells) {
    return write_text(out, csv_line(cells));
}

int write_csv_header(FILE* out, const std::vector<Column>& columns) {
    return write_csv_line(out, names_of(columns));
}
