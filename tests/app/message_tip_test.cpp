// The tooltip text of a row, over message files held in memory where the registry
// puts the Bad Mail directory: the fields shown and how, and the one line that
// stands in for a file that vanished or cannot be read.
#include "app/message_tip.h"

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>

#include "queue/queue_paths.h"
#include "support/mail_server.h"
#include "support/memory_files.h"

namespace velmoth {
namespace {

using testing::MailServer;
using testing::StringInputFile;

// Message files in memory, and the errors opening some of them fails with.
class MemoryMessages final : public FileSystem {
 public:
  std::map<fs::path, std::string> files;
  std::map<fs::path, FileError> faults;

  std::unique_ptr<InputFile> OpenForReading(const fs::path& path) override {
    if (const auto fault = faults.find(path); fault != faults.end()) throw fault->second;
    const auto file = files.find(path);
    if (file == files.end()) throw FileError(kErrorNotFound, "No such file", PathText(path));
    return std::make_unique<StringInputFile>(file->second, path);
  }
  // A tooltip only reads.
  std::unique_ptr<Directory> OpenDirectory(const fs::path&) override { throw Unused(); }
  std::unique_ptr<OutputFile> CreateTemporary(const fs::path&) override { throw Unused(); }
  void Flush(const std::vector<fs::path>&, const std::vector<fs::path>&) override {
    throw Unused();
  }
  void Rename(const fs::path&, const fs::path&) override { throw Unused(); }
  std::optional<FileIdentity> Identity(const fs::path&) override { throw Unused(); }
  void Delete(const fs::path&) override { throw Unused(); }
  void Discard(const fs::path&) noexcept override {}

 private:
  static std::logic_error Unused() { return std::logic_error("a tooltip changes no file"); }
};

const std::string kLongSubject(150, 'x');

TEST(MessageTip, ShowsTheFieldsOfTheMessageFileOrWhyItCannot) {
  const struct {
    std::string what;
    std::optional<std::string> message;  // none: the file is not there
    std::optional<FileError> fault;
    std::string tip;
  } cases[] = {
      {"every field",
       "From: Ann <ann@example.org>\r\nTo: bob@example.net\r\nCc: cy@example.net\r\n"
       "Subject: Rates\r\nDate: Mon, 7 Dec 2026 08:00:00 +0100\r\n\r\nbody",
       std::nullopt,
       "From: Ann <ann@example.org>\nTo: bob@example.net\nCc: cy@example.net\nSubject: Rates\n"
       "Date: Mon, 7 Dec 2026 08:00:00 +0100"},
      {"no Cc, no Date",
       "subject: Rates\nTO: bob@example.net\nFrom: ann@example.org\n\nCc: not a header\n",
       std::nullopt, "From: ann@example.org\nTo: bob@example.net\nSubject: Rates\nDate: (none)"},
      {"no header at all", "just a body", std::nullopt,
       "From: (none)\nTo: (none)\nSubject: (none)\nDate: (none)"},
      {"encoded words",
       "From: =?ISO-8859-1?Q?J=F6rg_M=FCller?= <jm@example.de>\n"
       "To: =?UTF-8?B?0JDQvdC90LA=?= <anna@example.ru>\nSubject: =?UTF-8?Q?=CE=A3=CF=8D=CE=BD?=\n",
       std::nullopt,
       "From: Jörg Müller <jm@example.de>\nTo: Анна <anna@example.ru>\nSubject: Σύν\n"
       "Date: (none)"},
      {"a long field", "To: a@example.net\nSubject: " + kLongSubject + "\n", std::nullopt,
       "From: (none)\nTo: a@example.net\nSubject: " + kLongSubject.substr(0, kTipFieldWidth - 1) +
           "…\nDate: (none)"},
      {"vanished", std::nullopt, std::nullopt, "The message file is no longer there"},
      {"unreadable", "From: a", FileError(kErrorAccessDenied, "Access is denied", "here"),
       "The message file cannot be read: Access is denied"},
  };
  MailServer server;
  for (const auto& c : cases) {
    MemoryMessages files;
    const fs::path path = MessageFilePath(Queue::kBadMail, "parked.eml");
    if (c.message) files.files[path] = *c.message;
    if (c.fault) files.faults.emplace(path, *c.fault);
    EXPECT_EQ(MessageTip(files, "parked.eml"), c.tip) << c.what;
  }
}

}  // namespace
}  // namespace velmoth
