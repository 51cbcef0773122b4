// The instantiations of the curve and point templates for 256 and 512 bits.
#include "pubkey/ec/curve.h"
#include "pubkey/ec/point.h"
#include "pubkey/ec/precomp.h"

namespace vrt::ec {

template struct CurveParams<256>;
template struct CurveParams<512>;
template struct RawPoint<256>;
template struct RawPoint<512>;
template class Point<256>;
template class Point<512>;
template void montgomery_trick<256, 256>(Point<256>*, const MontContext<256>&);
template void montgomery_trick<512, 256>(Point<512>*, const MontContext<512>&);
template class Precomp<256>;
template class Precomp<512>;
template class PrecompWindow<256, 16>;
template class PrecompWindow<512, 8>;
template class PrecompW16<256>;
template class PrecompW8<512>;

static_assert(sizeof(RawPoint<256>) == 80 && sizeof(RawPoint<512>) == 144, "table entry sizes");
static_assert(sizeof(PrecompW16<256>) == 32 && sizeof(PrecompW8<512>) == 32, "table objects fit 32 bytes");
static_assert(PrecompW16<256>::kTableBytes == 0x5000000, "80 MiB for 256 bits");
static_assert(PrecompW8<512>::kTableBytes == 0x240000, "2.25 MiB for 512 bits");

}  // namespace vrt::ec
