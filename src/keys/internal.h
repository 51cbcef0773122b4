// What the other folders may call in the keys subsystem.
#pragma once

#include <cstdint>

#include "vrt.h"

namespace vrt::keys {

// The library's main generator (what a null context names).
random_ctx_t* main_generator();

// Set-up and tear-down of a generator whose lock lives as long as the
// process (the library's own, in static storage): under that lock, which
// stays initialised.
uint32_t set_up_library_generator(random_ctx_t* ctx);
void tear_down_library_generator(random_ctx_t* ctx);

// The next 32 bytes of the memory-reset generator, for vrt_memreset_s (the
// frame's hook); its own lock is held for the request.
uint32_t memreset_block(uint8_t block[32]);

// Test hooks: replace the per-block and the periodic test while set (null
// restores the real ones), so the failure paths can be driven on purpose.
// Not exported.
using BlockTestFn = uint32_t (*)(const uint8_t block[32]);
using PeriodicTestFn = uint32_t (*)(const uint8_t block[4096]);
void set_test_hooks(BlockTestFn block_test, PeriodicTestFn periodic_test);

// The generator's internals shared by the generator and the entropy intake;
// both are called with the context's lock held.
struct Locked {
  explicit Locked(random_ctx_t* c);
  ~Locked();
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;
  random_ctx_t* ctx;
};

// Fills out with length bytes by the output procedure.
uint32_t produce(random_ctx_t* ctx, uint8_t* out, uint64_t length, uint32_t* rekeyed, random_seed_t* seed_out);
// Keys the generator from pooled entropy (key = Streebog-256 of it, counter
// start from the key's digest), produces the next seed and copies it to
// seed_out (optional).
uint32_t seed_from_entropy(random_ctx_t* ctx, const uint8_t* bytes, uint64_t length, random_seed_t* seed_out);
// Runs the periodic test on fresh output, up to three times.
uint32_t periodic_test(random_ctx_t* ctx);
// Enters the failed state (as the output procedure does when clear_all).
void enter_failed(random_ctx_t* ctx, bool clear_all);
uint32_t block_test(const uint8_t block[32]);

}  // namespace vrt::keys
