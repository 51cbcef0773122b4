// The platform layer: an empty hook pair on Linux and the generator's clock.
#include <atomic>
#include <ctime>

#include "frame/internal.h"
#include "vrt.h"

namespace {
std::atomic<vrt::frame::ClockFn> g_clock{nullptr};
}  // namespace

namespace vrt::frame {
void set_clock_hook(ClockFn fn) { g_clock.store(fn, std::memory_order_release); }
}  // namespace vrt::frame

extern "C" {

VRT_API uint32_t vrtpPlatformInitCustom(vrtp_instance_t*) { return VRT_SUCCESS; }
VRT_API void vrtpPlatformCleanupCustom(vrtp_instance_t*) {}

VRT_API uint32_t vrtpPlatformInit(vrtp_instance_t* instance) {
  uint32_t st = vrtpPlatformInitCustom(instance);
  if (st == VRT_SUCCESS) instance->platform_state |= 1u;
  return st;
}

VRT_API void vrtpPlatformCleanup(vrtp_instance_t* instance) {
  if (instance->platform_state & 1u) {
    vrtpPlatformCleanupCustom(instance);
    instance->platform_state &= ~1u;
  }
}

VRT_API uint64_t time_in_seconds(void) {
  if (auto fn = g_clock.load(std::memory_order_acquire)) return fn();
  return static_cast<uint64_t>(time(nullptr));
}

}  // extern "C"
