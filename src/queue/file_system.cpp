// Line reading and writing over the platform's file handles, and the error type
// every file operation reports with. The handles themselves live in the
// platform files beside this one.
#include "queue/file_system.h"

#include <algorithm>
#include <cstring>

namespace velmoth {
namespace {

constexpr std::size_t kBufferSize = 64 * 1024;

}  // namespace

LineReader::LineReader(const fs::path& path)
    : file_(path), buffer_(std::make_unique_for_overwrite<char[]>(kBufferSize)) {}

bool LineReader::Fill() {
  if (eof_) return false;
  begin_ = 0;
  end_ = file_.Read(buffer_.get(), kBufferSize);
  eof_ = end_ == 0;
  return !eof_;
}

bool LineReader::AtEnd() { return begin_ == end_ && !Fill(); }

std::string LineReader::ReadLine() {
  std::string line;
  while (begin_ < end_ || Fill()) {
    const char* first = buffer_.get() + begin_;
    const char* last = buffer_.get() + end_;
    const char* lf = std::find(first, last, '\n');
    line.append(first, lf);
    if (lf != last) {
      begin_ += static_cast<std::size_t>(lf - first) + 1;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      break;
    }
    // No line end in the buffer yet: a long line grows the string, never the buffer.
    begin_ = end_;
  }
  return line;
}

LineWriter::LineWriter(const fs::path& path) : file_(path) { buffer_.reserve(kBufferSize); }

void LineWriter::WriteLine(std::string_view line) {
  buffer_.append(line);
  buffer_.append("\r\n");
  if (buffer_.size() >= kBufferSize) Drain();
}

void LineWriter::Drain() {
  file_.Write(buffer_.data(), buffer_.size());
  buffer_.clear();
}

void LineWriter::Close() {
  Drain();
  file_.Close();
}

}  // namespace velmoth
