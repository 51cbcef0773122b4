// The elliptic-curve switches, set once during library initialisation.
#include "frame/internal.h"
#include "pubkey/math/int.h"

extern "C" {
VRT_API uint32_t elliptic_cxx_init(vrtp_instance_t* instance) {
  vrt::flags::supported_asm = instance != nullptr && (instance->cpu_enabled & VRT_CPU_BMI2) != 0;
  return VRT_SUCCESS;
}
}
