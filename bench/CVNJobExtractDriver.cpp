#include <cstdio>

#include "CVNJobDriver.h"

int CVNJobExtractMain(int, char**) {
  std::fprintf(stderr, "corvana-bench: job-extract is not built yet\n");
  return 2;
}
