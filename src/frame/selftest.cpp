// The self-test runner: the known-answer tests of every algorithm family in
// their fixed order; the first nonzero status stops the run.
#include <cstddef>
#include <iterator>

#include "frame/internal.h"
#include "vrt.h"

#if defined(VRT_TEST_HOOKS)
#include <atomic>
#endif

namespace {

using SelfTest = uint32_t (*)(vrtp_instance_t*);

// In run order; each algorithm family adds its test here.
constexpr SelfTest kSelfTests[] = {
    gost89_self_test,
    gost89_self_test_NVQ_SBOXes,
    gost15_self_test,
    hash94_self_test,
    hmac94_self_test,
    hash2012_self_test,
    hmac2012_self_test,
    prf_self_test,
    KeyDistribution_self_test,
    sign2012_self_test,
    pbkdf2_self_test,
    aead_self_test,
};

constexpr size_t kSelfTestCount = std::size(kSelfTests);

}  // namespace

#if defined(VRT_TEST_HOOKS)
// Built into the test archive only (see src/frame/CMakeLists.txt): the shipped
// library has no way to make a self-test fail other than a wrong answer.
namespace {
std::atomic<vrt::frame::SelfTestFn> g_hook{nullptr};
std::atomic<vrt::frame::SelfTestStepFn> g_step{nullptr};
std::atomic<bool> g_known_answers{true};
}  // namespace

namespace vrt::frame {
void set_selftest_hook(SelfTestFn fn) { g_hook.store(fn, std::memory_order_release); }
void set_selftest_step_hook(SelfTestStepFn fn) { g_step.store(fn, std::memory_order_release); }
void set_known_answer_tests(bool enabled) { g_known_answers.store(enabled, std::memory_order_release); }
size_t selftest_count() { return kSelfTestCount; }
SelfTestFn selftest_at(size_t position) { return position < kSelfTestCount ? kSelfTests[position] : nullptr; }
}  // namespace vrt::frame
#endif

extern "C" {

VRT_API uint32_t vrtpCryptoTest(vrtp_instance_t* instance) {
#if defined(VRT_TEST_HOOKS)
  if (auto hook = g_hook.load(std::memory_order_acquire)) {
    uint32_t st = hook(instance);
    if (st != VRT_SUCCESS) return st;
  }
  if (!g_known_answers.load(std::memory_order_acquire)) return VRT_SUCCESS;
  const vrt::frame::SelfTestStepFn step = g_step.load(std::memory_order_acquire);
#endif
  for (size_t i = 0; i < kSelfTestCount; ++i) {
#if defined(VRT_TEST_HOOKS)
    uint32_t st = step ? step(i, kSelfTests[i], instance) : kSelfTests[i](instance);
#else
    uint32_t st = kSelfTests[i](instance);
#endif
    if (st != VRT_SUCCESS) return st;
  }
  return VRT_SUCCESS;
}

// The generator checks its own output as it produces it.
VRT_API uint32_t vrtpRandomTest(vrtp_instance_t*) { return VRT_SUCCESS; }

}  // extern "C"
