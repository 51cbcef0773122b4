/* A consumer of the installed library, built with pkg-config as C99 with
 * every warning an error. It includes the system headers an application is
 * likely to have beside vrt.h, so a clashing declaration fails the build. */
#include <cpuid.h>
#include <iconv.h>
#include <immintrin.h>
#include <locale.h>
#include <math.h>
#include <pthread.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <wchar.h>

#include <vrt.h>

int main(void) {
  static const char m1[] = "012345678901234567890123456789012345678901234567890123456789012";
  /* Streebog-256 of M1, in the library's byte order. */
  static const uint8_t expected[32] = {
      0x9d, 0x15, 0x1e, 0xef, 0xd8, 0x59, 0x0b, 0x89, 0xda, 0xa6, 0xba, 0x6c, 0xb7, 0x4a, 0xf9, 0x27,
      0x5d, 0xd0, 0x51, 0x02, 0x6b, 0xb1, 0x49, 0xa4, 0x52, 0xfd, 0x84, 0xe5, 0xe5, 0x7b, 0x55, 0x00};
  unsigned a, b, c, d;
  hash2012_ctx_t ctx;
  uint8_t digest[32];
  if (!__get_cpuid(0, &a, &b, &c, &d)) return 1;
  if (vrtInit() != VRT_SUCCESS) return 2;
  if (vrtGostHash2012Init(&ctx, 256) != VRT_SUCCESS) return 3;
  if (vrtGostHash2012Update(&ctx, (const uint8_t*)m1, sizeof m1 - 1) != VRT_SUCCESS) return 4;
  if (vrtGostHash2012Finalize(&ctx, digest) != VRT_SUCCESS) return 5;
  if (memcmp(digest, expected, sizeof digest) != 0) return 6;
  vrtCleanup();
  printf("pkg-config consumer: libvrt %s ok\n", vrtGetVersionStr());
  return 0;
}
