// The elliptic-curve switches, set once during library initialisation.
#include "frame/internal.h"

extern "C" {
VRT_API uint32_t elliptic_cxx_init(vrtp_instance_t*) { return VRT_SUCCESS; }
}
