// A parked message's details in a dialog of their own: who it is from, to whom
// and what about, its size and both files' dates, its command file's lines and
// its header block as written, and why a file could not be read. Every text can
// be selected and copied; Esc or Close ends the dialog.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>

#include "base/file_time.h"
#include "queue/message_details.h"

namespace velmoth::qt {

class DetailsDialog final : public QDialog {
 public:
  // A date as the list writes it.
  using DateText = std::function<QString(FileDate date)>;

  DetailsDialog(const MessageDetails& details, const DateText& dateText, QWidget* parent = nullptr);
};

}  // namespace velmoth::qt
