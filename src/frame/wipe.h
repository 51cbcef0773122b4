// Clearing what a call unmasked for itself.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vrt.h"

namespace vrt {

// Clears n bytes that held key material for the length of one call (an
// unmasked key, a schedule, subkeys, key stream): zeros, through a store the
// compiler cannot drop. Every such temporary is cleared before the call
// returns. The random overwrite of vrt_memreset_s, one generator request per
// 32 bytes, stays for the masked keys a key record releases (genkey_wipe);
// on temporaries it cost more than the rest of a short message.
inline void wipe_temporary(void* p, size_t n) { vrt_memset_s(p, static_cast<int64_t>(n), 0, n); }

}  // namespace vrt
