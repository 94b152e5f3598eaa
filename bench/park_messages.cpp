// park_messages DIR COUNT: makes a benchmark's mail server in DIR with COUNT
// parked messages, for the benchmarks that run Velmoth's programs from outside.
#include <cstdlib>
#include <exception>
#include <iostream>

#include "bench_server.h"

int main(int argc, char** argv) {
  if (argc != 3 || std::atoi(argv[2]) <= 0) {
    std::cerr << "usage: park_messages DIR COUNT\n";
    return 2;
  }
  try {
    velmoth::bench::BenchServer(argv[1]).Make(std::atoi(argv[2]));
  } catch (const std::exception& error) {
    std::cerr << "park_messages: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
