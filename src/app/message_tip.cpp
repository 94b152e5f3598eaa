// The tooltip's text from the header of the message file, or the reason there is
// none: a tooltip is no place for an error box.
#include "app/message_tip.h"

#include <exception>

#include "base/text_width.h"
#include "queue/message_header.h"

namespace velmoth {
namespace {

constexpr char kUnreadable[] = "The message file cannot be read: ";

std::string Line(const char* label, const std::string& value) {
  return label + (value.empty() ? std::string("(none)") : CutToWidth(value, kTipFieldWidth));
}

std::string TipText(const MessageHeader& header) {
  std::string text = Line("From: ", header.from) + "\n" + Line("To: ", header.to) + "\n";
  if (!header.cc.empty()) text += Line("Cc: ", header.cc) + "\n";
  return text + Line("Subject: ", header.subject) + "\n" + Line("Date: ", header.date);
}

}  // namespace

std::string MessageTip(FileSystem& files, const QueueLocations& locations,
                       const std::string& name) {
  bool found = false;  // the queue: until then, no file has vanished
  try {
    const OpenedQueue parked = OpenQueue(files, locations, Queue::kBadMail);
    found = true;
    if (!parked.messages) return "The message file is no longer there";
    return TipText(ReadMessageHeader(*parked.messages, name));
  } catch (const FileError& error) {
    if (IsFileNotFound(error) && found) return "The message file is no longer there";
    return kUnreadable + error.description();
  } catch (const std::exception& error) {
    return std::string(kUnreadable) + error.what();
  }
}

}  // namespace velmoth
