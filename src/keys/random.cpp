// The generator contexts: the main generator and the state behind the
// memory-wipe generator. Output is the Streebog compression of a block
// counter under the generator's 512-bit key, 32 bytes per compression.
#include <cstring>

#include "frame/internal.h"
#include "hash/internal.h"
#include "keys/internal.h"

namespace {

random_ctx_t g_main;

random_ctx_t* resolve(random_ctx_t* ctx) { return ctx != nullptr ? ctx : &g_main; }

struct Locked {
  explicit Locked(random_ctx_t* c) : ctx(c) { pthread_mutex_lock(&ctx->lock); }
  ~Locked() { pthread_mutex_unlock(&ctx->lock); }
  random_ctx_t* ctx;
};

// One 32-byte block of keystream; called with the lock held.
void next_block(random_ctx_t* ctx, uint8_t out[32]) {
  uint64_t h[8], n[8] = {ctx->counter++, 0, 0, 0, 0, 0, 0, 0}, m[8] = {};
  std::memcpy(h, ctx->key, sizeof h);
  vrt::hash::streebog_g(h, n, m);
  std::memcpy(out, h, 32);
  vrt_memset_s(h, sizeof h, 0, sizeof h);
}

uint32_t produce(random_ctx_t* ctx, uint8_t* out, uint64_t length) {
  uint8_t block[32];
  while (length > 0) {
    next_block(ctx, block);
    uint64_t n = length < 32 ? length : 32;
    std::memcpy(out, block, n);
    out += n;
    length -= n;
  }
  vrt_memset_s(block, sizeof block, 0, sizeof block);
  return VRT_SUCCESS;
}

}  // namespace

uint32_t random_init(random_ctx_t* ctx) {
  if (ctx == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  if (!ctx->up) pthread_mutex_init(&ctx->lock, nullptr);
  ctx->up = 1;
  ctx->ready = 0;
  ctx->failed = 0;
  ctx->counter = 0;
  return VRT_SUCCESS;
}

void random_cleanup(random_ctx_t* ctx) {
  if (ctx == nullptr || !ctx->up) return;
  vrt_memset_s(ctx->key, sizeof ctx->key, 0, sizeof ctx->key);
  ctx->ready = 0;
  ctx->up = 0;
  pthread_mutex_destroy(&ctx->lock);
}

uint32_t random_generate(random_ctx_t* ctx, void* out, uint64_t length, uint32_t* rekeyed,
                         random_seed_t*) {
  if (out == nullptr || length == 0) return VRT_ERROR_INVALID_ARGUMENT;
  Locked guard(resolve(ctx));
  if (rekeyed != nullptr) *rekeyed = 0;
  // An unseeded generator would hand every caller the keystream of the same
  // key: it refuses instead.
  if (guard.ctx->failed || guard.ctx->ready < 100) return VRT_ERROR_FAILED;
  return produce(guard.ctx, static_cast<uint8_t*>(out), length);
}

uint32_t random_set_custom_seed(random_ctx_t* ctx, const random_seed_t* seed,
                                random_seed_t* seed_out) {
  if (seed == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  Locked guard(resolve(ctx));
  random_ctx_t* c = guard.ctx;
  std::memset(c->key, 0, sizeof c->key);
  std::memcpy(c->key, seed, sizeof *seed);
  c->counter = 0;
  c->ready = 100;
  c->failed = 0;
  if (seed_out != nullptr) return produce(c, reinterpret_cast<uint8_t*>(seed_out), sizeof *seed_out);
  return VRT_SUCCESS;
}

extern "C" {

VRT_API uint32_t vrtpRandomInit(vrtp_instance_t*) { return random_init(&g_main); }
VRT_API void vrtpRandomCleanup(vrtp_instance_t*) { random_cleanup(&g_main); }

}  // extern "C"
