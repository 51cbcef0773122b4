// The self-test runner: the known-answer tests of every algorithm family in
// their fixed order (the layer record lists them); the first nonzero status
// stops the run.
#include <cstddef>

#include "frame/internal.h"
#include "vrt.h"

#if defined(VRT_TEST_HOOKS)
#include <atomic>
#endif

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
size_t selftest_count() { return kLayers.self_test_count; }
SelfTestFn selftest_at(size_t position) {
  return position < kLayers.self_test_count ? kLayers.self_tests[position] : nullptr;
}
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
  const vrt::frame::LayerHooks& layers = vrt::frame::kLayers;
  for (size_t i = 0; i < layers.self_test_count; ++i) {
    const vrt::frame::SelfTestFn test = layers.self_tests[i];
#if defined(VRT_TEST_HOOKS)
    uint32_t st = step ? step(i, test, instance) : test(instance);
#else
    uint32_t st = test(instance);
#endif
    if (st != VRT_SUCCESS) return st;
  }
  return VRT_SUCCESS;
}

// The generator checks its own output as it produces it.
VRT_API uint32_t vrtpRandomTest(vrtp_instance_t*) { return VRT_SUCCESS; }

}  // extern "C"
