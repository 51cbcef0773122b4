// A C++ consumer of the installed library through find_package(vrt): the
// package version and the library's own must agree.
#include <vrt.h>

#include <cstdio>
#include <cstring>

int main() {
  if (vrtInit() != VRT_SUCCESS) return 1;
  uint8_t digest[64];
  hash2012_ctx_t ctx;
  static const uint8_t empty[1] = {0};
  if (vrtGostHash2012Init(&ctx, 512) != VRT_SUCCESS) return 2;
  if (vrtGostHash2012Update(&ctx, empty, 0) != VRT_SUCCESS) return 3;
  if (vrtGostHash2012Finalize(&ctx, digest) != VRT_SUCCESS) return 4;
  // Streebog-512 of the empty message starts 8e 94 5d a2 in the library's byte order.
  static const uint8_t head[4] = {0x8e, 0x94, 0x5d, 0xa2};
  if (std::memcmp(digest, head, sizeof head) != 0) return 5;
  vrtCleanup();
  if (std::strcmp(vrtGetVersionStr(), VRT_EXPECTED_VERSION) != 0) return 6;
  std::printf("find_package consumer: libvrt %s ok\n", vrtGetVersionStr());
  return 0;
}
