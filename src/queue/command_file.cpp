// Command-file rules, applied as the bytes stream past: a line is never held
// whole, so a command file of any size is read and rewritten in bounded memory.
// Letter case is folded for ASCII letters only, never by the user's locale.
#include "queue/command_file.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>

#include "base/ascii_text.h"

namespace velmoth {
namespace {

constexpr std::size_t kBlockSize = 64 * 1024;

constexpr std::string_view kSpooling = "STATUS=SPOOLING";
constexpr std::string_view kNdr = "COMMANDTYPE=NDR";

// Each marker holds one "=", which is rare in a command file: the search looks
// only around each "=" of the text.
bool ContainsFolded(std::string_view text, std::string_view upperMarker) {
  const std::size_t equals = upperMarker.find('=');
  for (std::size_t at = text.find('=', equals); at != std::string_view::npos;
       at = text.find('=', at + 1)) {
    const std::string_view candidate = text.substr(at - equals, upperMarker.size());
    if (std::equal(candidate.begin(), candidate.end(), upperMarker.begin(), upperMarker.end(),
                   [](char a, char b) { return AsciiUpper(a) == b; })) {
      return true;
    }
  }
  return false;
}

// The candidate test over a stream of blocks. A marker holds no line end, so a
// search of the bytes finds exactly what a search line by line finds; the tail
// of each block is kept to find a marker cut in two by a block boundary.
class MarkerSearch {
 public:
  void Feed(std::string_view block) {
    if (verdict_ != CommandFileVerdict::kCandidate) return;
    Search(tail_ + std::string(block.substr(0, kOverlap)));
    Search(block);
    if (block.size() >= kOverlap) {
      tail_.assign(block.end() - kOverlap, block.end());
    } else {
      tail_ += block;
      if (tail_.size() > kOverlap) tail_.erase(0, tail_.size() - kOverlap);
    }
  }
  CommandFileVerdict verdict() const { return verdict_; }

 private:
  static constexpr std::size_t kOverlap = kSpooling.size() - 1;
  static_assert(kSpooling.size() == kNdr.size());

  void Search(std::string_view text) {
    if (verdict_ != CommandFileVerdict::kCandidate) return;
    if (ContainsFolded(text, kSpooling)) {
      verdict_ = CommandFileVerdict::kSpooling;
    } else if (ContainsFolded(text, kNdr)) {
      verdict_ = CommandFileVerdict::kNonDeliveryReport;
    }
  }

  std::string tail_;
  CommandFileVerdict verdict_ = CommandFileVerdict::kCandidate;
};

// The line that replaces one whose key is `key`, or nothing for a key the
// rewrite leaves alone.
std::optional<std::string> ResetLine(std::string_view key, const StampProducer& stamp) {
  if (key == "STATUS=") return "Status=Unsent";
  if (key == "RETRIES=") return "Retries=0";
  if (key == "SERVER=") return "Server=";
  if (key == "NEXTSENDTIME=") return "NextSendTime=" + stamp();
  if (key == "TIMEACQUIRED=") return "TimeAcquired=" + stamp();
  return std::nullopt;
}

// The longest key ResetLine knows, "=" included: a line whose first "=" comes
// later is passed through.
constexpr std::size_t kLongestKey = 13;

// The rewrite as a stream: each line's first bytes decide whether it is replaced
// or passed through, and the rest of it flows on without being held.
class LineRewriter {
 public:
  LineRewriter(OutputFile& destination, const StampProducer& stamp)
      : destination_(destination), stamp_(stamp) {}

  void Feed(const char* data, std::size_t size);
  void Finish();

 private:
  enum class State { kHead, kPass, kSkip };

  std::size_t FeedHead(const char* data, std::size_t size);
  std::size_t FeedRest(const char* data, std::size_t size);
  // Writes the bytes of a passed-through line, holding back a CR at their end
  // until the next byte shows whether it is part of the line end.
  void PassOn(std::string_view bytes);
  void Put(std::string_view bytes);
  void EndLine() { Put("\r\n"); }
  void Drain();

  OutputFile& destination_;
  const StampProducer& stamp_;
  State state_ = State::kHead;
  std::string head_;     // the line's first bytes, while they decide
  bool heldCr_ = false;  // a CR at a block's end that may belong to the line end
  std::string out_;
};

void LineRewriter::Feed(const char* data, std::size_t size) {
  while (size > 0) {
    const std::size_t used = state_ == State::kHead ? FeedHead(data, size) : FeedRest(data, size);
    data += used;
    size -= used;
  }
  if (out_.size() >= kBlockSize) Drain();
}

std::size_t LineRewriter::FeedHead(const char* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    const char c = data[i];
    if (c == '\n') {  // a short line without "="
      if (!head_.empty() && head_.back() == '\r') head_.pop_back();
      Put(head_);
      EndLine();
      head_.clear();
      return i + 1;
    }
    head_ += c;
    if (c != '=' && head_.size() < kLongestKey) continue;
    // head_ ends at the line's first "=", or holds none yet at kLongestKey bytes.
    if (auto reset = ResetLine(GetLineKey(head_), stamp_)) {
      Put(*reset);
      EndLine();
      state_ = State::kSkip;
    } else {
      PassOn(head_);
      state_ = State::kPass;
    }
    head_.clear();
    return i + 1;
  }
  return size;
}

std::size_t LineRewriter::FeedRest(const char* data, std::size_t size) {
  const auto* lf = static_cast<const char*>(std::memchr(data, '\n', size));
  const std::size_t length = lf ? static_cast<std::size_t>(lf - data) : size;
  if (state_ == State::kPass) {
    PassOn({data, length});
    if (lf) {
      heldCr_ = false;  // it stood right before the line end
      EndLine();
    }
  }
  if (!lf) return size;
  state_ = State::kHead;
  return length + 1;
}

void LineRewriter::PassOn(std::string_view bytes) {
  if (bytes.empty()) return;
  if (heldCr_) Put("\r");
  heldCr_ = bytes.back() == '\r';
  if (heldCr_) bytes.remove_suffix(1);
  Put(bytes);
}

void LineRewriter::Finish() {
  // A last line without a line end is a line all the same.
  if (state_ == State::kHead && !head_.empty()) {
    Put(head_);
    EndLine();
  } else if (state_ == State::kPass) {
    if (heldCr_) Put("\r");
    EndLine();
  }
  Drain();
}

void LineRewriter::Put(std::string_view bytes) { out_.append(bytes); }

void LineRewriter::Drain() {
  if (out_.empty()) return;
  destination_.Write(out_.data(), out_.size());
  out_.clear();
}

}  // namespace

std::string GetLineKey(std::string_view line) {
  const auto equals = line.find('=');
  if (equals == std::string_view::npos) return {};
  std::string key(line.substr(0, equals + 1));
  std::transform(key.begin(), key.end(), key.begin(), AsciiUpper);
  return key;
}

CommandFileVerdict ReadCommandFileVerdict(InputFile& commandFile) {
  const auto buffer = std::make_unique_for_overwrite<char[]>(kBlockSize);
  MarkerSearch search;
  ReadBlocks(commandFile, buffer.get(), kBlockSize, [&](const char* data, std::size_t size) {
    search.Feed({data, size});
  });
  return search.verdict();
}

std::string RewriteLine(std::string_view line, const StampProducer& stamp) {
  return ResetLine(GetLineKey(line), stamp).value_or(std::string(line));
}

CommandFileVerdict RewriteCommandFile(InputFile& source, OutputFile& destination,
                                      const StampProducer& stamp, std::uint64_t* bytesRead) {
  const auto buffer = std::make_unique_for_overwrite<char[]>(kBlockSize);
  MarkerSearch search;
  LineRewriter rewriter(destination, stamp);
  const std::uint64_t read =
      ReadBlocks(source, buffer.get(), kBlockSize, [&](const char* data, std::size_t size) {
        search.Feed({data, size});
        rewriter.Feed(data, size);
      });
  rewriter.Finish();
  if (bytesRead != nullptr) *bytesRead = read;
  return search.verdict();
}

}  // namespace velmoth
