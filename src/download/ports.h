// What a download run needs of its front end: the chapter list, the progress bar and the message
// box. The window carries these calls out on its GUI thread while the calling thread waits; the
// command-line tool and the tests keep them in memory.
#pragma once

#include <array>
#include <mutex>
#include <vector>

#include "text/text.h"

namespace ravelkin {

inline constexpr int kStatusColumn = 0;
inline constexpr int kTitleColumn = 1;
inline constexpr int kUrlColumn = 2;

// The chapter list. Rows are addressed by zero-based index; a row that does not exist reads as
// empty and ignores writes. Called from the driver and from worker threads.
class ChapterList {
 public:
  virtual ~ChapterList() = default;
  virtual int rowCount() = 0;
  virtual Text cellText(int row, int column) = 0;
  virtual void setCellText(int row, int column, const Text& text) = 0;
  // Scrolls until the row is entirely visible.
  virtual void makeVisible(int row) = 0;
  // Why the chapter of a row failed; its status is "失败".
  virtual void noteFailure(int /*row*/, const Text& /*reason*/) {}
};

class ProgressBar {
 public:
  virtual ~ProgressBar() = default;
  virtual void setMaximum(int maximum) = 0;
  virtual void setPosition(int position) = 0;
};

class MessageBox {
 public:
  virtual ~MessageBox() = default;
  // Shows text with one OK button and returns when it is closed.
  virtual void showMessage(const Text& text) = 0;
  // Shows text with OK and "仍然合并"; true when the user chose to merge anyway.
  virtual bool askMergeAnyway(const Text& text) = 0;
};

// A chapter list held in memory, safe to use from several threads.
class MemoryChapterList : public ChapterList {
 public:
  using Row = std::array<Text, 3>;
  explicit MemoryChapterList(std::vector<Row> rows = {}) : rows_(std::move(rows)) {}

  int rowCount() override {
    std::lock_guard lock(mutex_);
    return static_cast<int>(rows_.size());
  }
  Text cellText(int row, int column) override {
    std::lock_guard lock(mutex_);
    return valid(row, column) ? rows_[static_cast<size_t>(row)][static_cast<size_t>(column)]
                              : Text();
  }
  void setCellText(int row, int column, const Text& text) override {
    std::lock_guard lock(mutex_);
    if (valid(row, column)) rows_[static_cast<size_t>(row)][static_cast<size_t>(column)] = text;
  }
  void makeVisible(int) override {}

  std::vector<Row> rows() {
    std::lock_guard lock(mutex_);
    return rows_;
  }

 private:
  bool valid(int row, int column) const {
    return row >= 0 && static_cast<size_t>(row) < rows_.size() && column >= 0 && column < 3;
  }
  std::mutex mutex_;
  std::vector<Row> rows_;
};

}  // namespace ravelkin
