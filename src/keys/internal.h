// What the other folders may call in the keys subsystem.
#pragma once

#include <pthread.h>

#include <cstdint>

#include "vrt.h"

// A generator seed: 32 bytes of key, then 8 bytes of initial counter.
struct random_seed_t {
  uint8_t key[32];
  uint8_t counter[8];
};

// A generator context: a keystream under a 512-bit key, its block counter and
// the lock that every generator function holds. Null names the main
// generator.
struct random_ctx_t {
  pthread_mutex_t lock;
  uint32_t ready;   // 100 once seeded
  uint32_t failed;  // nonzero: refuses all output
  uint32_t up;      // the lock exists
  uint64_t key[8];
  uint64_t counter;
};

// Creates the lock and clears the context.
uint32_t random_init(random_ctx_t* ctx);
// Clears the key and destroys the lock; the context must be initialised again
// before use.
void random_cleanup(random_ctx_t* ctx);
// Fills out with length bytes: 3 for a null out or zero length, 1 while the
// generator is unseeded or failed. rekeyed (optional) is set to 0; seed_out is
// not written (this generator never re-keys on its own).
uint32_t random_generate(random_ctx_t* ctx, void* out, uint64_t length, uint32_t* rekeyed,
                         random_seed_t* seed_out);
// Keys the generator from seed; seed_out (optional) receives 40 further bytes
// of output. seed and seed_out may be the same buffer.
uint32_t random_set_custom_seed(random_ctx_t* ctx, const random_seed_t* seed,
                                random_seed_t* seed_out);
