// The elliptic-curve switches, set once during library initialisation.
#include "frame/internal.h"
#include "pubkey/internal.h"
#include "pubkey/ec/shared.h"
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
  vrt::flags::supported_adx = vrt::flags::supported_asm && (instance->cpu_enabled & VRT_CPU_ADX) != 0;
  // The per-handle tables are opt-in (vrtSignerPrecomputeSign,
  // vrtSignerPrecomputeVerify); by default every handle uses the shared
  // per-curve tables.
  vrt::flags::precomp_sign = false;
  vrt::flags::precomp_verify = false;
  return VRT_SUCCESS;
}

// Releases the shared curve tables (vrtCleanup); the next use builds them
// again.
VRT_API void elliptic_cxx_cleanup(vrtp_instance_t* instance) {
  (void)instance;
  vrt::ec::release_shared_curves();
}
}
