// Entry point of every suite that tests algorithms: the library is
// initialised once for the whole run.
#include <gtest/gtest.h>

#include <cstdio>

#include "common/test_util.h"
#include "vrt.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  uint32_t st = vrtInit();
  if (st != VRT_SUCCESS) {
    std::fprintf(stderr, "vrtInit failed: %u\n", st);
    return 1;
  }
  int rc = RUN_ALL_TESTS();
  vrtCleanup();
  return rc;
}
