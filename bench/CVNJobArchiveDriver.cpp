#include <cstdio>

#include "CVNJobDriver.h"

int CVNJobArchiveMain(int, char**) {
  std::fprintf(stderr, "corvana-bench: job-archive is not built yet\n");
  return 2;
}
