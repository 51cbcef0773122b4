/* Preloaded into the vrt tool by info_test.sh: stands in for the library's
 * vrtTest and returns the status named by VRT_FAKE_TEST_STATUS, so the test
 * sees how the tool reports a failing self-test. */
#include <stdint.h>
#include <stdlib.h>

__attribute__((visibility("default"))) uint32_t vrtTest(void) {
  const char* s = getenv("VRT_FAKE_TEST_STATUS");
  return s ? (uint32_t)strtoul(s, NULL, 0) : 1u;
}
