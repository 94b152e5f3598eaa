// The command-file rewrite as plainly as it can be said: split the bytes into
// lines, rewrite each line, end each with CR LF. The streaming rewrite must
// write exactly what this writes.
#pragma once

#include <string>
#include <string_view>

#include "queue/command_file.h"

namespace velmoth::testing {

// A line ends at LF; a CR right before the LF belongs to the line end; a last
// line without a line end is a line.
inline std::string ModelRewrite(std::string_view bytes, const StampProducer& stamp) {
  std::string out;
  while (!bytes.empty()) {
    const std::size_t lf = bytes.find('\n');
    std::string_view line = bytes.substr(0, lf);
    bytes.remove_prefix(lf == std::string_view::npos ? bytes.size() : lf + 1);
    if (lf != std::string_view::npos && !line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    out += RewriteLine(line, stamp) + "\r\n";
  }
  return out;
}

}  // namespace velmoth::testing
