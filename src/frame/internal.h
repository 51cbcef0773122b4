// What the other folders may call in the library frame.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vrt.h"

extern "C" {
// Exported, but declared only here: the compiler's <cpuid.h> defines
// functions of these names with other signatures, so a public declaration
// would break every C file that includes both headers.
// __get_cpuid runs CPUID with EAX = leaf and stores EAX, EBX, ECX, EDX in
// regs[0..3]; __get_cpuidex also sets ECX = subleaf.
VRT_API void __get_cpuid(uint32_t regs[4], uint32_t leaf);
VRT_API void __get_cpuidex(uint32_t regs[4], uint32_t leaf, uint32_t subleaf);
}

namespace vrt::frame {

// Number of times the initialisation steps ran in this process (read by the
// lifecycle tests to see that concurrent vrtInit calls run them once).
uint32_t init_runs();

// Whether vrtInit has once set up the dispatch table for the processor
// (before, it holds the portable routines).
bool dispatch_set_up();

// Requests vrt_memreset_s has made of the memory-reset generator.
uint64_t memreset_requests();

// Fills n bytes with the standard library's rand() after srand(time),
// each reduced modulo 255: the seed of the memory-reset generator.
void weak_seed(uint8_t* out, size_t n);
// The seed of the memory-reset generator: n bytes from the operating
// system (getrandom), or, should it fail or be refused (os false, for the
// tests), the clock-based weak seed. Returns whether the system gave them.
bool memreset_seed(uint8_t* out, size_t n, bool os = true);

// Self-test hooks. They exist in the test build only (the static archive the
// tests link); libvrt.so is built without them.
using SelfTestFn = uint32_t (*)(vrtp_instance_t*);

// When set, vrtpCryptoTest calls it before the known-answer tests and returns
// its status if nonzero.
void set_selftest_hook(SelfTestFn fn);

// When set, vrtpCryptoTest calls it in place of each known-answer test, with
// the test's position in the run order (from 0) and the test itself: the hook
// may run the test, or return a status of its own to stand for the test's
// result (a nonzero one stops the run there). Null restores the plain run.
using SelfTestStepFn = uint32_t (*)(size_t position, SelfTestFn test, vrtp_instance_t* instance);
void set_selftest_step_hook(SelfTestStepFn fn);

// With false, vrtpCryptoTest runs only the first hook above and skips the
// known-answer tests, for tests that bring the library up many times and are
// about the lifecycle, not the algorithms (the signature self-test alone
// takes a good part of a second).
void set_known_answer_tests(bool enabled);

// The known-answer tests in run order: their number, and the one at a
// position (null past the end).
size_t selftest_count();
SelfTestFn selftest_at(size_t position);

// Test hook for the generator clock: replaces time_in_seconds while set (null
// restores the system clock). Not exported.
using ClockFn = uint64_t (*)();
void set_clock_hook(ClockFn fn);

// What the lifecycle runs in the layers above the frame. The frame reaches
// them only through this record, which the library defines once from the
// layers' own functions (src/layers.cpp). Each init hook returns a status;
// each cleanup hook is harmless when its layer is down.
struct LayerHooks {
  // Streebog, Kuznyechik and the MGM field pick their processor variants
  // from the enabled features.
  void (*select_variants)(uint32_t cpu_enabled);
  // GOST 28147-89: expand the built-in S-box sets and pick the block
  // variant; the tear-down releases what they hold.
  uint32_t (*sbox_init)(vrtp_instance_t* instance);
  void (*sbox_cleanup)(vrtp_instance_t* instance);
  // The elliptic-curve switches (the status is always 0 and not used); the
  // tear-down releases the shared curve tables.
  uint32_t (*curve_init)(vrtp_instance_t* instance);
  void (*curve_cleanup)(vrtp_instance_t* instance);
  // Sets up the memory-reset generator; draws its next 32 bytes (under the
  // generator's own lock).
  uint32_t (*memreset_init)();
  uint32_t (*memreset_block)(uint8_t block[32]);
  // Sets up and tears down the main random generator.
  uint32_t (*random_init)(vrtp_instance_t* instance);
  void (*random_cleanup)(vrtp_instance_t* instance);
  // The known-answer tests in run order.
  const SelfTestFn* self_tests;
  size_t self_test_count;
};
extern const LayerHooks kLayers;

}  // namespace vrt::frame

