// The window's services held in memory: the selection, the tick box and the
// answer to a question as a test sets them, and the hourglass, message boxes,
// dialogs, viewer starts and closing written down.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "base/path_text.h"

namespace velmoth::testing {

class FakeWindow : public WindowServices {
 public:
  std::optional<std::size_t> SelectedRow() const override { return selected; }
  void SetBusyPointer(bool busy) override { pointerLog.push_back(busy); }
  bool IsDeleteTicked() const override { return deleteTicked; }
  void ShowError(const std::string& message) override { errors.push_back(message); }
  void ShowNotice(const std::string& message) override { notices.push_back(message); }
  void StartViewer(const std::filesystem::path& file) override {
    if (viewerMissing)
      throw FileError(ErrorKind::kNotFound, 2, "The viewer could not be started", PathText(file));
    viewed.push_back(file);
  }
  void Close() override { closed = true; }
  bool Confirm(const std::string& question) override {
    questions.push_back(question);
    return confirms;
  }
  void ShowDetails(const MessageDetails& details) override { shownDetails.push_back(details); }
  void ShowTickMatching() override { ++tickMatchingShown; }

  std::optional<std::size_t> selected;
  bool deleteTicked = true;
  bool viewerMissing = false;
  bool closed = false;
  bool confirms = true;  // the answer to every question
  std::vector<std::string> questions;
  std::vector<MessageDetails> shownDetails;
  int tickMatchingShown = 0;
  std::vector<std::string> errors;
  std::vector<std::string> notices;
  std::vector<std::filesystem::path> viewed;
  std::vector<bool> pointerLog;
};

}  // namespace velmoth::testing
