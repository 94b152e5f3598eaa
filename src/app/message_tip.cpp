// The tooltip's text from the header of the message file, or the reason there is
// none: a tooltip is no place for an error box.
#include "app/message_tip.h"

#include <exception>

#include "base/text_width.h"
#include "queue/message_header.h"
#include "queue/queue_paths.h"

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

std::string MessageTip(FileSystem& files, const std::string& name) {
  fs::path path;
  try {
    path = MessageFilePath(Queue::kBadMail, name);
    return TipText(ReadMessageHeader(files, path));
  } catch (const FileError& error) {
    // A registry value that is not there leaves no path: no file has vanished.
    if (IsFileNotFound(error) && !path.empty()) return "The message file is no longer there";
    return kUnreadable + error.description();
  } catch (const std::exception& error) {
    return std::string(kUnreadable) + error.what();
  }
}

}  // namespace velmoth
