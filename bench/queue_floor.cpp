// queue_floor list|requeue SERVER: the floors of velmoth-queue's list and
// requeue --all as whole processes, on a server that park_messages made: list
// does the list floor's I/O; requeue the scan floor's, then the requeue floor's
// on the candidates.
#include <cstdio>
#include <cstring>

#include "bench_server.h"
#include "floors.h"

int main(int argc, char** argv) {
  const bool requeue = argc == 3 && std::strcmp(argv[1], "requeue") == 0;
  if (argc != 3 || (!requeue && std::strcmp(argv[1], "list") != 0)) {
    std::fprintf(stderr, "usage: queue_floor list|requeue SERVER\n");
    return 2;
  }
  const velmoth::bench::BenchServer server(argv[2]);
  if (!requeue) {
    std::printf("%zu\n", velmoth::bench::ListFloor(server.badMail()));
    return 0;
  }
  std::printf("%zu\n", velmoth::bench::ScanFloor(server.badMail()));
  { velmoth::bench::RequeueFloor(server.badMail(), server.outbound(), server.Candidates()); }
  return 0;
}
