#include "formula_cells.h"

#include <algorithm>

#include "pack/manifest_format.h"

namespace tovkit {

namespace {

constexpr size_t kExcerpt = 40;

bool EndsWithCsv(const std::string& name) {
  if (name.size() < 4) return false;
  std::string tail = name.substr(name.size() - 4);
  std::transform(tail.begin(), tail.end(), tail.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
  return tail == ".csv";
}

// "-1", "+2.5": numbers a spreadsheet reads as numbers; a lone sign too.
bool PlainNumber(const std::string& cell) {
  if (cell.empty() || (cell[0] != '-' && cell[0] != '+')) return false;
  return std::all_of(cell.begin() + 1, cell.end(),
                     [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
}

}  // namespace

void FormulaCellScanner::Begin(const std::string& name, uint64_t) {
  Finish();
  active_ = EndsWithCsv(name) && name != kFileListName;
  file_ = name;
  row_ = column_ = 1;
  cellStart_ = true;
}

void FormulaCellScanner::Finish() {
  if (active_) EndCell();
  active_ = false;
}

void FormulaCellScanner::EndCell() {
  if (pendingReturn_) {
    // A carriage return that began a cell and ended no line.
    candidate_ = true;
    cell_ = "\r";
    pendingReturn_ = false;
  }
  if (candidate_ && !PlainNumber(cell_)) {
    if (cells_.size() < kMaxFormulaCellsKept) cells_.push_back({file_, row_, column_, cell_});
    ++count_;
  }
  candidate_ = false;
  cell_.clear();
}

void FormulaCellScanner::Data(const unsigned char* data, size_t size) {
  if (!active_) return;
  for (size_t i = 0; i < size; ++i) {
    const char c = static_cast<char>(data[i]);
    if (pendingReturn_) {
      pendingReturn_ = false;
      if (c == '\n') {  // an empty last cell: the line's own end
        ++row_, column_ = 1, cellStart_ = true;
        continue;
      }
      candidate_ = true;
      cell_ = "\r";
    }
    if (c == ',' || c == '\n') {
      if (cell_.size() > 1 && cell_.back() == '\r') cell_.pop_back();
      EndCell();
      if (c == ',') {
        ++column_;
      } else {
        ++row_, column_ = 1;
      }
      cellStart_ = true;
      continue;
    }
    if (cellStart_) {
      cellStart_ = false;
      if (c == '\r') {
        pendingReturn_ = true;
        continue;
      }
      candidate_ = c == '=' || c == '+' || c == '-' || c == '@' || c == '\t';
    }
    if (candidate_ && cell_.size() < kExcerpt) cell_ += c;
  }
}

std::string FormulaCellText(const FormulaCell& cell) {
  return cell.file + " row " + std::to_string(cell.row) + " column " + std::to_string(cell.column) +
         ": " + cell.excerpt;
}

}  // namespace tovkit
