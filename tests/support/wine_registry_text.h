// The mail server's registry values as Wine's system.reg holds them, for the tests'
// scratch server and the benchmarks' servers on disk alike; it needs nothing but
// the standard library, so that the benchmarks can take it without GoogleTest.
#pragma once

#include <ostream>
#include <string>

namespace velmoth::testing {

// A registry string as Wine's text format writes it.
inline std::string RegText(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

// Writes a whole system.reg with the server's two keys. Each value's data goes in
// as the file holds it (`"Q:\\Mail"`, `dword:00000001`, a string never closed);
// an empty one leaves that value out.
inline void WriteServerRegistry(std::ostream& reg, const std::string& badMailData,
                                const std::string& outboundData) {
  reg << "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n";
  reg << "[Software\\\\korvane\\\\korvane] 1700000000\n#time=1d8a0b0c0d0e0f0\n";
  if (!badMailData.empty()) reg << RegText("Bad Mail Directory") << "=" << badMailData << "\n";
  reg << "\n[Software\\\\korvane\\\\korvane\\\\connectors\\\\smtp] 1700000000\n";
  if (!outboundData.empty()) {
    reg << RegText("Outbound Queue Directory") << "=" << outboundData << "\n";
  }
}

}  // namespace velmoth::testing
