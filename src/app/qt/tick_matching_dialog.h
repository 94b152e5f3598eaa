// The tick matching dialog: a text to look for in a field of each message's
// header and a range of its command file's dates, in the console's date forms;
// Tick (the default button) or Untick runs the request on the list and shows
// what it did. It stays open beside the window, whose list updates behind it,
// until Close or Esc.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "app/main_window.h"

class QComboBox;
class QLabel;
class QLineEdit;

namespace velmoth::qt {

class TickMatchingDialog final : public QDialog {
 public:
  // Ticks or unticks the matching rows; says how many, or why it could not.
  using Run = std::function<std::string(const MatchRequest& request, bool tick)>;

  explicit TickMatchingDialog(Run run, QWidget* parent = nullptr);

  // Shows the dialog in front, its text ready to be typed over.
  void Open();

 private:
  MatchRequest Request() const;
  void RunRequest(bool tick);

  Run run_;
  QLineEdit* text_ = nullptr;
  QComboBox* field_ = nullptr;
  QLineEdit* after_ = nullptr;
  QLineEdit* before_ = nullptr;
  QLabel* status_ = nullptr;
};

}  // namespace velmoth::qt
