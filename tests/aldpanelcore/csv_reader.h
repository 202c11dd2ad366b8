// A CSV reader of RFC 4180 for the tests of the site report, and the reading
// of a cell as a spreadsheet would take it: written independently of the
// report's writer so that the tests check the file, not the writer's idea of
// it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace csv_test {

using Rows = std::vector<std::vector<std::string>>;

// Splits `text` into rows of fields. A field that starts with a quotation
// mark runs to the next lone quotation mark ("" stands for one) and may hold
// commas and line breaks; any other field runs to the next comma or line end
// and is taken literally, quotation marks included, as spreadsheets do.
// Rows end at "\n" or "\r\n". False with *error for a quoted field that is
// not closed or is followed by anything but a comma or a line end.
inline bool ReadCsv(std::string_view text, Rows& rows, std::string* error = nullptr) {
  rows.clear();
  std::vector<std::string> row;
  std::string field;
  size_t i = 0;
  auto fail = [&](const std::string& what) {
    if (error != nullptr) *error = what + " at byte " + std::to_string(i);
    return false;
  };
  while (i < text.size()) {
    field.clear();
    if (text[i] == '"') {
      ++i;
      for (;;) {
        if (i >= text.size()) return fail("unclosed quoted field");
        if (text[i] == '"') {
          if (i + 1 < text.size() && text[i + 1] == '"') {
            field += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        field += text[i++];
      }
      if (i < text.size() && text[i] != ',' && text[i] != '\n' &&
          !(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
        return fail("text after a closing quotation mark");
      }
    } else {
      while (i < text.size() && text[i] != ',' && text[i] != '\n' &&
             !(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
        field += text[i++];
      }
    }
    row.push_back(field);
    if (i >= text.size()) break;
    if (text[i] == ',') {
      ++i;
      if (i == text.size()) row.emplace_back();
      continue;
    }
    i += text[i] == '\r' ? 2 : 1;
    rows.push_back(row);
    row.clear();
  }
  if (!row.empty()) rows.push_back(row);
  return true;
}

// The text a spreadsheet shows for `cell` when the cell is a formula of
// string literals only ("=\"a\"\"b\"" or "=\"ab\"&\"cd\""); nullopt for any
// other cell, which a spreadsheet could compute.
inline std::optional<std::string> LiteralText(std::string_view cell) {
  if (cell.size() < 3 || cell[0] != '=') return std::nullopt;
  std::string text;
  size_t i = 1;
  for (;;) {
    if (i >= cell.size() || cell[i] != '"') return std::nullopt;
    ++i;
    for (;;) {
      if (i >= cell.size()) return std::nullopt;
      if (cell[i] == '"') {
        if (i + 1 < cell.size() && cell[i + 1] == '"') {
          text += '"';
          i += 2;
          continue;
        }
        ++i;
        break;
      }
      text += cell[i++];
    }
    if (i == cell.size()) return text;
    if (cell[i] != '&') return std::nullopt;
    ++i;
  }
}

}  // namespace csv_test
