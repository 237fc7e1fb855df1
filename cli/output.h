// What tavisk-cli prints on stdout: tables of rows as aligned text, CSV (RFC 4180, UTF-8,
// header row), one JSON array, or JSON lines. Names keep their bytes: a name that is not UTF-8
// is shown as the window shows it (decoded as Windows-1252) and, in JSON, also given as its raw
// bytes in base64 under "<key>_bytes".
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace tvk::cli {

enum class Format { Text, Csv, Json, Jsonl };

// A column: its key (CSV header, JSON member), its title in text (a string id of the language
// module), whether it holds numbers (right-aligned in text), and its width in streamed text (0:
// as wide as its widest cell, the table then printed once all rows are in).
struct Column {
    std::string key;
    unsigned title = 0;
    bool number = false;
    int width = 0;
};

// One cell: its text as shown (UTF-8), its number for numeric columns, its raw bytes when they
// differ from the shown text, or nothing (JSON null, empty elsewhere).
struct Cell {
    std::string text;
    std::optional<std::int64_t> number;
    std::optional<std::string> bytes;
    bool null = false;
};

Cell textCell(std::string utf8);
Cell numberCell(std::int64_t value);
Cell nullCell();
// A cell for a name or path held as bytes in the catalogue (each '/'-separated part decoded
// on its own, as the window shows each name).
Cell nameCell(const std::string& bytes);

// `bytes` in base64 (RFC 4648, with padding).
std::string base64(const std::string& bytes);

// A field of a CSV row: quoted when it holds a comma, a quote, CR or LF, quotes doubled.
std::string csvField(const std::string& text);

// `text` with its control characters shown as '?', so that a name holding a line break stays
// on its line in text output.
std::string oneLine(const std::string& text);

// Writes rows to `out` in `format`. The text header is printed only when `header` is true.
// Rows are streamed, except for text with a column of width 0: those are kept until finish().
class Table {
public:
    Table(std::FILE* out, Format format, std::vector<Column> columns, bool header);
    void row(const std::vector<Cell>& cells);
    // Ends the output (the closing bracket of a JSON array, a kept text table). Returns the
    // number of rows written.
    std::uint64_t finish();

private:
    void writeText(const std::vector<std::string>& cells);
    std::string jsonRow(const std::vector<Cell>& cells) const;
    std::FILE* out_;
    Format format_;
    std::vector<Column> columns_;
    bool header_;
    bool kept_ = false;
    std::vector<std::vector<std::string>> keptRows_;
    std::uint64_t rows_ = 0;
    bool finished_ = false;
};

} // namespace tvk::cli
