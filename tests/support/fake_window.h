// The window's services held in memory: the tick box as a test sets it, and the
// message boxes, viewer starts and closing written down.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "base/path_text.h"

namespace velmoth::testing {

class FakeWindow : public WindowServices {
 public:
  bool IsDeleteTicked() const override { return deleteTicked; }
  void ShowError(const std::string& message) override { errors.push_back(message); }
  void ShowNotice(const std::string& message) override { notices.push_back(message); }
  void StartViewer(const std::filesystem::path& file) override {
    if (viewerMissing)
      throw FileError(ErrorKind::kNotFound, 2, "The viewer could not be started", PathText(file));
    viewed.push_back(file);
  }
  void Close() override { closed = true; }

  bool deleteTicked = true;
  bool viewerMissing = false;
  bool closed = false;
  std::vector<std::string> errors;
  std::vector<std::string> notices;
  std::vector<std::filesystem::path> viewed;
};

}  // namespace velmoth::testing
