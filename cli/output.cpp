#include "cli/output.h"

#include "platform/text.h"
#include "shell/startup.h"

#include <QString>

#include <nlohmann/json.hpp>

#include <algorithm>

namespace tvk::cli {

namespace {

bool isUtf8(const std::string& bytes) {
    // Most names are plain ASCII: no decoding for them.
    if (std::all_of(bytes.begin(), bytes.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return true;
    return QString::fromUtf8(bytes).toUtf8() == QByteArray::fromStdString(bytes);
}

// The number of characters `text` (UTF-8) takes on a terminal, one per code point.
int displayWidth(const std::string& text) {
    return int(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::string padded(const std::string& text, int width, bool right) {
    const int fill = std::max(0, width - displayWidth(text));
    return right ? std::string(std::size_t(fill), ' ') + text
                 : text + std::string(std::size_t(fill), ' ');
}

} // namespace

Cell textCell(std::string utf8) {
    Cell cell;
    cell.text = std::move(utf8);
    return cell;
}

Cell numberCell(std::int64_t value) {
    Cell cell;
    cell.text = std::to_string(value);
    cell.number = value;
    return cell;
}

Cell nullCell() {
    Cell cell;
    cell.null = true;
    return cell;
}

Cell nameCell(const std::string& bytes) {
    Cell cell;
    if (isUtf8(bytes)) {
        cell.text = bytes;
        return cell;
    }
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = bytes.find('/', start);
        cell.text += fromServerText(bytes.substr(start, end - start)).toStdString();
        if (end == std::string::npos)
            break;
        cell.text += '/';
        start = end + 1;
    }
    cell.bytes = bytes;
    return cell;
}

std::string base64(const std::string& bytes) {
    return QByteArray::fromStdString(bytes).toBase64().toStdString();
}

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c;
        if (c == '"')
            quoted += '"';
    }
    return quoted + '"';
}

std::string oneLine(const std::string& text) {
    std::string line = text;
    for (char& c : line) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    }
    return line;
}

Table::Table(std::FILE* out, Format format, std::vector<Column> columns, bool header)
    : out_(out), format_(format), columns_(std::move(columns)), header_(header) {
    kept_ = format_ == Format::Text && std::any_of(columns_.begin(), columns_.end(),
                                                   [](const Column& c) { return c.width == 0; });
    std::vector<std::string> titles;
    for (const Column& column : columns_)
        titles.push_back(format_ == Format::Csv ? column.key
                                                : loadLangString(column.title).toStdString());
    if (format_ == Format::Csv) {
        std::string line;
        for (std::size_t i = 0; i < titles.size(); ++i) {
            if (i)
                line += ',';
            line += csvField(titles[i]);
        }
        std::fputs((line + "\r\n").c_str(), out_);
    } else if (format_ == Format::Json) {
        std::fputs("[", out_);
    } else if (format_ == Format::Text && header_) {
        if (kept_)
            keptRows_.push_back(titles);
        else
            writeText(titles);
    }
}

void Table::writeText(const std::vector<std::string>& cells) {
    std::string line;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const bool last = i + 1 == cells.size();
        if (i)
            line += "  ";
        line += last && !columns_[i].number
                    ? cells[i]
                    : padded(cells[i], columns_[i].width, columns_[i].number);
    }
    std::fputs((line + "\n").c_str(), out_);
}

std::string Table::jsonRow(const std::vector<Cell>& cells) const {
    nlohmann::ordered_json object = nlohmann::ordered_json::object();
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const Cell& cell = cells[i];
        const std::string& key = columns_[i].key;
        if (cell.null)
            object[key] = nullptr;
        else if (cell.number)
            object[key] = *cell.number;
        else
            object[key] = cell.text;
        if (cell.bytes)
            object[key + "_bytes"] = base64(*cell.bytes);
    }
    return object.dump();
}

void Table::row(const std::vector<Cell>& cells) {
    ++rows_;
    switch (format_) {
    case Format::Csv: {
        std::string line;
        for (std::size_t i = 0; i < cells.size(); ++i) {
            if (i)
                line += ',';
            line += csvField(cells[i].text);
        }
        std::fputs((line + "\r\n").c_str(), out_);
        break;
    }
    case Format::Json:
        std::fputs(((rows_ == 1 ? "\n" : ",\n") + jsonRow(cells)).c_str(), out_);
        break;
    case Format::Jsonl:
        std::fputs((jsonRow(cells) + "\n").c_str(), out_);
        break;
    case Format::Text: {
        std::vector<std::string> texts;
        for (const Cell& cell : cells)
            texts.push_back(oneLine(cell.text));
        if (kept_)
            keptRows_.push_back(std::move(texts));
        else
            writeText(texts);
        break;
    }
    }
}

std::uint64_t Table::finish() {
    if (finished_)
        return rows_;
    finished_ = true;
    if (format_ == Format::Json)
        std::fputs(rows_ ? "\n]\n" : "]\n", out_);
    if (kept_) {
        for (std::size_t i = 0; i < columns_.size(); ++i) {
            if (columns_[i].width != 0)
                continue;
            for (const auto& texts : keptRows_)
                columns_[i].width = std::max(columns_[i].width, displayWidth(texts[i]));
        }
        for (const auto& texts : keptRows_)
            writeText(texts);
        keptRows_.clear();
    }
    std::fflush(out_);
    return rows_;
}

} // namespace tvk::cli
