// The random generator: a GOST 28147-89 counter-mode keystream under the
// context's key, XORed into a 32-byte block that is tested before every
// release, re-keyed from its own output after a byte or time limit.
//
// Every re-key chains from the previous key: the next seed always comes from
// the generator's own output, never from the key in use.
#include <pthread.h>

#include <atomic>
#include <cstring>

#include "keys/internal.h"
#include "vrt.h"

namespace vrt::keys {
namespace {

// The header keeps the lock as opaque storage of a mutex's size and alignment.
static_assert(sizeof(vrt_mutex_storage_t) == sizeof(pthread_mutex_t), "lock storage is not a mutex's size");
static_assert(alignof(vrt_mutex_storage_t) >= alignof(pthread_mutex_t), "lock storage is not aligned for a mutex");

pthread_mutex_t* mutex_of(random_ctx_t* c) { return reinterpret_cast<pthread_mutex_t*>(c->lock.bytes); }

random_ctx_t g_main;  // zero-filled: its lock is PTHREAD_MUTEX_INITIALIZER
std::atomic<BlockTestFn> g_block_test{nullptr};
std::atomic<PeriodicTestFn> g_periodic_test{nullptr};

constexpr uint64_t kDefaultByteLimit = 0xA00000;  // 10 MiB
constexpr uint64_t kForcedCount = kDefaultByteLimit + 1;
constexpr uint64_t kDefaultTimeLimit = 86400;     // a day
constexpr uint32_t kPeriods[VRT_RANDOM_SOURCES] = {8, 4, 6, 6, 3, 1};
// Rounds whose block failed the test five times and that a fresh key did not
// cure: after this many in one call, the call fails instead of going on.
constexpr int kMaxForcedRounds = 3;

void wipe(void* p, size_t n) { vrt_memset_s(p, static_cast<int64_t>(n), 0, n); }

void drop_stream(random_ctx_t* c) {
  vrt_memset_s(c->stream, sizeof c->stream, 0, sizeof c->stream);
  c->stream_held = 0;
}

// block ^= the next 32 bytes of keystream. The cipher runs on 128 bytes at
// a time (its widest counter form costs about what one round's four blocks
// cost) under a plain key record that holds the context's key; the other
// three rounds' keystream is kept for the next rounds. The keystream depends
// only on its position, so the output is that of one cipher call per round;
// every change of key or counter drops what is kept.
uint32_t encrypt_block(random_ctx_t* c) {
  constexpr uint32_t kRounds = sizeof c->stream / 32;
  if (c->stream_held > 0) {
    const uint8_t* ks = c->stream + 32 * (kRounds - c->stream_held);
    for (int i = 0; i < 32; ++i) c->block[i] ^= ks[i];
    vrt_memset_s(const_cast<uint8_t*>(ks), 32, 0, 32);
    --c->stream_held;
    return VRT_SUCCESS;
  }
  genkey_t k{};
  __binstr_init(&k.key, c->key, sizeof c->key);
  uint8_t ks[32 + sizeof c->stream] = {};
  uint32_t st = vrtpGost89EncryptSimple(&c->cipher.ctx, &k, ks, ks, sizeof ks);
  if (st == VRT_SUCCESS) {
    for (int i = 0; i < 32; ++i) c->block[i] ^= ks[i];
    std::memcpy(c->stream, ks + 32, sizeof c->stream);
    c->stream_held = kRounds;
  }
  vrt_memset_s(ks, sizeof ks, 0, sizeof ks);
  return st;
}

bool rekey_due(const random_ctx_t* c) {
  if (c->output_count > c->byte_limit) return true;
  if (c->rekey_time == 0) return false;
  const uint64_t now = time_in_seconds();
  // A clock that went back counts as expired.
  return now < c->rekey_time || now - c->rekey_time >= c->time_limit;
}

// Re-key from seed: the key and counter start come from it, then 80 bytes of
// output give the next seed and the fresh seed material (to fresh, optional).
// A re-key never nests: inside one, this returns 0 at once.
uint32_t rekey(random_ctx_t* c, const random_seed_t* seed, random_seed_t* fresh) {
  if (c->rekeying) return VRT_SUCCESS;
  random_seed_t s = *seed;  // seed may be the next seed or a caller buffer
  std::memcpy(c->key, s.key, sizeof c->key);
  std::memcpy(c->counter_start, s.counter, sizeof c->counter_start);
  wipe(&s, sizeof s);
  uint32_t st = vrtpGost89SetStateSimple(&c->cipher.ctx, c->counter_start);
  if (st != VRT_SUCCESS) return st;
  drop_stream(c);
  std::memset(c->block, 0, sizeof c->block);
  c->rekey_time = time_in_seconds();
  c->output_count = 0;
  c->ready = 100;
  c->seeded = 1;
  c->rekeying = 1;
  uint8_t out[80];
  st = produce(c, out, sizeof out, nullptr, nullptr);
  c->rekeying = 0;
  if (st == VRT_SUCCESS) {
    std::memcpy(&c->next_seed, out, 40);
    if (fresh != nullptr) std::memcpy(fresh, out + 40, 40);
  }
  wipe(out, sizeof out);
  return st;
}

// A re-key at the limits, reporting it the way the output procedure does.
uint32_t scheduled_rekey(random_ctx_t* c, uint32_t* rekeyed, random_seed_t* seed_out) {
  random_seed_t fresh;
  const uint64_t count = c->output_count;
  uint32_t st = rekey(c, &c->next_seed, &fresh);
  if (st == VRT_SUCCESS && !c->rekeying) {
    if (rekeyed != nullptr) *rekeyed = 1;
    if (seed_out != nullptr)
      std::memcpy(seed_out, &fresh, sizeof fresh);
    else
      c->output_count = count + 32;  // no one took the fresh material: fire again
  }
  wipe(&fresh, sizeof fresh);
  return st;
}

}  // namespace

random_ctx_t* main_generator() { return &g_main; }

void set_test_hooks(BlockTestFn block_test, PeriodicTestFn periodic_test) {
  g_block_test.store(block_test);
  g_periodic_test.store(periodic_test);
}

Locked::Locked(random_ctx_t* c) : ctx(c != nullptr ? c : &g_main) { pthread_mutex_lock(mutex_of(ctx)); }
Locked::~Locked() { pthread_mutex_unlock(mutex_of(ctx)); }

uint32_t block_test(const uint8_t block[32]) {
  BlockTestFn f = g_block_test.load();
  return f != nullptr ? f(block) : random_dynamic_test(block);
}

void enter_failed(random_ctx_t* c, bool clear_all) {
  c->failed = 1;
  if (!clear_all) return;
  c->ready = 0;
  c->credited = 0;
  std::memset(c->pools, 0, sizeof c->pools);
  std::memset(c->history, 0, sizeof c->history);
  c->history_count = 0;
  std::memset(&c->next_seed, 0, sizeof c->next_seed);
  std::memset(c->block, 0, sizeof c->block);
  c->rekey_time = 0;
  c->output_count = 0;
}

uint32_t produce(random_ctx_t* c, uint8_t* out, uint64_t length, uint32_t* rekeyed, random_seed_t* seed_out) {
  uint8_t round[32];
  int forced = 0;
  while (length > 0) {
    bool passed = false;
    for (int attempt = 0; attempt < 5 && !passed; ++attempt) {
      uint32_t st = encrypt_block(c);
      if (st != VRT_SUCCESS) {
        wipe(round, sizeof round);
        return st;
      }
      passed = block_test(c->block) == VRT_SUCCESS;
    }
    if (passed) {
      std::memcpy(round, c->block, sizeof round);  // taken before any re-key reuses the block
      // What a re-key or seeding produces for the seed chain is not output.
      if (!c->rekeying) c->output_count += 32;
    }
    bool rekey_failed = false;
    if (rekey_due(c)) rekey_failed = scheduled_rekey(c, rekeyed, seed_out) != VRT_SUCCESS;
    if (!passed || rekey_failed) {
      // Inside a re-key there is no fresh key to force: its output comes from
      // the seed alone, so a re-key run again would meet the same blocks.
      if (!c->rekeying) {
        c->output_count = kForcedCount;
        if (rekey_due(c)) {
          uint32_t st = scheduled_rekey(c, rekeyed, seed_out);
          if (st != VRT_SUCCESS) {
            enter_failed(c, true);
            wipe(round, sizeof round);
            return st;
          }
        }
      }
      // A block that failed its test is never released: the round runs again,
      // on the fresh key or, inside a re-key, on the keystream that follows,
      // a bounded number of times. (A sound block fails the test one time in
      // about 37, so five failures in a row come once in some 70 million
      // rounds; a re-key that gave up there would fail for good, since its
      // retry repeats it.)
      if (!passed) {
        if (++forced >= kMaxForcedRounds) {
          wipe(round, sizeof round);
          return VRT_ERROR_RANDOM_TEST;
        }
        continue;
      }
    }
    const uint64_t n = length < 32 ? length : 32;
    std::memcpy(out, round, n);
    out += n;
    length -= n;
  }
  wipe(round, sizeof round);
  return VRT_SUCCESS;
}

uint32_t seed_from_entropy(random_ctx_t* c, const uint8_t* bytes, uint64_t length, random_seed_t* seed_out) {
  uint8_t digest[32];
  uint32_t st = hash2012_example(bytes, length, c->key, 32);
  if (st == VRT_SUCCESS) st = hash2012_example(c->key, 32, digest, 32);
  if (st != VRT_SUCCESS) return st;
  std::memcpy(c->counter_start, digest, sizeof c->counter_start);
  wipe(digest, sizeof digest);
  st = vrtpGost89SetStateSimple(&c->cipher.ctx, c->counter_start);
  if (st != VRT_SUCCESS) return st;
  drop_stream(c);
  // The clock and count start before the next seed is produced, so that no
  // limit re-keys from the old chain in the middle of the seeding.
  std::memset(c->block, 0, sizeof c->block);
  c->rekey_time = time_in_seconds();
  c->output_count = 0;
  c->seeded = 1;
  c->rekeying = 1;
  st = produce(c, reinterpret_cast<uint8_t*>(&c->next_seed), sizeof c->next_seed, nullptr, nullptr);
  c->rekeying = 0;
  if (st == VRT_SUCCESS && seed_out != nullptr) std::memcpy(seed_out, &c->next_seed, sizeof *seed_out);
  return st;
}

uint32_t periodic_test(random_ctx_t* c) {
  static thread_local uint8_t buf[4096];
  PeriodicTestFn hook = g_periodic_test.load();
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (produce(c, buf, sizeof buf, nullptr, nullptr) != VRT_SUCCESS) {
      wipe(buf, sizeof buf);
      enter_failed(c, false);
      return VRT_ERROR_FAILED;
    }
    const uint32_t bad = hook != nullptr ? hook(buf) : random_reglament_test(buf);
    if (!bad) {
      wipe(buf, sizeof buf);
      return VRT_SUCCESS;
    }
  }
  wipe(buf, sizeof buf);
  enter_failed(c, false);
  return VRT_ERROR_FAILED;
}

// The fields random_init sets and random_cleanup clears, without the lock.
uint32_t set_up_fields(random_ctx_t* ctx) {
  ctx->ready = 0;
  std::memset(ctx->pools, 0, sizeof ctx->pools);
  std::memcpy(ctx->period, vrt::keys::kPeriods, sizeof ctx->period);
  ctx->estimator_failures = 0;
  ctx->seeding_failures = 0;
  ctx->seeded = 0;
  ctx->failed = 0;
  ctx->output_count = 0;
  std::memset(&ctx->next_seed, 0, sizeof ctx->next_seed);
  ctx->rekey_time = 0;
  ctx->byte_limit = vrt::keys::kDefaultByteLimit;
  ctx->time_limit = vrt::keys::kDefaultTimeLimit;
  ctx->sbox = vrtpGost89SboxPointer(VRT_GOST89_SBOX_TC26_Z);
  std::memset(ctx->history, 0, sizeof ctx->history);
  ctx->history_count = 0;
  ctx->credited = 0;
  ctx->rekeying = 0;
  std::memset(ctx->block, 0, sizeof ctx->block);
  vrt::keys::drop_stream(ctx);
  uint32_t st = vrtpGost89CtxInit(&ctx->cipher.ctx, 1, VRT_GOST89_SBOX_TC26_Z);
  if (st == VRT_SUCCESS) st = vrtpGost89SetMode(&ctx->cipher.ctx, VRT_GOST89_MODE_CTR, 0);
  // Takes effect only before the library is initialised: the wipe generator's
  // own cipher wipes with a constant and never calls itself.
  if (st == VRT_SUCCESS) (void)vrtGost89SetMemResetWithConst(&ctx->cipher.ctx);
  return st;
}

void clear_fields(random_ctx_t* ctx) {
  ctx->sbox = nullptr;
  std::memset(ctx->pools, 0, sizeof ctx->pools);
  // The key and the seed chain are secrets too; they go with the context.
  vrt_memset_s(ctx->key, sizeof ctx->key, 0, sizeof ctx->key);
  vrt_memset_s(&ctx->next_seed, sizeof ctx->next_seed, 0, sizeof ctx->next_seed);
  vrt_memset_s(ctx->block, sizeof ctx->block, 0, sizeof ctx->block);
  vrt::keys::drop_stream(ctx);
  ctx->seeded = 0;
  ctx->ready = 0;
}

// The library's generators (the main one and the memory-reset one) are
// static, their locks initialised statically and never destroyed: they are
// set up and torn down under their own lock, so that a thread still calling
// in meanwhile (a caller's mistake) waits and then gets a status (an
// unseeded generator gives 1) instead of racing with the set-up or finding
// its lock destroyed.
uint32_t set_up_library_generator(random_ctx_t* ctx) {
  Locked g(ctx);
  return set_up_fields(g.ctx);
}

void tear_down_library_generator(random_ctx_t* ctx) {
  Locked g(ctx);
  // The S-box pointer marks a generator that was set up.
  if (g.ctx->sbox != nullptr) clear_fields(g.ctx);
}

}  // namespace vrt::keys

using vrt::keys::Locked;

extern "C" {

VRT_API uint32_t random_init(random_ctx_t* ctx) {
  if (ctx == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  pthread_mutex_init(vrt::keys::mutex_of(ctx), nullptr);
  return vrt::keys::set_up_fields(ctx);
}

VRT_API void random_cleanup(random_ctx_t* ctx) {
  // The S-box pointer marks a context that random_init set up; cleaning up a
  // context twice, or one never set up, does nothing.
  if (ctx == nullptr || ctx->sbox == nullptr) return;
  vrt::keys::clear_fields(ctx);
  pthread_mutex_destroy(vrt::keys::mutex_of(ctx));
}

VRT_API uint32_t random_generate(random_ctx_t* ctx, void* out, uint64_t length, uint32_t* rekeyed,
                                 random_seed_t* seed_out) {
  if (out == nullptr || length == 0) return VRT_ERROR_INVALID_ARGUMENT;
  Locked g(ctx);
  if (rekeyed != nullptr) *rekeyed = 0;
  if (g.ctx->failed) return VRT_ERROR_FAILED;
  // An unseeded generator would hand every caller the keystream of the same
  // key, and a signature nonce drawn from it gives the private key away.
  if (!g.ctx->seeded) return VRT_ERROR_FAILED;
  return vrt::keys::produce(g.ctx, static_cast<uint8_t*>(out), length, rekeyed, seed_out);
}

VRT_API uint32_t random_set_custom_seed(random_ctx_t* ctx, const random_seed_t* seed, random_seed_t* seed_out) {
  if (seed == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  Locked g(ctx);
  if (g.ctx->rekeying) return VRT_SUCCESS;
  random_seed_t fresh;
  uint32_t st = vrt::keys::rekey(g.ctx, seed, &fresh);
  if (st == VRT_SUCCESS && seed_out != nullptr) std::memcpy(seed_out, &fresh, sizeof fresh);
  vrt::keys::wipe(&fresh, sizeof fresh);
  return st;
}

VRT_API uint32_t random_set_custom_sbox(random_ctx_t* ctx, uintptr_t id) {
  Locked g(ctx);
  random_ctx_t* c = g.ctx;
  gost89_sbox_t* sbox = vrtpGost89SboxPointer(id);
  // A set that is not initialised is refused before anything changes, so the
  // generator keeps a working cipher.
  if (!vrtpGost89SboxInitialized(sbox)) return VRT_ERROR_FAILED;
  // The counter position and the wiping rule survive the switch: restarting
  // the counter would repeat keystream under the key in use, and a wipe
  // generator must not start wiping through itself.
  Gost89Ctx& cipher = c->cipher.ctx;
  uint8_t reg[8];
  std::memcpy(reg, cipher.reg, sizeof reg);
  const uint32_t iv_taken = cipher.iv_taken;
  const uint8_t const_reset = cipher.const_reset;
  uint32_t st = vrtpGost89CtxInit(&cipher, 1, id);
  if (st == VRT_SUCCESS) st = vrtpGost89SetMode(&cipher, VRT_GOST89_MODE_CTR, 0);
  if (st != VRT_SUCCESS) return VRT_ERROR_FAILED;
  std::memcpy(cipher.reg, reg, sizeof reg);
  cipher.iv_taken = iv_taken;
  cipher.const_reset = const_reset;
  vrt::keys::drop_stream(c);  // computed under the old set
  c->sbox = sbox;
  return VRT_SUCCESS;
}

VRT_API uint32_t random_set_seed_custom_expiration(random_ctx_t* ctx, uint64_t bytes, uint64_t seconds) {
  Locked g(ctx);
  g.ctx->byte_limit = bytes;
  g.ctx->time_limit = seconds;
  return VRT_SUCCESS;
}

VRT_API uint32_t random_get_ready_percent(random_ctx_t* ctx) {
  Locked g(ctx);
  return g.ctx->ready;
}

VRT_API uint32_t vrtpRandomInit(vrtp_instance_t*) { return vrt::keys::set_up_library_generator(&vrt::keys::g_main); }
VRT_API void vrtpRandomCleanup(vrtp_instance_t*) { vrt::keys::tear_down_library_generator(&vrt::keys::g_main); }

}  // extern "C"
