// The two wipe functions, and the seed of the memory-reset generator (the
// generator itself lives with the random generator, src/keys/memreset.cpp,
// and vrt_memreset_s draws from it through the layer record).
#include <sys/random.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "frame/internal.h"
#include "vrt.h"

namespace {

std::atomic<uint64_t> g_reset_requests{0};

}  // namespace

namespace vrt::frame {

uint64_t memreset_requests() { return g_reset_requests.load(std::memory_order_relaxed); }

void weak_seed(uint8_t* out, size_t n) {
  // Clock-based and weak: these bytes only ever key the wipe generator.
  srand(static_cast<unsigned>(time(nullptr)));
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(rand() % 255);
}

bool memreset_seed(uint8_t* out, size_t n, bool os) {
  size_t got = 0;
  while (os && got < n) {
    const ssize_t r = getrandom(out + got, n - got, 0);
    if (r > 0) {
      got += static_cast<size_t>(r);
    } else if (r < 0 && errno != EINTR) {
      break;
    }
  }
  if (os && got == n) return true;
  // Masks drawn from the clock are the same in every process started in
  // the same second: only when the system has no random bytes to give.
  weak_seed(out, n);
  return false;
}

}  // namespace vrt::frame

extern "C" {

VRT_API uint32_t vrt_memset_s(void* dest, int64_t destsz, int ch, uint64_t count) {
  if (dest == nullptr) return VRT_ERROR_BAD_BUFFER;
  if (static_cast<uint64_t>(destsz) < count) return VRT_ERROR_BAD_BUFFER;
  if (destsz < 0) return VRT_ERROR_BAD_BUFFER;
  if (destsz == 0 || count == 0) return VRT_SUCCESS;
  std::memset(dest, static_cast<unsigned char>(ch), count);
  // The fill must survive dead-store elimination even when dest is freed or
  // goes out of scope right after: the compiler has to assume that the
  // barrier reads the bytes.
  __asm__ __volatile__("" : : "r"(dest) : "memory");
  return VRT_SUCCESS;
}

VRT_API uint32_t vrt_memreset_s(void* dest, int64_t size) {
  if (dest == nullptr || size < 0) return VRT_ERROR_BAD_BUFFER;
  auto* p = static_cast<uint8_t*>(dest);
  uint64_t left = static_cast<uint64_t>(size);
  uint8_t block[32];
  while (left > 0) {
    g_reset_requests.fetch_add(1, std::memory_order_relaxed);
    uint32_t st = vrt::frame::kLayers.memreset_block(block);
    if (st != VRT_SUCCESS) return st;
    // Each block is used from its last byte to its first.
    uint64_t n = left < 32 ? left : 32;
    for (uint64_t i = 0; i < n; ++i) p[i] = block[31 - i];
    p += n;
    left -= n;
  }
  __asm__ __volatile__("" : : "r"(dest) : "memory");
  return VRT_SUCCESS;
}

}  // extern "C"
