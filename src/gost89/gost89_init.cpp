// Set-up and tear-down of the GOST 28147-89 layer within the library
// lifecycle. The layer holds no state yet: both hooks succeed at once.
#include "frame/internal.h"

extern "C" {
VRT_API uint32_t gost89_init(vrtp_instance_t*) { return VRT_SUCCESS; }
VRT_API void gost89_cleanup(vrtp_instance_t*) {}
}
