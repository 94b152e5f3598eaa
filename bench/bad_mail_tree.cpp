// Writes the benchmark's parked messages straight through POSIX calls, so that
// making 100,000 of them takes seconds, not minutes.
#include "bad_mail_tree.h"

#include <fcntl.h>
#include <unistd.h>

#include <random>
#include <stdexcept>

namespace velmoth::bench {
namespace {

void Write(const std::filesystem::path& path, const std::string& bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
    throw std::runtime_error("cannot write " + path.string());
  }
  ::close(fd);
}

const char* const kWords[] = {"delivery", "report",   "invoice",  "meeting", "the",   "of",
                              "and",      "please",   "attached", "regards", "order", "shipment",
                              "tomorrow", "question", "account",  "update",  "to",    "a"};

std::string MailText(std::mt19937& random, int bytes, int number) {
  std::string text =
      "Received: from relay.example.net by mail.example.org; Mon, 7 Dec 2026\r\n"
      "From: \"Sender " +
      std::to_string(number) + "\" <sender" + std::to_string(number) +
      "@example.org>\r\n"
      "To: rcpt" +
      std::to_string(number % 97) +
      "@example.net\r\n"
      "Subject: Order " +
      std::to_string(number) +
      "\r\n"
      "Date: Mon, 7 Dec 2026 08:00:00 +0100\r\n"
      "Message-ID: <" +
      std::to_string(number) + "@mail.example.org>\r\n\r\n";
  std::uniform_int_distribution<std::size_t> word(0, std::size(kWords) - 1);
  while (static_cast<int>(text.size()) < bytes) {
    for (int i = 0; i < 12; ++i) (text += kWords[word(random)]) += ' ';
    text += "\r\n";
  }
  return text;
}

std::string CommandText(std::mt19937& random, int number, int kind) {
  const std::string n = std::to_string(number);
  std::string text = kind == 1 ? "Status=Spooling\r\n" : "Status=Failed\r\n";
  text += kind == 2 ? (number % 2 ? "CommandType=NDR\r\n" : "commandtype=Ndr\r\n")
                    : "CommandType=SMTP\r\n";
  text += "Retries=" + std::to_string(random() % 9) + "\r\nServer=mx" + std::to_string(number % 7) +
          ".example.net\r\nNextSendTime=1764998400\r\nTimeAcquired=1764990000\r\n"
          "From=<sender" +
          n + "@example.org>\r\nTo=<rcpt" + std::to_string(number % 97) +
          "@example.net>\r\nMessageID=<" + n +
          "@mail.example.org>\r\nPriority=3\r\n"
          "Size=20480\r\nHoldUntil=0\r\nDeliveryReport=1\r\nSourceIP=192.0.2." +
          std::to_string(number % 250) +
          "\r\nHelo=relay.example.net\r\nAuthUser=\r\n"
          "LastError=550 5.1.1 Recipient address rejected\r\nQueueID=" +
          n + "\r\nCreated=1764980000\r\nExpires=1765580000\r\n";
  return text;
}

}  // namespace

BadMailTree ParkMessages(const std::filesystem::path& badMail, int count, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> size(2 * 1024, 50 * 1024);
  std::uniform_int_distribution<int> percent(0, 99);
  BadMailTree tree;
  for (int i = 0; i < count; ++i) {
    const std::string name = std::to_string(1000000 + i) + ".EML";
    const int roll = percent(random);
    // 5 % spooled, 5 % reports, 1 % without a message file, 1 % a message file alone.
    const int kind = roll < 5 ? 1 : roll < 10 ? 2 : 0;
    const bool noMessage = roll == 10;
    const bool noCommand = roll == 11;
    const std::string message = MailText(random, size(random), i);
    if (!noMessage) Write(badMail / "messages" / name, message);
    if (!noCommand) Write(badMail / name, CommandText(random, i, kind));
    if (kind == 0 && !noMessage && !noCommand) {
      tree.candidates.push_back(name);
      tree.messageBytes += message.size();
    }
  }
  return tree;
}

void ParkCandidates(const std::filesystem::path& badMail, const std::vector<std::string>& names,
                    std::uint32_t seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> size(2 * 1024, 50 * 1024);
  int number = 0;
  for (const std::string& name : names) {
    Write(badMail / "messages" / name, MailText(random, size(random), number));
    Write(badMail / name, CommandText(random, number++, 0));
  }
}

}  // namespace velmoth::bench
