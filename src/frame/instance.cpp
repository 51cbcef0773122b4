// The library instance, its spin lock and the lifecycle functions.
#include <sched.h>

#include <atomic>

#include "frame/forward.h"
#include "frame/internal.h"
#include "vrt.h"

extern "C" {

// The dispatch table starts out with the portable routines, so that a
// primitive called before vrtInit computes instead of jumping through a
// null slot; initialisation then puts in the processor's variants.
VRT_API vrtp_instance_t vrtpInstance = {
    0, 0, 0, 0,
    {cmp256, cmp512, add256, add512, sub256, sub512, shl256_1, shl512_1, shr256_1, shr512_1, xor256, xor512,
     add256_mod, add512_mod, sub256_mod, sub512_mod},
    0, 0};

}  // extern "C"

namespace {

std::atomic<uint32_t> g_init_runs{0};

constexpr uint32_t kStateInitialised = 1;

// Every lifecycle function but vrtStatus holds the lock for its whole run.
// A ticket lock: callers are admitted first come, first served, so a thread
// that calls in a loop cannot keep another (vrtCleanup) out. It spins, but
// gives its time slice away while it waits: the known-answer tests keep the
// holder busy for a good part of a second, and waiters spinning at full
// speed would take the processor from it. The instance's lock word shows
// whether the lock is held.
std::atomic<uint32_t> g_next_ticket{0};
std::atomic<uint32_t> g_serving{0};

inline void lock_instance() {
  const uint32_t ticket = g_next_ticket.fetch_add(1, std::memory_order_relaxed);
  for (unsigned spins = 0; g_serving.load(std::memory_order_acquire) != ticket; ++spins) {
    if (spins < 64)
      __builtin_ia32_pause();
    else
      sched_yield();
  }
  __atomic_store_n(&vrtpInstance.lock, 1u, __ATOMIC_RELAXED);
}

// An unlock of a lock not held (a caller's mistake) admits no one.
inline void unlock_instance() {
  if (__atomic_exchange_n(&vrtpInstance.lock, 0u, __ATOMIC_RELAXED) == 1u)
    g_serving.fetch_add(1, std::memory_order_release);
}

inline bool initialised() {
  return (__atomic_load_n(&vrtpInstance.state, __ATOMIC_ACQUIRE) & kStateInitialised) != 0;
}

inline void set_initialised(bool on) {
  uint32_t s = __atomic_load_n(&vrtpInstance.state, __ATOMIC_RELAXED);
  s = on ? (s | kStateInitialised) : (s & ~kStateInitialised);
  __atomic_store_n(&vrtpInstance.state, s, __ATOMIC_RELEASE);
}

// All four cleanup hooks, in order; each is harmless when its layer is down,
// so this also rolls back a partial initialisation.
void tear_down() {
  vrtp_instance_t* in = &vrtpInstance;
  vrt::frame::kLayers.random_cleanup(in);
  vrtpCryptoCleanup(in);
  vrtpPlatformCleanup(in);
  vrtpArchCleanup(in);
  set_initialised(false);
}

// The initialisation sequence; run_tests adds the self-tests. Called with the
// lock held.
uint32_t init_locked(bool run_tests) {
  if (initialised()) return VRT_SUCCESS;
  g_init_runs.fetch_add(1, std::memory_order_relaxed);

  vrtp_instance_t* in = &vrtpInstance;
  uint32_t st = vrtpArchInit(in);
  if (st == VRT_SUCCESS) st = vrtpPlatformInit(in);
  if (st == VRT_SUCCESS) st = vrtpCryptoInit(in);
  if (st == VRT_SUCCESS) st = vrt::frame::kLayers.memreset_init();
  if (st == VRT_SUCCESS) {
    // Set between the two generators: the wipe generator's own cipher context
    // was set up while the bit was clear and wipes with a constant; the main
    // generator and everything after it wipe with random bytes.
    set_initialised(true);
    st = vrt::frame::kLayers.random_init(in);
  }
  if (st == VRT_SUCCESS && run_tests) {
    st = vrtpCryptoTest(in);
    if (st == VRT_SUCCESS) st = vrtpRandomTest(in);
  }
  if (st != VRT_SUCCESS) tear_down();
  return st;
}

}  // namespace

namespace vrt::frame {
uint32_t init_runs() { return g_init_runs.load(std::memory_order_relaxed); }
}  // namespace vrt::frame

extern "C" {

VRT_API void vrtpLockLibrary(void) { lock_instance(); }
VRT_API void vrtpUnlockLibrary(void) { unlock_instance(); }

VRT_API uint32_t vrtInit(void) {
  lock_instance();
  uint32_t st = init_locked(false);
  unlock_instance();
  return st;
}

VRT_API uint32_t vrtInitRunTests(void) {
  lock_instance();
  uint32_t st = init_locked(true);
  unlock_instance();
  return st;
}

VRT_API void vrtCleanup(void) {
  lock_instance();
  if (initialised()) tear_down();
  unlock_instance();
}

VRT_API uint32_t vrtStatus(void) {
  return initialised() ? VRT_SUCCESS : VRT_ERROR_NOT_INITIALIZED;
}

VRT_API uint32_t vrtTest(void) {
  lock_instance();
  uint32_t st = VRT_ERROR_NOT_INITIALIZED;
  if (initialised()) {
    st = vrtpCryptoTest(&vrtpInstance);
    if (st == VRT_SUCCESS) st = vrtpRandomTest(&vrtpInstance);
  }
  unlock_instance();
  return st;
}

// Major, minor and patch in one byte each, from the build's project version.
static_assert(VRT_VERSION_MAJOR < 256 && VRT_VERSION_MINOR < 256 && VRT_VERSION_PATCH < 256,
              "each version part must fit in a byte");
VRT_API uint32_t vrtpGetVersion(void) {
  return uint32_t{VRT_VERSION_MAJOR} << 16 | uint32_t{VRT_VERSION_MINOR} << 8 | uint32_t{VRT_VERSION_PATCH};
}
VRT_API const char* vrtpGetVersionStr(void) { return VRT_VERSION_TEXT; }
VRT_FORWARD(GetVersion);
VRT_FORWARD(GetVersionStr);

// The crypto layer: the Streebog, Kuznyechik and MGM field variants, the GOST 28147-89
// tables and variant, then the elliptic-curve switches (whose result is
// always 0 and not used).
VRT_API uint32_t vrtpCryptoInit(vrtp_instance_t* instance) {
  const vrt::frame::LayerHooks& layers = vrt::frame::kLayers;
  layers.select_variants(instance->cpu_enabled);
  uint32_t st = layers.sbox_init(instance);
  if (st != VRT_SUCCESS) return st;
  (void)layers.curve_init(instance);
  return VRT_SUCCESS;
}

VRT_API void vrtpCryptoCleanup(vrtp_instance_t* instance) {
  vrt::frame::kLayers.sbox_cleanup(instance);
  vrt::frame::kLayers.curve_cleanup(instance);  // the shared curve tables
}

}  // extern "C"
