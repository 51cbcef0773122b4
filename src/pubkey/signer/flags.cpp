// The elliptic-curve switches, set once during library initialisation.
#include "frame/internal.h"
#include "pubkey/math/int.h"
#include "pubkey/signer/signer.h"

namespace vrt::flags {
bool supported_build = false;
bool precomp_sign = false;
bool precomp_verify = false;
}  // namespace vrt::flags

extern "C" {
VRT_API uint32_t elliptic_cxx_init(vrtp_instance_t* instance) {
  vrt::flags::supported_build = true;
  vrt::flags::supported_asm = instance != nullptr && (instance->cpu_enabled & VRT_CPU_BMI2) != 0;
  vrt::flags::precomp_sign = true;
  vrt::flags::precomp_verify = true;
  return VRT_SUCCESS;
}
}
