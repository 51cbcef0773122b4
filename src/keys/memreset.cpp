// The memory-reset generator: the generator instance of its own whose output
// vrt_memreset_s writes over released key material, its seed (which the
// generator refreshes whenever it re-keys) and its re-key flag.
#include "frame/internal.h"
#include "keys/internal.h"
#include "vrt.h"

namespace {

random_ctx_t g_reset_ctx;  // zero-filled: its lock is PTHREAD_MUTEX_INITIALIZER
random_seed_t g_reset_seed;
uint32_t g_reset_flag;

}  // namespace

namespace vrt::keys {

uint32_t memreset_block(uint8_t block[32]) {
  return random_generate(&g_reset_ctx, block, 32, &g_reset_flag, &g_reset_seed);
}

}  // namespace vrt::keys

extern "C" {

VRT_API uint32_t vrtpMemResetRandomInit(void) {
  // The generator outlives vrtCleanup; set up again under its lock, which
  // stays initialised, so a wipe in another thread never races with it.
  vrt::keys::tear_down_library_generator(&g_reset_ctx);
  uint32_t st = vrt::keys::set_up_library_generator(&g_reset_ctx);
  if (st != VRT_SUCCESS) return st;
  vrt::frame::memreset_seed(reinterpret_cast<uint8_t*>(&g_reset_seed), sizeof g_reset_seed);
  return random_set_custom_seed(&g_reset_ctx, &g_reset_seed, &g_reset_seed);
}

}  // extern "C"
