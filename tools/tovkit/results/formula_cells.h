#pragma once
// Cells of a result's CSV files that a spreadsheet would run as a formula:
// a program's version resource or an event's text can begin with "=",
// "+", "-" or "@" and end up as "=HYPERLINK(...)" in the engineer's
// spreadsheet. The files stay as collected (they are evidence); the cells
// are named, so the engineer knows before opening them.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "result_inspector.h"

namespace tovkit {

struct FormulaCell {
  std::string file;
  size_t row = 0, column = 0;  // 1-based
  std::string excerpt;         // the cell's first bytes, as collected
};

// The cells kept, at most; all are counted.
constexpr size_t kMaxFormulaCellsKept = 100;

// Reads every "*.csv" member but the manifest as it streams by; memory is
// bounded whatever the files hold.
class FormulaCellScanner : public MemberObserver {
 public:
  void Begin(const std::string& name, uint64_t size) override;
  void Data(const unsigned char* data, size_t size) override;
  void Finish();

  const std::vector<FormulaCell>& cells() const { return cells_; }
  size_t count() const { return count_; }

 private:
  void EndCell();

  bool active_ = false;
  std::string file_;
  size_t row_ = 1, column_ = 1;
  bool cellStart_ = true, candidate_ = false, pendingReturn_ = false;
  std::string cell_;
  std::vector<FormulaCell> cells_;
  size_t count_ = 0;
};

// "a spreadsheet would run this as a formula: FILE row R column C: CELL".
std::string FormulaCellText(const FormulaCell& cell);

// Hands every member to several observers.
class MemberFanOut : public MemberObserver {
 public:
  explicit MemberFanOut(std::vector<MemberObserver*> observers)
      : observers_(std::move(observers)) {}
  void Begin(const std::string& name, uint64_t size) override {
    for (MemberObserver* o : observers_) o->Begin(name, size);
  }
  void Data(const unsigned char* data, size_t size) override {
    for (MemberObserver* o : observers_) o->Data(data, size);
  }

 private:
  std::vector<MemberObserver*> observers_;
};

}  // namespace tovkit
