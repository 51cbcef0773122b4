// The layers above the frame as the lifecycle sees them: the record of hooks
// the frame declares (frame/internal.h), filled here from each layer's own
// functions, and the order of the known-answer tests. This file is the one
// place where the frame meets the layers built on it.
#include <iterator>

#include "cipher15/internal.h"
#include "cipher15/mgm.h"
#include "frame/internal.h"
#include "hash/internal.h"
#include "keys/internal.h"
#include "pubkey/internal.h"
#include "vrt.h"

namespace {

// Streebog, Kuznyechik and the MGM field each pick their processor variant.
void select_variants(uint32_t cpu_enabled) {
  vrt::hash::streebog_arch_init(cpu_enabled);
  vrt::cipher15::kuznechik_arch_init(cpu_enabled);
  vrt::cipher15::mgm_arch_init(cpu_enabled);
}

// In run order; each algorithm family adds its test here.
constexpr vrt::frame::SelfTestFn kSelfTests[] = {
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

}  // namespace

namespace vrt::frame {

const LayerHooks kLayers = {
    select_variants,
    gost89_init,
    gost89_cleanup,
    elliptic_cxx_init,
    elliptic_cxx_cleanup,
    vrtpMemResetRandomInit,
    vrt::keys::memreset_block,
    vrtpRandomInit,
    vrtpRandomCleanup,
    kSelfTests,
    std::size(kSelfTests),
};

}  // namespace vrt::frame
