#include "lib/host_check.h"

#include <cstdio>
#include <cstdlib>

void HostCheckFailed(const char* What, const char* File, int Line) {
  std::fprintf(stderr, "%s:%d: host check failed: %s\n", File, Line, What);
  std::abort();
}
