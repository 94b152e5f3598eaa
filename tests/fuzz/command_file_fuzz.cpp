// Fuzzes the command-file rules on arbitrary bytes: the streaming rewrite must
// write exactly what the plain line-by-line rewrite writes, and the candidate
// test must agree with a search of each line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "queue/command_file.h"
#include "support/command_file_model.h"
#include "support/memory_files.h"

namespace {

using velmoth::CommandFileVerdict;

bool ContainsFolded(std::string_view line, std::string_view upper) {
  for (std::size_t at = 0; at + upper.size() <= line.size(); ++at) {
    std::size_t i = 0;
    while (i < upper.size() && std::toupper(static_cast<unsigned char>(line[at + i])) == upper[i]) {
      ++i;
    }
    if (i == upper.size()) return true;
  }
  return false;
}

// The candidate test said plainly: a line with either marker keeps the message.
bool ModelExcludes(std::string_view bytes) {
  while (!bytes.empty()) {
    const std::size_t lf = bytes.find('\n');
    const std::string_view line = bytes.substr(0, lf);
    if (ContainsFolded(line, "STATUS=SPOOLING") || ContainsFolded(line, "COMMANDTYPE=NDR")) {
      return true;
    }
    if (lf == std::string_view::npos) break;
    bytes.remove_prefix(lf + 1);
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const velmoth::StampProducer stamp = [] { return std::string("1039243145"); };

  velmoth::testing::StringInputFile forTest(bytes);
  const CommandFileVerdict verdict = velmoth::ReadCommandFileVerdict(forTest);
  if ((verdict != CommandFileVerdict::kCandidate) != ModelExcludes(bytes)) std::abort();

  velmoth::testing::StringInputFile forRewrite(bytes);
  velmoth::testing::StringOutputFile rewritten;
  if (velmoth::RewriteCommandFile(forRewrite, rewritten, stamp) != verdict) std::abort();
  if (rewritten.bytes != velmoth::testing::ModelRewrite(bytes, stamp)) std::abort();
  return 0;
}
