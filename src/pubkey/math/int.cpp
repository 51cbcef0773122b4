// The instantiations of the integer templates, the switch that selects the
// BMI2 routines, and the exported integer constants.
#include "pubkey/math/int.h"

namespace vrt::flags {
bool supported_asm = false;
bool supported_adx = false;
}  // namespace vrt::flags

namespace vrt::math {
template struct Int<256>;
template struct Int<512>;
template struct Int<1024>;
template class MontInt<256>;
template class MontInt<512>;
}  // namespace vrt::math

extern "C" {
const uint64_t C256_0[4] = {0, 0, 0, 0};
const uint64_t C256_1[4] = {1, 0, 0, 0};
const uint64_t C256_256[4] = {256, 0, 0, 0};
const uint64_t C512_0[8] = {};
const uint64_t C512_1[8] = {1};
const uint64_t C512_512[8] = {512};
const uint64_t C1024_0[16] = {};
}  // extern "C"
